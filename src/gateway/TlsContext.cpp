#include "gateway/TlsContext.h"

#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

[[noreturn]] void Fail(const std::string& file, const char* field, const std::string& text) {
    throw CGatewayConfigError(file + ": \"tls." + field + "\": " + text);
}

std::string OpenSslReason() {
    const unsigned long code = ERR_get_error();
    ERR_clear_error();
    char text[256] = {};
    ERR_error_string_n(code, text, sizeof(text));
    return code != 0 ? std::string(" (") + text + ")" : std::string();
}

std::string TimeText(const ASN1_TIME* time) {
    BIO* out = BIO_new(BIO_s_mem());
    ASN1_TIME_print(out, time);
    char* data = nullptr;
    const long length = BIO_get_mem_data(out, &data);
    std::string text(data, static_cast<size_t>(std::max(length, 0L)));
    BIO_free(out);
    return text;
}

// Opens a PEM file and hands it to `read`; the reason when it cannot be read.
template <class T, class Read>
T* ReadPem(const std::string& file, const char* field, const char* what, Read read) {
    FILE* in = std::fopen(file.c_str(), "r");
    if (in == nullptr) {
        Fail(file, field, std::string("cannot read: ") + std::strerror(errno));
    }
    T* value = read(in);
    std::fclose(in);
    if (value == nullptr) {
        Fail(file, field, std::string("not a PEM ") + what + OpenSslReason());
    }
    return value;
}

}  // namespace

CTlsContext::CTlsContext(const TlsConfig& tls) {
    const std::string& certFile = tls.certFile;
    const std::string& keyFile = tls.keyFile;
    X509* certificate = ReadPem<X509>(certFile, "certFile", "certificate", [](FILE* in) {
        return PEM_read_X509(in, nullptr, nullptr, nullptr);
    });
    std::unique_ptr<X509, decltype(&X509_free)> ownCertificate(certificate, X509_free);
    if (X509_cmp_current_time(X509_get0_notAfter(certificate)) <= 0) {
        Fail(certFile, "certFile",
             "the certificate expired on " + TimeText(X509_get0_notAfter(certificate)));
    }
    if (X509_cmp_current_time(X509_get0_notBefore(certificate)) > 0) {
        Fail(certFile, "certFile",
             "the certificate is not valid before " + TimeText(X509_get0_notBefore(certificate)));
    }
    EVP_PKEY* key = ReadPem<EVP_PKEY>(keyFile, "keyFile", "private key", [](FILE* in) {
        return PEM_read_PrivateKey(in, nullptr, nullptr, nullptr);
    });
    std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> ownKey(key, EVP_PKEY_free);
    if (X509_check_private_key(certificate, key) != 1) {
        ERR_clear_error();
        Fail(keyFile, "keyFile", "the key does not match the certificate " + certFile);
    }
    m_context = SSL_CTX_new(TLS_server_method());
    if (m_context == nullptr) {
        Fail(certFile, "certFile", "no TLS context" + OpenSslReason());
    }
    SSL_CTX_set_min_proto_version(m_context, TLS1_2_VERSION);
    // The chain that follows the certificate in its file goes out with it.
    if (SSL_CTX_use_certificate_chain_file(m_context, certFile.c_str()) != 1 ||
        SSL_CTX_use_PrivateKey(m_context, key) != 1) {
        const std::string reason = OpenSslReason();
        SSL_CTX_free(m_context);
        Fail(certFile, "certFile", "cannot be served" + reason);
    }
}

CTlsContext::~CTlsContext() {
    SSL_CTX_free(m_context);
}

std::unique_ptr<CTlsContext> MakeTlsContext(const TlsConfig& tls) {
    if (tls.certFile.empty()) {
        return nullptr;
    }
    return std::make_unique<CTlsContext>(tls);
}
