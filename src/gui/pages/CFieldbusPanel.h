#pragma once

#include <QWidget>
#include <memory>

#include "gui/pages/PageContext.h"

class CNetworkParams;

namespace Ui {
class CFieldbusPanel;
}

// The DeviceNet and Profibus-DP parameters: one panel, relabelled for the type it shows.
class CFieldbusPanel : public QWidget {
    Q_OBJECT

public:
    explicit CFieldbusPanel(const PageContext& context, QWidget* parent = nullptr);
    ~CFieldbusPanel() override;

    // Shows a DeviceNet record (type 2) or else a Profibus-DP one, with that type's captions and
    // bit rates. The byte-order buttons keep what the operator chose.
    void LoadFromParams(const CNetworkParams& params);
    // Checks the fields and stores them into the record of the current type; on a refusal shows
    // why, puts the cursor into the field at fault and stores nothing.
    bool ValidateAndStore();

private:
    void NameFields();

    std::unique_ptr<Ui::CFieldbusPanel> m_ui;
    PageContext m_context;
};
