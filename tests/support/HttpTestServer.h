// HttpTestServer: a small HTTP/1.1 (or HTTPS) server on a loopback address
// for tests and benchmarks of the remote checker.
//
// It listens on address:port (port 0: an ephemeral one), serves each
// connection on its own thread with keep-alive, and asks a handler for the
// answer to each request. It records every request ("HEAD /a") and the most
// connections it has had open at once.
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
// SIGPIPE is ignored from the first server on.
//
// Threading: the accessors may be called from any thread; the handler runs on
// the connection's thread. The destructor shuts every connection down (held
// ones included) and joins its threads.
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

typedef struct ssl_ctx_st SSL_CTX;

// A self-signed certificate and its key, made for the test; the certificate
// is its own issuer, so naming its file as the CA bundle makes it trusted.
class TestCertificate {
 public:
  // subjectAltName: "IP:127.0.0.1" or "DNS:example.test".
  explicit TestCertificate(const std::string& subjectAltName);
  ~TestCertificate();
  TestCertificate(const TestCertificate&) = delete;
  TestCertificate& operator=(const TestCertificate&) = delete;

  // A server context presenting this certificate.
  SSL_CTX* ServerContext() const { return m_pContext; }
  // Writes the PEM to path; false on failure.
  bool WritePem(const std::string& path) const;

 private:
  SSL_CTX* m_pContext = nullptr;
  std::string m_sPem;  // the certificate
};

class HttpTestServer {
 public:
  struct Answer {
    Answer(int status = 200, std::string headers = {})
        : status(status), headers(std::move(headers)) {}
    int status = 200;
    std::string headers;  // extra header lines, each ending in "\r\n"
    std::string body;
    int delayMs = 0;       // pause before answering
    bool silent = false;   // never answer; hold the connection until destruction
    bool endless = false;  // stream a body until the client goes away
  };
  using Handler = std::function<Answer(const std::string& method, const std::string& path)>;

  // tls: serve HTTPS with that certificate (it must outlive the server).
  HttpTestServer(std::string address, Handler handler, const TestCertificate* tls = nullptr,
                 int port = 0, bool ftp = false);
  ~HttpTestServer();
  HttpTestServer(const HttpTestServer&) = delete;
  HttpTestServer& operator=(const HttpTestServer&) = delete;

  int Port() const { return m_nPort; }
  // "http://address:port" + path ("https://..." with TLS, "ftp://..." with ftp).
  std::string Url(const std::string& path) const;

  std::vector<std::string> Requests() const;        // "HEAD /a", in arrival order
  int RequestCount(const std::string& path) const;  // requests of any method for path
  std::string LastHead() const;  // the request line and headers of the latest request
  int MaxOpen() const { return m_nMaxOpen.load(); }
  int Connections() const { return m_nAccepted.load(); }

 private:
  void AcceptLoop();
  void Serve(int fd);
  // Waits up to ms; false when the server is stopping.
  bool Pause(int ms);

  std::string m_sAddress;
  Handler m_handler;
  const TestCertificate* m_pTls;
  bool m_bFtp;
  int m_nListen = -1;
  int m_nPort = 0;
  std::thread m_acceptThread;
  std::atomic<int> m_nOpen{0};
  std::atomic<int> m_nMaxOpen{0};
  std::atomic<int> m_nAccepted{0};

  mutable std::mutex m_mutex;
  std::condition_variable m_stopping;
  bool m_bStop = false;
  std::vector<std::thread> m_threads;
  std::vector<int> m_fds;  // connections open now
  std::vector<std::string> m_requests;
  std::string m_sLastHead;
};
