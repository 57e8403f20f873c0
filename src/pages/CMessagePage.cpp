#include "pages/CMessagePage.h"

#include "app/CMarqueeApp.h"
#include "platform/HelpService.h"
#include "platform/MessageService.h"
#include "ui_CMessagePage.h"

CMessagePage::CMessagePage(CMarqueeApp& app, IMessageService& messages, IHelpService& help,
                           QWidget* parent)
    : QWidget(parent),
      m_ui(std::make_unique<Ui::CMessagePage>()),
      m_app(app),
      m_messages(messages),
      m_help(help) {
    // The saved settings come first: this page is made before the other two, which then start
    // from the loaded values.
    m_app.LoadSettings();
    m_ui->setupUi(this);
    ConnectSignals();
}

CMessagePage::~CMessagePage() = default;

void CMessagePage::ConnectSignals() {
    connect(m_ui->helpButton, &QPushButton::clicked, this, &CMessagePage::OnHelp);
}

void CMessagePage::OnHelp() {
    m_help.ShowHelp(kHelpMessages);
}
