#include "gui/controls/ChoiceSignals.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QTimer>
#include <memory>
#include <utility>

namespace {

// A change and the operator's confirming signal (`activated`, `clicked`) come together in one
// event; the flag lets the second pass when the first has already reacted, and is cleared once
// the event has been handled, so that a change with no confirmation leaves nothing behind.
std::shared_ptr<bool> ChangeFlag() {
    return std::make_shared<bool>(false);
}

void MarkChanged(const std::shared_ptr<bool>& changed, QObject* context) {
    *changed = true;
    QTimer::singleShot(0, context, [changed] { *changed = false; });
}

}  // namespace

void OnListChoice(QComboBox* list, QObject* context, std::function<void(int)> react) {
    auto changed = ChangeFlag();
    auto shared = std::make_shared<std::function<void(int)>>(std::move(react));
    QObject::connect(list, &QComboBox::currentIndexChanged, context,
                     [changed, shared, context](int index) {
                         MarkChanged(changed, context);
                         (*shared)(index);
                     });
    QObject::connect(list, &QComboBox::activated, context, [changed, shared](int index) {
        if (!*changed) {
            (*shared)(index);
        }
        *changed = false;
    });
}

void OnButtonChecked(QAbstractButton* button, QObject* context, std::function<void()> react) {
    auto changed = ChangeFlag();
    auto shared = std::make_shared<std::function<void()>>(std::move(react));
    QObject::connect(button, &QAbstractButton::toggled, context,
                     [changed, shared, context](bool checked) {
                         if (checked) {
                             MarkChanged(changed, context);
                             (*shared)();
                         }
                     });
    QObject::connect(button, &QAbstractButton::clicked, context, [changed, shared, button] {
        if (!*changed && button->isChecked()) {
            (*shared)();
        }
        *changed = false;
    });
}
