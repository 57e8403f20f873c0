#include "gui/services/HelpWindowService.h"

#include <QApplication>
#include <QFileInfo>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

namespace {

constexpr int kHelpWindowWidth = 640;
constexpr int kHelpWindowHeight = 560;

}  // namespace

QString HelpAnchor(uint32_t contextNumber) {
    return QStringLiteral("ctx-%1").arg(contextNumber);
}

CHelpWindowService::CHelpWindowService(QString helpFile) : m_strHelpFile(std::move(helpFile)) {}

CHelpWindowService::~CHelpWindowService() {
    delete m_window;
}

void CHelpWindowService::MakeWindow() {
    // A window that belongs to the running modal main window; any other would be blocked by it.
    m_window = new QWidget(QApplication::activeModalWidget(), Qt::Window);
    m_window->setWindowTitle(QStringLiteral("Lumivex Help"));
    m_window->setAccessibleName(m_window->windowTitle());
    m_window->resize(kHelpWindowWidth, kHelpWindowHeight);
    m_browser = new QTextBrowser(m_window);
    m_browser->setAccessibleName(QStringLiteral("Help text"));
    m_browser->setOpenExternalLinks(true);
    auto* layout = new QVBoxLayout(m_window);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_browser);
}

void CHelpWindowService::ShowHelp(uint32_t contextNumber) {
    if (m_window == nullptr) {
        MakeWindow();
    }
    if (!m_strHelpFile.isEmpty() && QFileInfo(m_strHelpFile).isFile()) {
        QUrl topic = QUrl::fromLocalFile(m_strHelpFile);
        topic.setFragment(HelpAnchor(contextNumber));
        m_browser->setSource(topic);
    } else {
        m_browser->setPlainText(
            QStringLiteral("The help file of Lumivex was not found. It belongs in the folder "
                           "help/ beside the program, or in share/lumivex/help/ of the folder "
                           "the program is installed in.\n\nLooked for: %1")
                .arg(m_strHelpFile.isEmpty() ? QStringLiteral("(nothing found)") : m_strHelpFile));
    }
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
}
