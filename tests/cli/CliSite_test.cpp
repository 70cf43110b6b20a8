// linkward-cli on a site checked before it is published: links into the site
// (http and https alike) judged as the files under --root with no request to
// the site's host, clean URLs and a directory's page names.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <tuple>

#include "cli/CliRunner.h"
#include "support/HttpTestServer.h"
#include "support/ScratchDir.h"
#include "support/TempSettings.h"

using namespace linkward;

namespace {

class CliSiteTest : public ::testing::Test {
 protected:
  CliSiteTest() {
    for (const char* sub : {"config", "runtime", "site", "site/root", "site/root/guide"})
      ::mkdir((dir / sub).c_str(), 0700);
  }
  // Runs the program: exit status, standard output, standard error.
  std::tuple<int, std::string, std::string> Cli(std::vector<std::string> args) {
    args.insert(args.begin(), "linkward-cli");
    std::vector<const char*> argv;
    for (const std::string& arg : args) argv.push_back(arg.c_str());
    std::FILE* out = std::fopen((dir / "stdout").c_str(), "w");
    std::FILE* err = std::fopen((dir / "stderr").c_str(), "w");
    const int status = RunCli(static_cast<int>(argv.size()), argv.data(), out, err);
    std::fclose(out);
    std::fclose(err);
    return {status, ScratchDir::ReadFile(dir / "stdout"), ScratchDir::ReadFile(dir / "stderr")};
  }
  ScratchDir dir;
  ScopedEnv config{"XDG_CONFIG_HOME", (dir / "config").c_str()};
  ScopedEnv runtime{"XDG_RUNTIME_DIR", (dir / "runtime").c_str()};
};

std::string Link(const std::string& url) {
  return "<a href=\"" + url + "\">x</a>\n";
}

TEST_F(CliSiteTest, LinksIntoTheSiteAreItsFilesAndCostNoRequest) {
  HttpTestServer site("127.0.0.2", [](const std::string&, const std::string&) {
    return HttpTestServer::Answer{200};
  });
  const std::string port = std::to_string(site.Port());
  const std::string root = dir / "site/root";
  dir.WriteFile("site/root/page.html", "<h2 id=sec>S</h2>");
  dir.WriteFile("site/root/about.html", "");
  dir.WriteFile("site/root/guide/home.html", "");
  dir.WriteFile("site/secret.html", "<p id=s>");          // beside the root, not in the site
  const std::string https = "https://127.0.0.2:" + port;  // the same site
  const std::vector<std::string> sound = {site.Url("/page.html#sec"), https + "/page.html",
                                          site.Url(""), site.Url("/?q=1"),
                                          site.Url("/page.html?v=2#sec")};
  const std::vector<std::string> broken = {
      https + "/page.html#nosec", "HTTP://127.0.0.2:" + port + "/gone.html",
      site.Url("/%2e%2e/secret.html#s"), site.Url("/../secret.html")};
  const std::vector<std::string> clean = {"/about", site.Url("/about"), "guide/"};
  std::string body;
  for (const auto* list : {&sound, &broken, &clean})
    for (const std::string& url : *list) body += Link(url);
  const std::string page = dir.WriteFile("site/root/index.html", body);
  const std::vector<std::string> site_ = {"--full", "--site-url", site.Url("/"), "--root", root};

  auto listed = [&](const std::vector<std::string>& args, const std::vector<std::string>& rows) {
    const auto [status, out, err] = Cli(args);
    EXPECT_EQ(status, 1) << err;
    for (const std::string& url : sound)
      EXPECT_EQ(out.find("  " + url + " "), std::string::npos) << out;
    for (const std::string& url : rows)
      EXPECT_NE(out.find("  " + url + " "), std::string::npos) << url;
    return out;
  };
  std::vector<std::string> args = site_;
  args.insert(args.end(), {"--clean-urls", "--index-names", "index.html,home.html", page});
  const std::string out = listed(args, broken);
  EXPECT_NE(out.find(broken[0] + " - Fragment Not Found"), std::string::npos) << out;
  EXPECT_NE(out.find(broken[1] + " - Local File Not Found"), std::string::npos) << out;
  for (const std::string& url : clean)
    EXPECT_EQ(out.find("  " + url + " "), std::string::npos) << out;
  // Without --clean-urls and with the default page names, those are missing.
  args = site_;
  args.push_back(page);
  std::vector<std::string> rows = broken;
  rows.insert(rows.end(), clean.begin(), clean.end());
  listed(args, rows);
  EXPECT_TRUE(site.Requests().empty());
}

}  // namespace
