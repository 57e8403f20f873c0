#pragma once

#include <QTabWidget>
#include <array>

class CMarqueeApp;
class IHelpService;
class IMessageService;

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

    // Creates the pages in tab order and shows the first; called once. The composer page loads
    // the settings as it is made, so the two pages after it start from the loaded values.
    void InitPages(CMarqueeApp& app, IMessageService& messages, IHelpService& help);

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
    int m_nShownPage = 0;
};
