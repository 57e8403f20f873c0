#include "gui/services/MessageBoxService.h"

#include <QApplication>
#include <QLabel>

namespace {

QMessageBox::Icon BoxIcon(MessageIcon icon) {
    switch (icon) {
        case MessageIcon::kStop:
            return QMessageBox::Critical;
        case MessageIcon::kExclamation:
            return QMessageBox::Warning;
        case MessageIcon::kInformation:
            return QMessageBox::Information;
        case MessageIcon::kQuestion:
            return QMessageBox::Question;
    }
    return QMessageBox::NoIcon;
}

// The box belongs to the window in front, so it is centred on it and blocks it.
QWidget* OwnerWindow() {
    if (QWidget* active = QApplication::activeWindow()) {
        return active;
    }
    return QApplication::activeModalWidget();
}

}  // namespace

std::unique_ptr<QMessageBox> BuildMessageBox(const std::string& text, MessageIcon icon,
                                             MessageButtons buttons, const std::string& caption,
                                             QWidget* parent, const std::string& details) {
    const QString title = QString::fromStdString(caption.empty() ? kApplicationTitle : caption);
    auto box = std::make_unique<QMessageBox>(BoxIcon(icon), title, QString::fromStdString(text),
                                             QMessageBox::NoButton, parent);
    box->setTextFormat(Qt::PlainText);
    if (!details.empty()) {
        box->setInformativeText(QString::fromStdString(details));
        // The box gives its details a label of their own that guesses at markup.
        for (QLabel* label : box->findChildren<QLabel*>()) {
            if (label->text() == box->informativeText()) {
                label->setTextFormat(Qt::PlainText);
            }
        }
    }
    if (buttons == MessageButtons::kSaveDiscardCancel) {
        // Escape and the close box keep everything as it was.
        box->setStandardButtons(QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel);
        box->setDefaultButton(QMessageBox::Save);
        box->setEscapeButton(QMessageBox::Cancel);
    } else if (buttons == MessageButtons::kYesNo) {
        box->setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box->setDefaultButton(QMessageBox::Yes);
        box->setEscapeButton(QMessageBox::No);
    } else {
        box->setStandardButtons(QMessageBox::Ok);
        box->setDefaultButton(QMessageBox::Ok);
        box->setEscapeButton(QMessageBox::Ok);
    }
    return box;
}

MessageAnswer AnswerOf(QMessageBox::StandardButton clicked, MessageButtons buttons) {
    if (buttons == MessageButtons::kOk) {
        return MessageAnswer::kOk;
    }
    if (buttons == MessageButtons::kSaveDiscardCancel) {
        switch (clicked) {
            case QMessageBox::Save:
                return MessageAnswer::kSave;
            case QMessageBox::Discard:
                return MessageAnswer::kDiscard;
            default:
                return MessageAnswer::kCancel;
        }
    }
    return clicked == QMessageBox::No ? MessageAnswer::kNo : MessageAnswer::kYes;
}

MessageAnswer CMessageBoxService::ShowMessage(const std::string& text, MessageIcon icon,
                                              MessageButtons buttons, const std::string& caption,
                                              const std::string& details) {
    const std::unique_ptr<QMessageBox> box =
        BuildMessageBox(text, icon, buttons, caption, OwnerWindow(), details);
    box->exec();
    return AnswerOf(box->standardButton(box->clickedButton()), buttons);
}
