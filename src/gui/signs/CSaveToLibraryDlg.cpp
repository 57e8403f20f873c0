#include "gui/signs/CSaveToLibraryDlg.h"

#include <QMetaObject>

#include "gui/signs/SignRows.h"
#include "settings/CMarqueeApp.h"
#include "settings/ProfileStore.h"
#include "ui_CSaveToLibraryDlg.h"

namespace {

constexpr const char* kSavingText = "Saving…";

}  // namespace

CSaveToLibraryDlg::CSaveToLibraryDlg(const PageContext& context, QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::CSaveToLibraryDlg>()), m_context(context) {
    m_ui->setupUi(this);
    ConnectSignals();
}

// A request still running ends within the link's timeouts; its answer then finds no dialog.
CSaveToLibraryDlg::~CSaveToLibraryDlg() {
    if (m_worker.joinable()) {
        m_worker.join();
    }
}

void CSaveToLibraryDlg::ConnectSignals() {
    connect(m_ui->saveButton, &QPushButton::clicked, this, &CSaveToLibraryDlg::OnSave);
    connect(m_ui->closeButton, &QPushButton::clicked, this, &CSaveToLibraryDlg::reject);
    connect(m_ui->nameEdit, &QLineEdit::textChanged, this, &CSaveToLibraryDlg::UpdateButtons);
    connect(m_ui->gatewayEdit, &QLineEdit::textChanged, this, &CSaveToLibraryDlg::UpdateButtons);
}

void CSaveToLibraryDlg::Open(const MessageDocument& message) {
    m_message = message;
    if (!Saving()) {
        const QString kept =
            m_context.app.Profile().GetProfileString(kLibraryProfileGroup, kLibraryGatewayKey);
        m_ui->gatewayEdit->setText(kept.isEmpty() ? QString(kDefaultLibraryGateway) : kept);
        m_ui->statusLabel->clear();
    }
    UpdateButtons();
    show();
    raise();
    activateWindow();
}

void CSaveToLibraryDlg::OnSave() {
    if (Saving()) {
        return;
    }
    LibraryEntry entry{m_ui->nameEdit->text().trimmed().toStdString(), std::nullopt, m_message};
    if (m_ui->numberBox->value() > 0) {
        entry.number = m_ui->numberBox->value();
    }
    const QString url = m_ui->gatewayEdit->text().trimmed();
    IProfileStore& profile = m_context.app.Profile();
    profile.WriteProfileString(kLibraryProfileGroup, kLibraryGatewayKey, url);
    profile.Sync();
    GatewayAccess access{url.toStdString(), m_ui->tokenEdit->text().toStdString()};
    m_ui->statusLabel->setText(QString::fromUtf8(kSavingText));
    m_worker = std::thread([this, access = std::move(access), entry = std::move(entry)] {
        std::optional<GatewayFailure> failure = CGatewayLibrary(access).Put(entry);
        QMetaObject::invokeMethod(
            this, [this, name = entry.name, failure] { ShowOutcome(name, failure); },
            Qt::QueuedConnection);
    });
    UpdateButtons();
}

void CSaveToLibraryDlg::ShowOutcome(const std::string& name,
                                    const std::optional<GatewayFailure>& failure) {
    m_worker.join();
    m_ui->statusLabel->setText(failure ? Utf8Text(failure->text)
                                       : "Saved \"" + Utf8Text(name) + "\" to the library.");
    UpdateButtons();
}

void CSaveToLibraryDlg::UpdateButtons() {
    const bool filled = !m_ui->nameEdit->text().trimmed().isEmpty() &&
                        !m_ui->gatewayEdit->text().trimmed().isEmpty();
    m_ui->saveButton->setEnabled(filled && !Saving());
    const std::initializer_list<QWidget*> fields = {m_ui->nameEdit, m_ui->numberBox,
                                                    m_ui->gatewayEdit, m_ui->tokenEdit};
    for (QWidget* field : fields) {
        field->setEnabled(!Saving());
    }
}
