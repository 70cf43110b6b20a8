#include "engine/FileDiscovery.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "support/ScratchDir.h"

using namespace linkward;

namespace {

using Paths = StringList;

// root/
//   .hidden.htm DEFAULT.ASPX PAGE.HTM.BAK PAGE.XML a.gif b.htm <ff fe>.htm
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
    ASSERT_FALSE(tmp.Path().empty());
    for (const char* dir :
         {".git", "ro", "sub1", "sub2", "sub2/aaa", "sub2/deep", "unicod\xC3\xA9", "x.htm"}) {
      ASSERT_EQ(::mkdir((tmp / dir).c_str(), 0755), 0) << dir;
    }
    for (const char* file :
         {".hidden.htm", "DEFAULT.ASPX", "PAGE.HTM.BAK", "PAGE.XML", "a.gif", "b.htm",
          "\xFF\xFE.htm", ".git/h.htm", "ro/r.htm", "sub1/x.htm", "sub2/y.html", "sub2/aaa/q.htm",
          "sub2/deep/z.htm", "unicod\xC3\xA9/\xC3\xBC.htm", "x.htm/inner.txt"}) {
      ASSERT_TRUE(ScratchDir::WriteBytes(tmp / file, "x")) << file;
    }
    ASSERT_EQ(::symlink("..", (tmp / "loop").c_str()), 0);
    ASSERT_EQ(::symlink("..", (tmp / "sub1/up").c_str()), 0);
    ASSERT_EQ(::chmod((tmp / "ro").c_str(), 0555), 0);
  }

  ScratchDir tmp;
};

TEST_F(FileDiscoveryTest, BuildFileListFollowsTheOptions) {
  const Paths top = {".hidden.htm", "DEFAULT.ASPX", "PAGE.HTM.BAK", "PAGE.XML",
                     "a.gif",       "b.htm",        "\xFF\xFE.htm"};
  const Paths topPages = {".hidden.htm", "DEFAULT.ASPX", "PAGE.HTM.BAK", "b.htm", "\xFF\xFE.htm"};
  // Files first, then sub-directories in reverse order, depth first.
  const Paths subs = {"x.htm/inner.txt", "unicod\xC3\xA9/\xC3\xBC.htm",
                      "sub2/y.html",     "sub2/deep/z.htm",
                      "sub2/aaa/q.htm",  "sub1/x.htm"};
  auto join = [](Paths a, const Paths& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
  };
  const struct {
    const char* start;
    bool recurse, all, filter;
    Paths names;
  } cases[] = {
      {"b.htm", 1, 1, 0, join(top, subs)},
      {"a.gif", 1, 1, 1, join(topPages, subs)},  // the filter keeps paths holding a page mark
      {"PAGE.XML", 0, 1, 0, top},
      {"PAGE.XML", 0, 1, 1, topPages},      // the chosen file itself is filtered out
      {"PAGE.XML", 0, 0, 1, {"PAGE.XML"}},  // the path alone, even when filtered
      {"b.htm", 1, 0, 0, {}},               // sub-directories without other files: nothing
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.start) + std::to_string(c.recurse * 100 + c.all * 10 + c.filter));
    StringList list;
    BuildFileList(list, tmp / c.start, {c.recurse, c.all, c.filter});
    Paths expected;
    for (const std::string& name : c.names) expected.push_back(tmp / name);
    EXPECT_EQ(list, expected);
  }
  StringList list;
  BuildFileList(list, "no/such/file.txt", {});  // not even checked to exist
  EXPECT_EQ(list, Paths{"no/such/file.txt"});
}

TEST_F(FileDiscoveryTest, DirectoriesAddToTheListAndMissingOnesAddNothing) {
  StringList list{"earlier"};
  AddDirectoryTree(list, tmp / "missing", 0);
  AddDirectoryFiles(list, tmp / "missing", 0);
  AddDirectoryFiles(list, tmp / "b.htm", 0);          // a file, not a directory
  AddDirectoryFiles(list, tmp.Path() + "/sub1/", 0);  // no double slash
  EXPECT_EQ(list, (Paths{"earlier", tmp / "sub1/x.htm"}));
  StringList root;
  AddDirectoryFiles(root, "/", 0);
  for (const std::string& path : root) EXPECT_EQ(path.rfind('/'), 0u) << path;
}

TEST_F(FileDiscoveryTest, BareNameMeansTheCurrentDirectory) {
  char saved[4096];
  ASSERT_NE(::getcwd(saved, sizeof saved), nullptr);
  ASSERT_EQ(::chdir((tmp / "sub2").c_str()), 0);
  StringList list;
  BuildFileList(list, "y.html", {true, true, false});
  ASSERT_EQ(::chdir(saved), 0);
  EXPECT_EQ(list, (Paths{"./y.html", "./deep/z.htm", "./aaa/q.htm"}));
}

TEST(DirectoryOfPathTest, CutsAtTheLastSeparator) {
  // clang-format off
  const std::pair<const char*, const char*> cases[] = {
      {"/home/u/site/index.html", "/home/u/site"}, {"/index.html", "/"}, {"//index.html", "/"},
      {"index.html", "."}, {"site//index.html", "site"}};
  // clang-format on
  for (const auto& [path, dir] : cases) EXPECT_EQ(DirectoryOfPath(path), dir) << path;
}

TEST(ExtensionFilterTest, SubstringOfTheUpperCasedPathAfterItsFirstCharacter) {
  // clang-format off
  const std::pair<const char*, bool> cases[] = {
      {"/d/index.html", true}, {"/d/page.SHTM", true}, {"/d/form.asp", true},
      {"/d/PAGE.HTM.BAK", true}, {"/d/x.htm/inner.txt", true}, {"a.htm", true},
      {".asp/.asp", true}, {"/d/PAGE.XML", false}, {"/d/page.ht", false}, {"/d/pagehtm", false},
      {".htm", false}, {"", false}};
  // clang-format on
  for (const auto& [path, passes] : cases) EXPECT_EQ(PassesExtensionFilter(path), passes) << path;
}

}  // namespace
