#pragma once

#include <QWidget>
#include <chrono>
#include <cstdint>
#include <vector>

#include "editor/CharCell.h"
#include "encoding/MessageSettings.h"
#include "preview/FrameSequence.h"
#include "preview/PreviewLayout.h"

class QPainter;
class QScrollBar;

// How often the preview's one timer steps the animation.
inline constexpr std::chrono::milliseconds kPreviewTickInterval{540};

// A bar beside a panel: positions 1 to `highest` (MaxHorizontalScroll, MaxVerticalScroll), one
// unit a click, at 1; hidden when 1 is its only position.
void SetUpViewBar(QScrollBar& bar, int32_t highest);

// The simulated sign: a black panel of round lit dots showing one frame of a message on a sign
// model. A driver steps the animation with Step(), every kPreviewTickInterval: the blink phase
// turns and a running scroll moves on by one character unit. A paint draws the frame of the last
// step only, so the window system may repaint the panel as often as it likes. The panel is opaque
// and paints nothing outside its own rectangle.
class CLedPanel : public QWidget {
    Q_OBJECT

public:
    // `settings` (position, start line and column, effect) are read afresh at every step; they
    // must outlive the panel.
    explicit CLedPanel(const MessageSettings& settings, QWidget* parent = nullptr);
    ~CLedPanel() override;

    // The message to show, read at every step; null, or no lines, shows the black panel. The
    // lines must stay valid until replaced or the panel goes.
    void SetSourceLines(const std::vector<CellLine>* lines);
    const std::vector<CellLine>* SourceLines() const { return m_pSourceLines; }

    // The sign model (an index of kSignModels); the panel takes the size of its drawing area.
    void SetModel(int32_t modelIndex);
    int32_t Model() const { return m_nModelIndex; }

    // The part of a wide sign in view: the scroll bar positions, 1 for a hidden bar. Used from
    // the next step on; asks for no repaint.
    void SetViewPosition(ViewPosition view);
    ViewPosition View() const { return m_view; }

    // One animation step: the next frame, painted at the next paint.
    void Step();

    // A running scroll starts again from its home position at the next step; the blink phase
    // goes on as it was.
    void RestartScroll();

    // The blink phase starts again as in a new panel: the next picture shows blinking characters
    // off. For a new message, so that it blinks from its first picture as a fresh preview does.
    void RestartBlink();

    // The animation state after the last step: the layout's scroll step counter and the blink
    // phase of the frame shown. A new panel stands before its first step: scroll step 0, blink
    // phase on, so the first frame shows blinking characters off.
    int64_t ScrollStep() const { return m_sequence.ScrollStep(); }
    bool BlinkOn() const { return m_sequence.BlinkOn(); }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void PaintArea(QPainter& painter);

    const MessageSettings& m_settings;
    const std::vector<CellLine>* m_pSourceLines = nullptr;
    int32_t m_nModelIndex = 0;
    ViewPosition m_view;
    FrameSequence m_sequence;
};
