#pragma once

#include <memory>

#include "gateway/GatewayConfig.h"

struct ssl_ctx_st;

// The server's side of HTTPS: the certificate and key of gateway.json's "tls", checked before
// they are served (readable, PEM, within their dates, the key the certificate's).
class CTlsContext {
public:
    // Throws CGatewayConfigError naming the file and what is wrong with it.
    explicit CTlsContext(const TlsConfig& tls);
    ~CTlsContext();
    CTlsContext(const CTlsContext&) = delete;
    CTlsContext& operator=(const CTlsContext&) = delete;

    ssl_ctx_st* Get() const { return m_context; }

private:
    ssl_ctx_st* m_context = nullptr;
};

// A context for `tls`, or null when it names no certificate. Throws as CTlsContext does.
std::unique_ptr<CTlsContext> MakeTlsContext(const TlsConfig& tls);
