#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "decoding/CommandDecoder.h"

// The warnings of one reading as it finds them, of which only the first few by offset are kept:
// a long string of one fault (a megabyte of line feeds) would otherwise make a warning a byte.
class CWarningList {
public:
    explicit CWarningList(size_t limit) : m_nLimit(limit) {}

    void Add(size_t offset, std::string text);
    // True, and counted as left out, when a warning at this offset would be left out anyway: the
    // list is full of warnings at lower offsets. Spares the text of a warning a byte.
    bool Skips(size_t offset);
    // In the order of their offsets, equal offsets in the order found; the count of those left
    // out goes to leftOut.
    std::vector<DecodeWarning> Take(size_t& leftOut);

private:
    void KeepFirst();

    size_t m_nLimit;
    std::vector<DecodeWarning> m_warnings;
    size_t m_nLeftOut = 0;
    // Once the list has been cut: the highest offset kept. Warnings found later at it or beyond
    // stand after the kept ones.
    size_t m_nCutOffset = SIZE_MAX;
};
