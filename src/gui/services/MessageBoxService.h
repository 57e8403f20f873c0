#pragma once

#include <QMessageBox>
#include <memory>

#include "gui/services/MessageService.h"

class QWidget;

// The program's message boxes: modal, over the window the operator is working in.
class CMessageBoxService : public IMessageService {
public:
    MessageAnswer ShowMessage(const std::string& text, MessageIcon icon, MessageButtons buttons,
                              const std::string& caption = {},
                              const std::string& details = {}) override;
};

// The box ShowMessage runs, built apart so that its make-up can be checked without running it.
// Escape and the close box answer No on a Yes/No box, so a confirmation is never taken by accident.
std::unique_ptr<QMessageBox> BuildMessageBox(const std::string& text, MessageIcon icon,
                                             MessageButtons buttons, const std::string& caption,
                                             QWidget* parent, const std::string& details = {});

// The answer a finished box gives: No only when No was chosen.
MessageAnswer AnswerOf(QMessageBox::StandardButton clicked, MessageButtons buttons);
