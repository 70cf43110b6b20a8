#include "engine/FileDiscovery.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <tuple>

#include "support/ScratchDir.h"

using namespace linkward;

namespace {

using Paths = StringList;

// root/
//   .hidden.htm DEFAULT.ASPX PAGE.HTM.BAK PAGE.XML a.gif b.htm c.shtm <ff fe>.htm
//   .git/h.htm            (dot directory: not entered)
//   loop -> ..            (link to a directory: never entered)
//   ro/r.htm              (read-only directory: not entered)
//   sub1/x.htm sub1/up -> ..
//   sub2/y.html sub2/aaa/q.htm sub2/deep/z.htm
//   unicodé/ü.htm
//   x.htm/inner.txt       (a directory whose name holds ".htm")
class FileDiscoveryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* dir :
         {".git", "ro", "sub1", "sub2", "sub2/aaa", "sub2/deep", "unicod\xC3\xA9", "x.htm"})
      ASSERT_EQ(::mkdir((tmp / dir).c_str(), 0755), 0) << dir;
    for (const char* file :
         {".hidden.htm", "DEFAULT.ASPX", "PAGE.HTM.BAK", "PAGE.XML", "a.gif", "b.htm", "c.shtm",
          "\xFF\xFE.htm", ".git/h.htm", "ro/r.htm", "sub1/x.htm", "sub2/y.html", "sub2/aaa/q.htm",
          "sub2/deep/z.htm", "unicod\xC3\xA9/\xC3\xBC.htm", "x.htm/inner.txt"})
      ASSERT_TRUE(ScratchDir::WriteBytes(tmp / file, "x")) << file;
    ASSERT_EQ(::symlink("..", (tmp / "loop").c_str()), 0);
    ASSERT_EQ(::symlink("..", (tmp / "sub1/up").c_str()), 0);
    ASSERT_EQ(::chmod((tmp / "ro").c_str(), 0555), 0);
  }

  ScratchDir tmp;
};

TEST_F(FileDiscoveryTest, BuildFileListFollowsTheOptions) {
  const Paths top = {".hidden.htm", "DEFAULT.ASPX", "PAGE.HTM.BAK", "PAGE.XML",
                     "a.gif",       "b.htm",        "c.shtm",       "\xFF\xFE.htm"};
  // The filter keeps paths holding .HTM, .SHTM or .ASP after their first character.
  const Paths topPages = {".hidden.htm", "DEFAULT.ASPX", "PAGE.HTM.BAK",
                          "b.htm",       "c.shtm",       "\xFF\xFE.htm"};
  // Files first, then sub-directories in reverse order, depth first.
  const Paths subs = {"x.htm/inner.txt", "unicod\xC3\xA9/\xC3\xBC.htm",
                      "sub2/y.html",     "sub2/deep/z.htm",
                      "sub2/aaa/q.htm",  "sub1/x.htm"};
  auto join = [](Paths a, const Paths& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
  };
  // {the chosen file, recurse, all files, filter, the list}
  const std::tuple<const char*, bool, bool, bool, Paths> cases[] = {
      {"b.htm", 1, 1, 0, join(top, subs)},
      {"a.gif", 1, 1, 1, join(topPages, subs)},  // the filter keeps paths holding a page mark
      {"PAGE.XML", 0, 1, 0, top},
      {"PAGE.XML", 0, 1, 1, topPages},      // the chosen file itself is filtered out
      {"PAGE.XML", 0, 0, 1, {"PAGE.XML"}},  // the path alone, even when filtered
      {"none.txt", 0, 0, 0, {"none.txt"}},  // not even checked to exist
      {"b.htm", 1, 0, 0, {}},               // sub-directories without other files: nothing
      {"missing/x.htm", 1, 1, 0, {}},
      {"b.htm/x.htm", 0, 1, 0, {}},  // a file, not a directory
      {"sub2//y.html", 0, 1, 0, {"sub2/y.html"}},
  };
  for (const auto& [start, recurse, all, filter, names] : cases) {
    SCOPED_TRACE(std::string(start) + std::to_string(recurse * 100 + all * 10 + filter));
    StringList list{"earlier"};
    BuildFileList(list, tmp / start, {recurse, all, filter});
    Paths expected{"earlier"};
    for (const std::string& name : names) expected.push_back(tmp / name);
    EXPECT_EQ(list, expected);
  }
  StringList root;  // "//x" names a file of "/", whose files have no double slash
  BuildFileList(root, "//x", {.allFiles = true});
  ASSERT_FALSE(root.empty());
  for (const std::string& path : root) EXPECT_EQ(path.rfind('/'), 0u) << path;
  EXPECT_EQ(DirectoryOfPath("y.html"), ".");  // a bare name: the current directory
}

}  // namespace
