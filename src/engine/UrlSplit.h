// Splitting a link into host, port and path, and the request the probe sends.
//
// scheme: http ("http://" is skipped by length) or ftp ("ftp://").
// The authority ends at the first "/", "?" or "#"; user information up to its
// last "@" is dropped; a port written after ":" is used when it is a number
// from 1 to 65535, an empty port means the scheme's default.
#pragma once

#include <string>

namespace linkward {

// A probed link's scheme, decided from its first letter.
enum class Scheme : int { Http = 1, Ftp = 2 };

std::string HostFromUrl(const std::string& url, Scheme scheme);
// "/" when nothing follows the authority; a query without a path gives "/"
// followed by the query; cut before the first "#".
std::string PathFromUrl(const std::string& url, Scheme scheme);
// "80" or "21" by default, the written port when valid, "0" otherwise (which
// the socket's Connect rejects with 10001).
std::string PortFromUrl(const std::string& url, Scheme scheme);
// "GET <path> HTTP/1.0\r\nHost: <host>[:<port>]\r\n\r\n"; the port is written
// only when it differs from the scheme's default.
std::string BuildRequest(const std::string& path, const std::string& host, const std::string& port,
                         Scheme scheme);

}  // namespace linkward
