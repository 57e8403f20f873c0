#pragma once

#include <QWidget>
#include <chrono>
#include <cstdint>
#include <vector>

#include "editor/CharCell.h"
#include "encoding/MessageSettings.h"
#include "preview/FrameDots.h"
#include "preview/PreviewLayout.h"

class QPainter;

// The preview's one timer: the id it is known by and how often it steps the animation.
inline constexpr int32_t kPreviewTimerId = 100;
inline constexpr std::chrono::milliseconds kPreviewTickInterval{540};

// The simulated sign: a black panel of round lit dots showing one frame of a message on a sign
// model. Every paint of the panel is one animation step: the blink phase turns, and a running
// scroll moves on by one character unit. The panel is opaque and paints nothing outside its own
// rectangle, so its neighbours repaint without painting it; a driver steps it with Step(), for
// instance every kPreviewTickInterval.
class CLedPanel : public QWidget {
    Q_OBJECT

public:
    // `settings` (position, start line and column, effect) are read afresh at every step; they
    // must outlive the panel.
    explicit CLedPanel(const MessageSettings& settings, QWidget* parent = nullptr);
    ~CLedPanel() override;

    // The message to show, copied at every step; null, or no lines, shows the black panel. The
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

    // Asks for the next step. Requests made before it is painted make one step.
    void Step();

    // A running scroll starts again from its home position at the next step; the blink phase
    // goes on as it was.
    void RestartScroll();

    // The blink phase starts again as in a new panel: the next picture shows blinking characters
    // off. For a new message, so that it blinks from its first picture as a fresh preview does.
    void RestartBlink();

    // The animation state after the last step: the layout's scroll step counter and the blink
    // phase the last picture was drawn in. A new panel stands before its first picture: scroll
    // step 0, blink phase on, so the first picture shows blinking characters off.
    int64_t ScrollStep() const { return m_nScrollStep; }
    bool BlinkOn() const { return m_bBlinkOn; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void PaintArea(QPainter& painter);

    const MessageSettings& m_settings;
    const std::vector<CellLine>* m_pSourceLines = nullptr;
    std::vector<CellLine> m_workLines;  // the copy the frame is laid out from, taken every step
    int64_t m_nScrollStep = 0;
    bool m_bBlinkOn = true;
    int32_t m_nModelIndex = 0;
    ViewPosition m_view;
    std::vector<LitDot> m_dots;  // kept from step to step to spare allocations
};

// The window turns active or inactive.
bool IsActivation(const QEvent& event);

// A window that holds a panel passes its activation and deactivation on to everything but the
// panel, since every paint of the panel is an animation step.
void ActivateAroundPanel(QWidget& window, const CLedPanel& panel, QEvent& event);
