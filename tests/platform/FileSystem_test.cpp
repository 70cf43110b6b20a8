#include "platform/FileSystem.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "support/ScratchDir.h"

namespace {

std::vector<std::string> Names(const std::vector<fsys::DirEntry>& entries) {
  std::vector<std::string> names;
  for (const auto& e : entries) names.push_back(e.name);
  return names;
}

const fsys::DirEntry* Find(const std::vector<fsys::DirEntry>& entries, const std::string& name) {
  for (const auto& e : entries)
    if (e.name == name) return &e;
  return nullptr;
}

TEST(ListDirectory, NamesComeInByteOrderWithHiddenFilesAndNonUtf8Names) {
  ScratchDir dir;
  const std::vector<std::string> created = {"b.html",         "B.html", "a.htm", ".hidden",
                                            "\xe9t\xe9.html", "_x",     "Z",     "a b"};
  for (const auto& name : created) dir.WriteFile(name, "x");

  std::vector<fsys::DirEntry> entries;
  ASSERT_TRUE(fsys::ListDirectory(dir.Path(), &entries));
  EXPECT_EQ(Names(entries), (std::vector<std::string>{".hidden", "B.html", "Z", "_x", "a b",
                                                      "a.htm", "b.html", "\xe9t\xe9.html"}));
  for (const auto& e : entries) {
    EXPECT_FALSE(e.isDirectory) << e.name;
    EXPECT_FALSE(e.isMarked) << e.name;
  }
}

TEST(ListDirectory, KeepsFilesLinksToFilesAndRealDirectoriesOnly) {
  ScratchDir dir;
  dir.WriteFile("file", "x");
  ASSERT_EQ(mkdir((dir / "sub").c_str(), 0755), 0);
  ASSERT_EQ(symlink("file", (dir / "link-to-file").c_str()), 0);
  ASSERT_EQ(symlink("sub", (dir / "link-to-dir").c_str()), 0);
  ASSERT_EQ(symlink("nowhere", (dir / "dangling").c_str()), 0);
  ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);

  std::vector<fsys::DirEntry> entries;
  ASSERT_TRUE(fsys::ListDirectory(dir.Path() + "/", &entries));
  EXPECT_EQ(Names(entries), (std::vector<std::string>{"file", "link-to-file", "sub"}));
  ASSERT_NE(Find(entries, "sub"), nullptr);
  EXPECT_TRUE(Find(entries, "sub")->isDirectory);
  EXPECT_FALSE(Find(entries, "sub")->isMarked);
  EXPECT_FALSE(Find(entries, "link-to-file")->isDirectory);
}

// The marks follow the mode bits of the class we fall in, so they hold for
// the superuser as well as for anyone else.
TEST(ListDirectory, MarksDirectoriesThatAreReadOnlyOrNotReadableAndSearchable) {
  ScratchDir dir;
  struct Case {
    const char* name;
    mode_t mode;
    bool marked;
  } cases[] = {
      {"open", 0755, false},
      {"owner-only", 0700, false},
      {"read-only", 0555, true},
      {"no-access", 0000, true},
      {"no-read", 0300, true},
      {"no-search", 0600, true},
      {"write-only-other", 0702, false},
  };
  for (const auto& c : cases) {
    ASSERT_EQ(mkdir((dir / c.name).c_str(), 0700), 0);
    ASSERT_EQ(chmod((dir / c.name).c_str(), c.mode), 0);
  }
  std::vector<fsys::DirEntry> entries;
  ASSERT_TRUE(fsys::ListDirectory(dir.Path(), &entries));
  for (const auto& c : cases) {
    const fsys::DirEntry* e = Find(entries, c.name);
    ASSERT_NE(e, nullptr) << c.name;
    EXPECT_TRUE(e->isDirectory) << c.name;
    EXPECT_EQ(e->isMarked, c.marked) << c.name;
  }
}

TEST(ListDirectory, FailsForAMissingOrUnreadableDirectory) {
  ScratchDir dir;
  std::vector<fsys::DirEntry> entries = {{"stale", false, false}};
  EXPECT_FALSE(fsys::ListDirectory(dir / "missing", &entries));
  EXPECT_TRUE(entries.empty());
  dir.WriteFile("file", "x");
  EXPECT_FALSE(fsys::ListDirectory(dir / "file", &entries));
}

TEST(CopyFileNoReplace, CopiesBytesAndPermissionBits) {
  ScratchDir dir;
  std::string bytes(200000, '\0');
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 31);
  std::string src = dir.WriteFile("src.html", bytes);
  ASSERT_EQ(chmod(src.c_str(), 0640), 0);

  ASSERT_TRUE(fsys::CopyFileNoReplace(src, dir / "src.rep"));
  EXPECT_EQ(ScratchDir::ReadFile(dir / "src.rep"), bytes);
  struct stat st;
  ASSERT_EQ(stat((dir / "src.rep").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
}

TEST(CopyFileNoReplace, KeepsReadOnlyBits) {
  ScratchDir dir;
  std::string src = dir.WriteFile("ro", "text");
  ASSERT_EQ(chmod(src.c_str(), 0444), 0);
  ASSERT_TRUE(fsys::CopyFileNoReplace(src, dir / "copy"));
  struct stat st;
  ASSERT_EQ(stat((dir / "copy").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0444u);
  EXPECT_EQ(ScratchDir::ReadFile(dir / "copy"), "text");
}

TEST(CopyFileNoReplace, FailsAndTouchesNothingWhenTheTargetExists) {
  ScratchDir dir;
  std::string src = dir.WriteFile("src", "new");
  std::string dst = dir.WriteFile("dst", "old");
  EXPECT_FALSE(fsys::CopyFileNoReplace(src, dst));
  EXPECT_EQ(ScratchDir::ReadFile(dst), "old");
  ASSERT_EQ(symlink("nowhere", (dir / "dangling").c_str()), 0);
  EXPECT_FALSE(fsys::CopyFileNoReplace(src, dir / "dangling"));
  EXPECT_FALSE(fsys::FileExists(dir / "nowhere"));
}

TEST(CopyFileNoReplace, FailsForAMissingSource) {
  ScratchDir dir;
  EXPECT_FALSE(fsys::CopyFileNoReplace(dir / "missing", dir / "dst"));
  EXPECT_FALSE(fsys::FileExists(dir / "dst"));
}

TEST(FileSteps, DeleteMoveAndExists) {
  ScratchDir dir;
  std::string a = dir.WriteFile("a", "A");
  std::string b = dir.WriteFile("b", "B");
  EXPECT_TRUE(fsys::FileExists(a));
  EXPECT_TRUE(fsys::MoveFile(a, b));  // replaces the target in one step
  EXPECT_FALSE(fsys::FileExists(a));
  EXPECT_EQ(ScratchDir::ReadFile(b), "A");
  EXPECT_FALSE(fsys::MoveFile(a, dir / "c"));
  EXPECT_TRUE(fsys::DeleteFile(b));
  EXPECT_FALSE(fsys::FileExists(b));
  EXPECT_FALSE(fsys::DeleteFile(b));
}

}  // namespace
