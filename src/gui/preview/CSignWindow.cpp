#include "gui/preview/CSignWindow.h"

#include <QCoreApplication>
#include <QRegion>
#include <QScrollBar>
#include <algorithm>
#include <string_view>

#include "gui/preview/CLedPanel.h"
#include "preview/PreviewLayout.h"
#include "preview/SignModel.h"
#include "ui_CSignWindow.h"

namespace {

QString ModelName(int32_t modelIndex) {
    const std::string_view name = kSignModelNames[static_cast<size_t>(modelIndex)];
    return QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size()));
}

}  // namespace

CSignWindow::CSignWindow(int32_t modelIndex, QWidget* parent)
    : QWidget(parent),
      m_ui(std::make_unique<Ui::CSignWindow>()),
      m_settings(DecodedMessage::NothingSettings()),
      m_pPanel(new CLedPanel(m_settings, this)),
      m_timer(this),
      m_nModelIndex(std::clamp(modelIndex, 0, kSignModelCount - 1)) {
    m_ui->setupUi(this);
    m_settings.signModel = m_nModelIndex;
    m_pPanel->SetModel(m_nModelIndex);
    m_ui->windowLayout->insertWidget(0, m_pPanel);

    SetUpViewBar(*m_ui->horizontalBar, MaxHorizontalScroll(m_nModelIndex));

    // The panel's width, so that a long hint wraps under it rather than widen the window.
    m_ui->leftOutLabel->setFixedWidth(GetAreaSize(m_nModelIndex).width);
    m_ui->leftOutLabel->hide();

    SetTitle(QString());
    ConnectSignals();
    m_timer.setObjectName(QStringLiteral("signTimer"));
    m_timer.start(kPreviewTickInterval);
}

CSignWindow::~CSignWindow() = default;

void CSignWindow::ConnectSignals() {
    connect(&m_timer, &QTimer::timeout, this, &CSignWindow::OnTimer);
    connect(m_ui->horizontalBar, &QScrollBar::actionTriggered, this, &CSignWindow::OnScrollAction);
    connect(m_ui->horizontalBar, &QScrollBar::valueChanged, this, &CSignWindow::OnScrollPosition);
}

void CSignWindow::SetTitle(const QString& what) {
    const QString title = QStringLiteral("Lumivex sign: ") + ModelName(m_nModelIndex);
    setWindowTitle(what.isEmpty() ? title : title + QStringLiteral(", ") + what);
}

void CSignWindow::ShowListening(const QString& where) {
    SetTitle(QStringLiteral("listening on ") + where);
}

void CSignWindow::ShowMessage(int64_t number, const QString& source,
                              const DecodedMessage& message) {
    m_settings = message.settings;
    m_settings.signModel = m_nModelIndex;
    m_lines = message.lines;
    m_pPanel->SetSourceLines(&m_lines);
    m_pPanel->RestartScroll();
    m_pPanel->RestartBlink();
    SetTitle(QStringLiteral("message %1 from %2").arg(number).arg(source));
    const QString leftOut =
        QString::fromStdString(DescribeLeftOut(m_lines, m_settings, GetSignModel(m_nModelIndex)));
    m_ui->leftOutLabel->setText(leftOut);
    m_ui->leftOutLabel->setVisible(!leftOut.isEmpty());
    m_pPanel->Step();
    m_timer.start();
}

void CSignWindow::ShowNetworkString(int64_t number, const QString& source) {
    SetTitle(QStringLiteral("network string %1 from %2").arg(number).arg(source));
}

QString CSignWindow::LeftOut() const {
    return m_ui->leftOutLabel->text();
}

void CSignWindow::OnTimer() {
    m_pPanel->Step();
}

// As in the preview, every action on the bar is one step: the view moves at once.
void CSignWindow::OnScrollAction() {
    // The bar has moved its slider but not yet its value: the step shows where it moves to.
    m_pPanel->SetViewPosition(ViewPosition{m_ui->horizontalBar->sliderPosition(), 1});
    m_pPanel->Step();
}

void CSignWindow::OnScrollPosition() {
    m_pPanel->SetViewPosition(ViewPosition{m_ui->horizontalBar->value(), 1});
}
