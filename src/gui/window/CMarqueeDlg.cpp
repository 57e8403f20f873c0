#include "gui/window/CMarqueeDlg.h"

#include <QKeySequence>
#include <QShortcut>

#include "gui/services/HelpService.h"
#include "gui/window/CAboutDlg.h"
#include "gui/window/CPageTabCtrl.h"
#include "gui/window/ProgramIcon.h"
#include "ui_CMarqueeDlg.h"

CMarqueeDlg::CMarqueeDlg(const PageContext& context, QWidget* parent)
    : QDialog(parent),
      m_ui(std::make_unique<Ui::CMarqueeDlg>()),
      m_icon(ProgramIcon()),
      m_context(context) {
    m_ui->setupUi(this);
    setWindowFlag(Qt::WindowMinimizeButtonHint);
    setWindowIcon(m_icon);
    // "About" sits at the right end of the row of tabs, where the tabs leave room.
    m_ui->pageTabs->setCornerWidget(m_ui->aboutButton, Qt::TopRightCorner);
    m_ui->pageTabs->InitPages(m_context);
    ConnectSignals();
}

CMarqueeDlg::~CMarqueeDlg() = default;

CPageTabCtrl& CMarqueeDlg::PageTabs() {
    return *m_ui->pageTabs;
}

void CMarqueeDlg::ConnectSignals() {
    connect(m_ui->aboutButton, &QPushButton::clicked, this, &CMarqueeDlg::OnAbout);
    auto* helpKey = new QShortcut(QKeySequence::HelpContents, this);
    helpKey->setContext(Qt::WindowShortcut);
    connect(helpKey, &QShortcut::activated, this, &CMarqueeDlg::OnHelpKey);
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
