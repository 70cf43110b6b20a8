#include "support/HttpTestServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

namespace {

// The byte stream of one connection, plain or TLS.
class Stream {
 public:
  Stream(int fd, SSL* ssl) : m_fd(fd), m_ssl(ssl) {}
  ~Stream() { SSL_free(m_ssl); }
  ssize_t Read(char* buffer, size_t size) {
    return m_ssl ? SSL_read(m_ssl, buffer, int(size)) : ::recv(m_fd, buffer, size, 0);
  }
  bool Write(const std::string& bytes) {
    for (size_t sent = 0; sent < bytes.size();) {
      const char* data = bytes.data() + sent;
      const size_t left = bytes.size() - sent;
      ssize_t n =
          m_ssl ? SSL_write(m_ssl, data, int(left)) : ::send(m_fd, data, left, MSG_NOSIGNAL);
      if (n <= 0) return false;
      sent += size_t(n);
    }
    return true;
  }

 private:
  int m_fd;
  SSL* m_ssl;
};

}  // namespace

TestCertificate::TestCertificate(const std::string& subjectAltName) {
  EVP_PKEY* key = EVP_EC_gen("P-256");
  X509* cert = X509_new();
  X509_set_version(cert, 2);
  ASN1_INTEGER_set(X509_get_serialNumber(cert), 1);
  X509_gmtime_adj(X509_getm_notBefore(cert), -3600);
  X509_gmtime_adj(X509_getm_notAfter(cert), 3600L * 24);
  X509_set_pubkey(cert, key);
  X509_NAME* name = X509_get_subject_name(cert);
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                             reinterpret_cast<const unsigned char*>("Linkward test"), -1, -1, 0);
  X509_set_issuer_name(cert, name);
  X509V3_CTX ctx;
  X509V3_set_ctx_nodb(&ctx);
  X509V3_set_ctx(&ctx, cert, cert, nullptr, nullptr, 0);
  for (auto [nid, value] : {std::pair{NID_subject_alt_name, subjectAltName.c_str()},
                            std::pair{NID_basic_constraints, "critical,CA:TRUE"}}) {
    X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value);
    X509_add_ext(cert, ext, -1);
    X509_EXTENSION_free(ext);
  }
  X509_sign(cert, key, EVP_sha256());

  BIO* bio = BIO_new(BIO_s_mem());
  PEM_write_bio_X509(bio, cert);
  char* data = nullptr;
  long size = BIO_get_mem_data(bio, &data);
  m_sPem.assign(data, size_t(size));
  BIO_free(bio);

  m_pContext = SSL_CTX_new(TLS_server_method());
  SSL_CTX_use_certificate(m_pContext, cert);
  SSL_CTX_use_PrivateKey(m_pContext, key);
  X509_free(cert);
  EVP_PKEY_free(key);
}

TestCertificate::~TestCertificate() {
  SSL_CTX_free(m_pContext);
}

bool TestCertificate::WritePem(const std::string& path) const {
  FILE* file = std::fopen(path.c_str(), "w");
  if (!file) return false;
  bool ok = std::fwrite(m_sPem.data(), 1, m_sPem.size(), file) == m_sPem.size();
  return std::fclose(file) == 0 && ok;
}

HttpTestServer::HttpTestServer(std::string address, Handler handler, const TestCertificate* tls,
                               int port, bool ftp)
    : m_sAddress(std::move(address)), m_handler(std::move(handler)), m_pTls(tls), m_bFtp(ftp) {
  // TLS writes to a client that has gone (one that refused the certificate)
  // must fail, not end the process.
  ::signal(SIGPIPE, SIG_IGN);
  m_nListen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  int on = 1;
  ::setsockopt(m_nListen, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(uint16_t(port));
  ::inet_pton(AF_INET, m_sAddress.c_str(), &sa.sin_addr);
  socklen_t len = sizeof sa;
  if (::bind(m_nListen, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 ||
      ::listen(m_nListen, 256) != 0 ||
      ::getsockname(m_nListen, reinterpret_cast<sockaddr*>(&sa), &len) != 0) {
    ::close(m_nListen);
    m_nListen = -1;
    return;
  }
  m_nPort = ntohs(sa.sin_port);
  m_acceptThread = std::thread([this] { AcceptLoop(); });
}

HttpTestServer::~HttpTestServer() {
  {
    std::lock_guard lock(m_mutex);
    m_bStop = true;
    // Wakes the accept and every blocked read or write.
    if (m_nListen >= 0) ::shutdown(m_nListen, SHUT_RDWR);
    for (int fd : m_fds) ::shutdown(fd, SHUT_RDWR);
  }
  m_stopping.notify_all();
  if (m_acceptThread.joinable()) m_acceptThread.join();
  for (std::thread& thread : m_threads) thread.join();
  if (m_nListen >= 0) ::close(m_nListen);
}

std::string HttpTestServer::Url(const std::string& path) const {
  return std::string(m_bFtp   ? "ftp://"
                     : m_pTls ? "https://"
                              : "http://") +
         m_sAddress + ":" + std::to_string(m_nPort) + path;
}

std::vector<std::string> HttpTestServer::Requests() const {
  std::lock_guard lock(m_mutex);
  return m_requests;
}

int HttpTestServer::RequestCount(const std::string& path) const {
  std::lock_guard lock(m_mutex);
  return int(std::count_if(m_requests.begin(), m_requests.end(), [&](const std::string& r) {
    return r.substr(r.find(' ') + 1) == path;
  }));
}

std::string HttpTestServer::LastHead() const {
  std::lock_guard lock(m_mutex);
  return m_sLastHead;
}

bool HttpTestServer::Pause(int ms) {
  std::unique_lock lock(m_mutex);
  return !m_stopping.wait_for(lock, std::chrono::milliseconds(ms), [this] { return m_bStop; });
}

void HttpTestServer::AcceptLoop() {
  for (;;) {
    int fd = ::accept4(m_nListen, nullptr, nullptr, SOCK_CLOEXEC);
    std::lock_guard lock(m_mutex);
    if (m_bStop) {
      if (fd >= 0) ::close(fd);
      return;
    }
    if (fd < 0) continue;
    m_fds.push_back(fd);
    m_nMaxOpen = std::max(m_nMaxOpen.load(), ++m_nOpen);  // both change under the lock only
    ++m_nAccepted;
    m_threads.emplace_back([this, fd] { Serve(fd); });
  }
}

void HttpTestServer::Serve(int fd) {
  SSL* ssl = nullptr;
  bool ok = true;
  if (m_pTls) {
    ssl = SSL_new(m_pTls->ServerContext());
    SSL_set_fd(ssl, fd);
    ok = SSL_accept(ssl) == 1;
  }
  Stream stream(fd, ssl);
  if (m_bFtp) ok = stream.Write("220 ready\r\n");
  const std::string ending = m_bFtp ? "\r\n" : "\r\n\r\n";  // of a command or a head
  std::string pending;
  char buffer[4096];
  while (ok) {
    size_t end;
    while ((end = pending.find(ending)) == std::string::npos) {
      ssize_t n = stream.Read(buffer, sizeof buffer);
      if (n <= 0) break;
      pending.append(buffer, size_t(n));
    }
    if (end == std::string::npos) break;
    const std::string head = pending.substr(0, end);
    pending.erase(0, end + ending.size());
    const size_t sp1 = std::min(head.find(' '), head.size());
    const size_t sp2 = head.find(' ', sp1 + 1);
    const std::string method = head.substr(0, sp1);
    const std::string path = sp1 < head.size() ? head.substr(sp1 + 1, sp2 - sp1 - 1) : "";
    {
      std::lock_guard lock(m_mutex);
      m_requests.push_back(method + " " + path);
      m_sLastHead = head + "\r\n";
    }
    Answer answer = m_handler(method, path);
    if (m_bFtp) {
      ok = stream.Write(std::to_string(answer.status) + " " +
                        (answer.headers.empty() ? "ok" : answer.headers) + "\r\n");
      continue;
    }
    if (answer.delayMs > 0 && !Pause(answer.delayMs)) break;
    if (answer.silent) {
      Pause(1 << 30);
      break;
    }
    // The client reads the status number only.
    std::string reply = "HTTP/1.1 " + std::to_string(answer.status) + " X\r\n" + answer.headers;
    if (answer.endless) {
      reply += "Connection: close\r\n\r\n";
      if (!stream.Write(reply)) break;
      const std::string chunk(4096, 'x');
      while (method != "HEAD" && stream.Write(chunk)) {
      }
      break;
    }
    reply += "Content-Length: " + std::to_string(answer.body.size()) + "\r\n\r\n";
    if (method != "HEAD") reply += answer.body;
    if (!stream.Write(reply)) break;
  }
  if (ssl) SSL_shutdown(ssl);
  std::lock_guard lock(m_mutex);
  m_fds.erase(std::remove(m_fds.begin(), m_fds.end(), fd), m_fds.end());
  // Counted closed before the descriptor is, so a client never sees a
  // connection closed that the server still counts open.
  --m_nOpen;
  ::close(fd);
}
