#include "gui/controls/CIpAddressCtrl.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDropEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QValidator>
#include <memory>
#include <utility>

namespace {

constexpr int kOctetDigits = 3;
constexpr int kBitsPerOctet = 8;
constexpr uint32_t kOctetMask = 0xFF;

// Digits of one octet, 0 to 255.
class COctetValidator : public QValidator {
public:
    explicit COctetValidator(QObject* parent) : QValidator(parent) {}

    State validate(QString& input, int& /*pos*/) const override {
        if (input.size() > kOctetDigits) {
            return Invalid;
        }
        for (const QChar c : input) {
            if (c < QLatin1Char('0') || c > QLatin1Char('9')) {
                return Invalid;
            }
        }
        return input.toInt() <= kMaxOctet ? Acceptable : Invalid;
    }
};

}  // namespace

CIpAddressCtrl::CIpAddressCtrl(QWidget* parent) : QFrame(parent) {
    // One box, like a line edit, with the fields and dots inside it.
    setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    setBackgroundRole(QPalette::Base);
    setAutoFillBackground(true);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(2, 1, 2, 1);
    layout->setSpacing(0);
    const int fieldWidth = fontMetrics().horizontalAdvance(QStringLiteral("0000"));
    for (int index = 0; index < kOctetCount; ++index) {
        if (index > 0) {
            layout->addWidget(new QLabel(QStringLiteral("."), this));
        }
        auto* field = new QLineEdit(this);
        field->setFrame(false);
        field->setAlignment(Qt::AlignCenter);
        field->setFixedWidth(fieldWidth);
        field->setValidator(new COctetValidator(field));
        field->installEventFilter(this);
        connect(field, &QLineEdit::textEdited, this,
                [this, index](const QString& text) { OnOctetEdited(index, text); });
        layout->addWidget(field);
        m_octets[index] = field;
    }
    layout->addStretch(1);
    setFocusProxy(m_octets[0]);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

CIpAddressCtrl::~CIpAddressCtrl() = default;

void CIpAddressCtrl::SetAddress(uint32_t address) {
    for (int index = 0; index < kOctetCount; ++index) {
        const int shift = kBitsPerOctet * (kOctetCount - 1 - index);
        m_octets[index]->setText(QString::number((address >> shift) & kOctetMask));
    }
}

void CIpAddressCtrl::SetOctets(const Ipv4Octets& octets) {
    uint32_t address = 0;
    for (const uint8_t octet : octets) {
        address = (address << kBitsPerOctet) | octet;
    }
    SetAddress(address);
}

Ipv4Octets CIpAddressCtrl::GetOctets() const {
    Ipv4Octets octets{};
    for (int index = 0; index < kOctetCount; ++index) {
        // The validator lets nothing above 255 in; an empty field gives 0.
        octets[index] = static_cast<uint8_t>(m_octets[index]->text().toInt());
    }
    return octets;
}

void CIpAddressCtrl::ClearAddress() {
    for (QLineEdit* field : m_octets) {
        field->clear();
    }
}

void CIpAddressCtrl::SetAccessibleName(const QString& name) {
    setAccessibleName(name);
    for (int index = 0; index < kOctetCount; ++index) {
        m_octets[index]->setAccessibleName(QStringLiteral("%1 octet %2").arg(name).arg(index + 1));
    }
}

QLineEdit* CIpAddressCtrl::OctetField(int index) const {
    return index >= 0 && index < kOctetCount ? m_octets[index] : nullptr;
}

bool CIpAddressCtrl::eventFilter(QObject* watched, QEvent* event) {
    for (int index = 0; index < kOctetCount; ++index) {
        if (watched != m_octets[index]) {
            continue;
        }
        switch (event->type()) {
            case QEvent::KeyPress:
                return OnOctetKey(index, static_cast<QKeyEvent&>(*event));
            case QEvent::ContextMenu:
                ShowContextMenu(index, static_cast<QContextMenuEvent&>(*event));
                return true;
            case QEvent::MouseButtonRelease:
                // The middle button pastes the selection on X11.
                return static_cast<QMouseEvent*>(event)->button() == Qt::MiddleButton &&
                       FillFromText(QApplication::clipboard()->text(QClipboard::Selection));
            case QEvent::Drop: {
                auto* drop = static_cast<QDropEvent*>(event);
                if (drop->mimeData()->hasText() && FillFromText(drop->mimeData()->text())) {
                    drop->acceptProposedAction();
                    return true;
                }
                break;
            }
            case QEvent::FocusIn:
                // Only a dot typed right after the move counts as the operator's separator.
                m_bJustAdvanced = false;
                break;
            default:
                break;
        }
        break;
    }
    return QFrame::eventFilter(watched, event);
}

void CIpAddressCtrl::ShowContextMenu(int index, const QContextMenuEvent& event) {
    QLineEdit* field = m_octets[index];
    std::unique_ptr<QMenu> menu(field->createStandardContextMenu());
    for (QAction* action : menu->actions()) {
        if (action->objectName() == QLatin1String("edit-paste")) {
            disconnect(action, &QAction::triggered, nullptr, nullptr);
            connect(action, &QAction::triggered, this, [this, index] { Paste(index); });
        }
    }
    menu->exec(event.globalPos());
}

void CIpAddressCtrl::Paste(int index) {
    if (!FillFromText(QApplication::clipboard()->text())) {
        m_octets[index]->paste();
    }
}

bool CIpAddressCtrl::FillFromText(const QString& text) {
    const std::optional<Ipv4Octets> octets = ParseIpv4(text.trimmed().toStdString());
    if (!octets) {
        return false;
    }
    SetOctets(*octets);
    FocusField(kOctetCount - 1, false);
    return true;
}

bool CIpAddressCtrl::OnOctetKey(int index, const QKeyEvent& key) {
    QLineEdit* field = m_octets[index];
    if (key.matches(QKeySequence::Paste)) {
        Paste(index);
        return true;
    }
    const bool justAdvanced = std::exchange(m_bJustAdvanced, false);
    const bool atStart = field->cursorPosition() == 0 && !field->hasSelectedText();
    const bool atEnd = field->cursorPosition() == field->text().size() && !field->hasSelectedText();
    switch (key.key()) {
        case Qt::Key_Period:
            // A dot in an empty field, or right after three digits moved on, separates nothing.
            if (!justAdvanced && !field->text().isEmpty() && index + 1 < kOctetCount) {
                FocusField(index + 1, true);
            }
            return true;
        case Qt::Key_Backspace:
            if (field->text().isEmpty() && index > 0) {
                FocusField(index - 1, false);
                return true;
            }
            return false;
        case Qt::Key_Left:
            if (atStart && index > 0 && key.modifiers() == Qt::NoModifier) {
                FocusField(index - 1, false);
                return true;
            }
            return false;
        case Qt::Key_Right:
            if (atEnd && index + 1 < kOctetCount && key.modifiers() == Qt::NoModifier) {
                FocusField(index + 1, false);
                m_octets[index + 1]->setCursorPosition(0);
                return true;
            }
            return false;
        default:
            return false;
    }
}

void CIpAddressCtrl::OnOctetEdited(int index, const QString& text) {
    QLineEdit* field = m_octets[index];
    if (text.size() == kOctetDigits && field->cursorPosition() == kOctetDigits &&
        index + 1 < kOctetCount) {
        FocusField(index + 1, true);
        m_bJustAdvanced = true;
    }
}

void CIpAddressCtrl::FocusField(int index, bool selectAll) {
    QLineEdit* field = m_octets[index];
    field->setFocus(Qt::OtherFocusReason);
    if (selectAll) {
        field->selectAll();
    } else {
        field->deselect();
        field->setCursorPosition(field->text().size());
    }
}
