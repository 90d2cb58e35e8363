#include "tests/support/tls_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <stdexcept>
#include <thread>

namespace test_support {
namespace {

struct FreeKey {
  void operator()(EVP_PKEY* p) const { EVP_PKEY_free(p); }
};
struct FreeCert {
  void operator()(X509* p) const { X509_free(p); }
};
struct FreeContext {
  void operator()(SSL_CTX* p) const { SSL_CTX_free(p); }
};
struct FreeSsl {
  void operator()(SSL* p) const { SSL_free(p); }
};

}  // namespace

struct SelfSignedTlsServer::State {
  std::unique_ptr<EVP_PKEY, FreeKey> key;
  std::unique_ptr<X509, FreeCert> cert;
  std::unique_ptr<SSL_CTX, FreeContext> context;
  int fd = -1;
  int port = 0;
  std::atomic<bool> stopping{false};
  std::atomic<int> connections{0};
  std::atomic<int> handshakes{0};
  std::thread thread;

  void make_certificate() {
    key.reset(EVP_EC_gen("P-256"));
    cert.reset(X509_new());
    if (!key || !cert) throw std::runtime_error("key or certificate");
    X509* c = cert.get();
    X509_set_version(c, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(c), 1);
    X509_gmtime_adj(X509_getm_notBefore(c), -60);
    X509_gmtime_adj(X509_getm_notAfter(c), 3600);
    X509_set_pubkey(c, key.get());
    X509_NAME* name = X509_get_subject_name(c);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>("localhost"), -1, -1, 0);
    X509_set_issuer_name(c, name);
    X509V3_CTX v3;
    X509V3_set_ctx_nodb(&v3);
    X509V3_set_ctx(&v3, c, c, nullptr, nullptr, 0);
    if (X509_EXTENSION* names =
            X509V3_EXT_conf_nid(nullptr, &v3, NID_subject_alt_name, "DNS:localhost,IP:127.0.0.1")) {
      X509_add_ext(c, names, -1);
      X509_EXTENSION_free(names);
    }
    X509_sign(c, key.get(), EVP_sha256());
    context.reset(SSL_CTX_new(TLS_server_method()));
    if (!context || SSL_CTX_use_certificate(context.get(), c) != 1 ||
        SSL_CTX_use_PrivateKey(context.get(), key.get()) != 1) {
      throw std::runtime_error("TLS context");
    }
  }

  void serve() {
    pollfd p{fd, POLLIN, 0};
    while (!stopping) {
      if (::poll(&p, 1, 20) <= 0) continue;
      const int client = ::accept4(fd, nullptr, nullptr, SOCK_CLOEXEC);
      if (client < 0) continue;
      ++connections;
      std::unique_ptr<SSL, FreeSsl> ssl(SSL_new(context.get()));
      SSL_set_fd(ssl.get(), client);
      if (SSL_accept(ssl.get()) == 1) {
        ++handshakes;
        SSL_shutdown(ssl.get());
      }
      ::close(client);
    }
  }
};

SelfSignedTlsServer::SelfSignedTlsServer() : state_(std::make_unique<State>()) {
  state_->make_certificate();
  state_->fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  if (::bind(state_->fd, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
      ::listen(state_->fd, 16) != 0) {
    ::close(state_->fd);
    throw std::runtime_error("bind");
  }
  ::getsockname(state_->fd, reinterpret_cast<sockaddr*>(&address), &size);
  state_->port = ntohs(address.sin_port);
  state_->thread = std::thread([s = state_.get()] { s->serve(); });
}

SelfSignedTlsServer::~SelfSignedTlsServer() {
  state_->stopping = true;
  state_->thread.join();
  ::close(state_->fd);
}

int SelfSignedTlsServer::port() const {
  return state_->port;
}
int SelfSignedTlsServer::connections() const {
  return state_->connections;
}
int SelfSignedTlsServer::completed_handshakes() const {
  return state_->handshakes;
}

}  // namespace test_support
