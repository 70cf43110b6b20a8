#include "repair/RepairFiles.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <utility>
#include <vector>

#include "support/RecordingFrame.h"

namespace {

const std::string kUrl = "http://host/old.html";

class RepairFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char dir[] = "/tmp/linkward-repair-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    m_dir = dir;
  }
  void TearDown() override {
    for (auto& entry : std::filesystem::recursive_directory_iterator(m_dir))
      if (entry.is_directory()) chmod(entry.path().c_str(), 0755);
    std::filesystem::remove_all(m_dir);
  }

  std::string Path(const std::string& name) const { return m_dir + "/" + name; }
  static void Write(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
  }
  static std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }
  static bool Exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }
  static int Mode(const std::string& path) {
    struct stat info {};
    stat(path.c_str(), &info);
    return info.st_mode & 07777;
  }

  // Writes source as index.htm, repairs each (url, type) in turn and returns
  // the file afterwards.
  std::string Repair(const std::string& source, std::vector<std::pair<std::string, int>> urls) {
    const std::string path = Path("index.htm");
    Write(path, source);
    CRepairFiles repair(m_frame);
    EXPECT_EQ(repair.BeginFileRepair(path), 1);
    for (const auto& [url, type] : urls) EXPECT_EQ(repair.RepairLinkLine(url, path, type), 1);
    EXPECT_NE(repair.EndFileRepair(path), 0);
    EXPECT_FALSE(Exists(Path("index.t~p")));
    EXPECT_TRUE(m_frame.boxes.empty());
    return Read(path);
  }

  std::string m_dir;
  RecordingFrame m_frame;
};

TEST(RepairSiblingName, CutsAtTheLastDotOfTheFileName) {
  const std::pair<const char*, const char*> cases[] = {
      {"/web/index.htm", "/web/index.rep"},
      {"/web/a.b.html", "/web/a.b.rep"},
      {"/web/README", "/web/README.rep"},
      {"/my.site/page", "/my.site/page.rep"},  // the directory's "." is not an extension
      {"/web/.htaccess", "/web/.htaccess.rep"},
      {"index.htm", "index.rep"},
      {"/web/page.", "/web/page.rep"},
  };
  for (const auto& [path, backup] : cases) EXPECT_EQ(RepairSiblingName(path, ".rep"), backup);
  EXPECT_EQ(RepairSiblingName("/web/index.htm", ".t~p"), "/web/index.t~p");
}

TEST_F(RepairFilesTest, EachTypeRewritesTheLineAndBacksUpTheFile) {
  for (const std::string eol : {"\n", "\r\n"}) {
    const std::string line = "<a href=\"" + kUrl + "\">Old page</a>";
    const std::string source = "<html>" + eol + line + eol + "</html>" + eol;
    const std::pair<int, std::string> cases[] = {
        {0, "<html>" + eol + "<!--" + line + "-->" + eol + "</html>" + eol},
        {1, "<html>" + eol + "<a href=\"index.htm\">Old page</a><!--" + kUrl + "-->" + eol +
                "</html>" + eol},
        {2, "<html>" + eol + "</html>" + eol},
        {7, "<html>" + eol + "</html>" + eol},  // any other type leaves the line out
    };
    for (const auto& [type, expected] : cases) {
      std::filesystem::remove(Path("index.rep"));
      EXPECT_EQ(Repair(source, {{kUrl, type}}), expected) << "type " << type;
      EXPECT_EQ(Read(Path("index.rep")), source);
    }
  }
}

TEST_F(RepairFilesTest, AnExistingBackupIsNeverOverwritten) {
  Write(Path("index.rep"), "the first original\n");
  Repair("x\n" + kUrl + "\n", {{kUrl, 0}});
  EXPECT_EQ(Read(Path("index.rep")), "the first original\n");
}

TEST_F(RepairFilesTest, LineEndsFollowTheSourceLines) {
  const std::pair<std::string, std::string> type0[] = {
      // A last line without line end gets the file's own line end.
      {"a\r\nb " + kUrl, "a\r\n<!--b " + kUrl + "-->\r\n"},
      {"a\nb " + kUrl, "a\n<!--b " + kUrl + "-->\n"},
      {"b " + kUrl, "<!--b " + kUrl + "-->\n"},
      // A rewritten line keeps its own line end, whatever the others use.
      {"a\r\n" + kUrl + "\nb\r\n", "a\r\n<!--" + kUrl + "-->\nb\r\n"},
      {"a\n" + kUrl + "\r\nb\n", "a\n<!--" + kUrl + "-->\r\nb\n"},
      // A lone carriage return is text, not a line end.
      {"a\rb " + kUrl + "\n", "<!--a\rb " + kUrl + "-->\n"},
  };
  for (const auto& [source, expected] : type0) EXPECT_EQ(Repair(source, {{kUrl, 0}}), expected);
}

TEST_F(RepairFilesTest, UrlAtTheVeryEndOfTheLastLineWithTypeOne) {
  EXPECT_EQ(Repair("x\r\n<a href=" + kUrl, {{kUrl, 1}}),
            "x\r\n<a href=index.htm<!--" + kUrl + "-->\r\n");
}

TEST_F(RepairFilesTest, LinesNotRewrittenAreCopiedByteForByte) {
  std::string nuls("a\0b\0\0c\n", 7);
  std::string longLine;
  for (int i = 0; i < 2000; ++i) longLine += static_cast<char>('A' + i % 26);
  const std::string head = nuls + longLine + "\r\n" + std::string("\0\n", 2) + "lone\rcr\n";
  const std::string tail = longLine + std::string(1, '\0') + "\n" + "no end";
  EXPECT_EQ(Repair(head + kUrl + "\n" + tail, {{kUrl, 0}}), head + "<!--" + kUrl + "-->\n" + tail);
}

TEST_F(RepairFilesTest, LongLinesAreSearchedInPiecesOf511Bytes) {
  std::string line = std::string(600, 'a') + kUrl;
  line += std::string(2000 - line.size(), 'b');
  // Only the piece that holds the URL is rewritten, and it gets a line end.
  EXPECT_EQ(Repair(line + "\nnext\n", {{kUrl, 0}}), line.substr(0, 511) + "<!--" +
                                                        line.substr(511, 511) + "-->\n" +
                                                        line.substr(1022) + "\nnext\n");
  // A URL cut by a piece boundary is not found.
  std::string cut = std::string(500, 'a') + kUrl + "\n";
  Write(Path("cut.htm"), cut);
  CRepairFiles repair(m_frame);
  ASSERT_EQ(repair.BeginFileRepair(Path("cut.htm")), 1);
  EXPECT_EQ(repair.RepairLinkLine(kUrl, Path("cut.htm"), 0), 0);
  EXPECT_EQ(m_frame.boxes.size(), 1u);
  m_frame.boxes.clear();
  // A line of exactly 511 bytes is one piece together with its line end.
  const std::string full = std::string(511 - kUrl.size(), 'c') + kUrl;
  EXPECT_EQ(Repair(full + "\r\nz\r\n", {{kUrl, 0}}), "<!--" + full + "-->\r\nz\r\n");
  EXPECT_EQ(Repair(full + "\nz\n", {{kUrl, 1}}),
            full.substr(0, 511 - kUrl.size()) + "index.htm<!--" + kUrl + "-->\nz\n");
}

TEST_F(RepairFilesTest, SecondUrlOnTheSameLineIsNotFound) {
  const std::string second = "http://host/other.html";
  const std::string line = "<a href=\"" + kUrl + "\">A</a> <a href=\"" + second + "\">B</a>";
  const std::string path = Path("index.htm");
  Write(path, line + "\nend\n");
  CRepairFiles repair(m_frame);
  ASSERT_EQ(repair.BeginFileRepair(path), 1);
  EXPECT_EQ(repair.RepairLinkLine(kUrl, path, 0), 1);
  EXPECT_EQ(repair.RepairLinkLine(second, path, 0), 0);
  ASSERT_EQ(m_frame.boxes.size(), 1u);
  EXPECT_EQ(m_frame.boxes[0].text,
            "We looked in file\n" + path + "\nbut could not file the URL\n" + second);
  EXPECT_EQ(m_frame.boxes[0].style, MB_OK);
  // The file is replaced by its copy with the rewrite made so far.
  EXPECT_NE(repair.EndFileRepair(path), 0);
  EXPECT_EQ(Read(path), "<!--" + line + "-->\nend\n");
}

TEST_F(RepairFilesTest, UrlsAreSearchedCaseSensitivelyAndInOrder) {
  const std::string path = Path("index.htm");
  Write(path, "HTTP://HOST/OLD.HTML\n" + kUrl + "\n");
  CRepairFiles repair(m_frame);
  ASSERT_EQ(repair.BeginFileRepair(path), 1);
  EXPECT_EQ(repair.RepairLinkLine(kUrl, path, 2), 1);
  EXPECT_NE(repair.EndFileRepair(path), 0);
  EXPECT_EQ(Read(path), "HTTP://HOST/OLD.HTML\n");
}

TEST_F(RepairFilesTest, NothingHappensWithoutAnOpenSource) {
  CRepairFiles repair(m_frame);
  EXPECT_EQ(repair.RepairLinkLine(kUrl, Path("index.htm"), 0), 0);
  EXPECT_EQ(repair.EndFileRepair(Path("index.htm")), 0);
  EXPECT_TRUE(m_frame.boxes.empty());
}

TEST_F(RepairFilesTest, VanishedSourceFailsAndCreatesNothing) {
  CRepairFiles repair(m_frame);
  EXPECT_EQ(repair.BeginFileRepair(Path("gone.htm")), 0);
  EXPECT_FALSE(repair.SourceOpen());
  EXPECT_TRUE(std::filesystem::is_empty(m_dir));
}

TEST_F(RepairFilesTest, TemporaryFileThatCannotBeCreatedClosesTheSource) {
  const std::string path = Path("index.htm");
  Write(path, kUrl + "\n");
  // A non-empty directory in the temporary file's place can be neither
  // deleted nor opened as a file, whoever runs the test.
  std::filesystem::create_directory(Path("index.t~p"));
  Write(Path("index.t~p/keep"), "k");
  CRepairFiles repair(m_frame);
  EXPECT_EQ(repair.BeginFileRepair(path), 0);
  EXPECT_FALSE(repair.SourceOpen());
  EXPECT_EQ(Read(path), kUrl + "\n");
  EXPECT_EQ(Read(Path("index.t~p/keep")), "k");
}

TEST_F(RepairFilesTest, ReadOnlyDirectoryRefusesTheTemporaryFile) {
  if (geteuid() == 0) GTEST_SKIP() << "root writes into a mode 0555 directory regardless";
  std::filesystem::create_directory(Path("ro"));
  const std::string path = Path("ro/index.htm");
  Write(path, kUrl + "\n");
  chmod(Path("ro").c_str(), 0555);
  CRepairFiles repair(m_frame);
  EXPECT_EQ(repair.BeginFileRepair(path), 0);
  EXPECT_FALSE(repair.SourceOpen());
  EXPECT_FALSE(Exists(Path("ro/index.t~p")));
  EXPECT_EQ(Read(path), kUrl + "\n");
}

TEST_F(RepairFilesTest, FailedReplaceLeavesTheTemporaryFileBeside) {
  const std::string path = Path("index.htm");
  Write(path, "a\n" + kUrl + "\n");
  CRepairFiles repair(m_frame);
  ASSERT_EQ(repair.BeginFileRepair(path), 1);
  ASSERT_EQ(repair.RepairLinkLine(kUrl, path, 0), 1);
  // The source's place is taken by a non-empty directory: no rename can replace it.
  std::filesystem::remove(path);
  std::filesystem::create_directory(path);
  Write(path + "/keep", "k");
  EXPECT_EQ(repair.EndFileRepair(path), 0);
  EXPECT_EQ(Read(path + "/keep"), "k");
  EXPECT_EQ(Read(Path("index.t~p")), "a\n<!--" + kUrl + "-->\n");
  EXPECT_FALSE(repair.SourceOpen());
}

TEST_F(RepairFilesTest, SourceRemovedDuringThePassIsNotRecreated) {
  const std::string path = Path("index.htm");
  Write(path, kUrl + "\n");
  CRepairFiles repair(m_frame);
  ASSERT_EQ(repair.BeginFileRepair(path), 1);
  std::filesystem::remove(path);
  EXPECT_EQ(repair.EndFileRepair(path), 0);
  EXPECT_FALSE(Exists(path));
  EXPECT_EQ(Read(Path("index.t~p")), kUrl + "\n");
}

TEST_F(RepairFilesTest, RewrittenFileKeepsThePermissionBits) {
  const std::string path = Path("index.htm");
  for (int mode : {0640, 0755, 0600}) {
    Write(path, kUrl + "\n");
    chmod(path.c_str(), mode);
    CRepairFiles repair(m_frame);
    ASSERT_EQ(repair.BeginFileRepair(path), 1);
    EXPECT_EQ(Mode(Path("index.t~p")), 0600);  // private while it is written
    ASSERT_EQ(repair.RepairLinkLine(kUrl, path, 0), 1);
    ASSERT_NE(repair.EndFileRepair(path), 0);
    EXPECT_EQ(Mode(path), mode);
    EXPECT_EQ(Read(path), "<!--" + kUrl + "-->\n");
  }
}

TEST_F(RepairFilesTest, BackupAndTemporaryStayInTheFilesDirectory) {
  std::filesystem::create_directory(Path("my.site"));
  const std::string path = Path("my.site/page");
  Write(path, kUrl + "\n");
  CRepairFiles repair(m_frame);
  ASSERT_EQ(repair.BeginFileRepair(path), 1);
  EXPECT_TRUE(Exists(Path("my.site/page.t~p")));
  ASSERT_EQ(repair.RepairLinkLine(kUrl, path, 1), 1);
  ASSERT_NE(repair.EndFileRepair(path), 0);
  EXPECT_EQ(Read(Path("my.site/page.rep")), kUrl + "\n");
  EXPECT_EQ(Read(path), "page<!--" + kUrl + "-->\n");
  EXPECT_FALSE(Exists(Path("my.rep")));
}

TEST_F(RepairFilesTest, SourceNamedLikeATemporaryFileSurvives) {
  const std::string path = Path("odd.t~p");
  Write(path, "a\n" + kUrl + "\n");
  CRepairFiles repair(m_frame);
  ASSERT_EQ(repair.BeginFileRepair(path), 1);
  ASSERT_EQ(repair.RepairLinkLine(kUrl, path, 2), 1);
  ASSERT_NE(repair.EndFileRepair(path), 0);
  EXPECT_EQ(Read(path), "a\n");
  EXPECT_EQ(Read(Path("odd.rep")), "a\n" + kUrl + "\n");
  EXPECT_FALSE(Exists(path + ".t~p"));
}

}  // namespace
