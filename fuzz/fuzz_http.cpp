// The gateway's HTTP request path in process: raw bytes (request lines, headers, bodies of any
// framing, several requests on one connection) through the server's request handling, its checks
// and every route, on a gateway of three signs with a scripted clock. Each request runs on a
// thread of its own, as a worker's would, while this thread is the gateway's.
#include <httplib.h>

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QTemporaryDir>
#include <chrono>
#include <cstdint>
#include <string>
#include <thread>

#include "gateway/CGatewayCore.h"
#include "gateway/CHttpApi.h"
#include "gateway/Clock.h"
#include "gateway/GatewayThread.h"
#include "gateway/SignSender.h"

namespace {

constexpr int kRequestsAConnection = 4;
constexpr const char* kToken = "fuzzing-token-0123456789";
// Monday 7 December 2026, 10:00 UTC.
const GatewayTime kStart{std::chrono::sys_days{std::chrono::December / 7 / 2026} +
                         std::chrono::hours(10)};

// A client's connection: the input to read, the answer thrown away. Each from an address of its
// own, so that wrong tokens never add up to a refusal of every write.
class CBytesStream : public httplib::Stream {
public:
    CBytesStream(const uint8_t* data, size_t size, uint32_t client)
        : m_data(reinterpret_cast<const char*>(data)), m_size(size), m_nClient(client) {}
    bool is_readable() const override { return m_read < m_size; }
    // An event stream ends at its first event instead of waiting for the next.
    bool is_writable() const override { return false; }
    ssize_t read(char* to, size_t size) override {
        const size_t taken = std::min(size, m_size - m_read);
        std::copy_n(m_data + m_read, taken, to);
        m_read += taken;
        return static_cast<ssize_t>(taken);
    }
    ssize_t write(const char*, size_t size) override { return static_cast<ssize_t>(size); }
    void get_remote_ip_and_port(std::string& ip, int& port) const override {
        ip = "127.0." + std::to_string((m_nClient >> 8) & 0xFF) + "." +
             std::to_string(m_nClient & 0xFF);
        port = 50000;
    }
    void get_local_ip_and_port(std::string& ip, int& port) const override {
        ip = "127.0.0.1";
        port = 8080;
    }
    socket_t socket() const override { return INVALID_SOCKET; }

private:
    const char* m_data;
    size_t m_size;
    size_t m_read = 0;
    uint32_t m_nClient;
};

// Every send ends at once, failed, so that the signs' state keeps moving.
class CEndingSender : public ISignSender {
public:
    SendId Send(const NamedSign& sign, const MessageDocument&, Done done) override {
        PostToGateway(QCoreApplication::instance(), [done = std::move(done), name = sign.name] {
            SignSendResult result;
            result.name = name;
            done(result);
        });
        return ++m_nLast;
    }
    void Cancel(SendId) override {}
    void StopAll() override {}

private:
    SendId m_nLast = 0;
};

NamedSign Sign(const std::string& name, uint8_t last) {
    NamedSign sign;
    sign.name = name;
    sign.ipAddress = {127, 0, 0, last};
    sign.tags = {"hall"};
    return sign;
}

struct Gateway {
    Gateway() {
        config.name = "hall-b";
        config.token = kToken;
        config.stateDir = folder.path() + "/state";
        core = std::make_unique<CGatewayCore>(
            config, std::vector<NamedSign>{Sign("A", 2), Sign("B", 3), Sign("Line 3", 4)},
            GatewaySchedules{}, clock, sender);
        if (core->Start()) {
            std::abort();
        }
        api = std::make_unique<CHttpApi>(*core);
    }

    int argc = 1;
    char name[16] = "fuzz_http";
    char* argv[2] = {name, nullptr};
    QCoreApplication application{argc, argv};
    // In memory where there is some: each write's flush would otherwise cost a disk's time.
    QTemporaryDir folder{QDir(QDir("/dev/shm").exists() ? "/dev/shm" : QDir::tempPath())
                             .filePath("fuzz_http-XXXXXX")};
    GatewayConfig config;
    CScriptedClock clock{kStart};
    CEndingSender sender;
    std::unique_ptr<CGatewayCore> core;
    std::unique_ptr<CHttpApi> api;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Gateway* gateway = new Gateway();  // kept for the whole run
    static uint32_t clients = 0;
    CBytesStream stream(data, size, ++clients);
    // This thread sleeps in the gateway's event loop until the requests are answered.
    QEventLoop loop;
    std::thread client([&] {
        for (int i = 0; i < kRequestsAConnection && gateway->api->Serve(stream); ++i) {
        }
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec();
    client.join();
    QCoreApplication::processEvents();  // what the requests left for the gateway's thread
    return 0;
}
