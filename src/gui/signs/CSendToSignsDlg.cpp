#include "gui/signs/CSendToSignsDlg.h"

#include <QKeySequence>
#include <QMetaObject>
#include <QShortcut>
#include <QSignalBlocker>
#include <QTreeWidgetItem>

#include "fleet/CSendPlan.h"
#include "fleet/SignEndpoint.h"
#include "fleet/SignReport.h"
#include "gui/services/HelpService.h"
#include "gui/services/MessageService.h"
#include "gui/signs/CSaveToLibraryDlg.h"
#include "gui/signs/CSignsDlg.h"
#include "gui/signs/SignRows.h"
#include "settings/CMarqueeApp.h"
#include "ui_CSendToSignsDlg.h"

namespace {

enum Column { kNameColumn, kLinkColumn, kTagsColumn, kResultColumn };

constexpr const char* kAllTags = "All signs";
constexpr const char* kNoneChecked = "Check the signs that are to get the message.";
constexpr const char* kSending = "sending…";

std::string LowerName(const std::string& name) {
    return QString::fromStdString(name).toLower().toStdString();
}

}  // namespace

CSendToSignsDlg::CSendToSignsDlg(const PageContext& context, QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::CSendToSignsDlg>()), m_context(context) {
    m_ui->setupUi(this);
    ConnectSignals();
}

// The plan ends its sends before the rows they report to go.
CSendToSignsDlg::~CSendToSignsDlg() {
    m_plan.reset();
}

void CSendToSignsDlg::ConnectSignals() {
    connect(m_ui->tagList, &QComboBox::currentIndexChanged, this, &CSendToSignsDlg::OnTagChosen);
    connect(m_ui->signList, &QTreeWidget::itemChanged, this, &CSendToSignsDlg::OnItemChanged);
    connect(m_ui->sendButton, &QPushButton::clicked, this, &CSendToSignsDlg::OnSend);
    connect(m_ui->stopButton, &QPushButton::clicked, this, &CSendToSignsDlg::OnStop);
    connect(m_ui->signsButton, &QPushButton::clicked, this, &CSendToSignsDlg::OnEditSigns);
    connect(m_ui->saveLibraryButton, &QPushButton::clicked, this,
            &CSendToSignsDlg::OnSaveToLibrary);
    connect(m_ui->helpButton, &QPushButton::clicked, this, &CSendToSignsDlg::OnHelp);
    connect(m_ui->closeButton, &QPushButton::clicked, this, &CSendToSignsDlg::reject);
    auto* helpKey = new QShortcut(QKeySequence::HelpContents, this);
    connect(helpKey, &QShortcut::activated, this, &CSendToSignsDlg::OnHelp);
}

void CSendToSignsDlg::Open(const MessageDocument& message) {
    m_message = message;
    if (!Sending()) {
        LoadSigns();
    }
    show();
    raise();
    activateWindow();
}

void CSendToSignsDlg::LoadSigns() {
    CSignsFile file;
    LoadSignsReporting(file, m_context.messages);
    m_signs = file.All();
    const QSignalBlocker quiet(m_ui->signList);
    m_ui->signList->clear();
    for (const NamedSign& sign : m_signs) {
        auto* row = new QTreeWidgetItem(m_ui->signList);
        row->setText(kNameColumn, Utf8Text(sign.name));
        row->setText(kLinkColumn, Utf8Text(SignLinkDescription(sign)));
        row->setText(kTagsColumn, TagsText(sign));
        row->setFlags(row->flags() | Qt::ItemIsUserCheckable);
        row->setCheckState(
            kNameColumn, m_checked.count(LowerName(sign.name)) != 0 ? Qt::Checked : Qt::Unchecked);
    }
    m_ui->summaryLabel->clear();
    FillTagFilter();
    UpdateButtons();
}

void CSendToSignsDlg::FillTagFilter() {
    const QString shown = m_ui->tagList->currentIndex() > 0 ? m_ui->tagList->currentText() : "";
    QStringList tags;
    for (const NamedSign& sign : m_signs) {
        for (const std::string& tag : sign.tags) {
            if (!tags.contains(Utf8Text(tag), Qt::CaseInsensitive)) {
                tags.append(Utf8Text(tag));
            }
        }
    }
    tags.sort(Qt::CaseInsensitive);
    {
        const QSignalBlocker quiet(m_ui->tagList);
        m_ui->tagList->clear();
        m_ui->tagList->addItem(QString::fromUtf8(kAllTags));
        m_ui->tagList->addItems(tags);
        const int found = m_ui->tagList->findText(shown);
        m_ui->tagList->setCurrentIndex(found > 0 ? found : 0);
    }
    OnTagChosen(m_ui->tagList->currentIndex());
}

void CSendToSignsDlg::OnTagChosen(int index) {
    const std::string tag = index > 0 ? m_ui->tagList->currentText().toStdString() : "";
    for (size_t i = 0; i < m_signs.size(); ++i) {
        bool shown = tag.empty();
        for (const std::string& own : m_signs[i].tags) {
            shown = shown || SameSignName(own, tag);
        }
        m_ui->signList->topLevelItem(static_cast<int>(i))->setHidden(!shown);
    }
    UpdateButtons();
}

void CSendToSignsDlg::OnItemChanged(QTreeWidgetItem* item, int column) {
    if (column != kNameColumn) {
        return;
    }
    const size_t i = static_cast<size_t>(m_ui->signList->indexOfTopLevelItem(item));
    const std::string name = LowerName(m_signs.at(i).name);
    if (item->checkState(kNameColumn) == Qt::Checked) {
        m_checked.insert(name);
    } else {
        m_checked.erase(name);
    }
    UpdateButtons();
}

void CSendToSignsDlg::OnSend() {
    // The checked signs the filter shows: a filter narrows what is sent to.
    std::vector<NamedSign> chosen;
    m_planRows.clear();
    for (size_t i = 0; i < m_signs.size(); ++i) {
        QTreeWidgetItem* row = m_ui->signList->topLevelItem(static_cast<int>(i));
        row->setText(kResultColumn, QString());
        if (!row->isHidden() && row->checkState(kNameColumn) == Qt::Checked) {
            chosen.push_back(m_signs[i]);
            m_planRows.push_back(row);
            row->setText(kResultColumn, QString::fromUtf8(kSending));
        }
    }
    if (chosen.empty()) {
        m_context.messages.ShowMessage(kNoneChecked, MessageIcon::kExclamation,
                                       MessageButtons::kOk);
        return;
    }
    m_nResults = 0;
    m_ui->summaryLabel->clear();
    m_plan = std::make_unique<CSendPlan>(
        SignSendsForMessage(chosen, m_message, ProfileDevices(m_context.app.Profile())));
    UpdateButtons();
    // The callback runs on the plan's threads; the rows are the UI thread's.
    m_plan->Start([this](const SignSendResult& result) {
        QMetaObject::invokeMethod(
            this, [this, result] { ShowResult(result); }, Qt::QueuedConnection);
    });
}

void CSendToSignsDlg::ShowResult(const SignSendResult& result) {
    if (m_plan == nullptr || result.index >= m_planRows.size()) {
        return;
    }
    m_planRows[result.index]->setText(kResultColumn, Utf8Text(SignSendState(result)));
    if (++m_nResults == m_planRows.size()) {
        Finish();
    }
}

void CSendToSignsDlg::Finish() {
    const std::vector<SignSendResult> results = m_plan->Wait();
    m_plan.reset();
    m_ui->summaryLabel->setText(Utf8Text(SignSendSummary(results)));
    UpdateButtons();
}

void CSendToSignsDlg::OnStop() {
    if (m_plan != nullptr) {
        m_plan->Cancel();
    }
}

void CSendToSignsDlg::reject() {
    // Closing the window stops what it started.
    OnStop();
    QDialog::reject();
}

void CSendToSignsDlg::OnEditSigns() {
    if (m_pEditor == nullptr) {
        m_pEditor = new CSignsDlg(m_context, this);
        connect(m_pEditor, &QDialog::finished, this, [this] {
            if (!Sending()) {
                LoadSigns();
            }
        });
    }
    m_pEditor->Open();
}

void CSendToSignsDlg::OnSaveToLibrary() {
    if (m_pLibrary == nullptr) {
        m_pLibrary = new CSaveToLibraryDlg(m_context, this);
    }
    m_pLibrary->Open(m_message);
}

void CSendToSignsDlg::OnHelp() {
    m_context.help.ShowHelp(kHelpSendToSigns);
}

void CSendToSignsDlg::UpdateButtons() {
    m_ui->sendButton->setEnabled(!Sending() && !m_signs.empty());
    m_ui->stopButton->setEnabled(Sending());
    m_ui->tagList->setEnabled(!Sending());
    m_ui->signsButton->setEnabled(!Sending());
}
