#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "modbus/RegisterMap.h"

// One request of a polling round: adjacent registers of one table, 125 at most.
struct ReadBlock {
    bool input = false;
    uint16_t address = 0;
    uint16_t count = 0;
    std::vector<size_t> entries;  // places in the read list, in address order
};

inline constexpr uint16_t kMaxReadRegisters = 125;

// The requests that read every entry: adjacent entries of one table share one, so that a line of
// counters costs one request; registers between entries are never read (a controller may refuse
// them).
std::vector<ReadBlock> PlanReads(const std::vector<RegisterEntry>& reads);

// A polled controller's values and its timing, on a clock the caller passes in: a value is
// handed on when it changed; a round that fails makes the values stale once and is tried again
// sooner at first, then once a period, so that a controller back after a fault is read within a
// period of its return.
class CPollState {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds kFirstRetry{20};

    CPollState(std::vector<RegisterEntry> reads, std::chrono::milliseconds every);

    const std::vector<ReadBlock>& Blocks() const { return m_blocks; }
    const std::vector<RegisterEntry>& Reads() const { return m_reads; }
    Clock::time_point NextAt() const { return m_next; }

    struct Round {
        std::vector<std::pair<std::string, std::string>> changed;  // variable, value
        bool nowStale = false;                                     // this round's failure began it
        bool nowFresh = false;                                     // this round ended it
    };
    // A round that read every block (`words`: one list a block, its registers), at `now`.
    Round Read(const std::vector<std::vector<uint16_t>>& words, Clock::time_point now);
    // A round that failed at `now`.
    Round Failed(Clock::time_point now);
    bool Stale() const { return m_bStale; }
    // The variables it reads.
    std::vector<std::string> Variables() const;

private:
    std::vector<RegisterEntry> m_reads;
    std::vector<ReadBlock> m_blocks;
    std::chrono::milliseconds m_every;
    std::chrono::milliseconds m_retry;
    Clock::time_point m_next{};
    std::map<std::string, std::string> m_last;  // by variable: the value last handed on
    bool m_bStale = false;
};
