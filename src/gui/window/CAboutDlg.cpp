#include "gui/window/CAboutDlg.h"

#include "gui/services/ProgramIcon.h"
#include "ui_CAboutDlg.h"

namespace {

constexpr int kAboutIconSize = 48;

}  // namespace

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent), m_ui(std::make_unique<Ui::CAboutDlg>()) {
    m_ui->setupUi(this);
    m_ui->iconLabel->setPixmap(ProgramIcon().pixmap(kAboutIconSize, kAboutIconSize));
    connect(m_ui->okButton, &QPushButton::clicked, this, &CAboutDlg::accept);
    layout()->setSizeConstraint(QLayout::SetFixedSize);
}

CAboutDlg::~CAboutDlg() = default;
