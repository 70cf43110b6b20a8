// The repair pass over result rows and the files it rewrites.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
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
namespace fs = std::filesystem;
const std::string kDone = "All URL repairs completed";

// The file's bytes, "-" when there is none.
std::string Read(const std::string& path) {
  return access(path.c_str(), F_OK) == 0 ? ScratchDir::ReadFile(path) : "-";
}
std::string A(const std::string& url, const std::string& text) {
  return "<a href=\"" + url + "\">" + text + "</a>";
}

class RepairTest : public ::testing::Test {
 protected:
  RepairTest() {
    frame.onRepairFail = [this](CRepairFailDlg& dlg) {
      failed.push_back(dlg.m_strFailFile + "|" + dlg.m_strFailUrl);
      dlg.m_bIgnore = ignore;
      return Answer::Ok;
    };
  }
  void Row(const std::string& url, const std::string& file, RowDetails details = {}) {
    const int row = rows.InsertItem(rows.GetItemCount(), url);
    rows.SetItemText(row, COL_FILE, file);
    rows.SetItemDetails(row, std::move(details));
  }
  RepairEnd Run(RepairType type, std::function<bool()> cancelled = {}) {
    return RunRepairPass(rows, frame, frame, files, type, cancelled);
  }
  Marks MarksNow() const {
    Marks marks;
    for (int i = 0; i < rows.GetItemCount(); ++i) marks.push_back(rows.GetItemData(i));
    return marks;
  }
  Texts Boxes() const {
    Texts texts;
    for (const auto& box : frame.boxes) texts.push_back(box.text);
    return texts;
  }
  // A fresh directory, no rows, nothing told yet.
  void Reset() {
    dir = std::make_unique<ScratchDir>();
    rows.DeleteAllItems();
    frame.boxes.clear();
    failed.clear();
  }

  std::unique_ptr<ScratchDir> dir = std::make_unique<ScratchDir>();
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
  // Of the files that would share a backup name the first in byte order keeps
  // it: the fault table's page.htm beside page.html, and page beside page.htm.
}

// One file, its rows, a type: the file afterwards. Every case completes, and
// a second pass finds nothing left to do; the original is in the backup when
// the file changed.
TEST_F(RepairTest, RewritesEachListedLinkAndNothingElse) {
  const std::string bad = "http://host/a", good = "http://host/abc";
  std::string utf8;  // 800 bytes of "é"
  for (int i = 0; i < 400; ++i) utf8 += "\xC3\xA9";
  const std::string minified =
      "<p>" + utf8 + A("http://h/1", "One") + utf8 + A(good, "Good") + "</p>";
  const std::string wide = std::string(600, 'x') + A("http://h/1", "One") + std::string(600, 'y');
  const std::string h1 = "http://h/1", h2 = "http://h/2", h3 = "http://h/3", h4 = "http://h/4";
  const std::string n1 = "https://new/1", n2 = "https://new/2", amp = "http://h/3?a=1&amp;b=2";
  const auto moved = [](std::string to, unsigned code = 301) { return RowDetails{code, 1, to, CheckClass::Broken, {}, {}, {}}; };
  const RowDetails gone{404, 1, "http://new/gone", CheckClass::Broken, {}, {}, {}};  // moved to a missing page
  struct Case {
    const char* name;
    std::string source;
    Texts urls;
    RepairType type;
    std::string expected;
    std::vector<RowDetails> details = {};  // type 3: what the full check found
    Marks marks = {};                      // {}: every row repaired, the file done
    std::string file = "index.htm";
  };
  const std::string arrow = "http://h/x-->y";
  const std::string md = "# T\nSee missing.html, [gone](missing.html \"t\") and ![pic](img/x.png).\n"
                         "Auto <http://h/1> here, http://h/3.\nRef [r][1], [s][1].\n\n[1]: http://h/2 \"T\"\n";
  const std::string mdName = "my%20%28page%29.md";
  // clang-format off
  const Case cases[] = {
      {"last line without end", "a\r\n" + A(bad, "Old"), {bad}, RepairType::Comment, "a\r\n<!--" + A(bad, "Old") + "-->\r\n"},
      {"prefix of a good link, type 1", A(good, "G") + "\n" + A(bad, "B") + "\n", {bad}, RepairType::FileName,
       A(good, "G") + "\n" + A("index.htm", "B") + "<!--" + bad + "-->\n"},
      {"URL in text is not the link", "<p>" + bad + "</p>\n<a href=\"" + bad + "  \">x</a>\n", {bad}, RepairType::Comment,
       "<p>" + bad + "</p>\n<!--<a href=\"" + bad + "  \">x</a>-->\n"},
      {"same URL twice on a line", "<A HREF=\"" + bad + "\">1</A><a href=\"" + bad + "\">2</a>\n", {bad, bad}, RepairType::FileName,
       "<A HREF=\"index.htm\">1</A><!--" + bad + "--><a href=\"index.htm\">2</a><!--" + bad + "-->\n"},
      {"minified page, type 0", minified + "\n", {h1}, RepairType::Comment,
       "<p>" + utf8 + "<!--" + A(h1, "One") + "-->" + utf8 + A(good, "Good") + "</p>\n"},
      {"minified page, type 2", minified, {h1}, RepairType::RemoveLine, "<p>" + utf8 + utf8 + A(good, "Good") + "</p>\n"},
      {"other lines byte for byte", std::string("a\0b\r\n", 5) + wide + "\nlone\rcr\n" + A(bad, "x") + "\r\nno end", {bad}, RepairType::RemoveLine,
       std::string("a\0b\r\n", 5) + wide + "\nlone\rcr\nno end"},
      {"long line with one anchor", wide + "\nz\n", {h1}, RepairType::Comment, "<!--" + wide + "-->\nz\n"},
      // A page that is one line, or whose lines end in a lone CR, loses only the anchor.
      {"one-line page, type 2", "<p>Hi " + A(bad, "B") + " there</p>", {bad}, RepairType::RemoveLine, "<p>Hi  there</p>\n"},
      {"one-line page, type 0", "<p>" + A(bad, "B") + "</p>\n", {bad}, RepairType::Comment, "<p><!--" + A(bad, "B") + "--></p>\n"},
      {"lone-CR page, type 2", "<p>a\r" + A(bad, "B") + "\rb</p>\nz\n", {bad}, RepairType::RemoveLine, "<p>a\r\rb</p>\nz\n"},
      {"page of one anchor, type 2", A(bad, "B") + "\n", {bad}, RepairType::RemoveLine, ""},
      // Nothing in the line or the URL can end the comment early, nor a file name the attribute.
      {"a comment on the line, type 0", "<!-- menu --> " + A(bad, "B") + "\nz\n", {bad}, RepairType::Comment,
       "<!-- menu --><!-- " + A(bad, "B") + "-->\nz\n"},
      {"a URL holding -->, type 0", A(arrow, "X") + "\nz\n", {arrow}, RepairType::Comment,
       "<!--" + A("http://h/x--&gt;y", "X") + "-->\nz\n"},
      {"a URL holding -->, type 1", A(arrow, "X") + "\nz\n", {arrow}, RepairType::FileName,
       A("in&quot;dex.htm", "X") + "<!--http://h/x--&gt;y-->\nz\n", {}, {}, "in\"dex.htm"},
      {"type 3 changes only the moved links", "<p>\r\n" + A(good, "G") + " " + A(bad, "B") + " <A HREF='" + h1 +
       "'>1</A> <a href=" + h2 + ">2</a>\r\n", {bad, h1, h2}, RepairType::Moved, "<p>\r\n" + A(good, "G") + " " + A(n1, "B") +
       " <A HREF='" + n2 + "'>1</A> <a href=" + n1 + "#x>2</a>\r\n", {moved(n1), moved(n2), moved(n1 + "#x")}},
      {"type 3 escapes, keeps fragments and a missing line end", "<img srcset=\"" + h1 + " 1x, " + h2 +
       "#top 2x\" src=\"" + amp + "\">", {h1, h2 + "#top", amp}, RepairType::Moved, "<img srcset=\"" + n1 + " 1x, " + n2 +
       "#top 2x\" src=\"" + n1 + "?a=1&amp;b=&quot;2&quot;\">", {moved(n1), moved(n2), moved(n1 + "?a=1&b=\"2\"")}},
      // Only links moved for good (301, 308) whose new address is known;
      // the other rows stay unmarked for a pass of another type.
      {"type 3 takes only links moved for good", A(h1, "1") + "\n" + A(h2, "2") + "\n" + A(h3, "3") + "\n" +
       A(h4, "4") + "\n", {h1, h2, h3, h4}, RepairType::Moved, A(n1, "1") + "\n" + A(h2, "2") + "\n" + A(h3, "3") + "\n" +
       A(n2, "4") + "\n", {moved(n1), gone, moved(""), moved(n2, 308)}, {1, 0, 0, 1}},
      {"type 3 leaves a file without such links alone", A(h1, "1") + "\n", {h1, h2}, RepairType::Moved, A(h1, "1") + "\n",
       {gone, moved("http://new/2", 302)}, {0, 0}},
      // A Markdown page: its links, images, autolinks and reference definitions.
      {"Markdown, type 0", md, {"missing.html", "img/x.png", h1, h3, h2, h2}, RepairType::Comment,
       "# T\nSee missing.html, <!--[gone](missing.html \"t\")--> and <!--![pic](img/x.png)-->.\n"
       "Auto <!--<http://h/1>--> here, <!--http://h/3-->.\nRef [r][1], [s][1].\n\n<!--[1]: http://h/2 \"T\"-->\n", {}, {}, "p.md"},
      {"Markdown, type 1", md, {"missing.html", "img/x.png", h1, h3, h2}, RepairType::FileName,
       "# T\nSee missing.html, [gone](" + mdName + " \"t\")<!--missing.html--> and ![pic](" + mdName +
       ")<!--img/x.png-->.\nAuto [http://h/1](" + mdName + ")<!--http://h/1--> here, [http://h/3](" + mdName +
       ")<!--http://h/3-->.\nRef [r][1], [s][1].\n\n[1]: " +
       mdName + " \"T\"\n", {}, {}, "my (page).md"},
      {"Markdown holding HTML, type 1", "Say \"missing.html\" <a href=\"missing.html\">x</a> and [y](gone.md).\n", {"missing.html", "gone.md"},
       RepairType::FileName, "Say \"missing.html\" <a href=\"p.md\">x</a><!--missing.html--> and [y](p.md)<!--gone.md-->.\n", {}, {}, "p.md"},
      {"Markdown definitions in a quote and a list, type 0", "> [a]: x.md\n- [b]: y.md\n", {"x.md", "y.md"}, RepairType::Comment,
       "> <!--[a]: x.md-->\n- <!--[b]: y.md-->\n", {}, {}, "p.md"},
      {"Markdown, type 2", md, {"missing.html", h2}, RepairType::RemoveLine,
       "# T\nAuto <http://h/1> here, http://h/3.\nRef [r][1], [s][1].\n\n", {}, {}, "p.markdown"},
      {"Markdown, type 3", md, {"missing.html", h1, h2}, RepairType::Moved,
       "# T\nSee missing.html, [gone](https://new/a%20b%281%29&c \"t\") and ![pic](img/x.png).\n"
       "Auto <" + n1 + "> here, http://h/3.\nRef [r][1], [s][1].\n\n[1]: " + n2 + "?q=%221%22 \"T\"\n",
       {moved("https://new/a b(1)&c"), moved(n1), moved(n2 + "?q=\"1\"")}, {}, "P.MD"},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Reset();
    const std::string path = dir->WriteFile(c.file, c.source);
    for (size_t i = 0; i < c.urls.size(); ++i)
      Row(c.urls[i], path, i < c.details.size() ? c.details[i] : RowDetails{});
    EXPECT_EQ(Run(c.type), RepairEnd::Completed);
    EXPECT_EQ(Run(c.type), RepairEnd::Completed);
    EXPECT_EQ(Read(path), c.expected);
    EXPECT_EQ(Read(RepairSiblingName(path, ".rep")), c.expected == c.source ? "-" : c.source);
    EXPECT_EQ(Boxes(), (Texts{kDone, kDone}));
    Marks done(c.urls.size(), 1);
    done[0] = 0x10001;
    EXPECT_EQ(MarksNow(), c.marks.empty() ? done : c.marks);
    EXPECT_EQ(Read(RepairSiblingName(path, ".t~p")), "-");
  }
}

// Which files are rewritten, through what, and what a fault made while the
// pass runs leaves behind (a file size limit; a change before the second
// file, while the first file's copy waits to replace it). Each case lists two
// rows of one file of site/ (set up by the case) and a row of other/b.htm.
// Either the pass completes, or it stops at the first file: its source is
// what it was (or what was done to it meanwhile), its original is kept
// whole, no row is marked, and the user is told.
TEST_F(RepairTest, RewritesOnlyWithAWholeCopyOfTheOriginalAndNeverLosesAFile) {
  const std::string body = std::string(57000, 'f') + "\n";
  const std::string source = A("http://h/1", "One") + "\n" + body + A("http://h/2", "Two") + "\n";
  const std::string asked =
      "<!--" + A("http://h/1", "One") + "-->\n" + body + "<!--" + A("http://h/2", "Two") + "-->\n";
  const std::string bSource = A("http://h/3", "Three") + "\n";
  const auto write = [&](std::string name, mode_t mode) {
    chmod(dir->WriteFile(name, source).c_str(), mode);
  };
  struct Case {
    const char* name;
    std::string listed;
    std::function<void()> setup;     // before the listed file is written
    const char* failUrl;             // the URL the failure dialog shows; nullptr: completes
    std::string backup, backupText;  // "-": none
    std::string kept = "";           // the copy left beside the source
    rlim_t sizeLimit = RLIM_INFINITY;
    std::function<void()> beforeSecondFile = {};
    std::string after = "";  // the listed file after a stop ("": as it was; "-": gone)
    std::string told = "";   // a message before the failure dialog; "@" stands for the directory
  };
  // clang-format off
  const Case cases[] = {
      {"a second file with a shared backup name", "site/page.html", [&] { dir->WriteFile("site/page.htm", "1\n"); },
       nullptr, "site/page.html.rep", source},
      {"a later file beside one without ending", "site/page.htm", [&] { dir->WriteFile("site/page", "1\n"); },
       nullptr, "site/page.htm.rep", source},
      {"no backup can be made", "site/page.htm", [&] { fs::create_directory(*dir / "site/page.rep"); }, "",
       "", ""},
      {"a file without write permission", "site/page.htm", [&] { write("site/page.htm", 0444); }, "",
       "site/page.rep", "-"},
      {"permission bits are kept", "site/page.htm", [&] { write("site/page.htm", 0640); }, nullptr,
       "site/page.rep", source},
      {"a symbolic link is repaired through", "site/link.htm", [&] {
         write("real/page.htm", 0644);
         fs::create_symlink("../real/page.htm", *dir / "site/link.htm"); },
       nullptr, "real/page.rep", source},
      {"the copy fails part way", "site/page.htm", {}, "http://h/2", "site/page.rep", source, "",
       source.size() + 4},
      {"the backup fails part way", "site/page.htm", {}, "", "site/page.rep", "-", "", source.size() / 2, {}, "",
       "The backup\n@/site/page.rep\ncould not be written whole (File too large), so\n@/site/page.htm\nwas not "
       "repaired."},
      {"the directory becomes read-only", "site/page.htm", {}, "http://h/2", "site/page.rep", source,
       "site/page.t~p", RLIM_INFINITY, [&] { chmod((*dir / "site").c_str(), 0555); }},
      {"the source is deleted", "site/page.htm", {}, "http://h/2", "site/page.rep", source, "site/page.t~p",
       RLIM_INFINITY, [&] { fs::remove(*dir / "site/page.htm"); }, "-"},
      {"the source is edited meanwhile", "site/page.htm", {}, "http://h/2", "site/page.rep", source,
       "site/page.t~p", RLIM_INFINITY, [&] { ScratchDir::WriteBytes(*dir / "site/page.htm", "new\n"); }, "new\n"},
  };
  // clang-format on
  rlimit unlimited{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &unlimited), 0);
  const auto oldHandler = signal(SIGXFSZ, SIG_IGN);  // a write past the limit fails instead
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Reset();
    for (const char* name : {"site", "other", "real"}) fs::create_directory(*dir / name);
    if (c.setup) c.setup();
    const std::string path = *dir / c.listed;
    if (Read(path) == "-") dir->WriteFile(c.listed, source);
    const std::string b = dir->WriteFile("other/b.htm", bSource);
    Row("http://h/1", path);
    Row("http://h/2", path);
    Row("http://h/3", b);
    struct stat before = {}, after = {};
    lstat(path.c_str(), &before);
    const rlimit limit{std::min(c.sizeLimit, unlimited.rlim_max), unlimited.rlim_max};
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
    int filesBegun = 0;
    const RepairEnd end = Run(RepairType::Comment, [&] {
      if (++filesBegun == 2 && c.beforeSecondFile) c.beforeSecondFile();
      return false;
    });
    setrlimit(RLIMIT_FSIZE, &unlimited);
    chmod((*dir / "site").c_str(), 0700);
    // The superuser ignores directory permissions: the rename goes through.
    const bool rootRenames = geteuid() == 0 &&
                             std::string(c.name) == "the directory becomes read-only" &&
                             Read(path) == asked;
    const bool completes = !c.failUrl || rootRenames;
    EXPECT_EQ(end, completes ? RepairEnd::Completed : RepairEnd::Stopped);
    EXPECT_EQ(Read(path), completes ? asked : c.after.empty() ? source : c.after);
    std::string told = c.told;
    for (size_t at = told.find('@'); at != std::string::npos; at = told.find('@', at + 1))
      told.replace(at, 1, dir->Path());
    EXPECT_EQ(Boxes(), completes ? Texts{kDone} : told.empty() ? Texts{} : Texts{told});
    EXPECT_EQ(failed, completes ? Texts{} : Texts{path + "|" + c.failUrl});
    EXPECT_EQ(MarksNow(), completes ? (Marks{0x10001, 1, 0x10001}) : (Marks{0, 0, 0}));
    EXPECT_EQ(c.backup.empty() ? "" : Read(*dir / c.backup), c.backupText);
    // An incomplete copy is removed; a whole one stays beside the source.
    for (const char* copy : {"site/page.t~p", "real/page.t~p"})
      EXPECT_EQ(Read(*dir / copy) != "-", c.kept == copy && !rootRenames) << copy;
    lstat(path.c_str(), &after);                                    // gone: both 0
    EXPECT_EQ(after.st_mode, c.after == "-" ? 0 : before.st_mode);  // the same kind, the same bits
    EXPECT_EQ(Read(b), completes ? "<!--" + A("http://h/3", "Three") + "-->\n" : bSource);
    EXPECT_EQ(Read(*dir / "other/b.rep"), completes ? bSource : "-");
  }
  signal(SIGXFSZ, oldHandler);
}

// Where the pass stops, what it marks, and how a second pass goes on.
TEST_F(RepairTest, MarksOnlyReplacedFilesAndGoesOnAfterAStop) {
  const std::string a = dir->WriteFile("a.htm", A("http://h/1", "One") + "\n<p>gone</p>\n");
  const std::string b = dir->WriteFile("b.htm", A("http://h/3", "Three") + "\n");
  const std::string c = dir->WriteFile("c.htm", A("http://h/4", "Four") + "\n");
  Row("http://h/1", a);
  Row("http://h/2", a);
  Row("http://h/3", b);
  Row("http://h/4", c);

  // h/2 is not in a: the pass stops there, with a replaced but not done.
  EXPECT_EQ(Run(RepairType::Comment), RepairEnd::Stopped);
  EXPECT_EQ(Boxes(), Texts{"We looked in file\n" + a + "\nbut could not file the URL\nhttp://h/2"});
  EXPECT_EQ(failed, Texts{a + "|http://h/2"});
  EXPECT_EQ(Read(a), "<!--" + A("http://h/1", "One") + "-->\n<p>gone</p>\n");
  EXPECT_EQ(MarksNow(), (Marks{1, 0, 0, 0}));

  // The user puts the link back and c goes: the next pass goes on from the
  // marks and stops at c; ignoring that deletes c's row. (A cancel before a
  // file: the view's tests.)
  dir->WriteFile("a.htm", Read(a) + A("http://h/2", "Two") + "\n");
  fs::remove(c);
  frame.boxes.clear();
  ignore = true;
  EXPECT_EQ(Run(RepairType::FileName), RepairEnd::Stopped);
  EXPECT_EQ(Boxes(), Texts{});
  EXPECT_EQ(failed.back(), c + "|http://h/3");  // the URL last handled
  EXPECT_EQ(Read(a), "<!--" + A("http://h/1", "One") + "-->\n<p>gone</p>\n" + A("a.htm", "Two") +
                         "<!--http://h/2-->\n");
  EXPECT_EQ(Read(*dir / "a.rep"), A("http://h/1", "One") + "\n<p>gone</p>\n");
  EXPECT_EQ(Read(b), A("b.htm", "Three") + "<!--http://h/3-->\n");
  EXPECT_EQ(MarksNow(), (Marks{0x10001, 1, 0x10001}));
  EXPECT_EQ(Run(RepairType::FileName), RepairEnd::Completed);
}

// Whose backup a file of the backup's name is: one this program made for the
// page, or a whole copy of the page, is used; any other file is kept as it
// is. A backup cut short by a fault never carries the backup's name, so a
// later pass makes a whole one.
TEST_F(RepairTest, UsesOnlyAWholeBackupOfThePage) {
  const std::string source = A("http://h/1", "One") + "\n" + std::string(70000, 'p') + "\n";
  const std::string done = "<!--" + A("http://h/1", "One") + "-->\n" + std::string(70000, 'p') + "\n";
  const auto pass = [&] {
    Reset();
    const std::string page = dir->WriteFile("page.htm", source);
    Row("http://h/1", page);
    return page;
  };

  // Killed by the file size limit while the backup is written.
  std::string page = pass();
  const pid_t child = fork();
  if (child == 0) {
    const rlimit limit{source.size() / 2, source.size() / 2};
    setrlimit(RLIMIT_FSIZE, &limit);
    signal(SIGXFSZ, SIG_DFL);
    Run(RepairType::Comment);
    _exit(0);
  }
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGXFSZ);
  EXPECT_EQ(Read(page), source);
  EXPECT_EQ(Read(*dir / "page.rep"), "-");
  EXPECT_EQ(Run(RepairType::Comment), RepairEnd::Completed);
  EXPECT_EQ(Read(*dir / "page.rep"), source);
  EXPECT_EQ(Read(page), done);
  EXPECT_EQ(Read(*dir / "page.rep.t~p"), "-");
  // That backup cut short afterwards (its mark stays) is not trusted.
  ScratchDir::WriteBytes(*dir / "page.rep", source.substr(0, 100));
  frame.boxes.clear();
  rows.DeleteAllItems();
  Row("http://h/1", page);
  EXPECT_EQ(Run(RepairType::FileName), RepairEnd::Stopped);
  EXPECT_EQ(Read(page), done);
  EXPECT_EQ(Boxes(), Texts{"The backup\n" + *dir / "page.rep" + "\nholds 100 bytes, but " +
                           std::to_string(source.size()) + " were backed up, so\n" + page +
                           "\nwas not repaired."});

  // A page.rep of its own is kept; the backup takes the page's whole name.
  page = pass();
  dir->WriteFile("page.rep", "notes\n");
  EXPECT_EQ(Run(RepairType::Comment), RepairEnd::Completed);
  EXPECT_EQ(Read(*dir / "page.rep"), "notes\n");
  EXPECT_EQ(Read(*dir / "page.htm.rep"), source);
  EXPECT_EQ(Boxes(), (Texts{*dir / "page.rep" + "\nis not a backup of\n" + page +
                                "\nIt is kept as it is; the backup is\n" + page + ".rep",
                            kDone}));
  // A copy of the page as it is serves; when both names hold other files
  // the page is not touched.
  page = pass();
  dir->WriteFile("page.rep", source);
  EXPECT_EQ(Run(RepairType::Comment), RepairEnd::Completed);
  EXPECT_EQ(Read(*dir / "page.htm.rep"), "-");
  page = pass();
  dir->WriteFile("page.rep", "notes\n");
  dir->WriteFile("page.htm.rep", "more notes\n");
  EXPECT_EQ(Run(RepairType::Comment), RepairEnd::Stopped);
  EXPECT_EQ(Read(page), source);
  EXPECT_EQ(Read(*dir / "page.htm.rep"), "more notes\n");
}

// Rows of backups and copies are left without stopping the pass; a
// hard-linked page is replaced whole and the user told that its other names
// keep the original.
TEST_F(RepairTest, LeavesBackupsAndTellsOfHardLinks) {
  const std::string source = A("http://h/1", "One") + "\n";
  const std::string backup = dir->WriteFile("page.rep", source);
  const std::string temp = dir->WriteFile("old.t~p", source);
  const std::string page = dir->WriteFile("page.htm", source);
  ASSERT_EQ(link(page.c_str(), (*dir / "other.htm").c_str()), 0);
  for (const std::string& file : {backup, temp, page}) Row("http://h/1", file);
  EXPECT_EQ(Run(RepairType::Comment), RepairEnd::Completed);
  EXPECT_EQ(Read(page), "<!--" + A("http://h/1", "One") + "-->\n");
  EXPECT_EQ(Read(*dir / "other.htm"), source);
  EXPECT_EQ(Read(backup) + Read(temp), source + source);
  EXPECT_EQ(MarksNow(), (Marks{0, 0, 0x10001}));
  EXPECT_EQ(Boxes(), (Texts{page + "\nhad 1 other name(s) (hard links). They keep the file as it "
                                   "was before this repair; only this name holds the repaired copy.",
                            "2 file(s) ending in .rep or .t~p were left as they are: they are "
                            "backups and copies of the repair, not pages.",
                            kDone}));
}

// Type 4 points each listed link that has an archived copy at it, escaped for
// any quoting and keeping the link's fragment; the rows without one are left
// unmarked and counted. Its preview is the same diff and the same count.
TEST_F(RepairTest, ArchivedCopiesReplaceOnlyTheLinksThatHaveOne) {
  const std::string h1 = "http://h/1", h2 = "http://h/2", h3 = "http://h/3";
  const std::string source = "<p>\n" + A(h1, "1") + " <a href='" + h2 + "'>2</a>\n<a href=" + h3 +
                             "#part>3</a>\n";
  const std::string path = dir->WriteFile("index.htm", source);
  const std::string copy1 = "http://web.archive.org/web/2020/http://h/1?a=1&b=\"x\"><script>";
  const std::string copy3 = "http://web.archive.org/web/2020/http://h/3";
  auto archived = [](std::string copy) {
    RowDetails details;
    details.code = 404;
    details.archiveUrl = std::move(copy);
    return details;
  };
  Row(h1, path, archived(copy1));
  Row(h2, path, archived(""));
  Row(h3 + "#part", path, archived(copy3));
  const std::string line2 = A(h1, "1") + " <a href='" + h2 + "'>2</a>\n";
  const std::string new2 =
      A("http://web.archive.org/web/2020/http://h/1?a=1&amp;b=&quot;x&quot;&gt;&lt;script&gt;",
        "1") + " <a href='" + h2 + "'>2</a>\n";
  const std::string new3 = "<a href=" + copy3 + "#part>3</a>\n";
  const std::string told = "1 listed link(s) have no archived copy and were left as they are.";

  const RepairPreview preview = PreviewRepair(rows, RepairType::ArchivedCopy);
  const std::string name = path.substr(1);
  EXPECT_EQ(preview.diff, "--- a/" + name + "\n+++ b/" + name + "\n@@ -1,3 +1,3 @@\n <p>\n-" +
                              line2 + "+" + new2 + "-<a href=" + h3 + "#part>3</a>\n+" + new3);
  EXPECT_TRUE(preview.complete);
  EXPECT_EQ(preview.notes, (Texts{told}));
  EXPECT_EQ(Read(path), source);

  EXPECT_EQ(Run(RepairType::ArchivedCopy), RepairEnd::Completed);
  EXPECT_EQ(Read(path), "<p>\n" + new2 + new3);
  EXPECT_EQ(Read(RepairSiblingName(path, ".rep")), source);
  EXPECT_EQ(MarksNow(), (Marks{1, 0, 1}));  // the file is not done: row 2 is left
  EXPECT_EQ(Boxes(), (Texts{told, kDone}));
  // A full check without archived copies, or a classic one: nothing to do.
  Reset();
  const std::string page = dir->WriteFile("a.htm", source);
  Row(h1, page);
  EXPECT_EQ(Run(RepairType::ArchivedCopy), RepairEnd::Completed);
  EXPECT_EQ(Read(page), source);
  EXPECT_EQ(Read(RepairSiblingName(page, ".rep")), "-");
  EXPECT_EQ(Boxes(), (Texts{told, kDone}));
}

// A preview is the unified diff of the pass, and touches nothing.
TEST_F(RepairTest, PreviewIsTheDiffOfThePass) {
  std::string lines;
  for (int i = 1; i <= 12; ++i) lines += "line " + std::to_string(i) + "\n";
  const std::string a = dir->WriteFile("a.htm", A("http://h/1", "1") + "\n" + lines +
                                                     A("http://h/2", "2") + "\nend\n" + A("http://h/3", "3"));
  const std::string c = dir->WriteFile("c.htm", A("http://h/4", "4") + "\n" + lines.substr(0, 42) +
                                                     A("http://h/5", "5") + "\n");
  const std::string b = dir->WriteFile("b.htm", "x\n");
  for (const char* url : {"http://h/1", "http://h/2", "http://h/3"}) Row(url, a);
  Row("http://h/4", c);
  Row("http://h/5", c);
  Row("http://h/9", b);
  const RepairPreview preview = PreviewRepair(rows, RepairType::RemoveLine);
  const std::string name = a.substr(1);
  EXPECT_EQ(preview.diff, "--- a/" + name + "\n+++ b/" + name +
                              "\n@@ -1,4 +1,3 @@\n-" + A("http://h/1", "1") +
                              "\n line 1\n line 2\n line 3\n"
                              "@@ -11,6 +10,4 @@\n line 10\n line 11\n line 12\n-" +
                              A("http://h/2", "2") + "\n end\n-" + A("http://h/3", "3") +
                              "\n\\ No newline at end of file\n--- a/" + c.substr(1) + "\n+++ b/" +
                              c.substr(1) + "\n@@ -1,8 +1,6 @@\n-" + A("http://h/4", "4") + "\n" +
                              " line 1\n line 2\n line 3\n line 4\n line 5\n line 6\n-" +
                              A("http://h/5", "5") + "\n");
  EXPECT_FALSE(preview.complete);
  EXPECT_EQ(preview.notes,
            (Texts{"We looked in file\n" + b + "\nbut could not file the URL\nhttp://h/9",
                   "The repair would stop at\n" + b + "\nnear URL\nhttp://h/9"}));
  EXPECT_EQ(Read(*dir / "a.rep") + Read(*dir / "a.t~p") + Read(*dir / "b.t~p"), "---");
  EXPECT_EQ(MarksNow(), (Marks{0, 0, 0, 0, 0, 0}));
}

}  // namespace
