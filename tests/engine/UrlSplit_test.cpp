#include "engine/UrlSplit.h"

#include <gtest/gtest.h>

#include <tuple>

using namespace linkward;

namespace {

TEST(UrlSplitTest, HostPathPortAndTheRequestsHostLine) {
  const Scheme kHttp = Scheme::Http, kFtp = Scheme::Ftp;
  // The Host line names the port only when it is not the scheme's default.
  // {url, scheme, host, path, port, the Host line (nullptr: not checked)}
  using Case = std::tuple<const char*, Scheme, const char*, const char*, const char*, const char*>;
  const Case cases[] = {
      {"http://host/dir/page.html#part", kHttp, "host", "/dir/page.html", "80", "host"},
      {"http://host", kHttp, "host", "/", "80", nullptr},
      {"http://host:8080/x", kHttp, "host", "/x", "8080", "host:8080"},
      {"http://host?q=1/x", kHttp, "host", "/?q=1/x", "80", nullptr},
      {"http://a@b@host:81/p", kHttp, "host", "/p", "81", nullptr},
      // no authority after the path
      {"http://host/a:b@c", kHttp, "host", "/a:b@c", "80", nullptr},
      {"http://host:abc/", kHttp, "host", "/", "0", nullptr},
      {"http://host:65536/", kHttp, "host", "/", "0", nullptr},
      {"http://host:0/", kHttp, "host", "/", "0", nullptr},
      {"http://host:65535/", kHttp, "host", "/", "65535", nullptr},
      {"http://host:080/", kHttp, "host", "/", "80", "host"},
      {"http://host:/x", kHttp, "host", "/x", "80", nullptr},
      {"http:///x", kHttp, "", "/x", "80", nullptr},
      {"ftp://host/pub/file", kFtp, "host", "/pub/file", "21", "host"},
      {"ftp://host:80/pub", kFtp, "host", "/pub", "80", "host:80"},
      {"http://host/a%20b c?x=%41", kHttp, "host", "/a%20b c?x=%41", "80", nullptr},
      {"HTTP://Host.Example/Page", kHttp, "Host.Example", "/Page", "80", nullptr},
  };
  for (const auto& [url, scheme, host, path, port, hostLine] : cases) {
    SCOPED_TRACE(url);
    EXPECT_EQ(HostFromUrl(url, scheme), host);
    EXPECT_EQ(PathFromUrl(url, scheme), path);
    EXPECT_EQ(PortFromUrl(url, scheme), port);
    if (!hostLine) continue;
    EXPECT_EQ(BuildRequest(path, host, port, scheme),
              std::string("GET ") + path + " HTTP/1.0\r\nHost: " + hostLine + "\r\n\r\n");
  }
}

}  // namespace
