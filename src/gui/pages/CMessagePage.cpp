#include "gui/pages/CMessagePage.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QKeySequence>
#include <QMenu>
#include <QRegularExpressionValidator>
#include <QShortcut>
#include <QSignalBlocker>
#include <QTimer>
#include <array>
#include <limits>

#include "editor/CharCell.h"
#include "encoding/DecimalText.h"
#include "encoding/MessageSettings.h"
#include "encoding/Windows1252.h"
#include "gui/controls/ChoiceSignals.h"
#include "gui/editor/CFormattedEdit.h"
#include "gui/pages/CMessageFiles.h"
#include "gui/preview/CPreviewDlg.h"
#include "gui/services/CSendRunner.h"
#include "gui/services/HelpService.h"
#include "gui/services/LinkErrorBoxes.h"
#include "gui/services/MessageService.h"
#include "gui/signs/CSendToSignsDlg.h"
#include "gui/signs/CSignsDlg.h"
#include "preview/SignModel.h"
#include "settings/CMarqueeApp.h"
#include "ui_CMessagePage.h"

namespace {

constexpr int32_t kGroupEntries = 3;
constexpr int32_t kUnitEntries = 9;
constexpr std::array<const char*, 4> kSizeEntries = {"2\"", "4\"", "6\"", "8\""};
constexpr std::array<const char*, 3> kColourEntries = {"Red", "Yellow", "Green"};
constexpr std::array<const char*, 2> kBlinkEntries = {"Blink Off", "Blink On"};
constexpr std::array<const char*, 9> kPortEntries = {"Com1", "Com2", "Com3", "Com4",    "Com5",
                                                     "Com6", "Com7", "Com8", "Ethernet"};

constexpr const char* kSaveMessageAs = "Save Message As…";
constexpr const char* kMessageSent = "Message sent.";
constexpr const char* kMessageSentFailed = "Message sent failed.";

QString Text(std::string_view name) {
    return QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
}
QString Text(const char* name) {
    return QString::fromUtf8(name);
}
QString Text(const QString& name) {
    return name;
}

template <typename Names>
void Fill(QComboBox* list, const Names& names) {
    const QSignalBlocker quiet(list);
    list->clear();
    for (const auto& name : names) {
        list->addItem(Text(name));
    }
}

// Selects an entry without running the list's reaction: the operator did not choose it.
void Select(QComboBox* list, int32_t index) {
    const QSignalBlocker quiet(list);
    list->setCurrentIndex(index >= 0 && index < list->count() ? index : -1);
}

// Shows a text in a list: the first entry that begins with it (an empty text matches the first
// entry), or the first entry when none does.
void ShowText(QComboBox* list, const QString& text) {
    int found = 0;
    for (int i = 0; i < list->count(); ++i) {
        if (list->itemText(i).startsWith(text)) {
            found = i;
            break;
        }
    }
    Select(list, found);
}

// A list index as a setting: an index outside the list's entries counts as the first.
int32_t Chosen(int index, int32_t count) {
    return index >= 0 && index < count ? index : 0;
}

}  // namespace

CMessagePage::CMessagePage(const PageContext& context, QWidget* parent)
    : QWidget(parent),
      m_ui(std::make_unique<Ui::CMessagePage>()),
      m_context(context),
      m_pSender(new CSendRunner(this, context.messages)) {
    m_ui->setupUi(this);
    // The box shows the whole command string, however long: Qt's default cuts it at 32,767.
    m_ui->commandEdit->setMaxLength(std::numeric_limits<int>::max());
    const auto digitsOnly = QRegularExpression(QStringLiteral("[0-9]*"));
    m_ui->lineEdit->setValidator(new QRegularExpressionValidator(digitsOnly, m_ui->lineEdit));
    m_ui->columnEdit->setValidator(new QRegularExpressionValidator(digitsOnly, m_ui->columnEdit));
    FillLists();
    ConnectSignals();
    SetUpMessageFiles();
}

// The preview calls back into its owner as it goes, so it goes first; the files look at the
// page's controls whenever they change, so they go before the controls.
CMessagePage::~CMessagePage() {
    delete m_pPreview;
    delete m_pFiles;
    m_pFiles = nullptr;
}

int32_t CMessagePage::PreviewSignModel() const {
    return m_context.app.Message().signModel;
}

const std::vector<CellLine>* CMessagePage::PreviewSourceLines() const {
    return &m_ui->messageEdit->LineCells();
}

void CMessagePage::OnPreviewClosed() {
    m_pPreview = nullptr;
}

CFormattedEdit& CMessagePage::Editor() {
    return *m_ui->messageEdit;
}

std::string CMessagePage::CommandString() const {
    return m_strCommand;
}

void CMessagePage::FillLists() {
    QStringList numbers;
    for (int32_t n = 0; n < kUnitEntries; ++n) {
        numbers << QString::number(n);
    }
    Fill(m_ui->groupList, numbers.mid(0, kGroupEntries));
    Fill(m_ui->unitList, numbers);
    Fill(m_ui->addressList, kAddressModeNames);
    Fill(m_ui->positionList, kPositionModeNames);
    Fill(m_ui->charSizeList, kSizeEntries);
    Fill(m_ui->colorList, kColourEntries);
    Fill(m_ui->blinkList, kBlinkEntries);
    Fill(m_ui->displayModeList, kDisplayModeNames);
    Fill(m_ui->effectList, kMessageEffectNames);
    Fill(m_ui->signModelList, kSignModelNames);
    Fill(m_ui->portList, kPortEntries);
    ShowChoices();
    Select(m_ui->portList, m_context.app.ComPort());

    m_ui->messageEdit->Initialise();
    m_ui->messageEdit->AttachLists(m_ui->charSizeList, m_ui->colorList, m_ui->blinkList);
    m_bInitialised = true;
}

void CMessagePage::ShowChoices() {
    const MessageSettings& settings = m_context.app.Message();
    Select(m_ui->addressList, settings.address);
    m_strGroupText = QString::number(settings.groupNumber);
    m_strUnitText = QString::number(settings.unitNumber);
    UpdateAddressDisplay(false);
    Select(m_ui->positionList, settings.position);
    UpdateLineColumn();
    UpdateClearMessage();
    Select(m_ui->displayModeList, settings.displayMode);
    Select(m_ui->effectList, settings.effect);
    Select(m_ui->signModelList, settings.signModel);
}

void CMessagePage::ConnectSignals() {
    // Lists follow what they show, however that changed; the page's own selections are quiet.
    // Every edit of the message is checked against the file after the page has taken it.
    const auto follow = [this](QComboBox* list, void (CMessagePage::*react)(int)) {
        OnListChoice(list, this, [this, react](int index) {
            if (react != nullptr) {
                (this->*react)(index);
            }
            CheckModified();
        });
    };
    follow(m_ui->addressList, &CMessagePage::OnAddressChosen);
    follow(m_ui->groupList, nullptr);
    follow(m_ui->unitList, nullptr);
    follow(m_ui->positionList, &CMessagePage::OnPositionChosen);
    follow(m_ui->displayModeList, &CMessagePage::OnDisplayModeChosen);
    follow(m_ui->effectList, &CMessagePage::OnEffectChosen);
    follow(m_ui->signModelList, &CMessagePage::OnSignModelChosen);
    follow(m_ui->portList, &CMessagePage::OnPortChosen);
    OnListChoice(m_ui->charSizeList, this,
                 [this](int index) { m_ui->messageEdit->ApplySize(index + 1); });
    OnListChoice(m_ui->colorList, this,
                 [this](int index) { m_ui->messageEdit->ApplyColour(index + 1); });
    // Choosing the blink entry already shown changes nothing: every change toggles.
    connect(m_ui->blinkList, &QComboBox::currentIndexChanged, m_ui->messageEdit,
            &CFormattedEdit::ToggleBlink);
    for (QComboBox* list : {m_ui->charSizeList, m_ui->colorList, m_ui->blinkList}) {
        // After a choice made with the mouse, in the open list or with the wheel, typing goes on
        // in the editor; one made with the keyboard keeps the keyboard in the list.
        list->view()->viewport()->installEventFilter(this);
        list->installEventFilter(this);
        connect(list, &QComboBox::activated, this, [this] {
            if (m_bMouseChoice) {
                m_bMouseChoice = false;
                QTimer::singleShot(0, m_ui->messageEdit,
                                   [this] { m_ui->messageEdit->setFocus(Qt::PopupFocusReason); });
            }
        });
    }
    // The link chosen anywhere shows here too.
    connect(&m_context.app, &CMarqueeApp::LinkChosen, this,
            [this](int32_t comPort) { Select(m_ui->portList, comPort); });
    connect(m_ui->lineEdit, &QLineEdit::textChanged, this, &CMessagePage::OnPositionTextChanged);
    connect(m_ui->columnEdit, &QLineEdit::textChanged, this, &CMessagePage::OnPositionTextChanged);
    connect(m_ui->clearMessageCheck, &QCheckBox::toggled, this,
            &CMessagePage::OnClearMessageClicked);
    connect(m_ui->generateButton, &QPushButton::clicked, this, &CMessagePage::OnGenerate);
    connect(m_ui->previewButton, &QPushButton::clicked, this, &CMessagePage::OnPreview);
    connect(m_ui->sendButton, &QPushButton::clicked, this, &CMessagePage::OnSend);
    connect(m_ui->sendSignsButton, &QPushButton::clicked, this, &CMessagePage::OnSendToSigns);
    connect(m_ui->signsButton, &QPushButton::clicked, this, &CMessagePage::OnSigns);
    connect(m_ui->helpButton, &QPushButton::clicked, this, &CMessagePage::OnHelp);
    connect(m_ui->exitButton, &QPushButton::clicked, this, &CMessagePage::OnExit);
}

bool CMessagePage::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonRelease || event->type() == QEvent::Wheel) {
        // The open list hides before it reports the choice the release made: the mark lasts
        // until the events behind this one, not until the list hides.
        m_bMouseChoice = true;
        QTimer::singleShot(0, this, [this] { m_bMouseChoice = false; });
    } else if (event->type() == QEvent::KeyPress) {
        m_bMouseChoice = false;
    }
    return QWidget::eventFilter(watched, event);
}

void CMessagePage::CheckModified() {
    if (m_pFiles != nullptr) {
        m_pFiles->CheckModified();
    }
}

void CMessagePage::SetUpMessageFiles() {
    m_pFiles = new CMessageFiles(*this, m_context);
    auto* recentMenu = new QMenu(m_ui->openButton);
    m_ui->openButton->setMenu(recentMenu);
    auto* saveMenu = new QMenu(m_ui->saveButton);
    QAction* saveAs = saveMenu->addAction(QString::fromUtf8(kSaveMessageAs));
    m_ui->saveButton->setMenu(saveMenu);
    connect(m_ui->openButton, &QToolButton::clicked, m_pFiles, &CMessageFiles::Open);
    connect(recentMenu, &QMenu::aboutToShow, m_pFiles,
            [this, recentMenu] { m_pFiles->FillRecentMenu(recentMenu); });
    connect(m_ui->saveButton, &QToolButton::clicked, m_pFiles, &CMessageFiles::Save);
    connect(saveAs, &QAction::triggered, m_pFiles, &CMessageFiles::SaveAs);

    // The keys work anywhere in the window, the text box and the tabs included, while this page
    // is shown.
    const auto addShortcut = [this](const QKeySequence& keys, auto action) {
        auto* shortcut = new QShortcut(keys, this);
        shortcut->setContext(Qt::WindowShortcut);
        connect(shortcut, &QShortcut::activated, m_pFiles, action);
    };
    addShortcut(QKeySequence(Qt::CTRL | Qt::Key_O), &CMessageFiles::Open);
    addShortcut(QKeySequence(Qt::CTRL | Qt::Key_S), &CMessageFiles::Save);
    addShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S), &CMessageFiles::SaveAs);

    // Every edit of the message, after the page has taken it into the settings.
    const auto check = [this] { m_pFiles->CheckModified(); };
    connect(m_ui->lineEdit, &QLineEdit::textChanged, m_pFiles, check);
    connect(m_ui->columnEdit, &QLineEdit::textChanged, m_pFiles, check);
    connect(m_ui->clearMessageCheck, &QCheckBox::toggled, m_pFiles, check);
    connect(m_ui->messageEdit, &CFormattedEdit::CellsChanged, m_pFiles, check);
}

MessageDocument CMessagePage::CurrentMessage() const {
    MessageDocument message;
    message.settings = CurrentSettings();
    message.lines = m_ui->messageEdit->LineCells();
    return message;
}

MessageSettings CMessagePage::CurrentSettings() const {
    MessageSettings settings = m_context.app.Message();
    TakeAddressLists(settings);
    return settings;
}

void CMessagePage::TakeMessage(const MessageDocument& message) {
    m_context.app.Message() = message.settings;
    ShowChoices();
    m_ui->messageEdit->SetLineCells(message.lines);
    // The string of the message before is no string of this one.
    m_strCommand.clear();
    m_ui->commandEdit->clear();
    if (m_pPreview != nullptr) {
        m_pPreview->Relayout();
    }
}

void CMessagePage::UpdateAddressDisplay(bool rememberFirst) {
    if (rememberFirst) {
        if (m_ui->groupList->isEnabled()) {
            m_strGroupText = m_ui->groupList->currentText();
        }
        if (m_ui->unitList->isEnabled()) {
            m_strUnitText = m_ui->unitList->currentText();
        }
    }
    const int32_t address = m_context.app.Message().address;
    const bool groupShown = address == kAddressSpecificGroup || address == kAddressSpecificUnit;
    const bool unitShown = address == kAddressSpecificUnit;
    ShowText(m_ui->groupList, groupShown ? m_strGroupText : QString());
    ShowText(m_ui->unitList, unitShown ? m_strUnitText : QString());
    m_ui->groupList->setEnabled(groupShown);
    m_ui->unitList->setEnabled(unitShown);
}

void CMessagePage::UpdateLineColumn() {
    const MessageSettings& settings = m_context.app.Message();
    const bool startingAt = settings.position == kPositionStartingAt;
    if (startingAt) {
        // The page's own filling of the boxes is no edit of the operator's.
        m_bInitialised = false;
        m_ui->lineEdit->setText(QString::number(settings.line));
        m_ui->columnEdit->setText(QString::number(settings.column));
        m_bInitialised = true;
    } else {
        m_ui->lineEdit->clear();
        m_ui->columnEdit->clear();
    }
    m_ui->lineEdit->setEnabled(startingAt);
    m_ui->columnEdit->setEnabled(startingAt);
}

void CMessagePage::UpdateClearMessage() {
    MessageSettings& settings = m_context.app.Message();
    const bool startingAt = settings.position == kPositionStartingAt;
    m_ui->clearMessageCheck->setEnabled(startingAt);
    if (!startingAt) {
        settings.clearMessageOnLine = false;
    }
    const QSignalBlocker quiet(m_ui->clearMessageCheck);
    m_ui->clearMessageCheck->setChecked(settings.clearMessageOnLine);
}

void CMessagePage::OnAddressChosen(int index) {
    m_context.app.Message().address = Chosen(index, kAddressModeNames.size());
    UpdateAddressDisplay(true);
}

void CMessagePage::OnPositionChosen(int index) {
    m_context.app.Message().position = Chosen(index, kPositionModeNames.size());
    UpdateLineColumn();
    UpdateClearMessage();
}

void CMessagePage::OnDisplayModeChosen(int index) {
    m_context.app.Message().displayMode = Chosen(index, kDisplayModeNames.size());
}

void CMessagePage::OnEffectChosen(int index) {
    m_context.app.Message().effect = Chosen(index, kMessageEffectNames.size());
    if (m_pPreview != nullptr) {
        m_pPreview->RestartScroll();
    }
}

void CMessagePage::OnSignModelChosen(int index) {
    m_context.app.Message().signModel = index;
    OnPreview();
}

void CMessagePage::OnPortChosen(int index) {
    m_context.app.SetComPort(Chosen(index, kPortEntries.size()));
}

void CMessagePage::OnPositionTextChanged() {
    Validate(false);
}

void CMessagePage::OnClearMessageClicked(bool checked) {
    m_context.app.Message().clearMessageOnLine = checked;
}

bool CMessagePage::CheckBox(QLineEdit* box, int32_t& value, int32_t low, int32_t high,
                            bool report) {
    const std::string text = box->text().toStdString();
    const std::string_view trimmed = TrimWhiteSpace(text);
    value = ParseDecimal(trimmed);
    if (!report || (!trimmed.empty() && value >= low && value <= high)) {
        return true;
    }
    m_context.messages.ShowMessage(InvalidInputMessage(low, high), MessageIcon::kStop,
                                   MessageButtons::kOk);
    box->setFocus(Qt::OtherFocusReason);
    return false;
}

void CMessagePage::TakeAddressLists(MessageSettings& settings) const {
    if (settings.address == kAddressSpecificGroup || settings.address == kAddressSpecificUnit) {
        settings.groupNumber = m_ui->groupList->currentIndex();
    }
    if (settings.address == kAddressSpecificUnit) {
        settings.unitNumber = m_ui->unitList->currentIndex();
    }
}

bool CMessagePage::Validate(bool report) {
    if (!m_bInitialised) {
        return false;
    }
    MessageSettings& settings = m_context.app.Message();
    TakeAddressLists(settings);
    if (settings.position == kPositionStartingAt) {
        return CheckBox(m_ui->lineEdit, settings.line, kMinLine, kMaxLine, report) &&
               CheckBox(m_ui->columnEdit, settings.column, kMinColumn, kMaxColumn, report);
    }
    return true;
}

void CMessagePage::Generate() {
    const std::string body = m_ui->messageEdit->EncodeBody();
    m_strCommand = BuildCommandString(m_context.app.Message(), body);
    m_ui->commandEdit->setText(QString::fromStdString(Windows1252ToUtf8(m_strCommand)));
    m_ui->commandEdit->setCursorPosition(0);
    ShowFailure(m_context.messages, m_context.app.SaveSettings());
}

void CMessagePage::OnGenerate() {
    if (Validate(true)) {
        Generate();
    }
}

void CMessagePage::OnPreview() {
    m_ui->messageEdit->EncodeBody();
    if (m_pPreview == nullptr) {
        m_pPreview = new CPreviewDlg(*this, m_context.app.Message(), this);
        m_pPreview->show();
    } else {
        m_pPreview->Relayout();
    }
}

void CMessagePage::OnSend() {
    bool sent = false;
    if (Validate(true)) {
        Generate();
        // The bytes generation made, not what a widget shows of them.
        const SendOutcome outcome = m_pSender->Run(m_context.app, m_strCommand);
        ShowLinkError(m_context.messages, outcome);
        sent = outcome.Delivered();
    }
    if (sent) {
        m_context.messages.ShowMessage(kMessageSent, MessageIcon::kInformation,
                                       MessageButtons::kOk);
    } else {
        m_context.messages.ShowMessage(kMessageSentFailed, MessageIcon::kExclamation,
                                       MessageButtons::kOk);
    }
}

void CMessagePage::OnSendToSigns() {
    // The same checks as a single send; each sign's string is built by the plan.
    if (!Validate(true)) {
        return;
    }
    if (m_pSendToSigns == nullptr) {
        m_pSendToSigns = new CSendToSignsDlg(m_context, this);
    }
    m_pSendToSigns->Open(CurrentMessage());
}

void CMessagePage::OnSigns() {
    if (m_pSigns == nullptr) {
        m_pSigns = new CSignsDlg(m_context, this);
    }
    m_pSigns->Open();
}

void CMessagePage::OnHelp() {
    m_context.help.ShowHelp(kHelpMessages);
}

void CMessagePage::OnExit() {
    // The main window's end is the program's end.
    window()->close();
}

void CMessagePage::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    const MessageSettings& settings = m_context.app.Message();
    m_strGroupText = QString::number(settings.groupNumber);
    m_strUnitText = QString::number(settings.unitNumber);
    UpdateAddressDisplay(false);
}

void CMessagePage::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    MessageSettings& settings = m_context.app.Message();
    settings.groupNumber = m_ui->groupList->currentIndex();
    settings.unitNumber = m_ui->unitList->currentIndex();
    // With a greyed-out list that may be another number than the message had.
    if (m_pFiles != nullptr) {
        m_pFiles->CheckModified();
    }
}
