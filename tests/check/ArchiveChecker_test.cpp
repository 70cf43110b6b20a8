// Archived copies of broken links: which answers of the availability service
// name a copy, and a whole full check that asks a loopback service for the
// broken addresses only, or meets one that fails.
#include "check/ArchiveChecker.h"

#include <atomic>

#include "engine/ViewFixture.h"
#include "repair/RepairDlg.h"

using namespace linkward;

namespace {

TEST(ArchiveAnswer, OnlyAnAvailableWebCopyIsTaken) {
  const std::pair<const char*, const char*> cases[] = {
      {R"({"url": "x", "archived_snapshots": {"closest": {"status": "200", "available": true,
          "url": "http://web.archive.org/web/2013/http://x/", "timestamp": "2013"}}})",
       "http://web.archive.org/web/2013/http://x/"},
      {R"({"archived_snapshots": {"closest": {"available": false, "url": "http://a/"}}})", ""},
      {R"({"archived_snapshots": {}})", ""},
      {R"({"archived_snapshots": {"closest": {"available": "true", "url": "http://a/"}}})", ""},
      {R"({"archived_snapshots": {"closest": {"available": true, "url": "javascript:x"}}})", ""},
      {R"({"archived_snapshots": {"closest": {"available": true, "url": 5}}})", ""},
      {R"({"archived_snapshots": {"closest": {"available": true, "url": "http://a/")", ""},
      {"<html>busy</html>", ""},
      {"", ""}};
  for (const auto& [answer, copy] : cases)
    EXPECT_EQ(ArchivedCopyFromAnswer(answer), copy) << answer;
}

class ArchiveFullCheckTest : public ViewFixture {};

TEST_F(ArchiveFullCheckTest, BrokenLinksGetTheCopyTheServiceNamesAndAFailingOneIsToldOnce) {
  HttpTestServer site("127.0.0.2", [](const std::string&, const std::string& path) {
    return HttpTestServer::Answer{path == "/ok" ? 200 : 404};
  });
  std::atomic<bool> failing = false;
  HttpTestServer archive("127.0.0.3", [&](const std::string&, const std::string& path) {
    if (failing) return HttpTestServer::Answer{503};
    HttpTestServer::Answer answer{200};
    if (path.find("gone") != std::string::npos)
      answer.body = R"({"archived_snapshots": {"closest": {"available": true,
                       "url": "http://web.archive.org/web/1/gone"}}})";
    else
      answer.body = R"({"archived_snapshots": {}})";
    return answer;
  });
  const std::string page =
      Page("a.htm", "<a href=\"" + site.Url("/ok") + "\">A</a><a href=\"" + site.Url("/gone") +
                        "\">B</a><a href=\"" + site.Url("/lost") + "\">C</a><a href=\"" +
                        site.Url("/gone") + "\">D</a><a href=\"missing.htm\">E</a>");
  FullCheckOptions full;
  full.enabled = true;
  full.suggestArchive = true;
  full.archiveEndpoint = archive.Url("/wayback/available");
  View().StartTest(page, {}, full);
  RunToEnd();
  ASSERT_EQ(Rows().size(), 4u);
  const CResultRows& rows = View().Rows();
  EXPECT_EQ(rows.GetItemDetails(0).archiveUrl, "http://web.archive.org/web/1/gone");
  EXPECT_EQ(rows.GetItemDetails(1).archiveUrl, "");  // none archived
  EXPECT_EQ(rows.GetItemDetails(2).archiveUrl, "http://web.archive.org/web/1/gone");
  EXPECT_EQ(rows.GetItemDetails(3).archiveUrl, "");  // a local link is not looked up
  // One lookup per broken address, the address escaped; none for the sound one.
  const auto asked = archive.Requests();
  ASSERT_EQ(asked.size(), 2u);
  std::string escaped = site.Url("/gone");
  for (auto [from, to] : {std::pair<const char*, const char*>{":", "%3A"}, {"/", "%2F"}}) {
    for (size_t at = escaped.find(from); at != std::string::npos; at = escaped.find(from, at + 3))
      escaped.replace(at, 1, to);
  }
  EXPECT_EQ(archive.RequestCount("/wayback/available?url=" + escaped), 1);
  // Repair offers the archived copies only when the rows have one.
  std::vector<bool> offered;
  frame.onRepair = [&](CRepairDlg& dlg) {
    offered.push_back(dlg.m_bArchivedCopies);
    return Answer::Cancel;
  };
  View().OnRepair();

  // A service that fails: the rows all the same, one line in the log.
  failing = true;
  View().StartTest(page, {}, full);
  RunToEnd();
  EXPECT_EQ(Rows().size(), 4u);
  EXPECT_EQ(View().Rows().GetItemDetails(0).archiveUrl, "");
  const std::string told = "The archive lookup at " + full.archiveEndpoint + " failed (HTTP 503)";
  size_t at = Log().find(told);
  EXPECT_NE(at, std::string::npos) << Log();
  EXPECT_EQ(Log().find(told, at + 1), std::string::npos);
  View().OnRepair();
  EXPECT_EQ(offered, (std::vector<bool>{true, false}));
  ExpectIdle();
}

}  // namespace
