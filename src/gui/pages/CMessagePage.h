#pragma once

#include <QWidget>
#include <memory>

#include "gui/pages/PageContext.h"

namespace Ui {
class CMessagePage;
}

// The "Messages" page: composer page: the message, how and where the sign shows it, and sending it.
class CMessagePage : public QWidget {
    Q_OBJECT

public:
    explicit CMessagePage(const PageContext& context, QWidget* parent = nullptr);
    ~CMessagePage() override;

private:
    void ConnectSignals();
    void OnHelp();

    std::unique_ptr<Ui::CMessagePage> m_ui;
    PageContext m_context;
};
