#include "platform/FileSystem.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "support/ScratchDir.h"

using namespace linkward;

namespace {

// What the tree walk is given: byte order; regular files and links to them;
// real directories, marked when read-only or not readable and searchable by
// the mode bits of our class (so for the superuser too). Fifos (which would
// block a read), dangling links and links to directories are left out. The
// walk itself (and a missing directory) is tested with file discovery.
TEST(ListDirectory, FilesLinksToFilesAndMarkedDirectoriesInByteOrder) {
  ScratchDir dir;
  for (const char* name : {"b.html", "B.html", ".hidden", "\xe9t\xe9.html", "a b"})
    dir.WriteFile(name, "x");
  ASSERT_EQ(symlink("b.html", (dir / "link-to-file").c_str()), 0);
  ASSERT_EQ(symlink("d-open", (dir / "link-to-dir").c_str()), 0);
  ASSERT_EQ(symlink("nowhere", (dir / "dangling").c_str()), 0);
  ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
  // clang-format off
  const std::pair<const char*, mode_t> dirs[] = {{"d-open", 0755}, {"d-read-only", 0555},
      {"d-no-read", 0300}, {"d-no-search", 0600}, {"d-write-other", 0702}};
  // clang-format on
  for (const auto& [name, mode] : dirs) {
    ASSERT_EQ(mkdir((dir / name).c_str(), 0700), 0);
    ASSERT_EQ(chmod((dir / name).c_str(), mode), 0);
  }
  std::vector<fsys::DirEntry> entries;
  ASSERT_TRUE(fsys::ListDirectory(dir.Path() + "/", &entries));
  std::vector<std::string> lines;
  for (const auto& e : entries)
    lines.push_back(e.name + (e.isDirectory ? " d" : " f") + (e.isMarked ? "m" : ""));
  EXPECT_EQ(lines,
            (std::vector<std::string>{".hidden f", "B.html f", "a b f", "b.html f", "d-no-read dm",
                                      "d-no-search dm", "d-open d", "d-read-only dm",
                                      "d-write-other d", "link-to-file f", "\xe9t\xe9.html f"}));
}

}  // namespace
