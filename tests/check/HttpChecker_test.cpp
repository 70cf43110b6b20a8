// The remote checker against loopback servers: where trusted certificates
// come from, the limits on transfers. Every outcome, and Stop, are checked
// through the full check (FullCheck_test.cpp).
#include "check/HttpChecker.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <mutex>
#include <thread>

#include "check/CheckOutcome.h"
#include "platform/PollEventLoop.h"
#include "support/HttpTestServer.h"
#include "support/ScratchDir.h"

namespace {

using Answer = HttpTestServer::Answer;
using Strings = std::vector<std::string>;

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

TEST_F(HttpCheckerTest, TrustedCertificatesComeFromTheOptionThenTheEnvironment) {
  HttpTestServer secure(
      "127.0.0.3", [](auto&, auto&) { return Answer(200); }, "IP:127.0.0.3");
  HttpTestServer other(
      "127.0.0.3", [](auto&, auto&) { return Answer(200); }, "IP:127.0.0.3");
  const std::string goodCa = scratch.WriteFile("good.pem", secure.CertificatePem());
  const std::string otherCa = scratch.WriteFile("other.pem", other.CertificatePem());
  const struct {
    std::string caFile;
    const char* envCa;  // SSL_CERT_FILE
    unsigned code;
  } bundles[] = {
      {"", goodCa.c_str(), 200},
      {goodCa, otherCa.c_str(), 200},  // the option first
      {otherCa, nullptr, CHECK_SECURE_CONNECTION_FAILED},
      {"", nullptr, CHECK_SECURE_CONNECTION_FAILED},  // the system store only
  };
  for (const auto& bundle : bundles) {
    SCOPED_TRACE(bundle.caFile + " / " + (bundle.envCa ? bundle.envCa : "no SSL_CERT_FILE"));
    ScopedEnv env("SSL_CERT_FILE", bundle.envCa);
    CHttpChecker checker(loop, {.timeoutMs = 2000, .caFile = bundle.caFile});
    EXPECT_EQ(CheckAll(checker, {secure.Url("/")}).at(0).code, bundle.code);
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

}  // namespace
