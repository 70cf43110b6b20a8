#include "engine/FileDiscovery.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "support/ScratchDir.h"

namespace {

using Paths = std::vector<std::string>;

Paths ToVector(const StringList& list) {
  return Paths(list.begin(), list.end());
}

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
    int recurse, all, filter;
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
    SCOPED_TRACE(std::string(c.start) + " " + std::to_string(c.recurse) + std::to_string(c.all) +
                 std::to_string(c.filter));
    StringList list;
    BuildFileList(list, tmp / c.start, c.recurse, c.all, c.filter);
    Paths expected;
    for (const std::string& name : c.names) expected.push_back(tmp / name);
    EXPECT_EQ(ToVector(list), expected);
  }
  StringList list;
  BuildFileList(list, "no/such/file.txt", 0, 0, 0);  // not even checked to exist
  EXPECT_EQ(ToVector(list), Paths{"no/such/file.txt"});
}

TEST_F(FileDiscoveryTest, DirectoriesAddToTheListAndMissingOnesAddNothing) {
  StringList list{"earlier"};
  AddDirectoryTree(list, tmp / "missing", 0);
  AddDirectoryFiles(list, tmp / "missing", 0);
  AddDirectoryFiles(list, tmp / "b.htm", 0);          // a file, not a directory
  AddDirectoryFiles(list, tmp.Path() + "/sub1/", 0);  // no double slash
  EXPECT_EQ(ToVector(list), (Paths{"earlier", tmp / "sub1/x.htm"}));
}

TEST_F(FileDiscoveryTest, BareNameMeansTheCurrentDirectory) {
  char saved[4096];
  ASSERT_NE(::getcwd(saved, sizeof saved), nullptr);
  ASSERT_EQ(::chdir((tmp / "sub2").c_str()), 0);
  StringList list;
  BuildFileList(list, "y.html", 1, 1, 0);
  ASSERT_EQ(::chdir(saved), 0);
  EXPECT_EQ(ToVector(list), (Paths{"./y.html", "./deep/z.htm", "./aaa/q.htm"}));
}

TEST_F(FileDiscoveryTest, RootDirectoryPathsHaveOneSlash) {
  StringList list;
  AddDirectoryFiles(list, "/", 0);
  for (const std::string& path : list) {
    EXPECT_EQ(path.rfind('/'), 0u) << path;
  }
}

struct DirectoryCase {
  const char* path;
  const char* directory;
};

TEST(DirectoryOfPathTest, CutsAtTheLastSeparator) {
  const DirectoryCase cases[] = {
      {"/home/u/site/index.html", "/home/u/site"},
      {"site/index.html", "site"},
      {"/index.html", "/"},
      {"//index.html", "/"},
      {"index.html", "."},
      {"site//index.html", "site"},
      {"/a b/\xC3\xBC.htm", "/a b"},
  };
  for (const DirectoryCase& c : cases) EXPECT_EQ(DirectoryOfPath(c.path), c.directory) << c.path;
}

struct FilterCase {
  const char* path;
  bool passes;
};

TEST(ExtensionFilterTest, SubstringOfTheUpperCasedPathAfterItsFirstCharacter) {
  const FilterCase cases[] = {
      {"/d/INDEX.HTML", true},
      {"/d/index.html", true},
      {"/d/page.htm", true},
      {"/d/page.shtml", true},
      {"/d/page.SHTM", true},
      {"/d/form.asp", true},
      {"/d/PAGE.HTM.BAK", true},
      {"/d/DEFAULT.ASPX", true},
      {"/d/x.htm/inner.txt", true},
      {"/d/.hidden.htm", true},
      {"/d/PAGE.XML", false},
      {"/d/page.ht", false},
      {"/d/pagehtm", false},
      {"/d/a.gif", false},
      {".htm", false},
      {".htmdir/notes.txt", false},
      {"a.htm", true},
      {".asp/.asp", true},
      {"", false},
  };
  for (const FilterCase& c : cases) {
    EXPECT_EQ(PassesExtensionFilter(c.path), c.passes) << c.path;
  }
}

}  // namespace
