#include "gui/pages/CFieldbusPanel.h"

#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <algorithm>
#include <vector>

#include "gui/services/MessageService.h"
#include "settings/CMarqueeApp.h"
#include "setup/NetworkValidation.h"
#include "ui_CFieldbusPanel.h"

namespace {

// The captions of one type; the hint stays hidden but travels with the type.
struct FieldbusTexts {
    const char* caption;
    const char* station;
    const char* input;
    const char* output;
    std::vector<const char*> rates;
    const char* hint;
};

const FieldbusTexts kDeviceNetTexts = {"DeviceNet",
                                       "MAC ID (0-63)",
                                       "Consumed Bytes (8-120)",
                                       "Produced Bytes",
                                       {"125 kb/s", "250 kb/s", "500 kb/s"},
                                       "Max I/O range 1-256 words"};
const FieldbusTexts kProfibusTexts = {
    "Profibus",
    "Node Address (0-125)",
    "Input Bytes (1-122)",
    "Output Bytes",
    {"Auto"},
    "Max I/O 1-122 words, the sum of Max I/O must be less than or equal to 208 words"};

// Selects entry 1 or 2 for those codes, entry 0 for every other.
int BaudEntryOf(uint8_t code) {
    return code == kBaud250 || code == kBaud500 ? code : kBaud125;
}

}  // namespace

CFieldbusPanel::CFieldbusPanel(const PageContext& context, QWidget* parent)
    : QWidget(parent), m_ui(std::make_unique<Ui::CFieldbusPanel>()), m_context(context) {
    m_ui->setupUi(this);
    NameFields();
    const QRegularExpression digits(QStringLiteral("[0-9]*"));
    m_ui->stationEdit->setValidator(new QRegularExpressionValidator(digits, m_ui->stationEdit));
    m_ui->inputEdit->setValidator(new QRegularExpressionValidator(digits, m_ui->inputEdit));
    // Byte-order flags 0; from now on the buttons keep what the operator chooses.
    m_ui->charOrderRadio->setChecked(true);
    m_ui->highLowRadio->setChecked(true);
}

CFieldbusPanel::~CFieldbusPanel() = default;

void CFieldbusPanel::LoadFromParams(const CNetworkParams& params) {
    const FieldbusTexts& texts =
        params.m_nType == kNetworkDeviceNet ? kDeviceNetTexts : kProfibusTexts;
    m_ui->fieldbusGroup->setTitle(QString::fromLatin1(texts.caption));
    m_ui->fieldbusGroup->setAccessibleName(QString::fromLatin1(texts.caption));
    m_ui->stationLabel->setText(QString::fromLatin1(texts.station));
    m_ui->inputLabel->setText(QString::fromLatin1(texts.input));
    m_ui->outputLabel->setText(QString::fromLatin1(texts.output));
    m_ui->hintLabel->setText(QString::fromLatin1(texts.hint));
    NameFields();

    m_ui->baudList->clear();
    for (const char* rate : texts.rates) {
        m_ui->baudList->addItem(QString::fromLatin1(rate));
    }
    m_ui->baudList->setCurrentIndex(0);

    m_ui->stationEdit->setText(QString::number(params.m_nStationAddress));
    m_ui->inputEdit->setText(QString::number(params.m_nInputSize));
    m_ui->outputEdit->setText(QString::number(params.m_nOutputSize));
    const int entry = BaudEntryOf(params.m_nBaudCode);
    if (entry < m_ui->baudList->count()) {
        m_ui->baudList->setCurrentIndex(entry);
    }
}

void CFieldbusPanel::NameFields() {
    // Screen readers name each field by the label it has now.
    m_ui->stationEdit->setAccessibleName(m_ui->stationLabel->text());
    m_ui->inputEdit->setAccessibleName(m_ui->inputLabel->text());
    m_ui->outputEdit->setAccessibleName(m_ui->outputLabel->text());
}

bool CFieldbusPanel::ValidateAndStore() {
    CMarqueeApp& app = m_context.app;
    CNetworkParams& params = app.NetworkType() == kNetworkDeviceNet
                                 ? app.NetworkParams(kNetworkDeviceNet)
                                 : app.NetworkParams(kNetworkProfibus);
    FieldbusInput input;
    input.stationAddress = m_ui->stationEdit->text().toStdString();
    input.inputSize = m_ui->inputEdit->text().toStdString();
    input.outputSize = m_ui->outputEdit->text().toStdString();
    input.baudIndex = std::max(m_ui->baudList->currentIndex(), 0);
    input.messageSwapped = m_ui->charSwappedRadio->isChecked();
    input.countLowFirst = m_ui->lowHighRadio->isChecked();

    const NetworkCheckResult result = ValidateAndStoreFieldbus(params, input);
    if (result.ok) {
        return true;
    }
    m_context.messages.ShowMessage(result.message, MessageIcon::kStop, MessageButtons::kOk);
    QLineEdit* field =
        result.focus == NetworkField::kInputSize ? m_ui->inputEdit : m_ui->stationEdit;
    field->setFocus(Qt::OtherFocusReason);
    field->selectAll();
    return false;
}
