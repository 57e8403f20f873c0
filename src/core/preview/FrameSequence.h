#pragma once

#include <cstdint>
#include <set>
#include <tuple>
#include <vector>

#include "editor/CharCell.h"
#include "encoding/MessageSettings.h"
#include "preview/FrameDots.h"
#include "preview/PreviewLayout.h"

// The animation of a simulated sign, one step every 540 ms: each step turns the blink phase, moves
// a running scroll on by one unit and keeps the frame it shows, which a paint draws as often as it
// likes. A new sequence stands before its first step: scroll step 0, blink phase on, so the first
// frame shows blinking characters off. The preview window, the sign's window, `lumivex-cli
// preview` and the sign's frames all step one of these.
class FrameSequence {
public:
    FrameSequence() = default;
    // A sequence that goes on from where another stood.
    FrameSequence(int64_t scrollStep, bool blinkOn)
        : m_nScrollStep(scrollStep), m_bBlinkOn(blinkOn) {}

    // One step of a message on a sign model, seen through `view`.
    const std::vector<LitDot>& Step(const std::vector<CellLine>& message,
                                    const MessageSettings& settings, int32_t modelIndex,
                                    ViewPosition view = {});
    // One step showing every character unit of a wide sign side by side, each view drawn as the
    // bar would show it, all from the same scroll step.
    const std::vector<LitDot>& StepWholeSign(const std::vector<CellLine>& message,
                                             const MessageSettings& settings, int32_t modelIndex);

    // Whether the next step would show a frame already shown, with what follows it the same: the
    // scroll shift, the scroll step after it and the blink phase have come round. Keeps what it
    // was asked about, so the first repeat is the end of one whole cycle.
    bool NextStepRepeats(const std::vector<CellLine>& message, const MessageSettings& settings,
                         int32_t modelIndex);

    // The frame of the last step; empty before the first.
    const std::vector<LitDot>& Dots() const { return m_dots; }

    // A running scroll starts again from its home position at the next step.
    void RestartScroll() { m_nScrollStep = 0; }
    // The blink phase starts again as in a new sequence.
    void RestartBlink() { m_bBlinkOn = true; }

    int64_t ScrollStep() const { return m_nScrollStep; }
    bool BlinkOn() const { return m_bBlinkOn; }

private:
    int64_t m_nScrollStep = 0;
    bool m_bBlinkOn = true;
    std::vector<LitDot> m_dots;
    std::vector<LitDot> m_view;
    std::set<std::tuple<int64_t, int64_t, bool>> m_shown;
};
