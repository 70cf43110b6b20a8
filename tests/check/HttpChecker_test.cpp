#include "check/HttpChecker.h"

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "check/CheckOutcome.h"
#include "platform/PollEventLoop.h"
#include "support/HttpTestServer.h"
#include "support/LoopbackServer.h"
#include "support/ScratchDir.h"

using namespace linkward;

namespace {

using Answer = HttpTestServer::Answer;
using Strings = std::vector<std::string>;

// The site most cases are judged against, by path.
Answer SiteAnswer(const std::string& method, const std::string& path) {
  const bool head = method == "HEAD";
  if (path == "/ok" || path == "/target" || path == "/with%20space") return {200};
  if (path == "/nohead") return {head ? 405 : 200};
  if (path == "/moved") return {301, "Location: /target\r\n"};
  if (path == "/tomissing") return {302, "Location: /missing\r\n"};
  if (path == "/loop") return {301, "Location: /loop\r\n"};
  if (path == "/tofile") return {301, "Location: file:///etc/passwd\r\n"};
  Answer answer(head && path == "/endless" ? 405 : 200);
  answer.endless = path == "/endless";
  answer.silent = path == "/silent";
  if (answer.endless || answer.silent) return answer;
  if (path == "/busy") return {503, "Retry-After: 100\r\n"};  // longer than the wait limit
  return {404};
}

// The ftp site: SIZE knows "there.txt" only.
Answer FtpAnswer(const std::string& command, const std::string& argument) {
  static const std::map<std::string, Answer> answers = {{"USER", {331}},         {"PASS", {230}},
                                                        {"PWD", {257, "\"/\""}}, {"TYPE", {200}},
                                                        {"REST", {350}},         {"QUIT", {221}}};
  if (command == "SIZE") return argument == "there.txt" ? Answer{213, "5"} : Answer{550};
  auto it = answers.find(command);
  return it == answers.end() ? Answer{502} : it->second;
}

HttpCheckOptions WaitLimit(int ms) {
  HttpCheckOptions options;
  options.timeoutMs = ms;
  return options;
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
  HttpOutcome CheckOne(const std::string& url, HttpCheckOptions options = {}) {
    CHttpChecker checker(loop, options);
    return CheckAll(checker, {url}).at(0);
  }

  CPollEventLoop loop;
  ScratchDir scratch;
};

TEST_F(HttpCheckerTest, OutcomesRequestsAndRedirectsOverHttp) {
  HttpTestServer server("127.0.0.2", SiteAnswer);
  struct Row {
    std::string path;
    unsigned code;
    unsigned finalCode;
    std::string finalPath;  // "" when no redirect
    Strings requests;       // what the server saw for path
  } rows[] = {
      {"/ok", 200, 200, "", {"HEAD /ok"}},
      {"/gone", 404, 404, "", {"HEAD /gone", "GET /gone"}},
      {"/nohead", 200, 200, "", {"HEAD /nohead", "GET /nohead"}},
      {"/with space", 200, 200, "", {"HEAD /with%20space"}},
      {"/moved", 301, 200, "/target", {"HEAD /moved"}},
      {"/tomissing", 404, 404, "/missing", {"HEAD /tomissing", "GET /tomissing"}},
      {"/loop", CHECK_TOO_MANY_REDIRECTS, 301, "/loop", {}},
      {"/tofile", CHECK_REDIRECT_REFUSED, 301, "", {"HEAD /tofile"}},
      {"/endless", 200, 200, "", {"HEAD /endless", "GET /endless"}},
      {"/busy", 503, 503, "", {"HEAD /busy", "GET /busy"}},
      {"/silent", SOCKET_ERROR_TIMEOUT, 0, "", {"HEAD /silent"}},
  };
  HttpCheckOptions options = WaitLimit(1500);
  options.maxPerHost = 16;
  CHttpChecker checker(loop, options);
  Strings urls;
  for (const Row& row : rows) urls.push_back(server.Url(row.path));
  const int64_t start = loop.NowMs();
  std::vector<HttpOutcome> outcomes = CheckAll(checker, urls);
  // The silent server and the endless body are cut off by the wait limit at most.
  EXPECT_LT(loop.NowMs() - start, 3000);
  std::map<std::string, Strings> seen;
  for (const std::string& request : server.Requests()) {
    seen[request.substr(request.find(' ') + 1)].push_back(request);
  }
  for (size_t i = 0; i < std::size(rows); ++i) {
    const Row& row = rows[i];
    SCOPED_TRACE(row.path);
    EXPECT_EQ(outcomes[i].code, row.code);
    EXPECT_EQ(outcomes[i].finalCode, row.finalCode);
    if (row.code != CHECK_REDIRECT_REFUSED) {
      EXPECT_EQ(outcomes[i].finalUrl, row.finalPath.empty() ? "" : server.Url(row.finalPath));
    }
    if (!row.requests.empty()) {
      EXPECT_EQ(seen[row.requests[0].substr(row.requests[0].find(' ') + 1)], row.requests);
    }
  }
  // A loop stops after ten redirects, each followed once.
  EXPECT_EQ(server.RequestCount("/loop"), 11);
}

TEST_F(HttpCheckerTest, FailuresWithoutAnAnswerAndFtp) {
  // Reads the TLS hello as the head of a request that never ends.
  HttpTestServer plain("127.0.0.2", SiteAnswer);
  HttpTestServer ftp("127.0.0.2", FtpAnswer, nullptr, 0, true);
  const std::string refused = "http://127.0.0.1:" + std::to_string(LoopbackServer::UnusedPort());
  struct Row {
    std::string url;
    unsigned code;
  } rows[] = {
      {refused + "/", SOCKET_ERROR_CONNECT},
      {"http://127.0.0.1:99999/", SOCKET_ERROR_INVALID_NAME},
      {"http://[::1/", SOCKET_ERROR_INVALID_NAME},
      {"http://[::1]x/", SOCKET_ERROR_INVALID_NAME},
      {"http://[12345::1]/", SOCKET_ERROR_INVALID_NAME},
      {"http://127.0.0.1:-1/", SOCKET_ERROR_INVALID_NAME},
      {ftp.Url("/there.txt"), CHECK_FOUND},
      {ftp.Url("/missing.txt"), CHECK_REMOTE_FILE_NOT_FOUND},
      {"https://127.0.0.2:" + std::to_string(plain.Port()) + "/", SOCKET_ERROR_TIMEOUT},
  };
  CHttpChecker checker(loop, WaitLimit(800));
  Strings urls;
  for (const Row& row : rows) urls.push_back(row.url);
  const int64_t start = loop.NowMs();
  std::vector<HttpOutcome> outcomes = CheckAll(checker, urls);
  EXPECT_LT(loop.NowMs() - start, 2000);
  for (size_t i = 0; i < std::size(rows); ++i) {
    EXPECT_EQ(outcomes[i].code, rows[i].code) << rows[i].url;
  }
}

TEST_F(HttpCheckerTest, CertificatesAreVerified) {
  TestCertificate good("IP:127.0.0.3");
  TestCertificate otherName("DNS:other.test");
  HttpTestServer goodServer("127.0.0.3", SiteAnswer, &good);
  HttpTestServer wrongServer("127.0.0.3", SiteAnswer, &otherName);
  const std::string goodCa = scratch / "good.pem";
  const std::string otherCa = scratch / "other.pem";
  ASSERT_TRUE(good.WritePem(goodCa));
  ASSERT_TRUE(otherName.WritePem(otherCa));
  struct Row {
    const char* name;
    std::string url;
    std::string caFile;
    const char* envCa;  // SSL_CERT_FILE
    unsigned code;
  } rows[] = {
      {"trusted by option", goodServer.Url("/moved"), goodCa, nullptr, 301},
      {"trusted by environment", goodServer.Url("/ok"), "", goodCa.c_str(), 200},
      {"option over environment", goodServer.Url("/ok"), goodCa, otherCa.c_str(), 200},
      {"untrusted", goodServer.Url("/ok"), otherCa, nullptr, CHECK_SECURE_CONNECTION_FAILED},
      {"system store only", goodServer.Url("/ok"), "", nullptr, CHECK_SECURE_CONNECTION_FAILED},
      {"name mismatch", wrongServer.Url("/ok"), otherCa, nullptr, CHECK_SECURE_CONNECTION_FAILED},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ScopedEnv env("SSL_CERT_FILE", row.envCa);
    HttpCheckOptions options = WaitLimit(2000);
    options.caFile = row.caFile;
    EXPECT_EQ(CheckOne(row.url, options).code, row.code);
  }
  EXPECT_EQ(wrongServer.Requests(), Strings{});
}

TEST_F(HttpCheckerTest, RetryAfterThatFitsIsWaitedOutThenTriedOnce) {
  struct Row {
    int busyAnswers;  // how many requests get 429 before the server recovers
    unsigned code;
    Strings requests;
  } rows[] = {
      {1, 200, {"HEAD /r", "GET /r"}}, {5, 429, {"HEAD /r", "GET /r"}},  // retried once only
  };
  for (const Row& row : rows) {
    int busy = row.busyAnswers;
    HttpTestServer server("127.0.0.2", [&](const std::string&, const std::string&) {
      return busy-- > 0 ? Answer{429, "Retry-After: 1\r\n"} : Answer{200};
    });
    CHttpChecker checker(loop, WaitLimit(3000));
    const int64_t start = loop.NowMs();
    EXPECT_EQ(CheckAll(checker, {server.Url("/r")}).at(0).code, row.code);
    EXPECT_GE(loop.NowMs() - start, 1000);  // the second it was asked to wait
    EXPECT_EQ(server.Requests(), row.requests);
  }
}

TEST_F(HttpCheckerTest, EachUrlIsRequestedOnceAndHostsAreNotCrowded) {
  // Two hosts, each with many slow links, a fifth of them broken (HEAD then
  // GET); the handler counts the requests being answered on both at once.
  std::mutex mutex;
  int busy = 0;
  int mostBusy = 0;
  auto slow = [&](const std::string&, const std::string& path) {
    {
      std::lock_guard lock(mutex);
      mostBusy = std::max(mostBusy, ++busy);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    std::lock_guard lock(mutex);
    --busy;
    return Answer(path.back() == '0' || path.back() == '5' ? 404 : 200);
  };
  struct Row {
    int perHost;
    int transfers;
    int mostPerHost;  // connections one host sees at once, at most
    int mostAtOnce;   // requests answered at once on both hosts
  } rows[] = {{1, 128, 1, 2}, {3, 128, 3, 6}, {3, 2, 2, 2}};
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::Message() << row.perHost << " per host, " << row.transfers);
    mostBusy = 0;
    HttpTestServer a("127.0.0.4", slow);
    HttpTestServer b("127.0.0.5", slow);
    HttpCheckOptions options;
    options.maxPerHost = row.perHost;
    options.maxTransfers = row.transfers;
    CHttpChecker checker(loop, options);
    Strings urls;
    for (int i = 0; i < 20; ++i) {
      urls.push_back(a.Url("/p" + std::to_string(i)));
      urls.push_back(b.Url("/p" + std::to_string(i)));
    }
    Strings twice = urls;
    twice.insert(twice.end(), urls.begin(), urls.end());
    std::vector<HttpOutcome> outcomes = CheckAll(checker, twice);
    for (size_t i = 0; i < urls.size(); ++i) {
      EXPECT_EQ(outcomes[i].code, outcomes[i + urls.size()].code);
      EXPECT_EQ(outcomes[i].code, urls[i].back() == '0' || urls[i].back() == '5' ? 404u : 200u);
    }
    // Asked again once known: answered from the first outcome, from the loop.
    EXPECT_EQ(CheckAll(checker, {urls[0]}).at(0).code, outcomes[0].code);
    EXPECT_EQ(mostBusy, row.mostAtOnce);
    for (const HttpTestServer* server : {&a, &b}) {
      EXPECT_LE(server->MaxOpen(), row.mostPerHost);
      EXPECT_EQ(server->RequestCount("/p1"), 1);
      EXPECT_EQ(server->RequestCount("/p10"), 2);
      EXPECT_EQ(server->Requests().size(), 24u);
      EXPECT_NE(server->LastHead().find("\r\nUser-Agent: Linkward/" LINKWARD_VERSION "\r\n"),
                std::string::npos);
    }
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
