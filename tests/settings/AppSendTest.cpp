#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "settings/CMarqueeApp.h"
#include "settings/ProfileStore.h"
#include "settings/SendNotices.h"
#include "support/SendTestSupport.h"

namespace {

// The application object sends over the link its settings name, resolving "COMn" through its
// own profile.
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

    app.SetComPort(2);
    auto received = pty.ReadAsync(6);
    EXPECT_TRUE(app.SendToMarquee("^C0^M\x80").Delivered());
    EXPECT_EQ(received.get(), "^C0^M\x80");

    app.SetComPort(3);
    const SendOutcome missing = app.SendToMarquee("x");
    EXPECT_EQ(missing.result.code, SEND_INVALID_PORT);
    EXPECT_EQ(LinkName(missing), "COM4 (" + folder.filePath("missing").toStdString() + ")");
}

}  // namespace
