#include "app/CMarqueeDlg.h"

#include "app/CAboutDlg.h"
#include "app/CPageTabCtrl.h"
#include "app/ProgramIcon.h"
#include "ui_CMarqueeDlg.h"

CMarqueeDlg::CMarqueeDlg(CMarqueeApp& app, IMessageService& messages, IHelpService& help,
                         QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::CMarqueeDlg>()), m_icon(ProgramIcon()) {
    m_ui->setupUi(this);
    setWindowFlag(Qt::WindowMinimizeButtonHint);
    setWindowIcon(m_icon);
    // "About" sits at the right end of the row of tabs, where the tabs leave room.
    m_ui->pageTabs->setCornerWidget(m_ui->aboutButton, Qt::TopRightCorner);
    m_ui->pageTabs->InitPages(app, messages, help);
    ConnectSignals();
}

CMarqueeDlg::~CMarqueeDlg() = default;

CPageTabCtrl& CMarqueeDlg::PageTabs() {
    return *m_ui->pageTabs;
}

void CMarqueeDlg::ConnectSignals() {
    connect(m_ui->aboutButton, &QPushButton::clicked, this, &CMarqueeDlg::OnAbout);
}

void CMarqueeDlg::OnAbout() {
    CAboutDlg about(this);
    about.exec();
}
