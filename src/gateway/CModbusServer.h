#pragma once

#include <atomic>
#include <cstdint>
#include <future>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "gateway/ModbusActions.h"
#include "gateway/ModbusConfig.h"

class CGatewayCore;
struct _modbus;
struct _modbus_mapping_t;

// The gateway's Modbus TCP server: a controller writes holding registers and coils, and reads
// back what was written. The map says what each means; a write that it reads is carried out on
// the gateway's thread and answered with its verdict once it is kept, so that a controller that
// got its answer never loses the write. Each client is served on a thread of its own; a client from
// an address outside `allowFrom` is refused at connect.
class CModbusServer {
public:
    static constexpr size_t kMaxClients = 16;

    CModbusServer(CGatewayCore& core, CModbusStatus& status, ModbusConfig config);
    ~CModbusServer();
    CModbusServer(const CModbusServer&) = delete;
    CModbusServer& operator=(const CModbusServer&) = delete;

    // Binds the configured address (port 0: any free one) and serves; false with the reason.
    bool Listen(std::string& error);
    uint16_t Port() const { return m_nPort; }
    // Ends every client and the listening at once.
    void Stop();

    // How a request was answered.
    enum class Answer { kOk, kIllegalFunction, kIllegalAddress, kIllegalValue, kFailure, kBusy };

private:
    struct Client;
    void AcceptLoop();
    void Serve(Client& client);
    // One request (an ADU of `length` bytes): answered on `context`.
    void Handle(_modbus* context, const uint8_t* request, int length, const std::string& peer);
    // The request's reading, checked against the map; what a write asks of the gateway.
    Answer Read(const uint8_t* pdu, int length, std::vector<ModbusChange>& changes);
    Answer ReadRegisterWrite(uint16_t address, const std::vector<uint16_t>& values,
                             std::vector<ModbusChange>& changes);
    Answer ReadCoilWrite(uint16_t address, const std::vector<bool>& values,
                         std::vector<ModbusChange>& changes);
    // The cells of the image a write changed: what stood there before and what it put there.
    struct ImageWrite {
        bool coils = false;
        uint16_t address = 0;
        std::vector<uint16_t> before;
        std::vector<uint16_t> after;
    };
    // The registers or coils of a write that the map took, into the image.
    ImageWrite WriteImage(const uint8_t* pdu);
    // A write the gateway refused out of the image again.
    void TakeBack(const ImageWrite& written);
    // Hands the changes to the gateway's thread; the answer is its verdict once they are kept.
    std::future<Answer> Post(std::vector<ModbusChange> changes);
    // Waits for that verdict, a while at most (kBusy), or until the server stops (kFailure).
    Answer Await(std::future<Answer>& verdict);
    bool Allowed(const std::string& peer) const;
    void Log(const std::string& text);

    CGatewayCore& m_core;
    CModbusStatus& m_status;
    ModbusConfig m_config;
    CMapIndex m_index;   // of m_config's map
    std::mutex m_mutex;  // the registers' image; one request at a time
    _modbus_mapping_t* m_mapping = nullptr;
    std::mutex m_scratchMutex;
    _modbus_mapping_t* m_scratch = nullptr;  // where a write's answer is made
    int m_nListen = -1;
    int m_nWake = -1;  // readable once stopping
    uint16_t m_nPort = 0;
    std::atomic<bool> m_bStopping{false};
    std::thread m_acceptor;
    std::mutex m_clientsMutex;
    std::list<std::unique_ptr<Client>> m_clients;
};
