// The remote checker against loopback servers that behave as hostile parts of
// the web do: bot protection, login walls, rate limits with and without
// Retry-After, flaky and silent servers, servers that mishandle HEAD, long
// redirect chains, redirects to other schemes, resets, huge header lines,
// refused certificates, hosts that do not exist. Each case gets a server of
// its own (a host's memory lasts the run) and is judged by its verdict and by
// the requests the server saw.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <ctime>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>

#include "check/CheckOutcome.h"
#include "check/HttpChecker.h"
#include "platform/PollEventLoop.h"
#include "support/HttpTestServer.h"

using namespace linkward;

namespace {

using Answer = HttpTestServer::Answer;
using Clock = std::chrono::steady_clock;
// The answer to request number n (from 0) of the case's server.
using Script = std::function<Answer(const std::string& method, int n)>;

// Checks every url with one checker and returns their outcomes in order.
std::vector<HttpOutcome> CheckAll(const HttpCheckOptions& options,
                                  const std::vector<std::string>& urls,
                                  NameLookupFn lookup = nullptr) {
  CPollEventLoop loop;  // real time: the servers see the waits
  CHttpChecker checker(loop, options, std::move(lookup));
  std::vector<HttpOutcome> outcomes(urls.size());
  size_t done = 0;
  for (size_t i = 0; i < urls.size(); ++i)
    checker.Check(urls[i], [&, i](const HttpOutcome& o) { outcomes[i] = o, ++done; });
  loop.RunUntil([&] { return done == urls.size(); });
  EXPECT_EQ(checker.Pending(), 0u);
  return outcomes;
}

HttpCheckOptions Quick() {
  HttpCheckOptions options;
  options.timeoutMs = 1500;  // a HEAD waits 500 ms
  options.retryPauseMs = 20;
  return options;
}

// The methods of the requests the server saw, "HEAD GET".
std::string Methods(const HttpTestServer& server) {
  std::string methods;
  for (const std::string& request : server.Requests())
    methods += (methods.empty() ? "" : " ") + request.substr(0, request.find(' '));
  return methods;
}

// "Retry-After" as an HTTP date seconds from now.
std::string HttpDate(int seconds) {
  std::time_t when = std::time(nullptr) + seconds;
  std::tm tm{};
  gmtime_r(&when, &tm);
  char text[64];
  std::strftime(text, sizeof text, "%a, %d %b %Y %H:%M:%S GMT", &tm);
  return text;
}

TEST(HttpCheckerTest, EachHostileBehaviourGetsItsClassAndReason) {
  struct Case {
    const char* what;
    Script script;
    std::string reason;  // the reason text of the outcome
    CheckClass cls;
    std::string methods;  // the requests the server saw
    std::vector<unsigned> accept{};
  };
  const std::string challengePage = "<html><head><title>Just a moment...</title>";
  const std::string bigHeader = "X-Big: " + std::string(100 * 1024, 'a') + "\r\n";
  const std::vector<Case> cases = {
      {"plain", [](auto&, int) { return Answer{200}; }, "HTTP Code 200 OK", CheckClass::Ok, "HEAD"},
      {"missing", [](auto&, int) { return Answer{404}; }, "HTTP Code 404 Not Found",
       CheckClass::Broken, "HEAD GET"},
      {"challenge header",
       [](auto&, int) { return Answer{403, "cf-mitigated: challenge\r\n"}; },
       "Blocked by Bot Protection (HTTP 403)", CheckClass::NotVerified, "HEAD"},
      {"challenge page", [&](auto&, int) { return Answer{503, "", challengePage}; },
       "Blocked by Bot Protection (HTTP 503)", CheckClass::NotVerified, "HEAD GET"},
      {"plain 403", [](auto&, int) { return Answer{403, "", "<html>no</html>"}; },
       "HTTP Code 403 Forbidden", CheckClass::Broken, "HEAD GET"},
      {"status 999", [](auto&, int) { return Answer{999}; },
       "Blocked by Bot Protection (HTTP 999)", CheckClass::NotVerified, "HEAD"},
      {"login", [](auto&, int) { return Answer{401}; }, "Login Required (HTTP 401)",
       CheckClass::NotVerified, "HEAD GET"},
      {"accepted 403", [](auto&, int) { return Answer{403}; }, "", CheckClass::Ok, "HEAD", {403}},
      // Backoff without Retry-After: three retries, four requests, then the verdict.
      {"always 429", [](auto&, int) { return Answer{429}; }, "Rate Limited (HTTP 429)",
       CheckClass::NotVerified, "HEAD GET GET GET"},
      {"429 twice", [](auto&, int n) { return Answer{n < 2 ? 429 : 200}; }, "HTTP Code 200 OK",
       CheckClass::Ok, "HEAD GET GET"},
      // A retry that did not wait out Retry-After would get 429 again.
      {"429 for a second",
       [since = std::make_shared<Clock::time_point>()](auto&, int n) {
         if (n == 0) *since = Clock::now();
         return Clock::now() - *since < std::chrono::seconds(1)
                    ? Answer{429, "Retry-After: 1\r\n"}
                    : Answer{200};
       },
       "HTTP Code 200 OK", CheckClass::Ok, "HEAD GET"},
      {"429 with a date", [](auto&, int n) {
         return n == 0 ? Answer{429, "Retry-After: " + HttpDate(1) + "\r\n"} : Answer{200};
       }, "HTTP Code 200 OK", CheckClass::Ok, "HEAD GET"},
      {"a wait too long", [](auto&, int) { return Answer{429, "Retry-After: 3600\r\n"}; },
       "Rate Limited (HTTP 429)", CheckClass::NotVerified, "HEAD"},
      {"flaky 500", [](auto&, int n) { return Answer{n < 2 ? 500 : 200}; }, "HTTP Code 200 OK",
       CheckClass::Ok, "HEAD GET GET"},
      {"always 500", [](auto&, int) { return Answer{500}; }, "HTTP Code 500 Internal Server Error",
       CheckClass::Broken, "HEAD GET GET"},
      {"HEAD hangs",
       [](const std::string& method, int) {
         Answer answer{200};
         answer.silent = method == "HEAD";
         return answer;
       },
       "HTTP Code 200 OK", CheckClass::Ok, "HEAD GET"},
      {"silent",
       [](auto&, int) {
         Answer answer{200};
         answer.silent = true;
         return answer;
       },
       "No Answer in 2 s", CheckClass::NotVerified, "HEAD GET GET"},
      {"15 redirects",
       [](auto&, int n) {
         return n < 15 ? Answer{n == 0 ? 308 : 302, "Location: /" + std::to_string(n + 1) + "\r\n"}
                       : Answer{200};
       },
       "HTTP Code 308 Permanent Redirect", CheckClass::Moved,
       "HEAD HEAD HEAD HEAD HEAD HEAD HEAD HEAD HEAD HEAD HEAD HEAD HEAD HEAD HEAD HEAD"},
      {"redirect to ftp", [](auto&, int) { return Answer{302, "Location: ftp://127.0.0.1/x\r\n"}; },
       "Redirect Refused", CheckClass::Broken, "HEAD"},
      {"a 100 KB header line", [&](auto&, int) { return Answer{200, bigHeader}; },
       "HTTP Code 200 OK", CheckClass::Ok, "HEAD"},
  };
  for (const Case& c : cases) {
    std::mutex mutex;
    int n = 0;
    HttpTestServer server("127.0.0.2", [&](const std::string& method, const std::string&) {
      std::lock_guard lock(mutex);
      return c.script(method, n++);
    });
    HttpCheckOptions options = Quick();
    options.timeoutMs = 2000;
    options.acceptCodes = c.accept;
    const HttpOutcome outcome = CheckAll(options, {server.Url("/")}).at(0);
    EXPECT_EQ(outcome.code == CHECK_FOUND ? "" : CheckReasonText(outcome.code), c.reason) << c.what;
    EXPECT_EQ(CheckClassOf(outcome.code), c.cls) << c.what;
    EXPECT_EQ(Methods(server), c.methods) << c.what;
  }
}

TEST(HttpCheckerTest, ResetConnectionsAreAskedAgainOnce) {
  // Closed without an answer: HEAD, then GET, then one retry of the GET.
  for (int closed : {2, 3}) {
    LoopbackServer server([closed](int i) {
      return i < closed ? LoopbackServer::CloseWithoutReply()
                        : LoopbackServer::Reply("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n");
    });
    const HttpOutcome outcome = CheckAll(Quick(), {server.Url("/")}).at(0);
    EXPECT_EQ(CheckClassOf(outcome.code), closed == 2 ? CheckClass::Ok : CheckClass::Broken);
    EXPECT_EQ(server.Requests().size(), 3u);
  }
}

TEST(HttpCheckerTest, HostsRememberHeadTroubleAndSlowDownWhenAsked) {
  // 405 to a HEAD: GET from then on, for every address of that host.
  HttpTestServer nohead("127.0.0.2", [](const std::string& method, const std::string&) {
    return Answer{method == "HEAD" ? 405 : 200};
  });
  HttpCheckOptions options = Quick();
  options.maxPerHost = 1;
  CheckAll(options, {nohead.Url("/a"), nohead.Url("/b"), nohead.Url("/c")});
  EXPECT_EQ(Methods(nohead), "HEAD GET GET GET");

  // Every address answers 429 once: after the first the host goes one at a
  // time, instead of releasing every retry at once. The first four requests
  // go out together; every later one must be alone.
  std::mutex mutex;
  std::map<std::string, int> asked;
  int inside = 0, answered = 0, mostInside = 0;
  HttpTestServer busy("127.0.0.3", [&](const std::string&, const std::string& path) {
    {
      std::lock_guard lock(mutex);
      ++inside;
      if (answered >= 4) mostInside = std::max(mostInside, inside);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    std::lock_guard lock(mutex);
    --inside;
    ++answered;
    return asked[path]++ > 0 ? Answer{200} : Answer{429, "Retry-After: 0\r\n"};
  });
  options.maxPerHost = 4;
  std::vector<std::string> urls;
  for (int i = 0; i < 8; ++i) urls.push_back(busy.Url("/" + std::to_string(i)));
  for (const HttpOutcome& outcome : CheckAll(options, urls)) EXPECT_EQ(outcome.code, 200u);
  EXPECT_EQ(busy.Requests().size(), 16u);
  EXPECT_EQ(mostInside, 1);
}

TEST(HttpCheckerTest, HeadersAndLimitsOfAHostRuleStayWithThatHost) {
  HttpTestServer other("127.0.0.1", [](auto&, auto&) { return Answer{200}; });
  const std::string there = "http://localhost:" + std::to_string(other.Port()) + "/there";
  std::atomic<int> inside{0}, mostInside{0};
  HttpTestServer first("127.0.0.2", [&](auto&, const std::string& path) {
    mostInside = std::max(mostInside.load(), ++inside);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    --inside;
    return path == "/away" ? Answer{302, "Location: " + there + "\r\n"} : Answer{200};
  });
  HttpCheckOptions options = Quick();
  options.userAgent = "Custom/1";
  options.maxPerHost = 4;
  options.hostRules = {{"127.0.0.2", {"X-Token: secret"}, 1}, {"LocalHost", {"X-Other: b"}, 0}};
  std::vector<std::string> urls = {first.Url("/away")};
  for (int i = 0; i < 5; ++i) urls.push_back(first.Url("/" + std::to_string(i)));
  const auto outcomes = CheckAll(options, urls);
  EXPECT_EQ(outcomes[0].code, 302u);
  EXPECT_EQ(outcomes[0].finalUrl, there);
  EXPECT_EQ(mostInside, 1);  // the rule's limit
  const std::string asked = first.Requests("/away").at(0);
  const std::string redirected = other.Requests("/there").at(0);
  for (const char* header : {"\nUser-Agent: Custom/1\r", "\nAccept: text/html,", "\nAccept-Language: ",
                             "\nAccept-Encoding: "}) {
    EXPECT_NE(asked.find(header), std::string::npos) << header;
    EXPECT_NE(redirected.find(header), std::string::npos) << header;
  }
  EXPECT_NE(asked.find("\nX-Token: secret"), std::string::npos);
  EXPECT_EQ(asked.find("X-Other"), std::string::npos);
  EXPECT_EQ(redirected.find("X-Token"), std::string::npos);  // never after a move elsewhere
  EXPECT_NE(redirected.find("\nX-Other: b"), std::string::npos);
}

TEST(HttpCheckerTest, DeadHostsCostOneLookup) {
  std::atomic<int> lookups{0};
  auto counting = [&](NameAnswer fake) {
    return [&lookups, fake](const std::string&) { return ++lookups, fake; };
  };
  std::vector<std::string> dead, flaky;
  for (int i = 0; i < 50; ++i) {
    dead.push_back("http://dead.invalid/" + std::to_string(i));
    flaky.push_back("http://flaky.invalid:81/" + std::to_string(i));
  }
  for (const HttpOutcome& outcome : CheckAll(Quick(), dead, counting(NameAnswer::Missing)))
    EXPECT_EQ(outcome.code, SOCKET_ERROR_HOST_NOT_FOUND);
  EXPECT_EQ(lookups, 1);
  // A lookup that fails for a time: asked once more, then Not Verified.
  lookups = 0;
  for (const HttpOutcome& outcome : CheckAll(Quick(), flaky, counting(NameAnswer::Temporary)))
    EXPECT_EQ(CheckReasonText(outcome.code), "Temporary Name Lookup Failure");
  EXPECT_EQ(lookups, 1);
  // A host:port that refused a connection is not asked again in the run,
  // even once something listens there.
  const int port = LoopbackServer::UnusedPort();
  CPollEventLoop loop;
  CHttpChecker checker(loop, Quick());
  std::vector<unsigned> codes;
  std::unique_ptr<HttpTestServer> late;
  for (const char* path : {"/a", "/b"}) {
    checker.Check("http://127.0.0.1:" + std::to_string(port) + path,
                  [&](const HttpOutcome& o) { codes.push_back(o.code); });
    loop.RunUntil([&] { return checker.Pending() == 0 && !codes.empty(); });
    if (!late)
      late = std::make_unique<HttpTestServer>(
          "127.0.0.1", [](auto&, auto&) { return Answer{200}; }, nullptr, port);
  }
  loop.RunUntil([&] { return codes.size() == 2; });
  EXPECT_EQ(codes, (std::vector<unsigned>{SOCKET_ERROR_CONNECT, SOCKET_ERROR_CONNECT}));
  EXPECT_EQ(late->Port(), port);
  EXPECT_EQ(late->Connections(), 0);
  // The system's resolver says .invalid names do not exist.
  EXPECT_EQ(SystemNameLookup("nonexistent.invalid"), NameAnswer::Missing);
}

TEST(HttpCheckerTest, RefusedCertificatesNameTheCause) {
  HttpTestServer trusted("127.0.0.3", [](auto&, auto&) { return Answer{200}; }, "IP:127.0.0.3");
  HttpTestServer misnamed("127.0.0.3", [](auto&, auto&) { return Answer{200}; }, "DNS:other.test");
  HttpTestServer stranger("127.0.0.3", [](auto&, auto&) { return Answer{200}; }, "IP:127.0.0.3");
  HttpTestServer expired("127.0.0.3", [](auto&, auto&) { return Answer{200}; },
                         "expired IP:127.0.0.3");
  const std::string bundle = ::testing::TempDir() + "/linkward-http-checker.pem";
  {
    std::FILE* file = std::fopen(bundle.c_str(), "w");
    const std::string pem =
        trusted.CertificatePem() + misnamed.CertificatePem() + expired.CertificatePem();
    std::fwrite(pem.data(), 1, pem.size(), file);
    std::fclose(file);
  }
  HttpCheckOptions options = Quick();
  options.caFile = bundle;
  const auto outcomes = CheckAll(
      options, {trusted.Url("/"), misnamed.Url("/"), stranger.Url("/"), expired.Url("/")});
  EXPECT_EQ(outcomes[0].code, 200u);
  EXPECT_EQ(CheckReasonText(outcomes[1].code), "Certificate Name Mismatch");
  EXPECT_EQ(CheckReasonText(outcomes[2].code), "Certificate Not Trusted");
  EXPECT_EQ(CheckReasonText(outcomes[3].code), "Certificate Expired");
  std::remove(bundle.c_str());
}

TEST(HttpCheckerTest, VerdictsFollowTheMaskPositionOfWhatTheyCarry) {
  std::string mask = DEFAULT_FILTER_MASK;
  for (unsigned code : {401u, 403u, SOCKET_ERROR_TIMEOUT, SOCKET_ERROR_HOST_NOT_FOUND})
    mask[size_t(OutcomeKind(code))] = '0';
  for (unsigned hidden : {CHECK_LOGIN_REQUIRED + 401, CHECK_BOT_PROTECTION + 403,
                          CHECK_NO_ANSWER + 15, CHECK_LOOKUP_FAILED_FOR_NOW})
    EXPECT_FALSE(CheckReported(mask, hidden)) << hidden;
  for (unsigned shown : {CHECK_LOGIN_REQUIRED + 407, CHECK_BOT_PROTECTION + 999,
                         CHECK_RATE_LIMITED + 429, CHECK_CERTIFICATE_EXPIRED})
    EXPECT_TRUE(CheckReported(mask, shown)) << shown;
}

}  // namespace
