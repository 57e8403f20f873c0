#pragma once

#include <string>

// Where a TLS connection goes and what it trusts and shows.
struct TlsEndpoint {
    std::string host;
    int port = 0;
    std::string caFile;  // empty: the system's certificate authorities
    std::string certFile;
    std::string keyFile;
};

// Why a TLS connection to the endpoint cannot be made, found by making one: the certificate the
// server shows and what is wrong with it (not signed by a trusted authority, expired, for another
// name), or the handshake's own failure. Empty when the connection can be made after all.
std::string DescribeTlsFailure(const TlsEndpoint& endpoint);
