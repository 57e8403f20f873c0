#include "gateway/PanelFrames.h"

#include <QStringList>
#include <algorithm>

#include "preview/DotPixels.h"
#include "preview/FrameSequence.h"
#include "preview/PngWriter.h"

namespace {

// The frame a step from that state shows: the whole sign, 40 characters of a 40-character model
// included, as it stands in the hall. Drawn by the core, as the preview draws it, with no display
// library.
QByteArray PaintStep(const MessageDocument& shown, const PanelCycle::State& state) {
    const int32_t model = shown.settings.signModel;
    FrameSequence sequence(state.scrollStep, state.blinkOn);
    const std::string png = EncodePng(PaintFramePixels(
        sequence.StepWholeSign(shown.lines, shown.settings, model), GetWholeSignArea(model)));
    return QByteArray(png.data(), static_cast<qsizetype>(png.size()));
}

}  // namespace

PanelCycle CycleOf(const MessageDocument& shown) {
    const int32_t model = shown.settings.signModel;
    FrameSequence sequence;
    PanelCycle cycle;
    while (static_cast<int64_t>(cycle.states.size()) < kMaxPanelFrames &&
           !sequence.NextStepRepeats(shown.lines, shown.settings, model)) {
        cycle.states.push_back({sequence.ScrollStep(), sequence.BlinkOn()});
        sequence.Step(shown.lines, shown.settings, model);
    }
    if (cycle.states.empty()) {
        cycle.states.push_back({sequence.ScrollStep(), sequence.BlinkOn()});
    }
    // Where the animation comes round to: a scroll that runs once stands on its last frames.
    const PanelCycle::State next{sequence.ScrollStep(), sequence.BlinkOn()};
    const auto again = std::find(cycle.states.begin(), cycle.states.end(), next);
    cycle.repeatsFrom = again == cycle.states.end()
                            ? std::nullopt
                            : std::optional<int64_t>(again - cycle.states.begin());
    return cycle;
}

int64_t PanelCycle::StateOf(int64_t frame) const {
    const auto count = static_cast<int64_t>(states.size());
    if (frame <= count || !repeatsFrom) {
        return std::min(frame, count) - 1;
    }
    return *repeatsFrom + (frame - 1 - *repeatsFrom) % (count - *repeatsFrom);
}

int64_t FramesOf(const MessageDocument& shown) {
    return static_cast<int64_t>(CycleOf(shown).states.size());
}

std::string PanelVersion(const MessageDocument& shown) {
    const std::string json = WriteMessageJson(shown, {.indented = false, .everyChoice = true});
    return std::to_string(qHash(QByteArray::fromStdString(json)));
}

QByteArray PngOfFrame(const MessageDocument& shown, int64_t frame) {
    const PanelCycle cycle = CycleOf(shown);
    if (frame > static_cast<int64_t>(cycle.states.size()) && !cycle.repeatsFrom) {
        // Past a cycle the animation does not come round to its start: stepped as it is.
        const int32_t model = shown.settings.signModel;
        FrameSequence sequence;
        for (int64_t i = 1; i < frame; ++i) {
            sequence.StepWholeSign(shown.lines, shown.settings, model);
        }
        return PaintStep(shown, {sequence.ScrollStep(), sequence.BlinkOn()});
    }
    return PaintStep(shown, cycle.states[static_cast<size_t>(cycle.StateOf(frame))]);
}

QByteArray CPanelCache::Png(const MessageDocument& shown, const std::string& version,
                            int64_t frame) {
    {
        const std::lock_guard lock(m_mutex);
        const auto found = m_entries.find(version);
        if (found != m_entries.end()) {
            Entry& entry = found->second;
            entry.used = ++m_nUse;
            if (frame <= static_cast<int64_t>(entry.cycle.states.size()) ||
                entry.cycle.repeatsFrom) {
                const int64_t state = entry.cycle.StateOf(frame);
                const auto png = entry.pngs.find(state);
                if (png != entry.pngs.end()) {
                    return png->second;
                }
            }
        }
    }
    // Drawn outside the lock; two requests for one new frame may both draw it.
    const PanelCycle cycle = CycleOf(shown);
    if (frame > static_cast<int64_t>(cycle.states.size()) && !cycle.repeatsFrom) {
        return PngOfFrame(shown, frame);  // rare, and not kept: no cycle to file it under
    }
    const int64_t state = cycle.StateOf(frame);
    QByteArray png = PaintStep(shown, cycle.states[static_cast<size_t>(state)]);
    const std::lock_guard lock(m_mutex);
    Entry& entry = m_entries[version];
    if (entry.cycle.states.empty()) {
        entry.cycle = cycle;
    }
    entry.used = ++m_nUse;
    if (entry.pngs.emplace(state, png).second) {
        entry.bytes += static_cast<size_t>(png.size());
        m_nBytes += static_cast<size_t>(png.size());
    }
    Trim();
    return png;
}

void CPanelCache::Trim() {
    while (m_nBytes > m_nMaxBytes && m_entries.size() > 1) {
        const auto oldest = std::min_element(
            m_entries.begin(), m_entries.end(),
            [](const auto& a, const auto& b) { return a.second.used < b.second.used; });
        m_nBytes -= oldest->second.bytes;
        m_entries.erase(oldest);
    }
}

QString ShownText(const MessageDocument& shown) {
    QStringList lines;
    for (const CellLine& line : shown.lines) {
        const QString text = QString::fromStdString(LineText(line)).simplified();
        if (!text.isEmpty()) {
            lines.append(text);
        }
    }
    return lines.join(QStringLiteral(" / "));
}
