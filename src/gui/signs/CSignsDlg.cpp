#include "gui/signs/CSignsDlg.h"

#include <QKeySequence>
#include <QLineEdit>
#include <QMetaObject>
#include <QShortcut>
#include <QSignalBlocker>
#include <QTreeWidgetItem>

#include "fleet/SignCheck.h"
#include "fleet/SignEndpoint.h"
#include "fleet/SignReport.h"
#include "gui/pages/PortList.h"
#include "gui/services/HelpService.h"
#include "gui/services/MessageService.h"
#include "gui/signs/SignRows.h"
#include "preview/SignModel.h"
#include "settings/CMarqueeApp.h"
#include "settings/ProfileStore.h"
#include "transport/CCancelToken.h"
#include "ui_CSignsDlg.h"

namespace {

enum Column { kNameColumn, kLinkColumn, kAddressColumn, kModelColumn, kTagsColumn };

constexpr int32_t kBaudRates[] = {kBaud9600, kBaud38400};
constexpr const char* kNoSignChosen = "Choose a sign in the list first.";

QStringList SplitTags(const QString& text) {
    QStringList tags;
    for (const QString& tag : text.split(QLatin1Char(','))) {
        if (!tag.trimmed().isEmpty()) {
            tags.append(tag.trimmed());
        }
    }
    return tags;
}

}  // namespace

CSignsDlg::CSignsDlg(const PageContext& context, QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::CSignsDlg>()), m_context(context) {
    m_ui->setupUi(this);
    m_ui->ipCtrl->SetAccessibleName(QStringLiteral("IP Address"));
    m_ui->gatewayList->lineEdit()->setPlaceholderText(tr("none: every gateway drives it"));
    m_ui->gatewayList->lineEdit()->setMaxLength(static_cast<int>(kMaxSignNameLength));
    FillLists();
    ConnectSignals();
}

CSignsDlg::~CSignsDlg() {
    StopCheck();
}

void CSignsDlg::FillLists() {
    // The serial entries name the device each "ComN" stands for here, as the PC page's Device
    // row maps it.
    FillPortList(*m_ui->linkList);
    for (int n = 1; n <= kPortEthernet; ++n) {
        const std::string device = SerialDevicePath(m_context.app.Profile(), n);
        m_ui->linkList->setItemText(n - 1,
                                    QStringLiteral("Com%1 (%2)").arg(n).arg(Utf8Text(device)));
    }
    for (int32_t rate : kBaudRates) {
        m_ui->baudList->addItem(QString::number(rate), rate);
    }
    for (std::string_view name : kAddressModeNames) {
        m_ui->addressList->addItem(
            QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())));
    }
    for (std::string_view name : kSignModelNames) {
        m_ui->modelList->addItem(
            QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())));
    }
    ShowSign(NamedSign{});
}

void CSignsDlg::ConnectSignals() {
    connect(m_ui->signList, &QTreeWidget::itemSelectionChanged, this,
            &CSignsDlg::OnSelectionChanged);
    connect(m_ui->linkList, &QComboBox::currentIndexChanged, this, &CSignsDlg::UpdateLinkFields);
    connect(m_ui->addressList, &QComboBox::currentIndexChanged, this,
            &CSignsDlg::UpdateAddressFields);
    connect(m_ui->addButton, &QPushButton::clicked, this, &CSignsDlg::OnAdd);
    connect(m_ui->changeButton, &QPushButton::clicked, this, &CSignsDlg::OnChange);
    connect(m_ui->removeButton, &QPushButton::clicked, this, &CSignsDlg::OnRemove);
    connect(m_ui->checkButton, &QPushButton::clicked, this, &CSignsDlg::OnCheck);
    connect(m_ui->helpButton, &QPushButton::clicked, this, &CSignsDlg::OnHelp);
    connect(m_ui->closeButton, &QPushButton::clicked, this, &CSignsDlg::accept);
    auto* helpKey = new QShortcut(QKeySequence::HelpContents, this);
    connect(helpKey, &QShortcut::activated, this, &CSignsDlg::OnHelp);
}

void CSignsDlg::Open() {
    m_file = CSignsFile();
    m_bReadable = LoadSignsReporting(m_file, m_context.messages);
    m_ui->fileLabel->setText(m_bReadable ? m_file.Path()
                                         : tr("%1 cannot be read; nothing is changed until it is "
                                              "mended.")
                                               .arg(m_file.Path()));
    ShowSigns();
    show();
    raise();
    activateWindow();
}

void CSignsDlg::ShowSigns() {
    const QSignalBlocker quiet(m_ui->signList);
    m_ui->signList->clear();
    for (const NamedSign& sign : m_file.All()) {
        auto* row = new QTreeWidgetItem(m_ui->signList);
        row->setText(kNameColumn, Utf8Text(sign.name));
        row->setText(kLinkColumn, Utf8Text(SignLinkDescription(sign)));
        row->setText(kAddressColumn, Utf8Text(SignAddressDescription(sign)));
        row->setText(kModelColumn, QString::number(sign.signModel));
        row->setText(kTagsColumn, TagsText(sign));
    }
    ShowGateways();
    UpdateButtons();
}

void CSignsDlg::ShowGateways() {
    const QString typed = m_ui->gatewayList->currentText();
    m_ui->gatewayList->clear();
    m_ui->gatewayList->addItem(QString());
    for (const std::string& gateway : NamedGateways(m_file.All())) {
        m_ui->gatewayList->addItem(Utf8Text(gateway));
    }
    m_ui->gatewayList->setCurrentText(typed);
}

void CSignsDlg::ShowSign(const NamedSign& sign) {
    m_ui->nameEdit->setText(Utf8Text(sign.name));
    SelectPort(*m_ui->linkList, sign.comPort);
    m_ui->baudList->setCurrentIndex(m_ui->baudList->findData(sign.baudRate));
    // A serial sign has no address: the fields are left empty to be typed into.
    if (sign.OverTcp()) {
        m_ui->ipCtrl->SetOctets(sign.ipAddress);
    } else {
        m_ui->ipCtrl->ClearAddress();
    }
    m_ui->tcpPortSpin->setValue(sign.tcpPort);
    m_ui->addressList->setCurrentIndex(sign.address);
    m_ui->groupSpin->setValue(sign.groupNumber);
    m_ui->unitSpin->setValue(sign.unitNumber);
    m_ui->modelList->setCurrentIndex(sign.signModel);
    m_ui->tagsEdit->setText(TagsText(sign));
    m_ui->gatewayList->setCurrentText(sign.gateway ? Utf8Text(*sign.gateway) : QString());
    UpdateLinkFields();
    UpdateAddressFields();
}

NamedSign CSignsDlg::FormSign() const {
    NamedSign sign;
    sign.name = m_ui->nameEdit->text().trimmed().toStdString();
    // Only the fields of the link chosen: the others keep their defaults, as the file does.
    sign.comPort = std::max(0, m_ui->linkList->currentIndex());
    if (sign.OverTcp()) {
        sign.ipAddress = m_ui->ipCtrl->GetOctets();
        sign.tcpPort = static_cast<uint16_t>(m_ui->tcpPortSpin->value());
    } else {
        sign.baudRate = m_ui->baudList->currentData().toInt();
    }
    sign.address = std::max(0, m_ui->addressList->currentIndex());
    sign.groupNumber = m_ui->groupSpin->value();
    sign.unitNumber = m_ui->unitSpin->value();
    sign.signModel = std::max(0, m_ui->modelList->currentIndex());
    for (const QString& tag : SplitTags(m_ui->tagsEdit->text())) {
        sign.tags.push_back(tag.toStdString());
    }
    // Empty is none: every gateway drives the sign.
    const QString gateway = m_ui->gatewayList->currentText().trimmed();
    if (!gateway.isEmpty()) {
        sign.gateway = gateway.toStdString();
    }
    return sign;
}

void CSignsDlg::UpdateLinkFields() {
    const bool overTcp = m_ui->linkList->currentIndex() == kPortEthernet;
    m_ui->baudList->setEnabled(!overTcp);
    m_ui->ipCtrl->setEnabled(overTcp);
    m_ui->tcpPortSpin->setEnabled(overTcp);
}

void CSignsDlg::UpdateAddressFields() {
    const int address = m_ui->addressList->currentIndex();
    m_ui->groupSpin->setEnabled(address == kAddressSpecificGroup ||
                                address == kAddressSpecificUnit);
    m_ui->unitSpin->setEnabled(address == kAddressSpecificUnit);
}

void CSignsDlg::UpdateButtons() {
    const bool chosen = !m_ui->signList->selectedItems().isEmpty();
    m_ui->addButton->setEnabled(m_bReadable);
    m_ui->changeButton->setEnabled(m_bReadable && chosen);
    m_ui->removeButton->setEnabled(m_bReadable && chosen);
    m_ui->checkButton->setEnabled(!m_file.All().empty() && !m_checkThread.joinable());
}

template <typename Change>
bool CSignsDlg::Apply(Change change) {
    // The list on disk is the one changed, so that no edit made elsewhere meanwhile is lost.
    CSignsFile file;
    try {
        file.Load();
        change(file);
        file.Save();
    } catch (const CSignsFileError& error) {
        m_context.messages.ShowMessage(error.what(), MessageIcon::kExclamation,
                                       MessageButtons::kOk);
        return false;
    }
    m_file = std::move(file);
    ShowSigns();
    return true;
}

void CSignsDlg::OnSelectionChanged() {
    const QList<QTreeWidgetItem*> selected = m_ui->signList->selectedItems();
    if (!selected.isEmpty()) {
        const size_t i = static_cast<size_t>(m_ui->signList->indexOfTopLevelItem(selected[0]));
        ShowSign(m_file.All().at(i));
    }
    UpdateButtons();
}

void CSignsDlg::OnAdd() {
    const NamedSign sign = FormSign();
    Apply([&](CSignsFile& file) { file.Add(sign); });
}

void CSignsDlg::OnChange() {
    const QList<QTreeWidgetItem*> selected = m_ui->signList->selectedItems();
    if (selected.isEmpty()) {
        m_context.messages.ShowMessage(kNoSignChosen, MessageIcon::kExclamation,
                                       MessageButtons::kOk);
        return;
    }
    const std::string name = selected[0]->text(kNameColumn).toStdString();
    const NamedSign sign = FormSign();
    Apply([&](CSignsFile& file) { file.Replace(name, sign); });
}

void CSignsDlg::OnRemove() {
    const QList<QTreeWidgetItem*> selected = m_ui->signList->selectedItems();
    if (selected.isEmpty()) {
        return;
    }
    const std::string name = selected[0]->text(kNameColumn).toStdString();
    Apply([&](CSignsFile& file) { file.Remove(name); });
}

void CSignsDlg::OnCheck() {
    StopCheck();
    m_ui->checkOutput->clear();
    m_checkCancel = std::make_unique<CCancelToken>();
    // The profile is read here, on the UI thread, never by the checks.
    const std::vector<NamedSign> signs = m_file.All();
    std::vector<std::string> devices;
    for (int n = 1; n <= kPortEthernet; ++n) {
        devices.push_back(SerialDevicePath(m_context.app.Profile(), n));
    }
    const ComDeviceResolver resolve = [devices](int comNumber) {
        return devices.at(static_cast<size_t>(comNumber - 1));
    };
    m_checkThread = std::thread([this, signs, resolve, cancel = m_checkCancel.get()] {
        CheckSigns(signs, resolve, cancel, [this](const SignCheckResult& result) {
            QMetaObject::invokeMethod(
                this, [this, result] { ShowCheck(result); }, Qt::QueuedConnection);
        });
        QMetaObject::invokeMethod(this, &CSignsDlg::OnCheckFinished, Qt::QueuedConnection);
    });
    UpdateButtons();
}

void CSignsDlg::ShowCheck(const SignCheckResult& result) {
    m_ui->checkOutput->appendPlainText(Utf8Text(SignCheckLine(result)));
}

void CSignsDlg::OnCheckFinished() {
    StopCheck();
    UpdateButtons();
}

void CSignsDlg::StopCheck() {
    if (m_checkCancel != nullptr) {
        m_checkCancel->Cancel();
    }
    if (m_checkThread.joinable()) {
        m_checkThread.join();
    }
}

void CSignsDlg::OnHelp() {
    m_context.help.ShowHelp(kHelpSigns);
}
