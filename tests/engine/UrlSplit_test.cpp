#include "engine/UrlSplit.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct SplitCase {
  const char* url;
  int scheme;
  const char* host;
  const char* path;
  const char* port;
};

const SplitCase kCases[] = {
    {"http://host/dir/page.html#part", 1, "host", "/dir/page.html", "80"},
    {"http://host", 1, "host", "/", "80"},
    {"http://host:8080/x", 1, "host", "/x", "8080"},
    {"http://host?q=1", 1, "host", "/?q=1", "80"},
    {"http://host?q=1/x", 1, "host", "/?q=1/x", "80"},
    {"http://host#top", 1, "host", "/", "80"},
    {"http://host?q=1#top", 1, "host", "/?q=1", "80"},
    {"http://user:pw@host/", 1, "host", "/", "80"},
    {"http://a@b@host:81/p", 1, "host", "/p", "81"},
    {"http://host/a:b@c", 1, "host", "/a:b@c", "80"},
    {"http://host:abc/", 1, "host", "/", "0"},
    {"http://host:70000/", 1, "host", "/", "0"},
    {"http://host:65536/", 1, "host", "/", "0"},
    {"http://host:99999999999999999999/", 1, "host", "/", "0"},
    {"http://host:0/", 1, "host", "/", "0"},
    {"http://host:-1/", 1, "host", "/", "0"},
    {"http://host: 81/", 1, "host", "/", "0"},
    {"http://host:65535/", 1, "host", "/", "65535"},
    {"http://host:1", 1, "host", "/", "1"},
    {"http://host:080/", 1, "host", "/", "80"},
    {"http://host:/x", 1, "host", "/x", "80"},
    {"http://", 1, "", "", "80"},
    {"http:/", 1, "", "", "80"},
    {"http:///x", 1, "", "/x", "80"},
    {"ftp://host/pub/file", 2, "host", "/pub/file", "21"},
    {"ftp://host", 2, "host", "/", "21"},
    {"ftp://host:2121/pub", 2, "host", "/pub", "2121"},
    {"ftp://", 2, "", "", "21"},
    {"http://host/my page.html", 1, "host", "/my page.html", "80"},
    {"http://host/a?b=1#c", 1, "host", "/a?b=1", "80"},
    {"http://host/a%20b?x=%41", 1, "host", "/a%20b?x=%41", "80"},
    {"HTTP://Host.Example/Page", 1, "Host.Example", "/Page", "80"},
    {"http://192.168.1.2:8000/", 1, "192.168.1.2", "/", "8000"},
};

TEST(UrlSplitTest, HostPathAndPort) {
  for (const SplitCase& c : kCases) {
    SCOPED_TRACE(c.url);
    EXPECT_EQ(HostFromUrl(c.url, c.scheme), c.host);
    EXPECT_EQ(PathFromUrl(c.url, c.scheme), c.path);
    EXPECT_EQ(PortFromUrl(c.url, c.scheme), c.port);
  }
}

struct RequestCase {
  const char* url;
  int scheme;
  const char* request;
};

const RequestCase kRequests[] = {
    {"http://host/dir/page.html#part", 1, "GET /dir/page.html HTTP/1.0\r\nHost: host\r\n\r\n"},
    {"http://host:8080/x", 1, "GET /x HTTP/1.0\r\nHost: host:8080\r\n\r\n"},
    {"http://host:080/x", 1, "GET /x HTTP/1.0\r\nHost: host\r\n\r\n"},
    {"http://host:/x", 1, "GET /x HTTP/1.0\r\nHost: host\r\n\r\n"},
    {"http://host/my page.html", 1, "GET /my page.html HTTP/1.0\r\nHost: host\r\n\r\n"},
    {"http://user:pw@host?q=1", 1, "GET /?q=1 HTTP/1.0\r\nHost: host\r\n\r\n"},
    // The port is written only when it is not the scheme's default.
    {"ftp://h/", 2, "GET / HTTP/1.0\r\nHost: h\r\n\r\n"},
    {"ftp://h:80/", 2, "GET / HTTP/1.0\r\nHost: h:80\r\n\r\n"},
    {"http://h:21/", 1, "GET / HTTP/1.0\r\nHost: h:21\r\n\r\n"},
};

TEST(UrlSplitTest, RequestCarriesTheHostLine) {
  for (const RequestCase& c : kRequests) {
    SCOPED_TRACE(c.url);
    EXPECT_EQ(BuildRequest(PathFromUrl(c.url, c.scheme), HostFromUrl(c.url, c.scheme),
                           PortFromUrl(c.url, c.scheme), c.scheme),
              c.request);
  }
}

}  // namespace
