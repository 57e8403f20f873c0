#include "preview/FrameSequence.h"

#include "preview/SignModel.h"

const std::vector<LitDot>& FrameSequence::Step(const std::vector<CellLine>& message,
                                               const MessageSettings& settings, int32_t modelIndex,
                                               ViewPosition view) {
    m_bBlinkOn = !m_bBlinkOn;
    ComputeFrameDots(message, settings, modelIndex, m_nScrollStep, m_bBlinkOn, view, m_dots);
    return m_dots;
}

const std::vector<LitDot>& FrameSequence::StepWholeSign(const std::vector<CellLine>& message,
                                                        const MessageSettings& settings,
                                                        int32_t modelIndex) {
    m_bBlinkOn = !m_bBlinkOn;
    const int32_t characters = GetSignModel(modelIndex).charactersPerLine;
    const int64_t firstStep = m_nScrollStep;
    m_dots.clear();
    for (int32_t left = 0; left < characters; left += kShownUnits) {
        int64_t step = firstStep;
        ComputeFrameDots(message, settings, modelIndex, step, m_bBlinkOn, ViewPosition{left + 1, 1},
                         m_view);
        for (LitDot dot : m_view) {
            dot.x += kUnitWidth * left;
            m_dots.push_back(dot);
        }
        m_nScrollStep = step;
    }
    return m_dots;
}

bool FrameSequence::NextStepRepeats(const std::vector<CellLine>& message,
                                    const MessageSettings& settings, int32_t modelIndex) {
    int64_t nextStep = m_nScrollStep;
    const int64_t shift =
        LayOutMessage(message, settings, GetSignModel(modelIndex), nextStep).scrollShift;
    return !m_shown.insert({shift, nextStep, !m_bBlinkOn}).second;
}
