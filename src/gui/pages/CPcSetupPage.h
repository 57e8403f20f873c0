#pragma once

#include <QWidget>
#include <memory>

#include "gui/pages/PageContext.h"

namespace Ui {
class CPcSetupPage;
}

// The "PC Communication Setup" page: how the PC reaches the sign: a serial port and its speed, or
// the sign's IPv4 address.
class CPcSetupPage : public QWidget {
    Q_OBJECT

public:
    explicit CPcSetupPage(const PageContext& context, QWidget* parent = nullptr);
    ~CPcSetupPage() override;

    // The program ends by closing its window: a link chosen here and never used for a send
    // reaches the profile now.
    void OnProgramEnd();

private:
    void ConnectSignals();
    void OnHelp();

    std::unique_ptr<Ui::CPcSetupPage> m_ui;
    PageContext m_context;
};
