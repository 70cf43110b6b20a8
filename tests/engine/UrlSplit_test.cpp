#include "engine/UrlSplit.h"

#include <gtest/gtest.h>

namespace {

TEST(UrlSplitTest, HostPathAndPort) {
  const struct {
    const char* url;
    int scheme;
    const char *host, *path, *port;
  } cases[] = {
      {"http://host/dir/page.html#part", 1, "host", "/dir/page.html", "80"},
      {"http://host", 1, "host", "/", "80"},
      {"http://host:8080/x", 1, "host", "/x", "8080"},
      {"http://host?q=1/x", 1, "host", "/?q=1/x", "80"},
      {"http://host#top", 1, "host", "/", "80"},
      {"http://a@b@host:81/p", 1, "host", "/p", "81"},
      {"http://host/a:b@c", 1, "host", "/a:b@c", "80"},  // no authority after the path starts
      {"http://host:abc/", 1, "host", "/", "0"},
      {"http://host:65536/", 1, "host", "/", "0"},
      {"http://host:0/", 1, "host", "/", "0"},
      {"http://host:65535/", 1, "host", "/", "65535"},
      {"http://host:1", 1, "host", "/", "1"},
      {"http://host:080/", 1, "host", "/", "80"},
      {"http://host:/x", 1, "host", "/x", "80"},
      {"http://", 1, "", "", "80"},
      {"http:/", 1, "", "", "80"},
      {"http:///x", 1, "", "/x", "80"},
      {"ftp://host/pub/file", 2, "host", "/pub/file", "21"},
      {"ftp://host:2121/pub", 2, "host", "/pub", "2121"},
      {"http://host/a%20b c?x=%41", 1, "host", "/a%20b c?x=%41", "80"},
      {"HTTP://Host.Example/Page", 1, "Host.Example", "/Page", "80"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.url);
    EXPECT_EQ(HostFromUrl(c.url, c.scheme), c.host);
    EXPECT_EQ(PathFromUrl(c.url, c.scheme), c.path);
    EXPECT_EQ(PortFromUrl(c.url, c.scheme), c.port);
  }
}

TEST(UrlSplitTest, RequestCarriesTheHostLine) {
  const struct {
    const char* url;
    int scheme;
    const char* host;  // the Host line's value
  } cases[] = {
      {"http://host/dir/page.html#part", 1, "host"},
      {"http://host:8080/x", 1, "host:8080"},
      {"http://host:080/x", 1, "host"},
      // The port is written only when it is not the scheme's default.
      {"ftp://h/", 2, "h"},
      {"ftp://h:80/", 2, "h:80"},
      {"http://h:21/", 1, "h:21"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.url);
    std::string path = PathFromUrl(c.url, c.scheme);
    EXPECT_EQ(
        BuildRequest(path, HostFromUrl(c.url, c.scheme), PortFromUrl(c.url, c.scheme), c.scheme),
        "GET " + path + " HTTP/1.0\r\nHost: " + c.host + "\r\n\r\n");
  }
}

}  // namespace
