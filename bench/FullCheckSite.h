// The remote site of the full check's speed figures: 20 pages holding 1,000
// links to 786 distinct addresses over 50 loopback hosts (127.0.1.1 to
// 127.0.1.50, one port), every answer delayed 50 ms; 100 of the links (78
// addresses) answer 404, 50 (39 addresses) answer 301 to a page that exists.
//
// Link j (0..999) points at address j % 786, so addresses 0..213 are linked
// twice. Address u lives on host 127.0.1.((u + u / 50) % 50 + 1), which spreads
// the broken and moved addresses over all hosts: "/missing<u>" when
// u % 10 == 3 (783 excepted), "/moved<u>" (301 to "/t<u>") when u % 20 == 7, else "/p<u>".
// Broken addresses all hold "missing", so a checker's output can be counted.
#pragma once

#include <algorithm>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "support/HttpTestServer.h"

namespace fullcheck {

constexpr int kLinks = 1000;
constexpr int kDistinct = 786;
constexpr int kHosts = 50;
constexpr int kPages = 20;
constexpr int kDelayMs = 50;

inline int HostIndex(int u) {
  return (u + u / kHosts) % kHosts;
}

inline std::string Host(int h) {
  return "127.0.1." + std::to_string(h + 1);
}

inline std::string Path(int u) {
  if (u % 10 == 3 && u != 783) return "/missing" + std::to_string(u);
  if (u % 20 == 7) return "/moved" + std::to_string(u);
  return "/p" + std::to_string(u);
}

inline std::string Url(int link, int port) {
  const int u = link % kDistinct;
  return "http://" + Host(HostIndex(u)) + ":" + std::to_string(port) + Path(u);
}

inline HttpTestServer::Answer Answer(const std::string&, const std::string& path) {
  HttpTestServer::Answer answer{200};
  if (path.rfind("/missing", 0) == 0) answer.status = 404;
  if (path.rfind("/moved", 0) == 0) {
    answer.status = 301;
    answer.headers = "Location: /t" + path.substr(6) + "\r\n";
  }
  if (answer.status == 200) answer.body = "<html><body>fine</body></html>\n";
  answer.delayMs = kDelayMs;
  return answer;
}

// The 50 hosts, all on one port (0: an ephemeral port chosen by the first).
class Servers {
 public:
  explicit Servers(int port = 0) {
    for (int h = 0; h < kHosts; ++h) {
      m_servers.push_back(std::make_unique<HttpTestServer>(Host(h), &Answer, nullptr, port));
      port = m_servers.back()->Port();
    }
  }
  bool Ok() const {
    return std::all_of(m_servers.begin(), m_servers.end(),
                       [&](const auto& s) { return s->Port() == Port() && Port() != 0; });
  }
  int Port() const { return m_servers[0]->Port(); }
  int MaxOpenPerHost() const {
    int most = 0;
    for (const auto& s : m_servers) most = std::max(most, s->MaxOpen());
    return most;
  }
  int Connections() const {
    int n = 0;
    for (const auto& s : m_servers) n += s->Connections();
    return n;
  }
  int Requests() const {
    size_t n = 0;
    for (const auto& s : m_servers) n += s->Requests().size();
    return int(n);
  }
  int MaxRequestsPerUrl() const {
    int most = 0;
    for (int u = 0; u < kDistinct; ++u) {
      most = std::max(most, m_servers[size_t(HostIndex(u))]->RequestCount(Path(u)));
    }
    return most;
  }

 private:
  std::vector<std::unique_ptr<HttpTestServer>> m_servers;
};

// Writes index.html (linking the 20 pages) and page01.html..page20.html.
inline bool WriteSite(const std::string& dir, int port) {
  std::ofstream index(dir + "/index.html");
  index << "<!DOCTYPE html>\n<html><head><title>Site</title></head><body>\n";
  for (int p = 0; p < kPages; ++p) {
    char name[32];
    std::snprintf(name, sizeof name, "page%02d.html", p + 1);
    index << "<p><a href=\"" << name << "\">Page " << p + 1 << "</a></p>\n";
    std::ofstream page(dir + "/" + name);
    page << "<!DOCTYPE html>\n<html><head><title>Page " << p + 1 << "</title></head><body>\n";
    const int per = kLinks / kPages;
    for (int k = 0; k < per; ++k) {
      const int link = p * per + k;
      page << "<p><a href=\"" << Url(link, port) << "\">link " << link << "</a></p>\n";
    }
    page << "</body></html>\n";
    if (!page) return false;
  }
  index << "</body></html>\n";
  return bool(index);
}

}  // namespace fullcheck
