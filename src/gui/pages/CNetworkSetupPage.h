#pragma once

#include <QWidget>
#include <memory>

#include "gui/pages/PageContext.h"

namespace Ui {
class CNetworkSetupPage;
}

// The "Marquee Communication Setup" page: the sign's own network interface: its parameters, and
// programming or disabling it.
class CNetworkSetupPage : public QWidget {
    Q_OBJECT

public:
    explicit CNetworkSetupPage(const PageContext& context, QWidget* parent = nullptr);
    ~CNetworkSetupPage() override;

private:
    void ConnectSignals();
    void OnHelp();

    std::unique_ptr<Ui::CNetworkSetupPage> m_ui;
    PageContext m_context;
};
