#include "repair/RepairFiles.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <vector>

#include "support/RecordingFrame.h"
#include "support/ScratchDir.h"

namespace {

const std::string kUrl = "http://host/old.html";

bool Exists(const std::string& path) {
  return access(path.c_str(), F_OK) == 0;
}
std::string Read(const std::string& path) {
  return ScratchDir::ReadFile(path);
}

class RepairFilesTest : public ::testing::Test {
 protected:
  // Writes source as index.htm, repairs url by type and returns the file afterwards.
  std::string Repair(const std::string& source, int type, const std::string& url = kUrl) {
    const std::string path = m_dir.WriteFile("index.htm", source);
    CRepairFiles repair(m_frame);
    EXPECT_EQ(repair.BeginFileRepair(path), 1);
    EXPECT_EQ(repair.RepairLinkLine(url, path, type), 1);
    EXPECT_NE(repair.EndFileRepair(path), 0);
    EXPECT_FALSE(Exists(m_dir / "index.t~p"));
    EXPECT_TRUE(m_frame.boxes.empty());
    return Read(path);
  }

  ScratchDir m_dir;
  RecordingFrame m_frame;
};

TEST(RepairSiblingName, CutsAtTheLastDotOfTheFileName) {
  const std::pair<const char*, const char*> cases[] = {
      {"/web/index.htm", "/web/index.rep"},     {"/web/a.b.html", "/web/a.b.rep"},
      {"/web/README", "/web/README.rep"},       {"/my.site/page", "/my.site/page.rep"},
      {"/web/.htaccess", "/web/.htaccess.rep"}, {"index.htm", "index.rep"},
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
      std::filesystem::remove(m_dir / "index.rep");
      EXPECT_EQ(Repair(source, type), expected) << "type " << type;
      EXPECT_EQ(Read(m_dir / "index.rep"), source);
    }
  }
  m_dir.WriteFile("index.rep", "the first original\n");  // never overwritten
  Repair("x\n" + kUrl + "\n", 0);
  EXPECT_EQ(Read(m_dir / "index.rep"), "the first original\n");
}

TEST_F(RepairFilesTest, LineEndsAndMatching) {
  struct Case {
    std::string source;
    int type;
    std::string expected;
  };
  const Case cases[] = {
      // A last line without line end gets the file's own line end.
      {"a\r\nb " + kUrl, 0, "a\r\n<!--b " + kUrl + "-->\r\n"},
      {"a\nb " + kUrl, 0, "a\n<!--b " + kUrl + "-->\n"},
      {"b " + kUrl, 0, "<!--b " + kUrl + "-->\n"},
      {"x\r\n<a href=" + kUrl, 1, "x\r\n<a href=index.htm<!--" + kUrl + "-->\r\n"},
      // A rewritten line keeps its own line end, whatever the others use.
      {"a\r\n" + kUrl + "\nb\r\n", 0, "a\r\n<!--" + kUrl + "-->\nb\r\n"},
      {"a\n" + kUrl + "\r\nb\n", 0, "a\n<!--" + kUrl + "-->\r\nb\n"},
      // A lone carriage return is text, not a line end.
      {"a\rb " + kUrl + "\n", 0, "<!--a\rb " + kUrl + "-->\n"},
      // URLs are matched case-sensitively.
      {"HTTP://HOST/OLD.HTML\n" + kUrl + "\n", 2, "HTTP://HOST/OLD.HTML\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(Repair(c.source, c.type), c.expected);
}

TEST_F(RepairFilesTest, LinesNotRewrittenAreCopiedByteForByte) {
  std::string longLine;
  for (int i = 0; i < 2000; ++i) longLine += static_cast<char>('A' + i % 26);
  const std::string head =
      std::string("a\0b\0\0c\n", 7) + longLine + "\r\n" + std::string("\0\n", 2) + "lone\rcr\n";
  const std::string tail = longLine + std::string(1, '\0') + "\n" + "no end";
  EXPECT_EQ(Repair(head + kUrl + "\n" + tail, 0), head + "<!--" + kUrl + "-->\n" + tail);
}

TEST_F(RepairFilesTest, LongLinesAreSearchedInPiecesOf511Bytes) {
  std::string line = std::string(600, 'a') + kUrl;
  line += std::string(2000 - line.size(), 'b');
  // Only the piece that holds the URL is rewritten, and it gets a line end.
  EXPECT_EQ(Repair(line + "\nnext\n", 0), line.substr(0, 511) + "<!--" + line.substr(511, 511) +
                                              "-->\n" + line.substr(1022) + "\nnext\n");
  // A line of exactly 511 bytes is one piece together with its line end.
  const std::string full = std::string(511 - kUrl.size(), 'c') + kUrl;
  EXPECT_EQ(Repair(full + "\r\nz\r\n", 0), "<!--" + full + "-->\r\nz\r\n");
  EXPECT_EQ(Repair(full + "\nz\n", 1),
            full.substr(0, 511 - kUrl.size()) + "index.htm<!--" + kUrl + "-->\nz\n");
  // A URL cut by a piece boundary is not found.
  const std::string cut = m_dir.WriteFile("cut.htm", std::string(500, 'a') + kUrl + "\n");
  CRepairFiles repair(m_frame);
  ASSERT_EQ(repair.BeginFileRepair(cut), 1);
  EXPECT_EQ(repair.RepairLinkLine(kUrl, cut, 0), 0);
  EXPECT_EQ(m_frame.boxes.size(), 1u);
}

TEST_F(RepairFilesTest, SecondUrlOnTheSameLineIsNotFound) {
  const std::string second = "http://host/other.html";
  const std::string line = "<a href=\"" + kUrl + "\">A</a> <a href=\"" + second + "\">B</a>";
  const std::string path = m_dir.WriteFile("index.htm", line + "\nend\n");
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

TEST_F(RepairFilesTest, NoSourceOrNoTemporaryFileMeansNothingOpen) {
  CRepairFiles repair(m_frame);
  EXPECT_EQ(repair.RepairLinkLine(kUrl, m_dir / "index.htm", 0), 0);
  EXPECT_EQ(repair.EndFileRepair(m_dir / "index.htm"), 0);
  EXPECT_EQ(repair.BeginFileRepair(m_dir / "gone.htm"), 0);
  EXPECT_FALSE(repair.SourceOpen());
  EXPECT_TRUE(std::filesystem::is_empty(m_dir.Path()));
  EXPECT_TRUE(m_frame.boxes.empty());
  // A non-empty directory in the temporary file's place can be neither
  // deleted nor opened as a file, whoever runs the test.
  const std::string path = m_dir.WriteFile("index.htm", kUrl + "\n");
  std::filesystem::create_directory(m_dir / "index.t~p");
  m_dir.WriteFile("index.t~p/keep", "k");
  EXPECT_EQ(repair.BeginFileRepair(path), 0);
  EXPECT_FALSE(repair.SourceOpen());
  EXPECT_EQ(Read(path), kUrl + "\n");
  EXPECT_EQ(Read(m_dir / "index.t~p/keep"), "k");
}

TEST_F(RepairFilesTest, FailedReplaceLeavesTheTemporaryFileBeside) {
  for (bool removed : {false, true}) {
    const std::string path = m_dir.WriteFile("index.htm", "a\n" + kUrl + "\n");
    CRepairFiles repair(m_frame);
    ASSERT_EQ(repair.BeginFileRepair(path), 1);
    ASSERT_EQ(repair.RepairLinkLine(kUrl, path, 0), 1);
    std::filesystem::remove(path);
    if (!removed) {  // a non-empty directory takes the source's place: no rename can replace it
      std::filesystem::create_directory(path);
      m_dir.WriteFile("index.htm/keep", "k");
    }
    EXPECT_EQ(repair.EndFileRepair(path), 0);
    EXPECT_FALSE(repair.SourceOpen());
    EXPECT_EQ(Exists(path), !removed);  // a source removed during the pass is not recreated
    EXPECT_EQ(Read(m_dir / "index.t~p"), "a\n<!--" + kUrl + "-->\n");
    std::filesystem::remove_all(path);
    std::filesystem::remove(m_dir / "index.t~p");
  }
}

TEST_F(RepairFilesTest, RewrittenFileKeepsThePermissionBits) {
  const std::string path = m_dir / "index.htm";
  for (mode_t mode : {0640, 0755, 0600}) {
    m_dir.WriteFile("index.htm", kUrl + "\n");
    chmod(path.c_str(), mode);
    CRepairFiles repair(m_frame);
    ASSERT_EQ(repair.BeginFileRepair(path), 1);
    struct stat info {};
    stat((m_dir / "index.t~p").c_str(), &info);
    EXPECT_EQ(info.st_mode & 07777, 0600u);  // private while it is written
    ASSERT_EQ(repair.RepairLinkLine(kUrl, path, 0), 1);
    ASSERT_NE(repair.EndFileRepair(path), 0);
    stat(path.c_str(), &info);
    EXPECT_EQ(info.st_mode & 07777, mode);
  }
}

TEST_F(RepairFilesTest, BackupAndTemporaryStayBesideTheFileWhateverItsName) {
  std::filesystem::create_directory(m_dir / "my.site");
  const std::pair<std::string, std::string> cases[] = {{"my.site/page", "my.site/page.rep"},
                                                       {"odd.t~p", "odd.rep"}};
  for (const auto& [name, backup] : cases) {
    const std::string path = m_dir.WriteFile(name, "a\n" + kUrl + "\n");
    CRepairFiles repair(m_frame);
    ASSERT_EQ(repair.BeginFileRepair(path), 1);
    EXPECT_TRUE(Exists(RepairSiblingName(path, ".t~p")));
    ASSERT_EQ(repair.RepairLinkLine(kUrl, path, 2), 1);
    ASSERT_NE(repair.EndFileRepair(path), 0);
    EXPECT_EQ(Read(path), "a\n");  // a source named like a temporary file survives
    EXPECT_EQ(Read(m_dir / backup), "a\n" + kUrl + "\n");
  }
  EXPECT_FALSE(Exists(m_dir / "my.rep"));
}

}  // namespace
