#include "gui/preview/CLedPanel.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QPainter>
#include <QScrollBar>

#include "preview/SignModel.h"
#include "render/FramePainter.h"

namespace {

// Screen readers announce the panel as a picture, not as an empty pane.
QAccessibleInterface* LedPanelAccessible(const QString& className, QObject* object) {
    if (className == QLatin1String(CLedPanel::staticMetaObject.className()) && object != nullptr &&
        object->isWidgetType()) {
        return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::Graphic);
    }
    return nullptr;
}

QSize ToQSize(AreaSize area) {
    return {area.width, area.height};
}

}  // namespace

void SetUpViewBar(QScrollBar& bar, int32_t highest) {
    bar.setRange(1, highest);
    bar.setSingleStep(1);
    bar.setPageStep(1);
    bar.setValue(1);
    bar.setVisible(highest > 1);
}

CLedPanel::CLedPanel(const MessageSettings& settings, QWidget* parent)
    : QWidget(parent), m_settings(settings) {
    static const bool kAccessibleInstalled = [] {
        QAccessible::installFactory(LedPanelAccessible);
        return true;
    }();
    (void)kAccessibleInstalled;
    setObjectName(QStringLiteral("ledPanel"));
    setAccessibleName(QStringLiteral("LED panel"));
    // Every pixel is painted by the panel itself: no background is erased or drawn under it.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    SetModel(0);
}

CLedPanel::~CLedPanel() = default;

void CLedPanel::SetSourceLines(const std::vector<CellLine>* lines) {
    m_pSourceLines = lines;
}

void CLedPanel::SetModel(int32_t modelIndex) {
    m_nModelIndex = modelIndex;
    setFixedSize(ToQSize(GetAreaSize(modelIndex)));
}

void CLedPanel::SetViewPosition(ViewPosition view) {
    m_view = view;
}

void CLedPanel::Step() {
    static const std::vector<CellLine> kNoLines;
    m_sequence.Step(m_pSourceLines != nullptr ? *m_pSourceLines : kNoLines, m_settings,
                    m_nModelIndex, m_view);
    update();
}

void CLedPanel::RestartScroll() {
    m_sequence.RestartScroll();
}

void CLedPanel::RestartBlink() {
    m_sequence.RestartBlink();
}

QSize CLedPanel::sizeHint() const {
    return ToQSize(GetAreaSize(m_nModelIndex));
}

void CLedPanel::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    PaintArea(painter);
}

void CLedPanel::PaintArea(QPainter& painter) {
    // The same frame, pixel for pixel, as `lumivex-cli preview` writes.
    const AreaSize area = GetAreaSize(m_nModelIndex);
    const QImage frame = PaintFrame(m_sequence.Dots(), area);
    // On a screen of a higher pixel ratio each pixel of the frame becomes a block of pixels,
    // sharp rather than smoothed.
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.drawImage(QRect(QPoint(0, 0), ToQSize(area)), frame);
}
