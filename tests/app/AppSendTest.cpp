#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "SendTestSupport.h"
#include "app/CMarqueeApp.h"
#include "platform/ProfileStore.h"

namespace {

// The application object sends over the link its settings name, resolving "COMn" through its
// own profile, and tells the operator through the service it was given.
TEST(AppSendTest, SendsThroughThePortMappedInItsProfile) {
    CPtyPair pty;
    QTemporaryDir folder;
    const QString path = folder.filePath("lumivex.conf");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray("[Ports]\nCOM3=") + pty.SlavePath().c_str() +
               "\nCOM4=" + folder.filePath("missing").toUtf8() + "\n");
    file.close();

    CProfileStore profile(path);
    CMarqueeApp app(profile);
    RecordingMessageService messages;
    app.SetMessageService(messages);

    app.m_nComPort = 2;
    auto received = pty.ReadAsync(6);
    EXPECT_TRUE(app.SendToMarquee("^C0^M\x80"));
    EXPECT_EQ(received.get(), "^C0^M\x80");
    EXPECT_TRUE(messages.shown.empty());

    app.m_nComPort = 3;
    EXPECT_FALSE(app.SendToMarquee("x"));
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, "Invalid Port");
    EXPECT_EQ(messages.shown[0].icon, MessageIcon::kExclamation);
}

}  // namespace
