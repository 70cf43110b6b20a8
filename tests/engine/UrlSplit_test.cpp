#include "engine/UrlSplit.h"

#include <gtest/gtest.h>

using namespace linkward;

namespace {

TEST(UrlSplitTest, HostPathPortAndTheRequestsHostLine) {
  // The Host line names the port only when it is not the scheme's default.
  const struct {
    const char* url;
    Scheme scheme;
    const char *host, *path, *port, *hostLine;  // hostLine nullptr: not checked
  } cases[] = {
      {"http://host/dir/page.html#part", Scheme::Http, "host", "/dir/page.html", "80", "host"},
      {"http://host", Scheme::Http, "host", "/", "80", nullptr},
      {"http://host:8080/x", Scheme::Http, "host", "/x", "8080", "host:8080"},
      {"http://host?q=1/x", Scheme::Http, "host", "/?q=1/x", "80", nullptr},
      {"http://host#top", Scheme::Http, "host", "/", "80", nullptr},
      {"http://a@b@host:81/p", Scheme::Http, "host", "/p", "81", nullptr},
      // no authority after the path
      {"http://host/a:b@c", Scheme::Http, "host", "/a:b@c", "80", nullptr},
      {"http://host:abc/", Scheme::Http, "host", "/", "0", nullptr},
      {"http://host:65536/", Scheme::Http, "host", "/", "0", nullptr},
      {"http://host:0/", Scheme::Http, "host", "/", "0", nullptr},
      {"http://host:65535/", Scheme::Http, "host", "/", "65535", nullptr},
      {"http://host:1", Scheme::Http, "host", "/", "1", nullptr},
      {"http://host:21/", Scheme::Http, "host", "/", "21", "host:21"},
      {"http://host:080/", Scheme::Http, "host", "/", "80", "host"},
      {"http://host:/x", Scheme::Http, "host", "/x", "80", nullptr},
      {"http://", Scheme::Http, "", "", "80", nullptr},
      {"http:/", Scheme::Http, "", "", "80", nullptr},
      {"http:///x", Scheme::Http, "", "/x", "80", nullptr},
      {"ftp://host/pub/file", Scheme::Ftp, "host", "/pub/file", "21", "host"},
      {"ftp://host:80/pub", Scheme::Ftp, "host", "/pub", "80", "host:80"},
      {"http://host/a%20b c?x=%41", Scheme::Http, "host", "/a%20b c?x=%41", "80", nullptr},
      {"HTTP://Host.Example/Page", Scheme::Http, "Host.Example", "/Page", "80", nullptr},
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
