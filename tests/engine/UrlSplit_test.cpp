#include "engine/UrlSplit.h"

#include <gtest/gtest.h>

using namespace linkward;

namespace {

TEST(UrlSplitTest, HostPathPortAndTheRequestsHostLine) {
  // The Host line names the port only when it is not the scheme's default.
  const struct {
    const char* url;
    int scheme;
    const char *host, *path, *port, *hostLine;  // hostLine nullptr: not checked
  } cases[] = {
      {"http://host/dir/page.html#part", 1, "host", "/dir/page.html", "80", "host"},
      {"http://host", 1, "host", "/", "80", nullptr},
      {"http://host:8080/x", 1, "host", "/x", "8080", "host:8080"},
      {"http://host?q=1/x", 1, "host", "/?q=1/x", "80", nullptr},
      {"http://host#top", 1, "host", "/", "80", nullptr},
      {"http://a@b@host:81/p", 1, "host", "/p", "81", nullptr},
      {"http://host/a:b@c", 1, "host", "/a:b@c", "80", nullptr},  // no authority after the path
      {"http://host:abc/", 1, "host", "/", "0", nullptr},
      {"http://host:65536/", 1, "host", "/", "0", nullptr},
      {"http://host:0/", 1, "host", "/", "0", nullptr},
      {"http://host:65535/", 1, "host", "/", "65535", nullptr},
      {"http://host:1", 1, "host", "/", "1", nullptr},
      {"http://host:21/", 1, "host", "/", "21", "host:21"},
      {"http://host:080/", 1, "host", "/", "80", "host"},
      {"http://host:/x", 1, "host", "/x", "80", nullptr},
      {"http://", 1, "", "", "80", nullptr},
      {"http:/", 1, "", "", "80", nullptr},
      {"http:///x", 1, "", "/x", "80", nullptr},
      {"ftp://host/pub/file", 2, "host", "/pub/file", "21", "host"},
      {"ftp://host:80/pub", 2, "host", "/pub", "80", "host:80"},
      {"http://host/a%20b c?x=%41", 1, "host", "/a%20b c?x=%41", "80", nullptr},
      {"HTTP://Host.Example/Page", 1, "Host.Example", "/Page", "80", nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.url);
    EXPECT_EQ(HostFromUrl(c.url, c.scheme), c.host);
    EXPECT_EQ(PathFromUrl(c.url, c.scheme), c.path);
    EXPECT_EQ(PortFromUrl(c.url, c.scheme), c.port);
    if (!c.hostLine) continue;
    EXPECT_EQ(BuildRequest(c.path, c.host, c.port, c.scheme),
              std::string("GET ") + c.path + " HTTP/1.0\r\nHost: " + c.hostLine + "\r\n\r\n");
  }
}

}  // namespace
