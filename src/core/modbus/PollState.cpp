#include "modbus/PollState.h"

#include <algorithm>
#include <numeric>

std::vector<ReadBlock> PlanReads(const std::vector<RegisterEntry>& reads) {
    std::vector<size_t> order(reads.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        return std::pair(reads[a].input, reads[a].address) <
               std::pair(reads[b].input, reads[b].address);
    });
    std::vector<ReadBlock> blocks;
    for (const size_t i : order) {
        const RegisterEntry& entry = reads[i];
        const uint32_t width = entry.Width();
        if (!blocks.empty()) {
            ReadBlock& last = blocks.back();
            const uint32_t end = uint32_t{last.address} + last.count;
            if (last.input == entry.input && end == entry.address &&
                last.count + width <= kMaxReadRegisters) {
                last.count = static_cast<uint16_t>(last.count + width);
                last.entries.push_back(i);
                continue;
            }
        }
        blocks.push_back({entry.input, entry.address, static_cast<uint16_t>(width), {i}});
    }
    return blocks;
}

CPollState::CPollState(std::vector<RegisterEntry> reads, std::chrono::milliseconds every)
    : m_reads(std::move(reads)),
      m_blocks(PlanReads(m_reads)),
      m_every(every),
      m_retry(std::min(kFirstRetry, every)) {}

CPollState::Round CPollState::Read(const std::vector<std::vector<uint16_t>>& words,
                                   Clock::time_point now) {
    Round round;
    round.nowFresh = m_bStale;
    m_bStale = false;
    m_retry = std::min(kFirstRetry, m_every);
    m_next = now + m_every;
    for (size_t b = 0; b < m_blocks.size() && b < words.size(); ++b) {
        const ReadBlock& block = m_blocks[b];
        size_t offset = 0;
        for (const size_t i : block.entries) {
            const RegisterEntry& entry = m_reads[i];
            const size_t width = entry.Width();
            if (offset + width > words[b].size()) {
                break;
            }
            const auto decoded = DecodeRegisters(entry, std::span(words[b]).subspan(offset, width));
            offset += width;
            // A value no sign can show keeps the last one.
            if (!decoded) {
                continue;
            }
            auto [last, added] = m_last.try_emplace(entry.var, decoded->value);
            if (added || last->second != decoded->value) {
                last->second = decoded->value;
                round.changed.emplace_back(entry.var, decoded->value);
            }
        }
    }
    return round;
}

CPollState::Round CPollState::Failed(Clock::time_point now) {
    Round round;
    round.nowStale = !m_bStale;
    m_bStale = true;
    m_next = now + m_retry;
    m_retry = std::min(m_retry * 2, m_every);
    return round;
}

std::vector<std::string> CPollState::Variables() const {
    std::vector<std::string> names;
    for (const RegisterEntry& entry : m_reads) {
        names.push_back(entry.var);
    }
    return names;
}
