#include "decoding/WarningList.h"

#include <algorithm>
#include <string>
#include <utility>

namespace {

// Found warnings are sorted and cut once this many more than the limit have gathered, so that the
// cutting costs little per warning.
constexpr size_t kSlack = 256;

}  // namespace

std::string WarningsLeftOutText(size_t leftOut) {
    return std::to_string(leftOut) + (leftOut == 1 ? " more warning" : " more warnings") +
           " left out";
}

void CWarningList::Add(size_t offset, std::string text) {
    m_warnings.push_back({offset, std::move(text)});
    if (m_warnings.size() > m_nLimit &&
        m_warnings.size() - m_nLimit >= std::max(m_nLimit, kSlack)) {
        KeepFirst();
    }
}

bool CWarningList::Skips(size_t offset) {
    if (offset < m_nCutOffset) {
        return false;
    }
    ++m_nLeftOut;
    return true;
}

std::vector<DecodeWarning> CWarningList::Take(size_t& leftOut) {
    KeepFirst();
    leftOut = m_nLeftOut;
    m_nLeftOut = 0;
    return std::move(m_warnings);
}

void CWarningList::KeepFirst() {
    // A reading finds most warnings in offset order, but not all: a check of the whole text
    // reports at the header.
    std::stable_sort(
        m_warnings.begin(), m_warnings.end(),
        [](const DecodeWarning& a, const DecodeWarning& b) { return a.offset < b.offset; });
    if (m_warnings.size() > m_nLimit) {
        m_nLeftOut += m_warnings.size() - m_nLimit;
        m_warnings.resize(m_nLimit);
        if (!m_warnings.empty()) {
            m_nCutOffset = std::min(m_nCutOffset, m_warnings.back().offset);
        }
    }
}
