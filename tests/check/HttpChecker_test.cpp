// The remote checker against loopback servers: every outcome and the reason
// text it is listed with, the requests each costs, certificates, limits,
// cancelling.
#include "check/HttpChecker.h"

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <regex>
#include <thread>

#include "check/CheckOutcome.h"
#include "platform/PollEventLoop.h"
#include "support/HttpTestServer.h"
#include "support/LoopbackServer.h"
#include "support/ScratchDir.h"

namespace {

using Answer = HttpTestServer::Answer;
using Strings = std::vector<std::string>;
using Clock = std::chrono::steady_clock;

// The site most cases are judged against: "/status/N" answers N, unknown paths 404.
Answer Site(const std::string& method, const std::string& path) {
  if (path.rfind("/status/", 0) == 0) return {std::stoi(path.substr(8))};
  if (path == "/target" || path == "/retry" || path == "/with%20space") return {200};
  if (path == "/nohead") return {method == "HEAD" ? 405 : 200};
  if (path == "/moved") return {301, "Location: /target\r\n"};
  if (path == "/tomissing") return {302, "Location: /missing\r\n"};
  if (path == "/loop") return {301, "Location: /loop\r\n"};
  if (path == "/tofile") return {301, "Location: file:///etc/passwd\r\n"};
  if (path == "/busy") return {503, "Retry-After: 100\r\n"};  // longer than the wait limit
  if (path == "/always-busy") return {429, "Retry-After: 1\r\n"};
  Answer answer(path == "/endless" && method == "GET" ? 200 : 404);
  answer.endless = answer.status == 200;  // a body without end
  answer.silent = path == "/silent";
  return answer;
}

// The ftp site: SIZE knows "there.txt" only.
Answer Ftp(const std::string& command, const std::string& argument) {
  static const std::map<std::string, Answer> answers = {{"USER", {331}},         {"PASS", {230}},
                                                        {"PWD", {257, "\"/\""}}, {"TYPE", {200}},
                                                        {"REST", {350}},         {"QUIT", {221}}};
  if (command == "SIZE") return argument == "there.txt" ? Answer{213, "5"} : Answer{550};
  auto it = answers.find(command);
  return it == answers.end() ? Answer{502} : it->second;
}

std::string Reason(unsigned code) {
  return code == CHECK_FOUND ? "found" : CheckReasonText(code);
}

class HttpCheckerTest : public ::testing::Test {
 protected:
  // Checks every url at once and runs the loop until all are answered.
  std::vector<HttpOutcome> CheckAll(CHttpChecker& checker, const Strings& urls) {
    std::vector<HttpOutcome> outcomes(urls.size());
    size_t answered = 0;
    for (size_t i = 0; i < urls.size(); ++i) {
      checker.Check(urls[i], [&, i](const HttpOutcome& outcome) {
        outcomes[i] = outcome;
        ++answered;
      });
    }
    EXPECT_EQ(answered, 0u) << "answered from within Check";
    // A checker that forgets a transfer fails here instead of hanging.
    loop.SetTimer(999, 20000, [&](int) { loop.Quit(); });
    loop.RunUntil([&] { return answered == urls.size(); });
    loop.KillTimer(999);
    EXPECT_EQ(answered, urls.size());
    EXPECT_EQ(checker.Pending(), 0u);
    return outcomes;
  }

  CPollEventLoop loop;
  ScratchDir scratch;
};

TEST_F(HttpCheckerTest, EveryOutcomeWithItsReasonAndRequests) {
  std::mutex mutex;
  std::optional<Clock::time_point> firstRetry;
  HttpTestServer site("127.0.0.2", [&](const std::string& method, const std::string& path) {
    std::lock_guard lock(mutex);
    if (path == "/retry" && !firstRetry) firstRetry = Clock::now();
    // Busy for the second Retry-After asks for: a retry that did not wait gets 429 again.
    if (path == "/retry" && Clock::now() - *firstRetry < std::chrono::seconds(1))
      return Answer{429, "Retry-After: 1\r\n"};
    return Site(method, path);
  });
  HttpTestServer ftp("127.0.0.2", Ftp, nullptr, 0, true);
  HttpTestServer secure("127.0.0.3", Site, "IP:127.0.0.3");
  HttpTestServer misnamed("127.0.0.3", Site, "DNS:other.test");
  const std::string goodCa = scratch.WriteFile("good.pem", secure.CertificatePem());
  const std::string otherCa = scratch.WriteFile("other.pem", misnamed.CertificatePem());
  // Trusts both, so the misnamed server fails on its name alone.
  const std::string bothCa =
      scratch.WriteFile("both.pem", secure.CertificatePem() + misnamed.CertificatePem());
  const std::string loop11 = "HEAD HEAD HEAD HEAD HEAD HEAD HEAD HEAD HEAD HEAD HEAD";
  struct Row {
    const HttpTestServer* server;  // nullptr: path is the whole address
    std::string path;
    std::string reason;
    const char* finalPath;          // "" without a redirect; nullptr: not checked
    const char* methods = nullptr;  // of the requests the server saw for path, if checked
  } rows[] = {
      {&site, "/status/200", "HTTP Code 200 OK", "", "HEAD"},
      {&site, "/status/404", "HTTP Code 404 Not Found", "", "HEAD GET"},
      {&site, "/status/410", "HTTP Code 410 Gone", "", "HEAD GET"},
      {&site, "/status/599", "HTTP Code 599", "", "HEAD GET"},
      {&site, "/nohead", "HTTP Code 200 OK", "", "HEAD GET"},
      {&site, "/with space", "HTTP Code 200 OK", "", "HEAD"},  // requested as /with%20space
      {&site, "/moved", "HTTP Code 301 Moved Permanently", "/target", "HEAD"},
      {&site, "/tomissing", "HTTP Code 404 Not Found", "/missing", "HEAD GET"},
      {&site, "/loop", "Too Many Redirects", "/loop", loop11.c_str()},  // ten followed
      {&site, "/tofile", "Redirect Refused", nullptr, "HEAD"},
      {&site, "/endless", "HTTP Code 200 OK", "", "HEAD GET"},
      {&site, "/silent", "Host Took Too Long to Respond", "", "HEAD"},  // not asked again
      // Retry-After: waited out, then tried once as a GET; not waited when longer than the limit.
      {&site, "/retry", "HTTP Code 200 OK", "", "HEAD GET"},
      {&site, "/always-busy", "HTTP Code 429 Too Many Requests", "", "HEAD GET"},
      {&site, "/busy", "HTTP Code 503 Service Unavailable", "", "HEAD GET"},
      {&ftp, "/there.txt", "found", ""},
      {&ftp, "/missing.txt", "Remote File Not Found", ""},
      {&secure, "/moved", "HTTP Code 301 Moved Permanently", "/target", "HEAD"},
      {&misnamed, "/status/200", "Secure Connection Failed", "", ""},
      // A TLS hello to a plain server, read as the head of a request that never ends.
      {nullptr, "https://127.0.0.2:" + std::to_string(site.Port()) + "/",
       "Host Took Too Long to Respond", ""},
      {nullptr, "http://127.0.0.1:" + std::to_string(LoopbackServer::UnusedPort()) + "/",
       "Can't Connect to Host", ""},
      {nullptr, "http://127.0.0.1:99999/", "Request for Invalid Port or Name", ""},
      {nullptr, "http://127.0.0.1:-1/", "Request for Invalid Port or Name", ""},
      {nullptr, "http://[::1/", "Request for Invalid Port or Name", ""},
      {nullptr, "http://[::1]x/", "Request for Invalid Port or Name", ""},
      {nullptr, "http://[12345::1]/", "Request for Invalid Port or Name", ""},
  };
  CHttpChecker checker(loop, {.timeoutMs = 1500, .maxPerHost = 16, .caFile = bothCa});
  Strings urls;
  for (const Row& row : rows) urls.push_back(row.server ? row.server->Url(row.path) : row.path);
  urls.push_back(urls[1]);  // asked twice, requested once
  const int64_t start = loop.NowMs();
  std::vector<HttpOutcome> outcomes = CheckAll(checker, urls);
  // The silent servers and the endless body are cut off by the wait limit at most.
  EXPECT_LT(loop.NowMs() - start, 3000);
  for (size_t i = 0; i < std::size(rows); ++i) {
    const Row& row = rows[i];
    SCOPED_TRACE(urls[i]);
    EXPECT_EQ(Reason(outcomes[i].code), row.reason);
    if (row.finalPath) {
      EXPECT_EQ(outcomes[i].finalUrl, *row.finalPath ? row.server->Url(row.finalPath) : "");
    }
    if (!row.methods) continue;
    std::string methods;
    for (const std::string& r :
         row.server->Requests(std::regex_replace(row.path, std::regex(" "), "%20")))
      methods += (methods.empty() ? "" : " ") + r.substr(0, r.find(' '));
    EXPECT_EQ(methods, row.methods);
  }
  EXPECT_EQ(outcomes.back().code, outcomes[1].code);
  // Asked again once known: answered from the first outcome, from the loop, not requested.
  EXPECT_EQ(CheckAll(checker, {urls[0]}).at(0).code, outcomes[0].code);
  EXPECT_EQ(site.RequestCount("/status/200"), 1);
  EXPECT_NE(site.LastHead().find("\r\nUser-Agent: Linkward/" LINKWARD_VERSION "\r\n"),
            std::string::npos);

  // Where the trusted certificates come from.
  const struct {
    std::string caFile;
    const char* envCa;  // SSL_CERT_FILE
    std::string reason;
  } bundles[] = {
      {"", goodCa.c_str(), "HTTP Code 200 OK"},
      {goodCa, otherCa.c_str(), "HTTP Code 200 OK"},  // the option first
      {otherCa, nullptr, "Secure Connection Failed"},
      {"", nullptr, "Secure Connection Failed"},  // the system store only
  };
  for (const auto& bundle : bundles) {
    SCOPED_TRACE(bundle.caFile + " / " + (bundle.envCa ? bundle.envCa : "no SSL_CERT_FILE"));
    ScopedEnv env("SSL_CERT_FILE", bundle.envCa);
    CHttpChecker checker(loop, {.timeoutMs = 2000, .caFile = bundle.caFile});
    EXPECT_EQ(Reason(CheckAll(checker, {secure.Url("/status/200")}).at(0).code), bundle.reason);
  }
}

TEST_F(HttpCheckerTest, TransfersAtOnceAndConnectionsPerHostAreLimited) {
  // Two hosts with many slow links; the handler counts the requests being
  // answered on both at once.
  std::mutex mutex;
  int busy = 0;
  int mostBusy = 0;
  auto slow = [&](const std::string&, const std::string&) {
    {
      std::lock_guard lock(mutex);
      mostBusy = std::max(mostBusy, ++busy);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    std::lock_guard lock(mutex);
    --busy;
    return Answer(200);
  };
  // {per host, transfers, connections one host sees at once at most, requests answered at once}
  const int rows[][4] = {{1, 128, 1, 2}, {3, 128, 3, 6}, {3, 2, 2, 2}};
  for (const auto& [perHost, transfers, mostPerHost, mostAtOnce] : rows) {
    SCOPED_TRACE(testing::Message() << perHost << " per host, " << transfers);
    mostBusy = 0;
    HttpTestServer a("127.0.0.4", slow);
    HttpTestServer b("127.0.0.5", slow);
    CHttpChecker checker(loop, {.maxTransfers = transfers, .maxPerHost = perHost, .caFile = ""});
    Strings urls;
    for (int i = 0; i < 40; ++i) urls.push_back((i % 2 ? a : b).Url("/p" + std::to_string(i)));
    CheckAll(checker, urls);
    EXPECT_EQ(mostBusy, mostAtOnce);
    EXPECT_LE(a.MaxOpen(), mostPerHost);
    EXPECT_LE(b.MaxOpen(), mostPerHost);
  }
}

TEST_F(HttpCheckerTest, CancelAllDropsEverythingInFlight) {
  HttpTestServer server("127.0.0.2", [](const std::string&, const std::string&) {
    Answer answer(200);
    answer.delayMs = 300;
    return answer;
  });
  int answered = 0;
  auto checker = std::make_unique<CHttpChecker>(loop, HttpCheckOptions{});
  for (int i = 0; i < 6; ++i) {
    checker->Check(server.Url("/c" + std::to_string(i)), [&](const HttpOutcome&) { ++answered; });
  }
  EXPECT_EQ(checker->Pending(), 6u);
  loop.RunUntil([&] { return server.Requests().size() >= 2; });
  checker->CancelAll();
  EXPECT_EQ(checker->Pending(), 0u);
  loop.RunFor(600);
  EXPECT_EQ(answered, 0);
  EXPECT_EQ(server.Requests().size(), 2u);  // the queued ones never started
  checker.reset();
  EXPECT_EQ(loop.WatchCount(), 0);
  EXPECT_FALSE(loop.HasTimer(200));
}

}  // namespace
