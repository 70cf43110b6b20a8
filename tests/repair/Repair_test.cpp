// The repair pass over result rows and the files it rewrites.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "repair/RepairDlg.h"
#include "repair/RepairFiles.h"
#include "repair/RepairPass.h"
#include "results/ResultRows.h"
#include "support/RecordingFrame.h"
#include "support/ScratchDir.h"

using namespace linkward;

namespace {

using Texts = std::vector<std::string>;
using Marks = std::vector<uint32_t>;
const std::string kDone = "All URL repairs completed";

bool Exists(const std::string& path) {
  return access(path.c_str(), F_OK) == 0;
}
std::string Read(const std::string& path) {
  return ScratchDir::ReadFile(path);
}
std::string A(const std::string& url, const std::string& text) {
  return "<a href=\"" + url + "\">" + text + "</a>";
}
std::string Repeat(const std::string& s, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += s;
  return out;
}

class RepairTest : public ::testing::Test {
 protected:
  RepairTest() {
    frame.onRepairFail = [this](CRepairFailDlg& dlg) { return OnFail(dlg); };
  }
  Answer OnFail(CRepairFailDlg& dlg) {
    failed.push_back(dlg.m_strFailFile + "|" + dlg.m_strFailUrl);
    dlg.m_bIgnore = ignore;
    return Answer::Ok;
  }
  void Row(const std::string& url, const std::string& file) {
    const int row = rows.InsertItem(rows.GetItemCount(), url);
    rows.SetItemText(row, COL_FILE, file);
  }
  RepairEnd Run(int type, std::function<bool()> cancelled = {}) {
    return RunRepairPass(rows, frame, frame, files, static_cast<RepairType>(type), cancelled);
  }
  Marks MarksNow() const {
    Marks marks;
    for (int i = 0; i < rows.GetItemCount(); ++i) marks.push_back(rows.GetItemData(i));
    return marks;
  }
  // An empty directory, no rows, nothing told yet.
  void Reset() {
    chmod(dir.Path().c_str(), 0700);
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
      chmod(entry.path().c_str(), 0700);
      std::filesystem::remove_all(entry.path());
    }
    rows.DeleteAllItems();
    frame.boxes.clear();
    failed.clear();
  }
  Texts Boxes() const {
    Texts texts;
    for (const auto& box : frame.boxes) texts.push_back(box.text);
    return texts;
  }

  ScratchDir dir;
  RecordingFrame frame;
  CResultRows rows{&frame};
  CRepairFiles files{frame};
  Texts failed;
  bool ignore = false;
};

TEST(RepairNames, SiblingAndBackupNames) {
  const std::pair<const char*, const char*> siblings[] = {
      {"/web/index.htm", "/web/index.rep"},     {"/web/a.b.html", "/web/a.b.rep"},
      {"/web/README", "/web/README.rep"},       {"/my.site/page", "/my.site/page.rep"},
      {"/web/.htaccess", "/web/.htaccess.rep"}, {"/web/page.", "/web/page.rep"},
  };
  for (const auto& [path, backup] : siblings) EXPECT_EQ(RepairSiblingName(path, ".rep"), backup);
  // The first of the files that would share a backup name keeps it.
  ScratchDir d;
  for (const char* name : {"page", "page.htm", "page.html", "page.rep", "page.t~p", "other.htm"})
    d.WriteFile(name, "x");
  const std::pair<std::string, std::string> backups[] = {{"page", "page.rep"},
                                                         {"page.htm", "page.htm.rep"},
                                                         {"page.html", "page.html.rep"},
                                                         {"other.htm", "other.rep"}};
  for (const auto& [name, backup] : backups) EXPECT_EQ(RepairBackupName(d / name), d / backup);
}

// One file, its rows, a type: the file afterwards. Every case completes, marks
// every row and leaves the original in the backup.
TEST_F(RepairTest, RewritesEachListedLinkAndNothingElse) {
  const std::string bad = "http://host/a", good = "http://host/abc";
  const std::string utf8 = Repeat("\xC3\xA9", 400);  // 800 bytes of "é"
  const std::string minified =
      "<p>" + utf8 + A("http://h/1", "One") + utf8 + A(good, "Good") + "</p>";
  const std::string wide = Repeat("x", 600) + A("http://h/1", "One") + Repeat("y", 600);
  struct Case {
    const char* name;
    std::string source;
    Texts urls;
    int type;
    std::string expected;
    Texts finals = {};  // type 3: where each row's link moved (code 301)
  };
  const std::string h1 = "http://h/1", h2 = "http://h/2";
  const std::string n1 = "https://new/1", n2 = "https://new/2", amp = "http://h/3?a=1&amp;b=2";
  // clang-format off
  const Case cases[] = {
      {"last line without end", "a\r\n" + A(bad, "Old"), {bad}, 0, "a\r\n<!--" + A(bad, "Old") + "-->\r\n"},
      {"prefix of a good link, type 1", A(good, "G") + "\n" + A(bad, "B") + "\n", {bad}, 1,
       A(good, "G") + "\n" + A("index.htm", "B") + "<!--" + bad + "-->\n"},
      {"URL in text is not the link", "<p>" + bad + "</p>\n<a href=\"" + bad + "  \">x</a>\n", {bad}, 0,
       "<p>" + bad + "</p>\n<!--<a href=\"" + bad + "  \">x</a>-->\n"},
      {"same URL twice on a line", "<A HREF=\"" + bad + "\">1</A><a href=\"" + bad + "\">2</a>\n", {bad, bad}, 1,
       "<A HREF=\"index.htm\">1</A><!--" + bad + "--><a href=\"index.htm\">2</a><!--" + bad + "-->\n"},
      {"minified page, type 0", minified + "\n", {h1}, 0,
       "<p>" + utf8 + "<!--" + A(h1, "One") + "-->" + utf8 + A(good, "Good") + "</p>\n"},
      {"minified page, type 2", minified, {h1}, 2, "<p>" + utf8 + utf8 + A(good, "Good") + "</p>\n"},
      {"other lines byte for byte", std::string("a\0b\r\n", 5) + wide + "\nlone\rcr\n" + A(bad, "x") + "\r\nno end", {bad}, 2,
       std::string("a\0b\r\n", 5) + wide + "\nlone\rcr\nno end"},
      {"long line with one anchor", wide + "\nz\n", {h1}, 0, "<!--" + wide + "-->\nz\n"},
      {"type 3 changes only the moved links", "<p>\r\n" + A(good, "G") + " " + A(bad, "B") + " <A HREF='" + h1 +
       "'>1</A> <a href=" + h2 + ">2</a>\r\n", {bad, h1, h2}, 3, "<p>\r\n" + A(good, "G") + " " + A(n1, "B") +
       " <A HREF='" + n2 + "'>1</A> <a href=" + n1 + "#x>2</a>\r\n", {n1, n2, n1 + "#x"}},
      {"type 3 escapes, keeps fragments and a missing line end", "<img srcset=\"" + h1 + " 1x, " + h2 +
       "#top 2x\" src=\"" + amp + "\">", {h1, h2 + "#top", amp}, 3, "<img srcset=\"" + n1 + " 1x, " + n2 +
       "#top 2x\" src=\"" + n1 + "?a=1&amp;b=&quot;2&quot;\">", {n1, n2, n1 + "?a=1&b=\"2\""}},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Reset();
    const std::string path = dir.WriteFile("index.htm", c.source);
    for (size_t i = 0; i < c.urls.size(); ++i) {
      Row(c.urls[i], path);
      if (i < c.finals.size()) rows.SetItemDetails(int(i), RowDetails{301, 1, c.finals[i]});
    }
    EXPECT_EQ(Run(c.type), RepairEnd::Completed);
    EXPECT_EQ(Read(path), c.expected);
    EXPECT_EQ(Read(dir / "index.rep"), c.source);
    EXPECT_EQ(Boxes(), Texts{kDone});
    EXPECT_EQ(FileDoneMark(rows.GetItemData(0)), 1u);
    for (int i = 0; i < rows.GetItemCount(); ++i) EXPECT_EQ(RepairedMark(rows.GetItemData(i)), 1u);
    EXPECT_FALSE(Exists(dir / "index.t~p"));
  }
}

// Type 3 takes only links that moved permanently to a working address; other
// rows and files stay as they are, unmarked, for a later pass of another type
// (which the marks test shows goes on from the marks).
TEST_F(RepairTest, MovedLinksOnlyWhereTheChainEndedWell) {
  const std::string page = A("http://h/1", "1") + "\n" + A("http://h/2", "2") + "\n" +
                           A("http://h/3", "3") + "\n" + A("http://h/4", "4") + "\n";
  const std::string a = dir.WriteFile("a.htm", page);
  const std::string b = dir.WriteFile("b.htm", A("http://h/5", "5") + "\n");
  const std::string c = dir.WriteFile("c.htm", A("http://h/6", "6") + "\n");
  const std::tuple<std::string, std::string, RowDetails> listed[] = {
      {"http://h/1", a, {301, 1, "http://new/1"}},
      {"http://h/2", a, {404, 2, "http://new/gone"}},  // moved to a missing page
      {"http://h/3", a, {301, 3, ""}},                 // the standard test's row
      {"http://h/4", a, {302, 4, "http://new/4"}},     // moved for a while
      {"http://h/5", b, {404, 1, "http://new/gone"}},
      {"http://h/6", c, {308, 1, "http://new/6"}}};
  for (const auto& [url, file, details] : listed) {
    Row(url, file);
    rows.SetItemDetails(rows.GetItemCount() - 1, details);
  }
  const std::string moved = A("http://new/1", "1") + "\n" + page.substr(page.find('\n') + 1);
  for (int pass = 0; pass < 2; ++pass) {  // the second finds nothing left to do
    EXPECT_EQ(Run(3), RepairEnd::Completed);
    EXPECT_EQ(Read(a), moved);
    EXPECT_EQ(Read(dir / "a.rep"), page);
    EXPECT_EQ(Read(b), A("http://h/5", "5") + "\n");
    EXPECT_FALSE(Exists(dir / "b.rep"));
    EXPECT_EQ(Read(c), A("http://new/6", "6") + "\n");
    EXPECT_EQ(MarksNow(), (Marks{1, 0, 0, 0, 0, 0x10001}));
  }
  EXPECT_TRUE(failed.empty());
}

// Which files are rewritten, and through what: each case lists one file (set
// up by the case) with one row and says whether the pass rewrote it.
TEST_F(RepairTest, RewritesOnlyFilesWithAnUntouchedCopy) {
  const std::string url = "http://h/1";
  const std::string page = A(url, "One") + "\n";
  const std::string repaired = "<!--" + A(url, "One") + "-->\n";
  struct Case {
    const char* name;
    std::string listed;
    std::function<void()> setup;  // before the listed file is written
    bool rewritten;
    std::string backup, backupText;  // a backup expected afterwards
  };
  // clang-format off
  const Case cases[] = {
      {"a backup is never rewritten", "page.rep", {}, false, "", ""},
      {"a temporary file is never rewritten", "page.t~p", {}, false, "", ""},
      {"a second file with a shared backup name", "page.html",
       [&] { dir.WriteFile("page.htm", "first\n"); }, true, "page.html.rep", page},
      {"an earlier backup is kept", "page.htm", [&] { dir.WriteFile("page.rep", "first\n"); }, true,
       "page.rep", "first\n"},
      {"no backup can be made", "page.htm", [&] { std::filesystem::create_directory(dir / "page.rep"); },
       false, "", ""},
      {"a file without write permission", "page.htm", [&] { dir.WriteFile("page.htm", page);
                                                            chmod((dir / "page.htm").c_str(), 0444); },
       false, "", ""},
      {"permission bits are kept", "page.htm", [&] { dir.WriteFile("page.htm", page);
                                                     chmod((dir / "page.htm").c_str(), 0640); },
       true, "page.rep", page},
      {"a symbolic link is repaired through", "link.htm", [&] {
         std::filesystem::create_directory(dir / "real");
         dir.WriteFile("real/page.htm", page);
         std::filesystem::create_symlink("real/page.htm", dir / "link.htm"); },
       true, "real/page.rep", page},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Reset();
    if (c.setup) c.setup();
    const std::string path = dir / c.listed;
    if (!Exists(path)) dir.WriteFile(c.listed, page);
    struct stat before {
    }, after{};
    lstat(path.c_str(), &before);
    Row(url, path);
    EXPECT_EQ(Run(0), c.rewritten ? RepairEnd::Completed : RepairEnd::Stopped);
    EXPECT_EQ(Read(path), c.rewritten ? repaired : page);
    EXPECT_EQ(RepairedMark(rows.GetItemData(0)), c.rewritten ? 1u : 0u);
    EXPECT_EQ(failed, c.rewritten ? Texts{} : Texts{path + "|"});
    lstat(path.c_str(), &after);
    EXPECT_EQ(after.st_mode, before.st_mode);  // the same kind of file, the same bits
    EXPECT_EQ(c.backup.empty() ? "" : Read(dir / c.backup), c.backupText);
    EXPECT_EQ(Exists(dir / "page.t~p"), c.listed == "page.t~p");
    EXPECT_FALSE(Exists(dir / "real/page.t~p"));
  }
}

// Where the pass stops, what it marks, and how a second pass goes on.
TEST_F(RepairTest, MarksOnlyReplacedFilesAndGoesOnAfterAStop) {
  const std::string a = dir.WriteFile("a.htm", A("http://h/1", "One") + "\n<p>gone</p>\n");
  const std::string b = dir.WriteFile("b.htm", A("http://h/3", "Three") + "\n");
  const std::string c = dir.WriteFile("c.htm", A("http://h/4", "Four") + "\n");
  Row("http://h/1", a);
  Row("http://h/2", a);
  Row("http://h/3", b);
  Row("http://h/4", c);

  // A cancel before the second file: the first file is finished, nothing else begun.
  int asked = 0;
  EXPECT_EQ(Run(0, [&] { return ++asked == 2; }), RepairEnd::Stopped);  // h/2 is not in a
  EXPECT_EQ(Boxes(), Texts{"We looked in file\n" + a + "\nbut could not file the URL\nhttp://h/2"});
  EXPECT_EQ(failed, Texts{a + "|http://h/2"});
  EXPECT_EQ(Read(a), "<!--" + A("http://h/1", "One") + "-->\n<p>gone</p>\n");
  EXPECT_EQ(MarksNow(), (Marks{1, 0, 0, 0}));  // the file was replaced, but is not done

  // The user puts the link back; the pass goes on, and a cancel before c stops it there.
  dir.WriteFile("a.htm", Read(a) + A("http://h/2", "Two") + "\n");
  frame.boxes.clear();
  asked = 0;
  EXPECT_EQ(Run(1, [&] { return ++asked == 3; }), RepairEnd::Cancelled);
  EXPECT_TRUE(frame.boxes.empty());
  EXPECT_EQ(Read(a), "<!--" + A("http://h/1", "One") + "-->\n<p>gone</p>\n" + A("a.htm", "Two") +
                         "<!--http://h/2-->\n");
  EXPECT_EQ(Read(dir / "a.rep"), A("http://h/1", "One") + "\n<p>gone</p>\n");
  EXPECT_EQ(Read(b), A("b.htm", "Three") + "<!--http://h/3-->\n");
  EXPECT_EQ(Read(c), A("http://h/4", "Four") + "\n");
  EXPECT_FALSE(Exists(dir / "c.rep"));
  EXPECT_EQ(MarksNow(), (Marks{0x10001, 1, 0x10001, 0}));

  // A missing file stops the pass with the URL last handled; ignoring deletes its first row.
  std::filesystem::remove(c);
  ignore = true;
  EXPECT_EQ(Run(1), RepairEnd::Stopped);
  EXPECT_EQ(failed.back(), c + "|");
  EXPECT_EQ(rows.GetItemCount(), 3);
  EXPECT_EQ(Run(1), RepairEnd::Completed);
}

// A fault made while the pass runs (a file size limit, a change before the
// second file while a's copy waits to replace it): each source is what it was
// or what was asked for, its original is kept, its rows are marked only when
// it was replaced, and the user is told.
TEST_F(RepairTest, FaultsNeverLoseAFile) {
  const std::string body = Repeat("<p>filler text</p>\n", 3000);
  const std::string source = A("http://h/1", "One") + "\n" + body + A("http://h/2", "Two") + "\n";
  const std::string asked =
      "<!--" + A("http://h/1", "One") + "-->\n" + body + "<!--" + A("http://h/2", "Two") + "-->\n";
  const std::string a = dir / "site/a.htm";
  const std::string b = dir / "other/b.htm";
  const std::string otherSource = A("http://h/3", "Three") + "\n";
  struct Case {
    const char* name;
    rlim_t sizeLimit;  // RLIM_INFINITY: none
    std::function<void()> beforeSecondFile;
    std::string failUrl;  // the URL the failure dialog shows
    std::string after;    // a afterwards ("-": gone)
  };
  // clang-format off
  const Case cases[] = {
      {"the copy fails part way", source.size() + 4, {}, "http://h/2", source},
      {"the backup fails part way", source.size() / 2, {}, "", source},
      {"the directory becomes read-only", RLIM_INFINITY, [&] { chmod((dir / "site").c_str(), 0555); },
       "http://h/2", source},
      {"the source is deleted", RLIM_INFINITY, [&] { std::filesystem::remove(a); }, "http://h/2", "-"},
      {"the source is edited meanwhile", RLIM_INFINITY, [&] { ScratchDir::WriteBytes(a, "new page\n"); },
       "http://h/2", "new page\n"},
  };
  // clang-format on
  rlimit unlimited{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &unlimited), 0);
  const auto oldHandler = signal(SIGXFSZ, SIG_IGN);  // a write past the limit fails instead
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Reset();
    for (const char* name : {"site", "other"}) std::filesystem::create_directory(dir / name);
    ScratchDir::WriteBytes(a, source);
    ScratchDir::WriteBytes(b, otherSource);
    Row("http://h/1", a);
    Row("http://h/2", a);
    Row("http://h/3", b);
    const rlimit limit{std::min(c.sizeLimit, unlimited.rlim_max), unlimited.rlim_max};
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
    int files = 0;
    Run(0, [&] {
      if (++files == 2 && c.beforeSecondFile) c.beforeSecondFile();
      return false;
    });
    setrlimit(RLIMIT_FSIZE, &unlimited);
    chmod((dir / "site").c_str(), 0700);
    if (geteuid() == 0 && std::string(c.name) == "the directory becomes read-only" &&
        Read(a) == asked) {
      // Root ignores directory permissions: the rename went through.
      EXPECT_EQ(Boxes(), Texts{kDone});
      EXPECT_EQ(MarksNow(), (Marks{0x10001, 1, 0x10001}));
      continue;
    }
    EXPECT_EQ(Exists(a) ? Read(a) : "-", c.after);
    EXPECT_EQ(Boxes(), Texts{});
    EXPECT_EQ(failed, Texts{a + "|" + c.failUrl});
    EXPECT_EQ(MarksNow(), (Marks{0, 0, 0}));
    // The original is kept whole; only when no whole copy could be made is
    // there none, and then the source was never touched.
    EXPECT_EQ(Exists(dir / "site/a.rep") ? Read(dir / "site/a.rep") : "-",
              c.failUrl.empty() ? "-" : source);
    // An incomplete copy is removed; a whole one stays beside the source.
    EXPECT_EQ(Exists(dir / "site/a.t~p"), c.sizeLimit == RLIM_INFINITY);
    EXPECT_EQ(Read(b), otherSource);
    EXPECT_FALSE(Exists(dir / "other/b.rep"));
  }
  signal(SIGXFSZ, oldHandler);
}

}  // namespace
