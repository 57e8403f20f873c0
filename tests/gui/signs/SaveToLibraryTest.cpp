// "Save to Library…" of the Send to Signs dialog driven through its widgets, against a stand-in
// for a gateway's API on loopback that keeps what it is sent.
#include <gtest/gtest.h>
#include <httplib.h>

#include <QJsonDocument>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <chrono>
#include <mutex>
#include <thread>

#include "gui/signs/CSaveToLibraryDlg.h"
#include "gui/signs/CSendToSignsDlg.h"
#include "support/MessagePageFixture.h"
#include "support/SendTestSupport.h"

namespace {

// Takes PUT /api/messages/NAME with the right token (204), refuses it without (401, in the
// gateway's words), and keeps the last body and path.
class CLibraryStandIn {
public:
    CLibraryStandIn() {
        m_server.Put(R"(/api/messages/([^/]+))", [this](const auto& request, auto& response) {
            const std::lock_guard lock(m_mutex);
            if (request.get_header_value("Authorization") != "Bearer admin-token") {
                response.status = 401;
                response.set_content(R"({"error": "a valid token is needed"})", "application/json");
                return;
            }
            path = request.path;
            body = request.body;
            response.status = 204;
        });
        m_nPort = m_server.bind_to_any_port("127.0.0.1");
        m_thread = std::thread([this] { m_server.listen_after_bind(); });
    }
    ~CLibraryStandIn() {
        // A stop before its loop has begun would not end it.
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(kTestWaitMs);
        while (!m_server.is_running() && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::yield();
        }
        m_server.stop();
        m_thread.join();
    }
    QString Url() const { return "http://127.0.0.1:" + QString::number(m_nPort); }
    std::pair<std::string, std::string> Kept() {
        const std::lock_guard lock(m_mutex);
        return {path, body};
    }

private:
    httplib::Server m_server;
    int m_nPort = 0;
    std::thread m_thread;
    std::mutex m_mutex;
    std::string path;
    std::string body;
};

class SaveToLibraryTest : public MessagePageFixture {
public:
    template <typename T>
    static T* Child(QWidget* parent, const char* name) {
        T* widget = parent->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    static void Fill(QWidget* dialog, const char* box, const QString& text) {
        auto* edit = Child<QLineEdit>(dialog, box);
        edit->selectAll();
        QTest::keyClicks(edit, text);
    }
};

TEST_F(SaveToLibraryTest, TheComposedMessageIsSavedUnderItsNameOrTheGatewaysReasonShown) {
    CLibraryStandIn gateway;
    Type("SHIFT A");
    Click("sendSignsButton");
    auto* sending = page->findChild<CSendToSignsDlg*>();
    ASSERT_NE(sending, nullptr);
    QTest::mouseClick(Child<QPushButton>(sending, "saveLibraryButton"), Qt::LeftButton);
    auto* dialog = sending->findChild<CSaveToLibraryDlg*>();
    ASSERT_NE(dialog, nullptr);
    for (QWidget* control : dialog->findChildren<QWidget*>()) {
        if (!qobject_cast<QLabel*>(control) && !control->objectName().startsWith("qt_")) {
            EXPECT_FALSE(control->accessibleName().isEmpty())
                << control->objectName().toStdString();
        }
    }
    auto* save = Child<QPushButton>(dialog, "saveButton");
    auto* status = Child<QLabel>(dialog, "statusLabel");
    EXPECT_FALSE(save->isEnabled());  // no name yet
    Fill(dialog, "nameEdit", "shift");
    Fill(dialog, "gatewayEdit", gateway.Url());
    Child<QSpinBox>(dialog, "numberBox")->setValue(12);
    struct Case {
        const char* token;
        QString shown;
    };
    const Case cases[] = {
        {"wrong", "the gateway at " + gateway.Url() + " refused (401): a valid token is needed"},
        {"admin-token", "Saved \"shift\" to the library."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.token);
        Fill(dialog, "tokenEdit", c.token);
        QTest::mouseClick(save, Qt::LeftButton);
        EXPECT_FALSE(save->isEnabled());  // busy until the answer
        ASSERT_TRUE(QTest::qWaitFor([&] { return save->isEnabled(); }, kTestWaitMs));
        EXPECT_EQ(status->text(), c.shown);
    }
    const auto [path, body] = gateway.Kept();
    EXPECT_EQ(path, "/api/messages/shift");
    const QJsonObject sent = QJsonDocument::fromJson(QByteArray::fromStdString(body)).object();
    EXPECT_EQ(sent["number"].toInt(), 12);
    EXPECT_EQ(MessageFromJsonObject(sent["message"].toObject()).lines,
              page->CurrentMessage().lines);
    // The URL is kept for the next time; the token is not written anywhere.
    EXPECT_EQ(profile.GetProfileString(kLibraryProfileGroup, kLibraryGatewayKey), gateway.Url());
    QFile file(folder.filePath("lumivex.conf"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_FALSE(file.readAll().contains("admin-token"));
}

}  // namespace
