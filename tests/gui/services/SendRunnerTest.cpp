#include <gtest/gtest.h>

#include <QApplication>
#include <QProgressDialog>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "gui/services/CSendRunner.h"
#include "settings/CMarqueeApp.h"
#include "settings/ProfileStore.h"
#include "support/RecordingServices.h"
#include "support/SendTestSupport.h"

namespace {

class SendRunnerTest : public testing::Test {
protected:
    void SendTo(const CLoopbackListener& sign) {
        app.SetComPort(kPortEthernet);
        app.SetIpAddress(sign.Address());
    }

    QTemporaryDir folder;
    CProfileStore profile{folder.filePath("lumivex.conf")};
    CMarqueeApp app{profile};
    RecordingMessageService messages;
};

TEST_F(SendRunnerTest, DeliversOffTheUiThread) {
    auto sign = CLoopbackListener::AsSign(kSignTcpPort);
    ASSERT_NE(sign, nullptr);
    SendTo(*sign);
    auto received = sign->AcceptAndReadAsync();
    QWidget window;
    CSendRunner runner(&window, messages);
    EXPECT_TRUE(runner.Run(app, "^C0^M\x80").Delivered());
    EXPECT_EQ(received.get(), "^C0^M\x80");
    EXPECT_EQ(runner.ProgressBox(), nullptr);
}

// A sign that no longer answers: the progress box comes, the operator's click on the window is
// held back, and Cancel ends the send at once.
TEST_F(SendRunnerTest, CancelEndsASendThatWaits) {
    auto sign = CLoopbackListener::AsSign(kSignTcpPort);
    ASSERT_NE(sign, nullptr);
    ASSERT_TRUE(sign->FillAcceptQueue());
    SendTo(*sign);
    QPushButton window(QStringLiteral("Send again"));
    window.show();
    QSignalSpy clicks(&window, &QPushButton::clicked);
    CSendRunner runner(&window, messages);

    bool sawBox = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QTest::mouseClick(&window, Qt::LeftButton);
        QProgressDialog* box = runner.ProgressBox();
        if (box != nullptr && box->isVisible()) {
            sawBox = true;
            EXPECT_EQ(box->labelText().toStdString(), "Sending to the sign…");
            EXPECT_TRUE(box->isModal());
            auto* cancel = box->findChild<QPushButton*>();
            ASSERT_NE(cancel, nullptr);
            EXPECT_EQ(cancel->text().toStdString(), "Cancel");
            QTest::mouseClick(cancel, Qt::LeftButton);
        }
    });
    poll.start(50);
    const SendOutcome outcome = runner.Run(app, "^C0^M");
    poll.stop();
    EXPECT_TRUE(sawBox);
    EXPECT_EQ(outcome.result.code, SEND_CANCELLED);
    EXPECT_EQ(clicks.count(), 0) << "input to the window is held back during the send";
    QTest::mouseClick(&window, Qt::LeftButton);
    EXPECT_EQ(clicks.count(), 1) << "and reaches it again afterwards";
}

// Closing the window during a send is not ignored: the operator is asked whether to cancel it, and
// the window stays, whatever the answer.
TEST_F(SendRunnerTest, ClosingDuringASendOffersToCancelIt) {
    auto sign = CLoopbackListener::AsSign(kSignTcpPort);
    ASSERT_NE(sign, nullptr);
    ASSERT_TRUE(sign->FillAcceptQueue());
    SendTo(*sign);
    QWidget window;
    window.show();
    CSendRunner runner(&window, messages);
    messages.answers = {MessageAnswer::kNo, MessageAnswer::kYes};
    QTimer::singleShot(0, &window, [&] { window.close(); });
    QTimer::singleShot(0, &window,
                       [&] { QTimer::singleShot(0, &window, [&] { window.close(); }); });
    const SendOutcome outcome = runner.Run(app, "^C0^M");
    EXPECT_EQ(outcome.result.code, SEND_CANCELLED);
    ASSERT_EQ(messages.shown.size(), 2u);
    EXPECT_EQ(messages.shown[0].text, CSendRunner::kCloseDuringSend);
    EXPECT_TRUE(window.isVisible());
}

}  // namespace
