#include "gui/pages/CPcSetupPage.h"

#include <QSignalBlocker>
#include <QStackedLayout>

#include "gui/controls/ChoiceSignals.h"
#include "gui/pages/CComPortPanel.h"
#include "gui/pages/CEthernetAddressPanel.h"
#include "gui/pages/PortList.h"
#include "gui/services/HelpService.h"
#include "gui/services/MessageService.h"
#include "gui/signs/CSignsDlg.h"
#include "settings/CMarqueeApp.h"
#include "ui_CPcSetupPage.h"

CPcSetupPage::CPcSetupPage(const PageContext& context, QWidget* parent)
    : QWidget(parent), m_ui(std::make_unique<Ui::CPcSetupPage>()), m_context(context) {
    m_ui->setupUi(this);
    // Both panels share one area; exactly one of them shows.
    auto* panels = new QStackedLayout(m_ui->panelArea);
    panels->setContentsMargins(0, 0, 0, 0);
    m_pAddressPanel = new CEthernetAddressPanel(m_context.app, m_ui->panelArea);
    m_pComPanel = new CComPortPanel(m_context.app, m_ui->panelArea);
    panels->addWidget(m_pAddressPanel);
    panels->addWidget(m_pComPanel);
    // The hidden panel's size counts from the start, so the window does not grow the first time
    // it is shown.
    m_pAddressPanel->ensurePolished();
    m_pComPanel->ensurePolished();

    FillPortList(*m_ui->portList);
    SelectPort(*m_ui->portList, m_context.app.ComPort());
    ShowPortPanel();
    ConnectSignals();
}

CPcSetupPage::~CPcSetupPage() = default;

void CPcSetupPage::ConnectSignals() {
    // Only the operator's choices: the page's own selections change no setting.
    OnListChoice(m_ui->portList, this, [this](int index) { OnPortChosen(index); });
    // Another page's "Use" list may change the port.
    connect(&m_context.app, &CMarqueeApp::LinkChosen, this, [this](int32_t comPort) {
        SelectPort(*m_ui->portList, comPort);
        ShowPortPanel();
    });
    connect(m_ui->helpButton, &QPushButton::clicked, this, &CPcSetupPage::OnHelp);
    connect(m_ui->signsButton, &QPushButton::clicked, this, &CPcSetupPage::OnSigns);
}

void CPcSetupPage::OnPortChosen(int index) {
    m_context.app.SetComPort(index);
    ShowPortPanel();
    // The device row is about the port just chosen.
    m_pComPanel->LoadDevice();
}

void CPcSetupPage::ShowPortPanel() {
    auto* panels = static_cast<QStackedLayout*>(m_ui->panelArea->layout());
    if (m_context.app.ComPort() == kPortEthernet) {
        panels->setCurrentWidget(m_pAddressPanel);
    } else {
        panels->setCurrentWidget(m_pComPanel);
    }
}

void CPcSetupPage::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // The address panel keeps what it shows: it is loaded once, when made.
    m_pComPanel->Load();
}

void CPcSetupPage::hideEvent(QHideEvent* event) {
    StorePanels();
    QWidget::hideEvent(event);
}

void CPcSetupPage::StorePanels() {
    m_pComPanel->Store();
    m_pAddressPanel->Store();
}

void CPcSetupPage::OnProgramEnd() {
    // The port needs no taking back: every choice of it, here or in a "Use" list, reached the
    // settings as it was made, and this page's list may show an older one.
    StorePanels();
    ShowFailure(m_context.messages, m_context.app.SaveCommSettings());
}

void CPcSetupPage::OnHelp() {
    m_context.help.ShowHelp(kHelpPcCommunication);
}

void CPcSetupPage::OnSigns() {
    if (m_pSignsDlg == nullptr) {
        m_pSignsDlg = new CSignsDlg(m_context, this);
    }
    m_pSignsDlg->Open();
}
