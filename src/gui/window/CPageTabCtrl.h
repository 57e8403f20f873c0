#pragma once

#include <QTabWidget>
#include <array>
#include <cstdint>

#include "gui/pages/PageContext.h"

class CPcSetupPage;

// The main window's tab control. Exactly one page is shown, and it is always the page of the
// selected tab, whether the operator picked the tab with the mouse or the keyboard.
class CPageTabCtrl : public QTabWidget {
    Q_OBJECT

public:
    static constexpr int kPageCount = 3;
    static constexpr int kMessagesPage = 0;
    static constexpr int kPcSetupPage = 1;
    static constexpr int kNetworkSetupPage = 2;

    explicit CPageTabCtrl(QWidget* parent = nullptr);
    ~CPageTabCtrl() override;

    // Loads the settings, then creates the pages in tab order, so that every page starts from
    // the loaded values, and shows the first; called once.
    void InitPages(const PageContext& context);

    // The program is ending: the pages keep what must outlive it. Once only.
    void EndPages();

    // The help topic of the page shown.
    uint32_t ShownHelpContext() const;

    // Makes the page of an index the shown one, with its tab selected and the keyboard focus in
    // it. An index outside 0 to 2 changes nothing.
    void ShowPage(int index);

    int ShownPage() const { return m_nShownPage; }
    QWidget* Page(int index) const;

private:
    void ConnectSignals();
    void OnCurrentChanged(int index);
    // Ctrl+Tab and Ctrl+PgDown, Ctrl+Shift+Tab and Ctrl+PgUp; both wrap around.
    void OnNextPage();
    void OnPreviousPage();

    std::array<QWidget*, kPageCount> m_pages{};
    CPcSetupPage* m_pPcSetupPage = nullptr;
    int m_nShownPage = 0;
    bool m_bEnded = false;
};
