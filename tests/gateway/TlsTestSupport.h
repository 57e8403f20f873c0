#pragma once

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <cstdio>
#include <string>

// Writes a self-signed certificate for 127.0.0.1 and its key as PEM files: valid from an hour
// ago for `validSeconds` after that (an hour ago and 60: expired).
inline bool WriteTestCertificate(const std::string& certFile, const std::string& keyFile,
                                 long validSeconds = 24 * 3600) {
    EVP_PKEY* key = EVP_EC_gen("P-256");
    X509* certificate = X509_new();
    bool written = key != nullptr && certificate != nullptr;
    if (written) {
        X509_set_version(certificate, 2);
        ASN1_INTEGER_set(X509_get_serialNumber(certificate), 1);
        X509_gmtime_adj(X509_getm_notBefore(certificate), -3600);
        X509_gmtime_adj(X509_getm_notAfter(certificate), validSeconds - 3600);
        X509_set_pubkey(certificate, key);
        X509_NAME* name = X509_get_subject_name(certificate);
        X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                                   reinterpret_cast<const unsigned char*>("127.0.0.1"), -1, -1, 0);
        X509_set_issuer_name(certificate, name);
        X509V3_CTX context;
        X509V3_set_ctx_nodb(&context);
        X509V3_set_ctx(&context, certificate, certificate, nullptr, nullptr, 0);
        X509_EXTENSION* names =
            X509V3_EXT_conf_nid(nullptr, &context, NID_subject_alt_name, "IP:127.0.0.1");
        X509_add_ext(certificate, names, -1);
        X509_EXTENSION_free(names);
        written = X509_sign(certificate, key, EVP_sha256()) > 0;
    }
    FILE* cert = written ? std::fopen(certFile.c_str(), "w") : nullptr;
    FILE* pem = written ? std::fopen(keyFile.c_str(), "w") : nullptr;
    written = cert != nullptr && pem != nullptr && PEM_write_X509(cert, certificate) == 1 &&
              PEM_write_PrivateKey(pem, key, nullptr, nullptr, 0, nullptr, nullptr) == 1;
    for (FILE* file : {cert, pem}) {
        if (file != nullptr) {
            std::fclose(file);
        }
    }
    X509_free(certificate);
    EVP_PKEY_free(key);
    return written;
}
