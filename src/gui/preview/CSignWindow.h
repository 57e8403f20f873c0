#pragma once

#include <QString>
#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <memory>
#include <vector>

#include "decoding/CommandDecoder.h"
#include "editor/CharCell.h"
#include "encoding/MessageSettings.h"

class CLedPanel;

namespace Ui {
class CSignWindow;
}

// A played sign seen live: the LED panel of one sign model with the latest message the sign took
// in, blinking and scrolling as the "Message Preview" window does, one step every 540 ms. A wide
// sign is seen through a horizontal bar, as in the preview. The title names the model and where
// the latest message came from.
class CSignWindow : public QWidget {
    Q_OBJECT

public:
    explicit CSignWindow(int32_t modelIndex, QWidget* parent = nullptr);
    ~CSignWindow() override;

    // Where the sign listens ("tcp 127.0.0.1:49999"), named in the title until a message comes.
    void ShowListening(const QString& where);

    // Shows the message in place of the one shown, from its first step: scroll and blink start
    // again as in a freshly opened preview. It is painted at once, and the timer starts again
    // so that its second picture stays a whole step.
    void ShowMessage(int64_t number, const QString& source, const DecodedMessage& message);

    // A network interface string is nothing to show: the title names it, the panel keeps the last
    // message.
    void ShowNetworkString(int64_t number, const QString& source);

    int32_t Model() const { return m_nModelIndex; }

private:
    void ConnectSignals();
    void SetTitle(const QString& what);
    void OnTimer();
    void OnScrollAction();
    void OnScrollPosition();

    std::unique_ptr<Ui::CSignWindow> m_ui;
    // The panel reads these at every step; a new message replaces them in place.
    MessageSettings m_settings;
    std::vector<CellLine> m_lines;
    CLedPanel* m_pPanel;
    QTimer m_timer;
    int32_t m_nModelIndex;
};
