#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QLabel>
#include <QPushButton>

#include "gui/services/MessageBoxService.h"

namespace {

// The boxes are built but never run: a test never opens a real modal box.
TEST(MessageBoxServiceTest, BoxesCarryTheTitleIconAndButtons) {
    struct Case {
        MessageIcon icon;
        MessageButtons buttons;
        const char* caption;
        QMessageBox::Icon boxIcon;
        QMessageBox::StandardButtons boxButtons;
        const char* title;
    };
    const Case cases[] = {
        {MessageIcon::kStop, MessageButtons::kOk, "Error", QMessageBox::Critical, QMessageBox::Ok,
         "Error"},
        {MessageIcon::kExclamation, MessageButtons::kOk, "", QMessageBox::Warning, QMessageBox::Ok,
         "Lumivex"},
        {MessageIcon::kInformation, MessageButtons::kOk, "", QMessageBox::Information,
         QMessageBox::Ok, "Lumivex"},
        {MessageIcon::kQuestion, MessageButtons::kYesNo, "", QMessageBox::Question,
         QMessageBox::Yes | QMessageBox::No, "Lumivex"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        const auto box = BuildMessageBox("Invalid Input.\nInput Range is 1-4.", c.icon, c.buttons,
                                         c.caption, nullptr);
        EXPECT_EQ(box->windowTitle(), c.title);
        EXPECT_EQ(box->icon(), c.boxIcon);
        EXPECT_EQ(box->standardButtons(), c.boxButtons);
        // Shown as written, line break included, never read as markup.
        EXPECT_EQ(box->text(), "Invalid Input.\nInput Range is 1-4.");
        EXPECT_EQ(box->textFormat(), Qt::PlainText);
    }
}

// Details stand below the text, as written: a device path is never read as markup.
TEST(MessageBoxServiceTest, DetailsStandBelowTheTextAsWritten) {
    const char* details = "Cannot open COM1 (/dev/<b>x</b>).";
    const auto box = BuildMessageBox("Invalid Port", MessageIcon::kExclamation, MessageButtons::kOk,
                                     "", nullptr, details);
    for (const QLabel* label : box->findChildren<QLabel*>()) {
        EXPECT_TRUE(label->text() != details || label->textFormat() == Qt::PlainText);
    }
    EXPECT_EQ(box->informativeText(), details);
}

TEST(MessageBoxServiceTest, OnlyNoDeclinesAQuestion) {
    const auto box =
        BuildMessageBox("Sure?", MessageIcon::kQuestion, MessageButtons::kYesNo, "", nullptr);
    // Escape and the close box press the escape button: a question is never agreed to by them.
    EXPECT_EQ(box->escapeButton(), static_cast<QAbstractButton*>(box->button(QMessageBox::No)));
    EXPECT_EQ(static_cast<QAbstractButton*>(box->defaultButton()), box->button(QMessageBox::Yes));

    struct Case {
        QMessageBox::StandardButton clicked;
        MessageButtons buttons;
        MessageAnswer answer;
    };
    const Case cases[] = {
        {QMessageBox::Yes, MessageButtons::kYesNo, MessageAnswer::kYes},
        {QMessageBox::No, MessageButtons::kYesNo, MessageAnswer::kNo},
        {QMessageBox::NoButton, MessageButtons::kYesNo, MessageAnswer::kYes},
        {QMessageBox::Ok, MessageButtons::kOk, MessageAnswer::kOk},
        {QMessageBox::NoButton, MessageButtons::kOk, MessageAnswer::kOk},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(AnswerOf(c.clicked, c.buttons), c.answer) << c.clicked;
    }
}

}  // namespace
