#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QDropEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QTest>
#include <string>
#include <vector>

#include "gui/controls/CIpAddressCtrl.h"

namespace {

class IpAddressCtrlTest : public testing::Test {
protected:
    void SetUp() override {
        control.SetAccessibleName(QStringLiteral("IP Address"));
        control.show();
        control.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&control));
    }

    // Types as the operator does: each key goes where the focus is at that moment.
    void Type(const QString& keys) {
        for (const QChar key : keys) {
            QWidget* focus = QApplication::focusWidget();
            ASSERT_NE(focus, nullptr);
            QTest::keyClick(focus, key.toLatin1());
        }
    }

    void Press(Qt::Key key) {
        QWidget* focus = QApplication::focusWidget();
        ASSERT_NE(focus, nullptr);
        QTest::keyClick(focus, key);
    }

    QStringList Fields() const {
        QStringList texts;
        for (int index = 0; index < CIpAddressCtrl::kOctetCount; ++index) {
            texts << control.OctetField(index)->text();
        }
        return texts;
    }

    int FocusedField() const {
        for (int index = 0; index < CIpAddressCtrl::kOctetCount; ++index) {
            if (control.OctetField(index)->hasFocus()) {
                return index;
            }
        }
        return -1;
    }

    void Focus(int index) {
        control.OctetField(index)->setFocus();
        control.OctetField(index)->selectAll();
    }

    CIpAddressCtrl control;
};

TEST_F(IpAddressCtrlTest, SetFromOneValueReadAsFourOctets) {
    control.SetAddress(0xC0A80001u);
    EXPECT_EQ(Fields(), QStringList({"192", "168", "0", "1"}));
    EXPECT_EQ(control.GetOctets(), (Ipv4Octets{192, 168, 0, 1}));
    control.SetAddress(0xFFFFFF00u);
    EXPECT_EQ(control.GetOctets(), (Ipv4Octets{255, 255, 255, 0}));
    // Empty fields read as 0, so an empty control reads 0.0.0.0.
    control.OctetField(2)->clear();
    EXPECT_EQ(control.GetOctets(), (Ipv4Octets{255, 255, 0, 0}));
    control.ClearAddress();
    EXPECT_EQ(control.GetOctets(), (Ipv4Octets{0, 0, 0, 0}));
}

TEST_F(IpAddressCtrlTest, TypingMovesFromFieldToField) {
    struct Case {
        const char* keys;
        QStringList fields;
    };
    const std::vector<Case> cases = {
        // Three digits move on; the dot typed after them does not move on a second time.
        {"192.168.0.1", {"192", "168", "0", "1"}},
        {"10.0.0.7", {"10", "0", "0", "7"}},
        {"1921680", {"192", "168", "0", ""}},
        // Letters and octets above 255 are not taken: "300" stops at "30".
        {"1a2.300.4", {"12", "30", "4", ""}},
        // A dot in an empty field separates nothing.
        {"..5", {"5", "", "", ""}},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.keys);
        control.ClearAddress();
        Focus(0);
        Type(QString::fromLatin1(test.keys));
        EXPECT_EQ(Fields(), test.fields);
    }
    // Over an address already there, each field's old text is selected as it is reached, so
    // typing replaces it.
    control.SetAddress(0x01020304u);
    Focus(0);
    Type(QStringLiteral("192.168.0.1"));
    EXPECT_EQ(Fields(), QStringList({"192", "168", "0", "1"}));
}

TEST_F(IpAddressCtrlTest, BackspaceInAnEmptyFieldGoesBack) {
    control.SetAddress(0x0A000007u);
    Focus(3);
    Press(Qt::Key_Backspace);  // removes the selected 7
    EXPECT_EQ(FocusedField(), 3);
    Press(Qt::Key_Backspace);
    EXPECT_EQ(FocusedField(), 2);
    Press(Qt::Key_Backspace);  // deletes the 0 of the third field, at whose end it landed
    EXPECT_EQ(Fields(), QStringList({"10", "0", "", ""}));
    Press(Qt::Key_Backspace);
    Press(Qt::Key_Backspace);
    Press(Qt::Key_Backspace);
    EXPECT_EQ(FocusedField(), 0);
    EXPECT_EQ(Fields(), QStringList({"10", "", "", ""}));
}

// A whole address pasted into whichever field, wherever its cursor, fills all four fields.
TEST_F(IpAddressCtrlTest, AWholeAddressPastedIntoAnyFieldFillsAllFour) {
    QApplication::clipboard()->setText(QStringLiteral(" 172.16.254.9\n"));
    for (int index = 0; index < CIpAddressCtrl::kOctetCount; ++index) {
        SCOPED_TRACE(index);
        control.SetAddress(0x01020304u);
        control.OctetField(index)->setFocus();
        control.OctetField(index)->setCursorPosition(0);
        QTest::keyClick(control.OctetField(index), Qt::Key_V, Qt::ControlModifier);
        EXPECT_EQ(control.GetOctets(), (Ipv4Octets{172, 16, 254, 9}));
    }
    // Dropped onto a field with digits of its own, the address still fills all four.
    control.SetAddress(0x01020304u);
    QMimeData dragged;
    dragged.setText(QStringLiteral("10.0.0.7"));
    QDragEnterEvent enter(QPoint(1, 1), Qt::CopyAction, &dragged, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(control.OctetField(3), &enter);
    QDropEvent drop(QPointF(1, 1), Qt::CopyAction, &dragged, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(control.OctetField(3), &drop);
    EXPECT_EQ(control.GetOctets(), (Ipv4Octets{10, 0, 0, 7}));
}

TEST_F(IpAddressCtrlTest, APasteThatIsNoAddressChangesNothing) {
    for (const char* pasted : {"1.2.3", "1.2.3.4.5", "10.0.0.256", "a.b.c.d", "12"}) {
        SCOPED_TRACE(pasted);
        QApplication::clipboard()->setText(QString::fromLatin1(pasted));
        control.SetAddress(0x01020304u);
        control.OctetField(1)->setFocus();
        control.OctetField(1)->selectAll();
        QTest::keyClick(control.OctetField(1), Qt::Key_V, Qt::ControlModifier);
        QApplication::processEvents();
        const bool digits = std::string(pasted) == "12";
        EXPECT_EQ(Fields(), QStringList({"1", digits ? "12" : "2", "3", "4"}));
    }
}

TEST_F(IpAddressCtrlTest, FieldsAreNamedAfterTheControl) {
    EXPECT_EQ(control.accessibleName(), "IP Address");
    for (int index = 0; index < CIpAddressCtrl::kOctetCount; ++index) {
        EXPECT_EQ(control.OctetField(index)->accessibleName(),
                  QStringLiteral("IP Address octet %1").arg(index + 1));
    }
}

}  // namespace
