#include "gui/window/CPageTabCtrl.h"

#include <QKeySequence>
#include <QShortcut>
#include <QTabBar>

#include "gui/pages/CMessagePage.h"
#include "gui/pages/CNetworkSetupPage.h"
#include "gui/pages/CPcSetupPage.h"
#include "gui/services/HelpService.h"
#include "settings/CMarqueeApp.h"

namespace {

constexpr std::array<const char*, CPageTabCtrl::kPageCount> kPageCaptions = {
    "Messages", "PC Communication Setup", "Marquee Communication Setup"};
constexpr std::array<uint32_t, CPageTabCtrl::kPageCount> kPageHelp = {
    kHelpMessages, kHelpPcCommunication, kHelpMarqueeCommunication};

// Puts the focus on the first control of a page that takes it from the Tab key, or on the page
// itself when it has none, so typing goes to the page just shown.
void FocusInto(QWidget* page) {
    for (QWidget* widget = page->nextInFocusChain(); widget != page;
         widget = widget->nextInFocusChain()) {
        if (page->isAncestorOf(widget) && widget->isEnabled() && widget->isVisibleTo(page) &&
            (widget->focusPolicy() & Qt::TabFocus) != 0) {
            widget->setFocus(Qt::TabFocusReason);
            return;
        }
    }
    page->setFocus(Qt::TabFocusReason);
}

}  // namespace

CPageTabCtrl::CPageTabCtrl(QWidget* parent) : QTabWidget(parent) {
    // Every caption stays readable; the window is made wide enough for the three.
    setUsesScrollButtons(false);
    setElideMode(Qt::ElideNone);
    ConnectSignals();
}

CPageTabCtrl::~CPageTabCtrl() = default;

void CPageTabCtrl::ConnectSignals() {
    connect(this, &QTabWidget::currentChanged, this, &CPageTabCtrl::OnCurrentChanged);
    // The page keys work wherever the focus is in the pages; a list or an edit box that has the
    // focus would otherwise take Ctrl+PgUp and Ctrl+Shift+Tab for itself.
    const auto addShortcut = [this](const QKeySequence& keys, void (CPageTabCtrl::*step)()) {
        auto* shortcut = new QShortcut(keys, this);
        shortcut->setContext(Qt::WidgetWithChildrenShortcut);
        connect(shortcut, &QShortcut::activated, this, step);
    };
    addShortcut(QKeySequence(Qt::CTRL | Qt::Key_Tab), &CPageTabCtrl::OnNextPage);
    addShortcut(QKeySequence(Qt::CTRL | Qt::Key_PageDown), &CPageTabCtrl::OnNextPage);
    addShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab),
                &CPageTabCtrl::OnPreviousPage);
    addShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Tab), &CPageTabCtrl::OnPreviousPage);
    addShortcut(QKeySequence(Qt::CTRL | Qt::Key_PageUp), &CPageTabCtrl::OnPreviousPage);
}

void CPageTabCtrl::InitPages(const PageContext& context) {
    context.app.LoadSettings();
    m_nShownPage = kMessagesPage;
    m_pages[kMessagesPage] = new CMessagePage(context, this);
    m_pPcSetupPage = new CPcSetupPage(context, this);
    m_pages[kPcSetupPage] = m_pPcSetupPage;
    m_pages[kNetworkSetupPage] = new CNetworkSetupPage(context, this);
    for (int index = 0; index < kPageCount; ++index) {
        insertTab(index, m_pages[index], QString::fromLatin1(kPageCaptions[index]));
        m_pages[index]->setAccessibleName(QString::fromLatin1(kPageCaptions[index]));
    }
    ShowPage(kMessagesPage);
}

void CPageTabCtrl::ShowPage(int index) {
    if (index < 0 || index >= kPageCount || m_pages[index] == nullptr) {
        return;
    }
    m_nShownPage = index;
    // The stacked pages hide the one shown until now and show this one; the tab follows.
    setCurrentIndex(index);
    FocusInto(m_pages[index]);
}

void CPageTabCtrl::EndPages() {
    if (m_bEnded || m_pPcSetupPage == nullptr) {
        return;
    }
    m_bEnded = true;
    m_pPcSetupPage->OnProgramEnd();
}

uint32_t CPageTabCtrl::ShownHelpContext() const {
    return kPageHelp[static_cast<size_t>(m_nShownPage)];
}

QWidget* CPageTabCtrl::Page(int index) const {
    if (index < 0 || index >= kPageCount) {
        return nullptr;
    }
    return m_pages[index];
}

void CPageTabCtrl::OnNextPage() {
    ShowPage((m_nShownPage + 1) % kPageCount);
}

void CPageTabCtrl::OnPreviousPage() {
    ShowPage((m_nShownPage + kPageCount - 1) % kPageCount);
}

void CPageTabCtrl::OnCurrentChanged(int index) {
    // A tab chosen by mouse or keyboard: the stacked pages have switched already; the focus
    // still has to follow. ShowPage's own change of the tab arrives here with the same index.
    if (index != m_nShownPage) {
        ShowPage(index);
    }
}
