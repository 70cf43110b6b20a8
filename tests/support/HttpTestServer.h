// HttpTestServer: a small HTTP/1.1 (or HTTPS) server on a loopback address
// for tests and benchmarks of the remote checker.
//
// It listens on address:port (port 0: an ephemeral one), serves each
// connection on its own thread with keep-alive, and asks a handler for the
// answer to each request. It records every request and the most connections
// it has had open at once.
//
//   HttpTestServer server("127.0.0.2", [](const std::string&, const std::string& path) {
//     return HttpTestServer::Answer{path == "/gone" ? 404 : 200};
//   });
//   ... check server.Url("/gone") ...
//   EXPECT_EQ(server.RequestCount("/gone"), 2);
//
// With ftp it speaks just enough ftp for a file probe without a data
// connection: it greets, then answers each command line ("SIZE a.txt": method
// "SIZE", path "a.txt") with the status and the headers as the reply's text
// ("ok" when empty).
//
// Threading: the accessors may be called from any thread; the handler runs on
// the connection's thread. The destructor shuts every connection down (held
// ones included) and joins its threads.
#pragma once

#include <memory>

#include "support/LoopbackServer.h"

typedef struct ssl_ctx_st SSL_CTX;

class HttpTestServer {
 public:
  struct Answer {
    int status = 200;
    std::string headers{};  // extra header lines, each ending in "\r\n"
    std::string body{};
    int delayMs = 0;       // pause before answering
    bool silent = false;   // never answer; hold the connection until the client or server goes
    bool endless = false;  // stream a body until the client goes away
  };
  using Handler = std::function<Answer(const std::string& method, const std::string& path)>;

  // tlsName: serve HTTPS with a self-signed certificate made for that
  // subjectAltName ("IP:127.0.0.1", "DNS:example.test"); being its own
  // issuer, it is trusted by a CA bundle that holds CertificatePem(). A name
  // after "expired " ("expired IP:127.0.0.1") gives one whose time has ended.
  HttpTestServer(std::string address, Handler handler, const char* tlsName = nullptr, int port = 0,
                 bool ftp = false);

  int Port() const { return m_listener.Port(); }
  // "http://address:port" + path ("https://..." with TLS, "ftp://..." with ftp).
  std::string Url(const std::string& path) const;

  // Each request's line and headers ("HEAD /a HTTP/1.1\r\nHost: ..."; an ftp
  // command line), in arrival order; with a path, only the requests for it.
  std::vector<std::string> Requests(const std::string& path = "") const;
  int RequestCount(const std::string& path) const { return int(Requests(path).size()); }
  int MaxOpen() const { return m_listener.MaxOpen(); }
  int Connections() const { return m_listener.Accepted(); }  // accepted so far
  const std::string& CertificatePem() const { return m_sPem; }

 private:
  void Serve(int fd);

  std::string m_sAddress;
  Handler m_handler;
  bool m_bFtp;
  std::string m_sPem;
  std::shared_ptr<SSL_CTX> m_pTls;  // null: plain HTTP
  mutable std::mutex m_mutex;
  std::vector<std::pair<std::string, std::string>> m_requests;  // {path, line and headers}
  Listener m_listener;                                          // last: it stops first
};
