#pragma once

#include <QDialog>
#include <memory>
#include <thread>

#include "gatewayclient/GatewayLibrary.h"
#include "gui/pages/PageContext.h"
#include "settings/MessageFile.h"

namespace Ui {
class CSaveToLibraryDlg;
}

// "Save to Library": the composed message put into a gateway's library under a name (and a
// number, if one is given). The gateway's URL is kept in the settings; the token only while the
// program runs, as the settings file is no place for a secret. The request runs off the UI thread,
// bounded by the link's timeouts; the dialog shows it busy meanwhile and then what the gateway
// said.
class CSaveToLibraryDlg : public QDialog {
    Q_OBJECT

public:
    explicit CSaveToLibraryDlg(const PageContext& context, QWidget* parent = nullptr);
    ~CSaveToLibraryDlg() override;

    void Open(const MessageDocument& message);
    bool Saving() const { return m_worker.joinable(); }

private:
    void ConnectSignals();
    void OnSave();
    // On the UI thread, when the request has ended.
    void ShowOutcome(const std::string& name, const std::optional<GatewayFailure>& failure);
    void UpdateButtons();

    std::unique_ptr<Ui::CSaveToLibraryDlg> m_ui;
    PageContext m_context;
    MessageDocument m_message;
    std::thread m_worker;
};

// Where the gateway's URL is kept: the profile's group "Library", key "Gateway".
inline constexpr const char* kLibraryProfileGroup = "Library";
inline constexpr const char* kLibraryGatewayKey = "Gateway";
inline constexpr const char* kDefaultLibraryGateway = "http://127.0.0.1:8080";
