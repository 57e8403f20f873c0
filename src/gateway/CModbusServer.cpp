#include "gateway/CModbusServer.h"

#include <arpa/inet.h>
#include <modbus/modbus.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <future>
#include <optional>

#include "gateway/CGatewayCore.h"
#include "gateway/GatewayThread.h"
#include "gateway/ModbusPdu.h"

namespace {

constexpr int kListenBacklog = 16;
constexpr auto kApplyWaitSlice = std::chrono::milliseconds(50);
// A write the gateway's thread has not carried out by then is answered "busy": the controller
// tries again, and a write carried out twice changes nothing more.
constexpr auto kApplyWaitLimit = std::chrono::seconds(10);
constexpr uint8_t kAnyUnit = 0;
constexpr uint8_t kAnyUnitToo = 0xFF;
const char* FunctionName(uint8_t function) {
    switch (function) {
        case kReadCoils:
            return "read_coils";
        case kReadHolding:
            return "read_holding_registers";
        case kReadInput:
            return "read_input_registers";
        case kWriteCoil:
            return "write_single_coil";
        case kWriteRegister:
            return "write_single_register";
        case kWriteCoils:
            return "write_multiple_coils";
        case kWriteRegisters:
            return "write_multiple_registers";
        default:
            return "other";
    }
}

}  // namespace

struct CModbusServer::Client {
    std::thread thread;
    int socket = -1;
    std::string peer;
    std::atomic<bool> done{false};
};

CModbusServer::CModbusServer(CGatewayCore& core, CModbusStatus& status, ModbusConfig config)
    : m_core(core), m_status(status), m_config(std::move(config)), m_index(m_config.map) {
    m_mapping = modbus_mapping_new(kRegisterSpace, 0, kRegisterSpace, kRegisterSpace);
    m_scratch = modbus_mapping_new(kRegisterSpace, 0, kRegisterSpace, 0);
    m_nWake = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
}

CModbusServer::~CModbusServer() {
    Stop();
    modbus_mapping_free(m_mapping);
    modbus_mapping_free(m_scratch);
    if (m_nWake >= 0) {
        close(m_nWake);
    }
}

bool CModbusServer::Listen(std::string& error) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(m_config.listenPort);
    if (m_mapping == nullptr || m_scratch == nullptr || m_nWake < 0 ||
        inet_pton(AF_INET, m_config.listenHost.c_str(), &address.sin_addr) != 1) {
        error = "Modbus: cannot listen on " + m_config.listenHost;
        return false;
    }
    m_nListen = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int yes = 1;
    setsockopt(m_nListen, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    socklen_t length = sizeof address;
    if (m_nListen < 0 || bind(m_nListen, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        listen(m_nListen, kListenBacklog) != 0 ||
        getsockname(m_nListen, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        error = "Modbus: cannot listen on " + m_config.listenHost + ":" +
                std::to_string(m_config.listenPort) + ": " + std::strerror(errno);
        return false;
    }
    m_nPort = ntohs(address.sin_port);
    m_acceptor = std::thread([this] { AcceptLoop(); });
    return true;
}

void CModbusServer::Stop() {
    if (m_bStopping.exchange(true)) {
        return;
    }
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = write(m_nWake, &one, sizeof one);
    if (m_acceptor.joinable()) {
        m_acceptor.join();
    }
    std::list<std::unique_ptr<Client>> clients;
    {
        std::lock_guard lock(m_clientsMutex);
        clients.swap(m_clients);
    }
    for (auto& client : clients) {
        shutdown(client->socket, SHUT_RDWR);
        client->thread.join();
        close(client->socket);
    }
    if (m_nListen >= 0) {
        close(m_nListen);
        m_nListen = -1;
    }
}

bool CModbusServer::Allowed(const std::string& peer) const {
    const auto& allowed = m_config.allowFrom;
    return allowed.empty() || std::find(allowed.begin(), allowed.end(), peer) != allowed.end();
}

void CModbusServer::Log(const std::string& text) {
    PostToGateway(&m_core, [&core = m_core, text] { core.Log().Line("modbus", text); });
}

void CModbusServer::AcceptLoop() {
    while (!m_bStopping) {
        pollfd waits[2] = {{m_nListen, POLLIN, 0}, {m_nWake, POLLIN, 0}};
        if (poll(waits, 2, -1) < 0 || (waits[1].revents & POLLIN) != 0) {
            if (errno == EINTR) {
                continue;
            }
            return;
        }
        sockaddr_in peer{};
        socklen_t length = sizeof peer;
        const int socket =
            accept4(m_nListen, reinterpret_cast<sockaddr*>(&peer), &length, SOCK_CLOEXEC);
        if (socket < 0) {
            continue;
        }
        char text[INET_ADDRSTRLEN] = {};
        inet_ntop(AF_INET, &peer.sin_addr, text, sizeof text);
        std::lock_guard lock(m_clientsMutex);
        m_clients.remove_if([](const std::unique_ptr<Client>& client) {
            if (client->done) {
                client->thread.join();
                close(client->socket);
            }
            return client->done.load();
        });
        if (!Allowed(text) || m_clients.size() >= kMaxClients) {
            close(socket);
            Log(std::string("refused a client from ") + text +
                (Allowed(text) ? ": 16 are connected already" : ": not in \"allowFrom\""));
            continue;
        }
        const int yes = 1;
        setsockopt(socket, SOL_SOCKET, SO_KEEPALIVE, &yes, sizeof yes);
        auto client = std::make_unique<Client>();
        client->socket = socket;
        client->peer = text;
        Client& served = *client;
        m_clients.push_back(std::move(client));
        served.thread = std::thread([this, &served] { Serve(served); });
    }
}

void CModbusServer::Serve(Client& client) {
    modbus_t* context = modbus_new_tcp(nullptr, 0);
    if (context != nullptr) {
        modbus_set_socket(context, client.socket);
        uint8_t request[MODBUS_TCP_MAX_ADU_LENGTH];
        while (!m_bStopping) {
            pollfd waits[2] = {{client.socket, POLLIN, 0}, {m_nWake, POLLIN, 0}};
            if (poll(waits, 2, -1) < 0 && errno == EINTR) {
                continue;
            }
            if ((waits[1].revents & POLLIN) != 0) {
                break;
            }
            const int length = modbus_receive(context, request);
            if (length < 0) {
                break;  // gone, or a frame that is not Modbus TCP
            }
            if (length > 0) {
                Handle(context, request, length, client.peer);
            }
        }
        modbus_free(context);
    }
    // Closed by whoever joins the thread, so that a stop never shuts a number used again.
    client.done = true;
}

void CModbusServer::Handle(modbus_t* context, const uint8_t* request, int length,
                           const std::string& peer) {
    const int header = modbus_get_header_length(context);
    if (length <= header) {
        return;
    }
    const uint8_t unit = request[header - 1];
    const uint8_t function = request[header];
    const bool write = function == kWriteCoil || function == kWriteRegister ||
                       function == kWriteCoils || function == kWriteRegisters;
    Answer answer = Answer::kOk;
    std::optional<std::future<Answer>> verdict;
    std::optional<ImageWrite> written;
    const bool ours = unit == m_config.unitId || unit == kAnyUnit || unit == kAnyUnitToo;
    if (!ours) {
        modbus_reply_exception(context, request, MODBUS_EXCEPTION_GATEWAY_TARGET);
        answer = Answer::kFailure;
    } else {
        // The image changes and the changes are posted in one order for all clients; the wait
        // for them to be kept is not held against the others, whose writes are kept together.
        std::lock_guard lock(m_mutex);
        std::vector<ModbusChange> changes;
        answer = Read(request + header, length - header, changes);
        if (answer == Answer::kOk && write) {
            written = WriteImage(request + header);
        }
        if (answer == Answer::kOk && !changes.empty()) {
            for (ModbusChange& change : changes) {
                change.source = peer;
            }
            verdict = Post(std::move(changes));
        }
        if (answer == Answer::kOk && !write) {
            modbus_reply(context, request, length, m_mapping);
        }
    }
    if (verdict) {
        answer = Await(*verdict);
        if (answer == Answer::kIllegalValue && written) {
            TakeBack(*written);  // refused before any of it was carried out
        }
    }
    if (answer == Answer::kOk && write) {
        // A write's answer repeats the request; its registers are in the image already.
        std::lock_guard lock(m_scratchMutex);
        modbus_reply(context, request, length, m_scratch);
    } else if (answer != Answer::kOk && ours) {
        static constexpr unsigned kExceptions[] = {
            MODBUS_EXCEPTION_ILLEGAL_FUNCTION,        MODBUS_EXCEPTION_ILLEGAL_FUNCTION,
            MODBUS_EXCEPTION_ILLEGAL_DATA_ADDRESS,    MODBUS_EXCEPTION_ILLEGAL_DATA_VALUE,
            MODBUS_EXCEPTION_SLAVE_OR_SERVER_FAILURE, MODBUS_EXCEPTION_SLAVE_OR_SERVER_BUSY};
        modbus_reply_exception(context, request, kExceptions[static_cast<int>(answer)]);
    }
    static constexpr const char* kResults[] = {
        "ok",         "illegal_function", "illegal_address", "illegal_value", "server_failure",
        "server_busy"};
    PostToGateway(&m_core, [&core = m_core, name = FunctionName(function),
                            result = kResults[static_cast<int>(answer)]] {
        core.Metrics().RecordModbus(name, result);
    });
}

std::future<CModbusServer::Answer> CModbusServer::Post(std::vector<ModbusChange> changes) {
    auto verdict = std::make_shared<std::promise<Answer>>();
    std::future<Answer> answer = verdict->get_future();
    // The server may be gone by the time it runs; the core and the status outlive it.
    PostToGateway(&m_core, [&core = m_core, &status = m_status, verdict,
                            changes = std::move(changes)]() mutable {
        ApplyModbusChanges(
            core, status, std::move(changes), [verdict](const GatewayResult& result) {
                verdict->set_value(result.Ok()                           ? Answer::kOk
                                   : result.kind == ResultKind::kRefused ? Answer::kIllegalValue
                                                                         : Answer::kFailure);
            });
    });
    return answer;
}

CModbusServer::Answer CModbusServer::Await(std::future<Answer>& verdict) {
    const auto deadline = std::chrono::steady_clock::now() + kApplyWaitLimit;
    while (verdict.wait_for(kApplyWaitSlice) != std::future_status::ready) {
        if (m_bStopping) {
            return Answer::kFailure;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return Answer::kBusy;
        }
    }
    return verdict.get();
}
