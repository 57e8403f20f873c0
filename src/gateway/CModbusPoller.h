#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "gateway/ModbusActions.h"
#include "gateway/ModbusConfig.h"

class CGatewayCore;

// Reads each configured controller's registers on its timer, a thread a controller, off the
// gateway's thread. A value that changed goes through the commands as a controller's write would;
// one that did not sends nothing. A controller that stops answering makes the signs showing its
// values say since when they are stale (they keep their text), and is tried again soon, then
// once a period; the first round it answers again clears that.
class CModbusPoller {
public:
    CModbusPoller(CGatewayCore& core, CModbusStatus& status, std::vector<ModbusPollTarget> targets);
    ~CModbusPoller();
    CModbusPoller(const CModbusPoller&) = delete;
    CModbusPoller& operator=(const CModbusPoller&) = delete;

    void Start();
    // Ends every thread at once, a read under way cut short.
    void Stop();
    // Rounds made so far, answered or not, over all controllers.
    uint64_t Rounds() const { return m_nRounds; }

private:
    struct Target;
    void Run(Target& target);

    CGatewayCore& m_core;
    CModbusStatus& m_status;
    std::vector<std::unique_ptr<Target>> m_targets;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_bStopping = false;
    std::atomic<uint64_t> m_nRounds{0};
};
