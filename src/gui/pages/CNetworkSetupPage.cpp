#include "gui/pages/CNetworkSetupPage.h"

#include <QSignalBlocker>
#include <QStackedLayout>

#include "encoding/Windows1252.h"
#include "gui/controls/ChoiceSignals.h"
#include "gui/pages/CEthernetNetworkPanel.h"
#include "gui/pages/CFieldbusPanel.h"
#include "gui/pages/PortList.h"
#include "gui/services/CSendRunner.h"
#include "gui/services/HelpService.h"
#include "gui/services/LinkErrorBoxes.h"
#include "gui/services/MessageService.h"
#include "settings/CMarqueeApp.h"
#include "ui_CNetworkSetupPage.h"

namespace {

constexpr int kGroupCount = 3;  // groups 0 to 2
constexpr int kUnitCount = 9;   // units 0 to 8

constexpr const char* kEthernetName = "Ethernet";
constexpr const char* kProgramRefusal =
    "Ethernet network must be programmed over serial communication port!";
constexpr const char* kDisableRefusal =
    "Ethernet network must be disabled over serial communication port!";
constexpr const char* kProgramQuestion =
    "Are you sure you want to program the %s network\nwith the displayed parameters?";
constexpr const char* kDisableQuestion =
    "Are you sure you want to disable the %s network?\n(Programming new parameters automatically "
    "enables the network)";
constexpr const char* kProgramFailed = "%s network program message could not be sent!";
constexpr const char* kProgramSent = "%s network program message was successfully sent.";
constexpr const char* kDisableFailed = "%s network disable message could not be sent!";
constexpr const char* kDisableSent = "%s network disable message was successfully sent.";

// The text with the network's name in place of its "%s".
std::string WithName(const char* pattern, const std::string& name) {
    std::string text = pattern;
    const size_t at = text.find("%s");
    if (at != std::string::npos) {
        text.replace(at, 2, name);
    }
    return text;
}

void FillNumbers(QComboBox& list, int count) {
    for (int number = 0; number < count; ++number) {
        list.addItem(QString::number(number));
    }
}

// The first entry that begins with the number, or none; the list's own doing, no reaction runs.
void SelectNumber(QComboBox& list, int32_t number) {
    const QSignalBlocker blocker(&list);
    list.setCurrentIndex(list.findText(QString::number(number), Qt::MatchStartsWith));
}

}  // namespace

CNetworkSetupPage::CNetworkSetupPage(const PageContext& context, QWidget* parent)
    : QWidget(parent), m_ui(std::make_unique<Ui::CNetworkSetupPage>()), m_context(context) {
    m_ui->setupUi(this);
    auto* panels = new QStackedLayout(m_ui->panelArea);
    panels->setContentsMargins(0, 0, 0, 0);
    m_pFieldbusPanel = new CFieldbusPanel(m_context, m_ui->panelArea);
    m_pEthernetPanel = new CEthernetNetworkPanel(m_context.app, m_ui->panelArea);
    panels->addWidget(m_pFieldbusPanel);
    panels->addWidget(m_pEthernetPanel);
    // The hidden panel's size counts from the start, so the window does not grow the first time
    // it is shown.
    m_pFieldbusPanel->ensurePolished();
    m_pEthernetPanel->ensurePolished();

    // The type is not saved, so this is Ethernet at every start.
    const int32_t type = m_context.app.NetworkType();
    QRadioButton* typeButton = type == kNetworkDeviceNet  ? m_ui->deviceNetRadio
                               : type == kNetworkProfibus ? m_ui->profibusRadio
                                                          : m_ui->ethernetRadio;
    typeButton->setChecked(true);
    ShowTypePanel();

    FillNumbers(*m_ui->groupList, kGroupCount);
    FillNumbers(*m_ui->unitList, kUnitCount);
    SelectNumber(*m_ui->groupList, m_context.app.Message().groupNumber);
    SelectNumber(*m_ui->unitList, m_context.app.Message().unitNumber);

    FillPortList(*m_ui->portList);
    SelectPort(*m_ui->portList, m_context.app.ComPort());
    ConnectSignals();
}

CNetworkSetupPage::~CNetworkSetupPage() = default;

void CNetworkSetupPage::ConnectSignals() {
    // The page follows what the controls show, however that changed (a screen reader toggles a
    // radio button without a click); its own selections are quiet.
    OnButtonChecked(m_ui->ethernetRadio, this, [this] { OnNetworkType(kNetworkEthernet); });
    OnButtonChecked(m_ui->deviceNetRadio, this, [this] { OnNetworkType(kNetworkDeviceNet); });
    OnButtonChecked(m_ui->profibusRadio, this, [this] { OnNetworkType(kNetworkProfibus); });
    connect(m_ui->defaultsButton, &QPushButton::clicked, this, &CNetworkSetupPage::OnDefaults);
    connect(m_ui->disableButton, &QPushButton::clicked, this, &CNetworkSetupPage::OnDisable);
    connect(m_ui->generateButton, &QPushButton::clicked, this, &CNetworkSetupPage::OnGenerate);
    connect(m_ui->programButton, &QPushButton::clicked, this, &CNetworkSetupPage::OnProgram);
    connect(m_ui->helpButton, &QPushButton::clicked, this, &CNetworkSetupPage::OnHelp);
    // Only the operator's choices: the page's own selection when shown changes no setting.
    OnListChoice(m_ui->portList, this, [this](int index) { OnPortChosen(index); });
    connect(&m_context.app, &CMarqueeApp::LinkChosen, this,
            [this](int32_t comPort) { SelectPort(*m_ui->portList, comPort); });
}

CNetworkParams& CNetworkSetupPage::GetCurrentParams() {
    return m_context.app.CurrentNetworkParams();
}

void CNetworkSetupPage::ReadMarqueeAddress() {
    MessageSettings& address = m_context.app.Message();
    // A list with nothing chosen (a saved number beyond its entries) leaves the number as it is,
    // rather than sending -1 in the address.
    if (m_ui->groupList->currentIndex() >= 0) {
        address.groupNumber = m_ui->groupList->currentIndex();
    }
    if (m_ui->unitList->currentIndex() >= 0) {
        address.unitNumber = m_ui->unitList->currentIndex();
    }
}

bool CNetworkSetupPage::GenerateString() {
    const bool stored = m_context.app.NetworkType() == kNetworkDeviceNet ||
                                m_context.app.NetworkType() == kNetworkProfibus
                            ? m_pFieldbusPanel->ValidateAndStore()
                            : m_pEthernetPanel->ValidateAndStore();
    if (!stored) {
        return false;
    }
    ReadMarqueeAddress();
    ShowGenerated(GetCurrentParams().GetSetupString(m_context.app.Message()));
    return true;
}

void CNetworkSetupPage::OnNetworkType(int32_t type) {
    m_context.app.SetNetworkType(type);
    // What was typed and not yet stored is dropped: the panel shows the record again.
    ShowTypePanel();
}

void CNetworkSetupPage::ShowTypePanel() {
    auto* panels = static_cast<QStackedLayout*>(m_ui->panelArea->layout());
    const int32_t type = m_context.app.NetworkType();
    if (type == kNetworkDeviceNet || type == kNetworkProfibus) {
        panels->setCurrentWidget(m_pFieldbusPanel);
        m_pFieldbusPanel->LoadFromParams(GetCurrentParams());
    } else {
        panels->setCurrentWidget(m_pEthernetPanel);
        m_pEthernetPanel->LoadFromParams(GetCurrentParams());
    }
}

void CNetworkSetupPage::OnDefaults() {
    GetCurrentParams().SetDefaults();
    ShowTypePanel();
    ReadMarqueeAddress();
    ShowGenerated(GetCurrentParams().GetLoadDefaultsString(m_context.app.Message()));
}

void CNetworkSetupPage::OnGenerate() {
    GenerateString();
}

void CNetworkSetupPage::OnProgram() {
    const std::string name = GetNetworkName(GetCurrentParams().m_nType);
    if (!GenerateString() || RefuseOverEthernet(name, kProgramRefusal)) {
        return;
    }
    const std::string text = GeneratedText();
    if (!AskYesNo(m_context.messages, WithName(kProgramQuestion, name))) {
        return;
    }
    SendWithConfirmation(text, true);
}

void CNetworkSetupPage::OnDisable() {
    // The shared group and unit as they stand: the lists are not read, no panel is checked.
    ShowGenerated(GetCurrentParams().GetDisableString(m_context.app.Message()));
    const std::string name = GetNetworkName(GetCurrentParams().m_nType);
    if (RefuseOverEthernet(name, kDisableRefusal)) {
        return;
    }
    const std::string text = GeneratedText();
    if (!AskYesNo(m_context.messages, WithName(kDisableQuestion, name))) {
        return;
    }
    SendWithConfirmation(text, false);
}

bool CNetworkSetupPage::RefuseOverEthernet(const std::string& networkName, const char* refusal) {
    if (m_context.app.ComPort() != kPortEthernet || networkName != kEthernetName) {
        return false;
    }
    m_context.messages.ShowMessage(refusal, MessageIcon::kExclamation, MessageButtons::kOk);
    m_ui->portList->setFocus(Qt::OtherFocusReason);
    return true;
}

void CNetworkSetupPage::SendWithConfirmation(const std::string& text, bool programmed) {
    const int32_t type = GetCurrentParams().m_nType;
    const std::string name = GetNetworkName(type);
    CSendRunner runner(this, m_context.messages);
    const SendOutcome outcome = runner.Run(m_context.app, text);
    // The link's own box first, then the page's words.
    ShowLinkError(m_context.messages, outcome);
    if (!outcome.Delivered()) {
        m_context.messages.ShowMessage(WithName(programmed ? kProgramFailed : kDisableFailed, name),
                                       MessageIcon::kExclamation, MessageButtons::kOk);
        return;
    }
    // The sign scrolls what was done. Only the link's own box tells of a failure here: the
    // setup itself has arrived.
    const SendOutcome confirmation =
        runner.Run(m_context.app, GetConfirmationString(m_context.app.Message(), type, programmed));
    ShowLinkError(m_context.messages, confirmation);
    m_context.messages.ShowMessage(WithName(programmed ? kProgramSent : kDisableSent, name),
                                   MessageIcon::kInformation, MessageButtons::kOk);
}

void CNetworkSetupPage::OnPortChosen(int index) {
    m_context.app.SetComPort(index >= 1 && index <= kPortEthernet ? index : 0);
}

void CNetworkSetupPage::ShowGenerated(const std::string& text) {
    m_ui->generatedEdit->setPlainText(QString::fromStdString(Windows1252ToUtf8(text)));
}

std::string CNetworkSetupPage::GeneratedText() const {
    return Utf8ToWindows1252(m_ui->generatedEdit->toPlainText().toStdString());
}

void CNetworkSetupPage::OnHelp() {
    m_context.help.ShowHelp(kHelpMarqueeCommunication);
}
