#include "gateway/TlsDiagnosis.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>

namespace {

constexpr int kConnectWaitMs = 3000;
constexpr timeval kHandshakeWait{3, 0};

// What the verification found first: the certificate at fault and why.
struct Refusal {
    int error = X509_V_OK;
    int depth = 0;  // 0: the server's own; above: an authority of its chain
    std::string subject;
    std::string notAfter;
};

std::string NameOf(const X509_NAME* name) {
    std::unique_ptr<BIO, decltype(&BIO_free)> text(BIO_new(BIO_s_mem()), &BIO_free);
    X509_NAME_print_ex(text.get(), name, 0, XN_FLAG_ONELINE & ~ASN1_STRFLGS_ESC_MSB);
    char* bytes = nullptr;
    const long size = BIO_get_mem_data(text.get(), &bytes);
    return std::string(bytes, static_cast<size_t>(size));
}

std::string TimeOf(const ASN1_TIME* time) {
    std::unique_ptr<BIO, decltype(&BIO_free)> text(BIO_new(BIO_s_mem()), &BIO_free);
    ASN1_TIME_print(text.get(), time);
    char* bytes = nullptr;
    const long size = BIO_get_mem_data(text.get(), &bytes);
    return std::string(bytes, static_cast<size_t>(size));
}

int RefusalIndex() {
    static const int index = SSL_get_ex_new_index(0, nullptr, nullptr, nullptr, nullptr);
    return index;
}

int Verify(int ok, X509_STORE_CTX* store) {
    if (ok == 0) {
        auto* ssl = static_cast<SSL*>(
            X509_STORE_CTX_get_ex_data(store, SSL_get_ex_data_X509_STORE_CTX_idx()));
        auto* refusal = static_cast<Refusal*>(SSL_get_ex_data(ssl, RefusalIndex()));
        if (refusal->error == X509_V_OK) {
            const X509* certificate = X509_STORE_CTX_get_current_cert(store);
            refusal->error = X509_STORE_CTX_get_error(store);
            refusal->depth = X509_STORE_CTX_get_error_depth(store);
            if (certificate != nullptr) {
                refusal->subject = NameOf(X509_get_subject_name(certificate));
                refusal->notAfter = TimeOf(X509_get0_notAfter(certificate));
            }
        }
    }
    return ok;
}

std::string LastSslError() {
    const unsigned long code = ERR_peek_last_error();
    ERR_clear_error();
    const char* reason = code != 0 ? ERR_reason_error_string(code) : nullptr;
    return reason != nullptr ? reason : "the connection was closed";
}

// A connected socket, or -1 with the reason.
int Connect(const TlsEndpoint& endpoint, std::string& error) {
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(endpoint.host.c_str(), std::to_string(endpoint.port).c_str(), &hints, &found) !=
            0 ||
        found == nullptr) {
        error = "cannot find " + endpoint.host;
        return -1;
    }
    const int fd = socket(found->ai_family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    int connected = fd < 0 ? -1 : connect(fd, found->ai_addr, found->ai_addrlen);
    freeaddrinfo(found);
    if (fd >= 0 && connected != 0 && errno == EINPROGRESS) {
        pollfd ready{fd, POLLOUT, 0};
        int failure = 0;
        socklen_t size = sizeof(failure);
        connected = poll(&ready, 1, kConnectWaitMs) == 1 &&
                            getsockopt(fd, SOL_SOCKET, SO_ERROR, &failure, &size) == 0 &&
                            failure == 0
                        ? 0
                        : -1;
    }
    if (connected != 0) {
        error = "cannot connect to " + endpoint.host;
        if (fd >= 0) {
            close(fd);
        }
        return -1;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &kHandshakeWait, sizeof(kHandshakeWait));
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &kHandshakeWait, sizeof(kHandshakeWait));
    return fd;
}

}  // namespace

std::string DescribeTlsFailure(const TlsEndpoint& endpoint) {
    std::unique_ptr<SSL_CTX, decltype(&SSL_CTX_free)> context(SSL_CTX_new(TLS_client_method()),
                                                              &SSL_CTX_free);
    const std::string trusted =
        endpoint.caFile.empty() ? "the system's certificate authorities" : endpoint.caFile;
    if (endpoint.caFile.empty()
            ? SSL_CTX_set_default_verify_paths(context.get()) != 1
            : SSL_CTX_load_verify_locations(context.get(), endpoint.caFile.c_str(), nullptr) != 1) {
        return "the certificate authorities of " + trusted + " cannot be read: " + LastSslError();
    }
    if (!endpoint.certFile.empty() &&
        (SSL_CTX_use_certificate_chain_file(context.get(), endpoint.certFile.c_str()) != 1 ||
         SSL_CTX_use_PrivateKey_file(context.get(), endpoint.keyFile.c_str(), SSL_FILETYPE_PEM) !=
             1)) {
        return "the client certificate " + endpoint.certFile + " with its key " + endpoint.keyFile +
               " cannot be used: " + LastSslError();
    }
    SSL_CTX_set_verify(context.get(), SSL_VERIFY_PEER, &Verify);
    std::string error;
    const int fd = Connect(endpoint, error);
    if (fd < 0) {
        return error;
    }
    std::unique_ptr<SSL, decltype(&SSL_free)> ssl(SSL_new(context.get()), &SSL_free);
    Refusal refusal;
    SSL_set_ex_data(ssl.get(), RefusalIndex(), &refusal);
    X509_VERIFY_PARAM* check = SSL_get0_param(ssl.get());
    in6_addr address{};
    const bool literal = inet_pton(AF_INET, endpoint.host.c_str(), &address) == 1 ||
                         inet_pton(AF_INET6, endpoint.host.c_str(), &address) == 1;
    if (literal) {
        X509_VERIFY_PARAM_set1_ip_asc(check, endpoint.host.c_str());
    } else {
        X509_VERIFY_PARAM_set1_host(check, endpoint.host.c_str(), 0);
        SSL_set_tlsext_host_name(ssl.get(), endpoint.host.c_str());
    }
    SSL_set_fd(ssl.get(), fd);
    const bool shaken = SSL_connect(ssl.get()) == 1;
    std::string reason;
    if (refusal.error != X509_V_OK) {
        reason = std::string(refusal.depth == 0 ? "the broker's certificate \""
                                                : "the broker's certificate authority \"") +
                 refusal.subject + "\" is refused: " + X509_verify_cert_error_string(refusal.error);
        if (refusal.error == X509_V_ERR_CERT_HAS_EXPIRED) {
            reason += " (valid until " + refusal.notAfter + ")";
        } else if (refusal.error == X509_V_ERR_HOSTNAME_MISMATCH ||
                   refusal.error == X509_V_ERR_IP_ADDRESS_MISMATCH) {
            reason += " (not made for " + endpoint.host + ")";
        } else {
            reason += " (trusted: " + trusted + ")";
        }
    } else if (!shaken) {
        reason = "the TLS handshake with " + endpoint.host + " failed: " + LastSslError();
    } else {
        SSL_shutdown(ssl.get());
    }
    ssl.reset();
    close(fd);
    return reason;
}
