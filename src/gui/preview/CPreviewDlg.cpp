#include "gui/preview/CPreviewDlg.h"

#include <QCloseEvent>
#include <QRegion>
#include <QScrollBar>
#include <algorithm>

#include "gui/preview/CLedPanel.h"
#include "gui/preview/PreviewOwner.h"
#include "preview/PreviewLayout.h"
#include "preview/SignModel.h"
#include "ui_CPreviewDlg.h"

CPreviewDlg::CPreviewDlg(IPreviewOwner& owner, const MessageSettings& settings, QWidget* parent)
    : QDialog(parent),
      m_ui(std::make_unique<Ui::CPreviewDlg>()),
      m_pPanel(new CLedPanel(settings, this)),
      m_owner(owner),
      m_settings(settings),
      m_timer(this),
      m_timerInterval(kPreviewTickInterval) {
    m_ui->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    ConnectSignals();
    Relayout();

    // Room for the largest panel, both its bars and the hint under them, with the form's own
    // margins around them.
    const QRect box = m_ui->areaBox->geometry();
    const int32_t bar = m_ui->verticalBar->width();
    const QSize needed(
        m_areaRect.left() + kMaxAreaWidth + bar + box.left(),
        m_areaRect.top() + kMaxAreaHeight + bar + m_ui->leftOutLabel->height() + box.top());
    setFixedSize(size().expandedTo(needed));

    m_timer.setObjectName(QStringLiteral("previewTimer"));
    m_timer.start(m_timerInterval);
}

CPreviewDlg::~CPreviewDlg() {
    m_owner.OnPreviewClosed();
}

void CPreviewDlg::ConnectSignals() {
    connect(&m_timer, &QTimer::timeout, this, &CPreviewDlg::OnTimer);
    connect(m_ui->horizontalBar, &QScrollBar::actionTriggered, this, &CPreviewDlg::OnScrollAction);
    connect(m_ui->verticalBar, &QScrollBar::actionTriggered, this, &CPreviewDlg::OnScrollAction);
    connect(m_ui->horizontalBar, &QScrollBar::valueChanged, this, &CPreviewDlg::OnScrollPosition);
    connect(m_ui->verticalBar, &QScrollBar::valueChanged, this, &CPreviewDlg::OnScrollPosition);
}

void CPreviewDlg::Relayout() {
    m_pPanel->RestartScroll();
    m_nModelIndex = m_owner.PreviewSignModel();
    m_pPanel->SetSourceLines(m_owner.PreviewSourceLines());

    // A slot of the widest area centred on the group box; a smaller sign keeps its left edge.
    const QRect box = m_ui->areaBox->geometry();
    const AreaSize area = GetAreaSize(m_nModelIndex);
    const int32_t left = box.left() - (kMaxAreaWidth - box.width()) / 2;
    m_areaRect = QRect(left, box.top(), area.width, area.height);
    m_ui->areaBox->hide();
    m_pPanel->SetModel(m_nModelIndex);
    m_pPanel->setGeometry(m_areaRect);

    const int32_t bar = m_ui->verticalBar->width();
    m_ui->horizontalBar->setGeometry(m_areaRect.left(), m_areaRect.bottom() + 1, m_areaRect.width(),
                                     bar);
    m_ui->verticalBar->setGeometry(m_areaRect.right() + 1, m_areaRect.top(), bar,
                                   m_areaRect.height());
    // The hint stands under the panel and the place of its bar, two lines high.
    m_ui->leftOutLabel->setGeometry(m_areaRect.left(), m_areaRect.bottom() + 1 + bar,
                                    kMaxAreaWidth + bar,
                                    2 * m_ui->leftOutLabel->fontMetrics().lineSpacing());
    SetUpViewBar(*m_ui->verticalBar, MaxVerticalScroll(m_nModelIndex));
    SetUpViewBar(*m_ui->horizontalBar, MaxHorizontalScroll(m_nModelIndex));
    // The new layout shows at once, as the first step from its home position.
    m_pPanel->Step();
    UpdateLeftOut();
}

void CPreviewDlg::RestartScroll() {
    m_pPanel->RestartScroll();
}

void CPreviewDlg::OnTimer() {
    m_pPanel->Step();
    UpdateLeftOut();
}

QString CPreviewDlg::LeftOut() const {
    return m_ui->leftOutLabel->text();
}

void CPreviewDlg::UpdateLeftOut() {
    const std::vector<CellLine>* lines = m_pPanel->SourceLines();
    m_ui->leftOutLabel->setText(lines == nullptr
                                    ? QString()
                                    : QString::fromStdString(DescribeLeftOut(
                                          *lines, m_settings, GetSignModel(m_nModelIndex))));
}

// Every action on a bar is one step, even one that cannot move it further; the thumb's release
// is no action, so it changes nothing.
void CPreviewDlg::OnScrollAction() {
    // The bar has moved its slider but not yet its value: the step shows where it moves to.
    m_pPanel->SetViewPosition(
        ViewPosition{m_ui->horizontalBar->sliderPosition(), m_ui->verticalBar->sliderPosition()});
    m_pPanel->Step();
}

void CPreviewDlg::OnScrollPosition() {
    m_pPanel->SetViewPosition(
        ViewPosition{m_ui->horizontalBar->value(), m_ui->verticalBar->value()});
}

void CPreviewDlg::reject() {
    close();
}

void CPreviewDlg::closeEvent(QCloseEvent* event) {
    m_timer.stop();
    m_owner.OnPreviewClosed();
    event->accept();
}
