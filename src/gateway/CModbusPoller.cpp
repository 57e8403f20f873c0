#include "gateway/CModbusPoller.h"

#include <modbus/modbus.h>
#include <sys/socket.h>

#include <cerrno>

#include "gateway/CGatewayCore.h"
#include "gateway/GatewayThread.h"
#include "modbus/PollState.h"

namespace {

// A controller that does not answer holds its thread no longer than this a try, or a period.
constexpr std::chrono::milliseconds kLongestAnswerWait{1000};
constexpr int kMicrosecondsPerMillisecond = 1000;

}  // namespace

struct CModbusPoller::Target {
    ModbusPollTarget config;
    std::thread thread;
    int socket = -1;  // while connected, to cut a read short on stopping
};

CModbusPoller::CModbusPoller(CGatewayCore& core, CModbusStatus& status,
                             std::vector<ModbusPollTarget> targets)
    : m_core(core), m_status(status) {
    for (ModbusPollTarget& config : targets) {
        m_targets.push_back(std::make_unique<Target>());
        m_targets.back()->config = std::move(config);
    }
}

CModbusPoller::~CModbusPoller() {
    Stop();
}

void CModbusPoller::Start() {
    for (auto& target : m_targets) {
        target->thread = std::thread([this, &target = *target] { Run(target); });
    }
}

void CModbusPoller::Stop() {
    {
        std::lock_guard lock(m_mutex);
        m_bStopping = true;
        for (auto& target : m_targets) {
            if (target->socket >= 0) {
                shutdown(target->socket, SHUT_RDWR);
            }
        }
    }
    m_wake.notify_all();
    for (auto& target : m_targets) {
        if (target->thread.joinable()) {
            target->thread.join();
        }
    }
}

void CModbusPoller::Run(Target& target) {
    const ModbusPollTarget& config = target.config;
    const std::string name = config.host + ":" + std::to_string(config.port);
    CPollState state(config.reads, config.every);
    const std::vector<std::string> vars = state.Variables();
    modbus_t* context = modbus_new_tcp(config.host.c_str(), config.port);
    if (context == nullptr) {
        return;
    }
    modbus_set_slave(context, config.unitId);
    const auto wait = std::min(config.every, kLongestAnswerWait);
    modbus_set_response_timeout(context, 0,
                                static_cast<uint32_t>(wait.count()) * kMicrosecondsPerMillisecond);
    bool connected = false;
    std::unique_lock lock(m_mutex);
    while (!m_wake.wait_until(lock, state.NextAt(), [&] { return m_bStopping; })) {
        lock.unlock();
        // Connected again, the controller is read in the same round.
        if (!connected && modbus_connect(context) == 0) {
            connected = true;
            std::lock_guard held(m_mutex);
            target.socket = modbus_get_socket(context);
        }
        std::vector<std::vector<uint16_t>> words;
        for (const ReadBlock& block : state.Blocks()) {
            if (!connected) {
                break;
            }
            words.emplace_back(block.count);
            const int read = block.input
                                 ? modbus_read_input_registers(context, block.address, block.count,
                                                               words.back().data())
                                 : modbus_read_registers(context, block.address, block.count,
                                                         words.back().data());
            connected = read == block.count;
        }
        const auto now = CPollState::Clock::now();
        const std::string fault = connected ? "" : modbus_strerror(errno);
        const CPollState::Round round = connected ? state.Read(words, now) : state.Failed(now);
        if (!connected) {
            std::lock_guard held(m_mutex);
            target.socket = -1;
            modbus_close(context);
        }
        ++m_nRounds;
        if (!round.changed.empty() || round.nowStale || round.nowFresh) {
            PostToGateway(&m_core, [&core = m_core, &status = m_status, round, vars, name, fault] {
                if (round.nowStale) {
                    status.Stale(vars);
                    core.Log().Line("modbus", "controller " + name + " does not answer: " + fault);
                }
                if (round.nowFresh) {
                    status.Fresh(vars);
                    core.Log().Line("modbus", "controller " + name + " answers again");
                }
                for (const auto& [var, value] : round.changed) {
                    core.Commands().SetVariable(
                        var, value, Origin::kModbus, [&core, var](const GatewayResult& result) {
                            if (!result.Ok()) {
                                core.Log().Line("modbus", var + ": " + result.text);
                            }
                        });
                }
            });
        }
        lock.lock();
    }
    lock.unlock();
    modbus_close(context);
    modbus_free(context);
}
