#pragma once

#include <QFrame>
#include <QString>
#include <array>
#include <cstdint>

#include "setup/Ipv4Text.h"

class QContextMenuEvent;
class QKeyEvent;
class QLineEdit;

// An IPv4 address as four octet fields with dots between, which Qt does not offer. Each field takes
// digits only, 0 to 255. Three digits or a dot move on to the next field, Backspace in an empty
// field moves back, and a whole dotted address pasted (keys, menu or middle button) or dropped into
// any field fills all four.
class CIpAddressCtrl : public QFrame {
    Q_OBJECT

public:
    static constexpr int kOctetCount = 4;

    explicit CIpAddressCtrl(QWidget* parent = nullptr);
    ~CIpAddressCtrl() override;

    // The first octet is the high byte.
    void SetAddress(uint32_t address);
    void SetOctets(const Ipv4Octets& octets);
    // An empty field reads as 0.
    Ipv4Octets GetOctets() const;
    void ClearAddress();

    // Names the control and its fields "<name> octet 1" to "<name> octet 4" for screen readers.
    void SetAccessibleName(const QString& name);

    QLineEdit* OctetField(int index) const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void OnOctetEdited(int index, const QString& text);
    bool OnOctetKey(int index, const QKeyEvent& key);
    void ShowContextMenu(int index, const QContextMenuEvent& event);
    // A whole address on the clipboard fills the four fields; anything else goes into the field.
    void Paste(int index);
    // Fills the four fields when the text is a whole dotted address; false when it is not.
    bool FillFromText(const QString& text);
    void FocusField(int index, bool selectAll);

    std::array<QLineEdit*, kOctetCount> m_octets{};
    // A dot typed right after the move that three digits made is the operator's separator and
    // must not move on a second time.
    bool m_bJustAdvanced = false;
};
