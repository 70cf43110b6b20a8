#include "platform/FileSystem.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "support/ScratchDir.h"

using namespace linkward;

namespace {

// name/isDirectory/isMarked of each entry, as one line per entry.
std::vector<std::string> Listing(const std::string& path) {
  std::vector<fsys::DirEntry> entries;
  EXPECT_TRUE(fsys::ListDirectory(path, &entries)) << path;
  std::vector<std::string> lines;
  for (const auto& e : entries)
    lines.push_back(e.name + (e.isDirectory ? " d" : " f") + (e.isMarked ? "m" : ""));
  return lines;
}

TEST(ListDirectory, ByteOrderFilesLinksToFilesAndRealDirectoriesOnly) {
  ScratchDir dir;
  for (const char* name : {"b.html", "B.html", ".hidden", "\xe9t\xe9.html", "_x", "a b"})
    dir.WriteFile(name, "x");
  ASSERT_EQ(mkdir((dir / "sub").c_str(), 0755), 0);
  ASSERT_EQ(symlink("b.html", (dir / "link-to-file").c_str()), 0);
  ASSERT_EQ(symlink("sub", (dir / "link-to-dir").c_str()), 0);
  ASSERT_EQ(symlink("nowhere", (dir / "dangling").c_str()), 0);
  ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
  EXPECT_EQ(Listing(dir.Path() + "/"),
            (std::vector<std::string>{".hidden f", "B.html f", "_x f", "a b f", "b.html f",
                                      "link-to-file f", "sub d", "\xe9t\xe9.html f"}));
}

// The marks follow the mode bits of the class we fall in, so they hold for
// the superuser as well as for anyone else.
TEST(ListDirectory, MarksDirectoriesThatAreReadOnlyOrNotReadableAndSearchable) {
  ScratchDir dir;
  const struct {
    const char* name;
    mode_t mode;
  } cases[] = {{"a-open", 0755},
               {"c-read-only", 0555},
               {"e-no-read", 0300},
               {"f-no-search", 0600},
               {"g-write-other", 0702}};
  for (const auto& c : cases) {
    ASSERT_EQ(mkdir((dir / c.name).c_str(), 0700), 0);
    ASSERT_EQ(chmod((dir / c.name).c_str(), c.mode), 0);
  }
  EXPECT_EQ(Listing(dir.Path()),
            (std::vector<std::string>{"a-open d", "c-read-only dm", "e-no-read dm",
                                      "f-no-search dm", "g-write-other d"}));
}

TEST(ListDirectory, FailsForAMissingDirectoryOrAFile) {
  ScratchDir dir;
  std::vector<fsys::DirEntry> entries = {{"stale", false, false}};
  EXPECT_FALSE(fsys::ListDirectory(dir / "missing", &entries));
  EXPECT_TRUE(entries.empty());
  EXPECT_FALSE(fsys::ListDirectory(dir.WriteFile("file", "x"), &entries));
}

TEST(CopyFileNoReplace, CopiesBytesAndPermissionBitsButNeverReplaces) {
  ScratchDir dir;
  std::string bytes(200000, '\0');
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 31);
  for (mode_t mode : {0640, 0444}) {
    std::string src = dir.WriteFile("src" + std::to_string(mode), bytes);
    ASSERT_EQ(chmod(src.c_str(), mode), 0);
    ASSERT_TRUE(fsys::CopyFileNoReplace(src, src + ".rep"));
    EXPECT_EQ(ScratchDir::ReadFile(src + ".rep"), bytes);
    struct stat st;
    ASSERT_EQ(stat((src + ".rep").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, mode);
  }
  std::string src = dir.WriteFile("src", "new");
  std::string dst = dir.WriteFile("dst", "old");
  EXPECT_FALSE(fsys::CopyFileNoReplace(src, dst));
  EXPECT_EQ(ScratchDir::ReadFile(dst), "old");
  ASSERT_EQ(symlink("nowhere", (dir / "dangling").c_str()), 0);
  EXPECT_FALSE(fsys::CopyFileNoReplace(src, dir / "dangling"));
  EXPECT_FALSE(fsys::FileExists(dir / "nowhere"));
  EXPECT_FALSE(fsys::CopyFileNoReplace(dir / "missing", dir / "out"));
  EXPECT_FALSE(fsys::FileExists(dir / "out"));
}

TEST(FileSteps, DeleteMoveAndExists) {
  ScratchDir dir;
  std::string a = dir.WriteFile("a", "A");
  std::string b = dir.WriteFile("b", "B");
  EXPECT_TRUE(fsys::MoveFile(a, b));  // replaces the target in one step
  EXPECT_EQ(ScratchDir::ReadFile(b), "A");
  EXPECT_FALSE(fsys::FileExists(a));
  EXPECT_FALSE(fsys::MoveFile(a, dir / "c"));  // a source that is gone
  EXPECT_TRUE(fsys::DeleteFile(b));
  EXPECT_FALSE(fsys::FileExists(b));
  EXPECT_FALSE(fsys::DeleteFile(b));
}

}  // namespace
