#include "gui/window/CMarqueeDlg.h"

#include <QApplication>
#include <QDropEvent>
#include <QFileInfo>
#include <QFont>
#include <QKeySequence>
#include <QMimeData>
#include <QShortcut>
#include <QTimer>
#include <QUrl>

#include "gui/pages/CMessageFiles.h"
#include "gui/pages/CMessagePage.h"
#include "gui/services/HelpService.h"
#include "gui/services/MessageService.h"
#include "gui/services/ProgramIcon.h"
#include "gui/window/CAboutDlg.h"
#include "gui/window/CPageTabCtrl.h"
#include "ui_CMarqueeDlg.h"

namespace {

// The first message file among the dropped ones: a local file ending in ".json".
QString DroppedMessageFile(const QMimeData* data) {
    if (data == nullptr) {
        return {};
    }
    for (const QUrl& url : data->urls()) {
        if (url.isLocalFile() &&
            url.fileName().endsWith(QLatin1String(".json"), Qt::CaseInsensitive)) {
            return url.toLocalFile();
        }
    }
    return {};
}

}  // namespace

CMarqueeDlg::CMarqueeDlg(const PageContext& context, QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::CMarqueeDlg>()), m_context(context) {
    // The window's texts are Latin, which look the same unshaped (a script that needs shaping
    // still gets it): shaping every label, list entry and button was a fifth of the work before
    // the window first shows. Only the strategy is set, so the desktop's font still applies.
    QFont unshaped;
    unshaped.setStyleStrategy(QFont::PreferNoShaping);
    setFont(unshaped);
    m_ui->setupUi(this);
    setWindowFlag(Qt::WindowMinimizeButtonHint);
    // "About" sits at the right end of the row of tabs, where the tabs leave room.
    m_ui->pageTabs->setCornerWidget(m_ui->aboutButton, Qt::TopRightCorner);
    m_ui->pageTabs->InitPages(m_context);
    ConnectSignals();
    UpdateTitle();
    // Every widget of the window, text boxes included, passes a dropped message file on here.
    setAcceptDrops(true);
    qApp->installEventFilter(this);
}

// The pages outlive this part of the window and are hidden as they go; the title is no longer
// there to follow them.
CMarqueeDlg::~CMarqueeDlg() {
    qApp->removeEventFilter(this);
    disconnect(&MessagePage().MessageFiles(), nullptr, this, nullptr);
}

CPageTabCtrl& CMarqueeDlg::PageTabs() {
    return *m_ui->pageTabs;
}

CMessagePage& CMarqueeDlg::MessagePage() {
    return *static_cast<CMessagePage*>(m_ui->pageTabs->Page(CPageTabCtrl::kMessagesPage));
}

bool CMarqueeDlg::OpenMessageFile(const QString& path) {
    if (!MessagePage().MessageFiles().OpenFile(path)) {
        return false;
    }
    m_ui->pageTabs->ShowPage(CPageTabCtrl::kMessagesPage);
    return true;
}

void CMarqueeDlg::UpdateTitle() {
    const CMessageFiles& files = MessagePage().MessageFiles();
    QString title = QString::fromLatin1(kApplicationTitle);
    // Without a file the title stays the program's name alone.
    if (!files.FilePath().isEmpty()) {
        title += QStringLiteral(" - ") + QFileInfo(files.FilePath()).fileName();
        if (files.IsModified()) {
            title += QLatin1Char('*');
        }
    }
    setWindowTitle(title);
}

void CMarqueeDlg::paintEvent(QPaintEvent* event) {
    QDialog::paintEvent(event);
    if (m_bIconPending) {
        // Decoding the icon's 256-pixel image was a twentieth of the work before the window first
        // showed; it waits until the window has been drawn. Every window of the program takes it.
        m_bIconPending = false;
        QTimer::singleShot(0, this, [] { QApplication::setWindowIcon(ProgramIcon()); });
    }
}

bool CMarqueeDlg::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::Drop) {
        return false;
    }
    auto* widget = qobject_cast<QWidget*>(watched);
    auto* drop = static_cast<QDropEvent*>(event);
    const QString path = DroppedMessageFile(drop->mimeData());
    if (widget == nullptr || widget->window() != this || path.isEmpty()) {
        return false;
    }
    drop->acceptProposedAction();
    if (type == QEvent::Drop) {
        // The boxes of opening wait until the desktop has finished the drop.
        QMetaObject::invokeMethod(
            this, [this, path] { OpenMessageFile(path); }, Qt::QueuedConnection);
    }
    return true;
}

void CMarqueeDlg::ConnectSignals() {
    connect(m_ui->aboutButton, &QPushButton::clicked, this, &CMarqueeDlg::OnAbout);
    connect(&MessagePage().MessageFiles(), &CMessageFiles::StateChanged, this,
            &CMarqueeDlg::UpdateTitle);
    auto* helpKey = new QShortcut(QKeySequence::HelpContents, this);
    helpKey->setContext(Qt::WindowShortcut);
    connect(helpKey, &QShortcut::activated, this, &CMarqueeDlg::OnHelpKey);
}

void CMarqueeDlg::reject() {
    // The close box, Escape and "Exit" all end here.
    if (MessagePage().MessageFiles().MayClose()) {
        QDialog::reject();
    }
}

void CMarqueeDlg::done(int result) {
    m_ui->pageTabs->EndPages();
    QDialog::done(result);
}

void CMarqueeDlg::OnHelpKey() {
    m_context.help.ShowHelp(m_ui->pageTabs->ShownHelpContext());
}

void CMarqueeDlg::OnAbout() {
    CAboutDlg about(this);
    about.exec();
}
