#include "support/HttpTestServer.h"

#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <chrono>
#include <cstring>
#include <sstream>

namespace {

// A server context presenting a self-signed certificate for subjectAltName;
// pem receives the certificate.
SSL_CTX* MakeTlsContext(const char* subjectAltName, std::string& pem) {
  // "expired IP:127.0.0.1": a certificate whose time ended yesterday.
  const bool expired = std::strncmp(subjectAltName, "expired ", 8) == 0;
  if (expired) subjectAltName += 8;
  EVP_PKEY* key = EVP_EC_gen("P-256");
  X509* cert = X509_new();
  X509_set_version(cert, 2);
  ASN1_INTEGER_set(X509_get_serialNumber(cert), 1);
  X509_gmtime_adj(X509_getm_notBefore(cert), expired ? -3600L * 48 : -3600);
  X509_gmtime_adj(X509_getm_notAfter(cert), expired ? -3600L * 24 : 3600L * 24);
  X509_set_pubkey(cert, key);
  X509_NAME_add_entry_by_txt(X509_get_subject_name(cert), "CN", MBSTRING_ASC,
                             reinterpret_cast<const unsigned char*>("Linkward test"), -1, -1, 0);
  X509_set_issuer_name(cert, X509_get_subject_name(cert));
  X509V3_CTX ctx{};
  X509V3_set_ctx(&ctx, cert, cert, nullptr, nullptr, 0);
  for (auto [nid, value] : {std::pair{NID_subject_alt_name, subjectAltName},
                            std::pair{NID_basic_constraints, "critical,CA:TRUE"}}) {
    X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value);
    X509_add_ext(cert, ext, -1);
    X509_EXTENSION_free(ext);
  }
  X509_sign(cert, key, EVP_sha256());
  BIO* bio = BIO_new(BIO_s_mem());
  PEM_write_bio_X509(bio, cert);
  pem.resize(size_t(BIO_pending(bio)));
  BIO_read(bio, pem.data(), int(pem.size()));
  BIO_free(bio);
  SSL_CTX* context = SSL_CTX_new(TLS_server_method());
  SSL_CTX_use_certificate(context, cert);
  SSL_CTX_use_PrivateKey(context, key);
  X509_free(cert);
  EVP_PKEY_free(key);
  return context;
}

}  // namespace

HttpTestServer::HttpTestServer(std::string address, Handler handler, const char* tlsName, int port,
                               bool ftp)
    : m_sAddress(std::move(address)),
      m_handler(std::move(handler)),
      m_bFtp(ftp),
      m_pTls(tlsName ? std::shared_ptr<SSL_CTX>(MakeTlsContext(tlsName, m_sPem), SSL_CTX_free)
                     : nullptr),
      m_listener(m_sAddress, port, [this](int fd, int) { Serve(fd); }) {}

std::string HttpTestServer::Url(const std::string& path) const {
  const char* scheme = m_bFtp ? "ftp://" : m_pTls ? "https://" : "http://";
  return scheme + m_sAddress + ":" + std::to_string(Port()) + path;
}

std::vector<std::string> HttpTestServer::Requests(const std::string& path) const {
  std::lock_guard lock(m_mutex);
  std::vector<std::string> found;
  for (const auto& [target, head] : m_requests)
    if (path.empty() || target == path) found.push_back(head);
  return found;
}

void HttpTestServer::Serve(int fd) {
  // The connection's byte stream, plain or TLS, as one BIO.
  BIO* io = BIO_new_socket(fd, BIO_NOCLOSE);
  if (m_pTls) io = BIO_push(BIO_new_ssl(m_pTls.get(), 0), io);  // freed with a TLS shutdown
  auto send = [io](const std::string& bytes) {
    return BIO_write(io, bytes.data(), int(bytes.size())) == int(bytes.size());
  };
  bool ok = !m_pTls || BIO_do_handshake(io) == 1;
  if (ok && m_bFtp) ok = send("220 ready\r\n");
  const std::string ending = m_bFtp ? "\r\n" : "\r\n\r\n";  // of a command or a head
  std::string pending;
  char buffer[4096];
  for (size_t end; ok;) {
    for (int n; (end = pending.find(ending)) == std::string::npos &&
                (n = BIO_read(io, buffer, sizeof buffer)) > 0;)
      pending.append(buffer, size_t(n));
    if (end == std::string::npos) break;
    const std::string head = pending.substr(0, end);
    pending.erase(0, end + ending.size());
    std::string method, path;
    std::istringstream(head) >> method >> path;
    {
      std::lock_guard lock(m_mutex);
      m_requests.emplace_back(path, head);
    }
    const Answer answer = m_handler(method, path);
    const std::string status = std::to_string(answer.status);
    if (m_bFtp) {
      ok = send(status + " " + (answer.headers.empty() ? "ok" : answer.headers) + "\r\n");
      continue;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(answer.delayMs));
    if (answer.silent) {
      while (BIO_read(io, buffer, sizeof buffer) > 0) continue;
      break;
    }
    // The client reads the status number only.
    const std::string reply = "HTTP/1.1 " + status + " X\r\n" + answer.headers;
    if (answer.endless) {
      ok = send(reply + "Connection: close\r\n\r\n");
      while (ok && method != "HEAD") ok = send(std::string(4096, 'x'));
      break;
    }
    ok = send(reply + "Content-Length: " + std::to_string(answer.body.size()) + "\r\n\r\n" +
              (method == "HEAD" ? "" : answer.body));
  }
  BIO_free_all(io);
}
