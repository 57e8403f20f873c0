#pragma once

#include <functional>

class QAbstractButton;
class QComboBox;
class QObject;

// A page reacts to what a control shows, however it came to show it: a click, a key, or a screen
// reader acting through the accessibility interface (which changes the state without `clicked`
// or `activated`). The page's own selections stay quiet behind a QSignalBlocker.

// Calls react with the new index once per change of the list's entry, and once when the operator
// chooses the entry already shown again (as a click in the open list does).
void OnListChoice(QComboBox* list, QObject* context, std::function<void(int)> react);

// Calls react once when the button becomes checked, and when the operator clicks it while it
// already is (a radio button's click).
void OnButtonChecked(QAbstractButton* button, QObject* context, std::function<void()> react);
