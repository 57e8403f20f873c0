#include "gui/pages/CMessageFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMenu>

#include "gui/editor/CFormattedEdit.h"
#include "gui/pages/CMessagePage.h"
#include "gui/services/MessageService.h"
#include "settings/CMarqueeApp.h"

namespace {

constexpr const char* kDiscardChanges = "Discard the changes to the current message?";
constexpr const char* kSaveNewBeforeClosing = "Save this message before closing?";
constexpr const char* kOpenCaption = "Open Message";
constexpr const char* kSaveCaption = "Save Message As";
constexpr const char* kMessageFilter = "Messages (*.json);;All files (*)";
constexpr const char* kMessageSuffix = "json";
constexpr const char* kNoRecentFiles = "No recent messages";

// A menu entry shows its text as it is: a single "&" would underline the next letter.
QString MenuText(int number, const QString& path) {
    QString shown = QDir::toNativeSeparators(path);
    shown.replace(QLatin1Char('&'), QStringLiteral("&&"));
    return QStringLiteral("&%1 %2").arg(number).arg(shown);
}

}  // namespace

CMessageFiles::CMessageFiles(CMessagePage& page, const PageContext& context)
    : QObject(&page),
      m_page(page),
      m_context(context),
      m_recent(context.app.Profile()),
      m_kept(page.CurrentMessage()) {}

CMessageFiles::~CMessageFiles() = default;

IFileDialogService& CMessageFiles::Dialogs() {
    if (m_context.files != nullptr) {
        return *m_context.files;
    }
    if (!m_pDesktopDialogs) {
        m_pDesktopDialogs = std::make_unique<CFileDialogService>();
    }
    return *m_pDesktopDialogs;
}

FileDialogRequest CMessageFiles::Request(const char* caption, const QString& start) const {
    QString from = start;
    if (from.isEmpty()) {
        from = m_recent.Folder();
    }
    if (from.isEmpty()) {
        from = QDir::homePath();
    }
    return FileDialogRequest{QString::fromUtf8(caption), from, QString::fromUtf8(kMessageFilter),
                             QString::fromUtf8(kMessageSuffix)};
}

bool CMessageFiles::MayDiscardChanges() {
    return !m_bModified || AskYesNo(m_context.messages, kDiscardChanges);
}

bool CMessageFiles::MayClose() {
    CheckModified();
    if (!m_bModified) {
        return true;
    }
    const std::string question = m_strPath.isEmpty()
                                     ? std::string(kSaveNewBeforeClosing)
                                     : "Save the changes to " +
                                           QFileInfo(m_strPath).fileName().toStdString() +
                                           " before closing?";
    switch (m_context.messages.ShowMessage(question, MessageIcon::kQuestion,
                                           MessageButtons::kSaveDiscardCancel)) {
        case MessageAnswer::kSave:
            return Save();
        case MessageAnswer::kDiscard:
            return true;
        default:
            return false;
    }
}

void CMessageFiles::Open() {
    if (!MayDiscardChanges()) {
        return;
    }
    const QString path = Dialogs().ChooseFileToOpen(&m_page, Request(kOpenCaption, {}));
    if (!path.isEmpty()) {
        Load(path);
    }
}

bool CMessageFiles::OpenFile(const QString& path) {
    return MayDiscardChanges() && Load(path);
}

bool CMessageFiles::Load(const QString& path) {
    const QString absolutePath = QFileInfo(path).absoluteFilePath();
    MessageDocument message;
    try {
        message = ReadMessageFile(QFile::encodeName(absolutePath).toStdString());
    } catch (const CMessageFileError& error) {
        m_context.messages.ShowMessage(error.what(), MessageIcon::kExclamation,
                                       MessageButtons::kOk);
        return false;
    }
    // The page's own updates show the message; they are no edits of the operator's.
    m_bTaking = true;
    m_page.TakeMessage(message);
    m_bTaking = false;
    Keep(absolutePath);
    return true;
}

bool CMessageFiles::Save() {
    return m_strPath.isEmpty() ? SaveAs() : SaveTo(m_strPath);
}

bool CMessageFiles::SaveAs() {
    const QString path = Dialogs().ChooseFileToSave(&m_page, Request(kSaveCaption, m_strPath));
    return !path.isEmpty() && SaveTo(path);
}

bool CMessageFiles::SaveTo(const QString& path) {
    const QString absolutePath = QFileInfo(path).absoluteFilePath();
    try {
        WriteMessageFile(absolutePath, m_page.CurrentMessage());
    } catch (const CMessageFileError& error) {
        m_context.messages.ShowMessage(error.what(), MessageIcon::kExclamation,
                                       MessageButtons::kOk);
        return false;
    }
    Keep(absolutePath);
    return true;
}

void CMessageFiles::Keep(const QString& absolutePath) {
    m_strPath = absolutePath;
    m_kept = m_page.CurrentMessage();
    m_bModified = false;
    m_recent.Remember(absolutePath);
    emit StateChanged();
}

void CMessageFiles::CheckModified() {
    if (m_bTaking) {
        return;
    }
    // Without copying the message: every keystroke asks.
    const bool modified =
        !(m_page.CurrentSettings() == m_kept.settings && m_page.Editor().SameLines(m_kept.lines));
    if (modified != m_bModified) {
        m_bModified = modified;
        emit StateChanged();
    }
}

void CMessageFiles::FillRecentMenu(QMenu* menu) {
    menu->clear();
    const QStringList files = m_recent.Files();
    if (files.isEmpty()) {
        menu->addAction(QString::fromUtf8(kNoRecentFiles))->setEnabled(false);
        return;
    }
    for (int i = 0; i < files.size(); ++i) {
        const QString path = files[i];
        QAction* action = menu->addAction(MenuText(i + 1, path));
        connect(action, &QAction::triggered, this, [this, path] { OpenFile(path); });
    }
}
