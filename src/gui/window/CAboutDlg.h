#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class CAboutDlg;
}

// "About Lumivex": the program icon, its version and an "OK" button.
class CAboutDlg : public QDialog {
    Q_OBJECT

public:
    explicit CAboutDlg(QWidget* parent = nullptr);
    ~CAboutDlg() override;

private:
    std::unique_ptr<Ui::CAboutDlg> m_ui;
};
