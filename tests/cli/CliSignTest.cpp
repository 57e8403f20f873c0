// lumivex-cli sign end to end: lumivex-cli send delivers over real links, and the sign reports
// what came and draws it as the preview does.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include "CliRunner.h"
#include "support/SendTestSupport.h"

namespace {

// A running lumivex-cli sign. Every wait is bounded; one still running at the end is killed.
class CSignProcess {
public:
    explicit CSignProcess(
        const QStringList& arguments,
        const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment()) {
        m_process.setProcessEnvironment(environment);
        m_process.start(QStringLiteral(LUMIVEX_CLI_PATH), QStringList{"sign"} + arguments);
        EXPECT_TRUE(m_process.waitForStarted(kTestWaitMs));
    }
    ~CSignProcess() {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(kTestWaitMs);
        }
    }
    CSignProcess(const CSignProcess&) = delete;
    CSignProcess& operator=(const CSignProcess&) = delete;

    // The line that says where the sign listens; empty when it ended without one. Qt's own notes
    // about the system, when a window is opened, are passed over.
    std::string StartLine() {
        std::string line;
        do {
            line = ReadLine(QProcess::StandardError);
        } while (!line.empty() && line.rfind("lumivex-cli", 0) != 0);
        return line;
    }

    // The next message's line on standard output, parsed.
    QJsonObject NextMessage() {
        const std::string line = ReadLine(QProcess::StandardOutput);
        EXPECT_FALSE(line.empty()) << "no message came; standard error: " << Errors();
        return QJsonDocument::fromJson(QByteArray::fromStdString(line)).object();
    }

    // Sends the signal and waits for the end: the exit status, or -1 for a crash or no end.
    int Stop(int signal) {
        kill(static_cast<pid_t>(m_process.processId()), signal);
        return WaitForExit();
    }

    int WaitForExit() {
        if (!m_process.waitForFinished(kTestWaitMs)) {
            return -1;
        }
        return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
    }

    std::string Errors() { return m_process.readAllStandardError().toStdString(); }

private:
    std::string ReadLine(QProcess::ProcessChannel channel) {
        m_process.setReadChannel(channel);
        QElapsedTimer timer;
        timer.start();
        while (!m_process.canReadLine() && timer.elapsed() < kTestWaitMs) {
            if (!m_process.waitForReadyRead(static_cast<int>(kTestWaitMs - timer.elapsed()))) {
                break;
            }
        }
        return m_process.canReadLine() ? m_process.readLine().trimmed().toStdString() : "";
    }

    QProcess m_process;
};

std::string Encode(const std::string& json) {
    const CliResult run = RunCli({"encode"}, json);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    return run.out;
}

QJsonObject Object(const std::string& json) {
    return QJsonDocument::fromJson(QByteArray::fromStdString(json)).object();
}

// Messages written in full, as the sign reads them back, with the frames each gives.
struct SentMessage {
    std::string json;
    int frames;
};

const SentMessage kMessages[] = {
    {R"({"address":"unit","group":1,"unit":5,"displayMode":"clear-home","position":"start",
        "line":1,"column":3,"clearLine":false,"effect":"default","lines":[[
        {"text":"Hi","size":1,"color":"green","blink":true},
        {"text":"!","size":2,"color":"yellow","blink":false}],"second"]})",
     2},
    // Centred on 20 characters with five blanks: scroll steps 0 to 14, twice round for the blink.
    {R"({"address":"default","displayMode":"none","position":"center","effect":"scroll",
        "lines":[[{"text":"SCROLL ME","size":1,"color":"yellow","blink":true}]]})",
     30},
};

constexpr int kModel = 10;  // "Tricolor 2 Line 20 Char"

// The sign's frames of one message equal the preview's of the same message, pixel for pixel.
void ExpectPreviewFrames(const QString& signFolder, int number, const SentMessage& sent,
                         const QString& previewFolder) {
    QJsonObject message = Object(sent.json);
    message["signModel"] = kModel;
    const CliResult preview =
        RunCli({"preview", "--out", previewFolder, "--frames", QString::number(sent.frames + 1)},
               QJsonDocument(message).toJson().toStdString());
    ASSERT_EQ(preview.exitCode, 0) << preview.err;
    for (int frame = 1; frame <= sent.frames + 1; ++frame) {
        const QString name = QString::asprintf("msg-%04d-frame-%03d.png", number, frame);
        const QImage drawn(QDir(signFolder).filePath(name));
        if (frame > sent.frames) {
            EXPECT_TRUE(drawn.isNull()) << "one cycle only: " << name.toStdString();
            break;
        }
        const QImage expected(
            QDir(previewFolder).filePath(QString::asprintf("frame-%03d.png", frame)));
        ASSERT_FALSE(drawn.isNull()) << name.toStdString();
        EXPECT_EQ(drawn, expected) << name.toStdString();
    }
}

bool PathExists(const QString& path) {
    struct stat status {};
    return lstat(path.toLocal8Bit().constData(), &status) == 0;
}

// A sign at port 49999, where 'send' always connects, on an address of the test's own.
struct SignAt49999 {
    std::unique_ptr<CSignProcess> sign;
    QString address;
};

SignAt49999 StartAt49999(
    const QStringList& arguments,
    const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment()) {
    SignAt49999 started;
    started.address = QString::fromStdString(FreeLoopbackAddress(49999));
    started.sign = std::make_unique<CSignProcess>(
        QStringList{"--tcp", started.address + ":49999"} + arguments, environment);
    const std::string expected =
        "lumivex-cli sign: listening on tcp " + started.address.toStdString() + ":49999";
    if (started.sign->StartLine() != expected) {
        ADD_FAILURE() << "no " << expected << "; standard error: " << started.sign->Errors();
        started.sign.reset();
    }
    return started;
}

TEST(CliSignTest, TakesWhatSendDeliversOverTcp) {
    QTemporaryDir folder;
    const QString frames = folder.filePath("frames");
    auto [sign, address] = StartAt49999({"--out", frames, "--model", QString::number(kModel)});
    ASSERT_TRUE(sign);
    // The user's own settings stay out of reach.
    const QStringList profile{"XDG_CONFIG_HOME=" + folder.filePath("config")};
    for (size_t i = 0; i < std::size(kMessages); ++i) {
        const CliResult sent =
            RunCli({"send", "--port", "ethernet", "--ip", address, "--file", "-"},
                   Encode(kMessages[i].json), profile);
        ASSERT_EQ(sent.exitCode, 0) << sent.err;
        const QJsonObject line = sign->NextMessage();
        EXPECT_EQ(line["number"].toInt(), static_cast<int>(i + 1));
        EXPECT_TRUE(line["source"].toString().startsWith("tcp 127."))
            << line["source"].toString().toStdString();
        EXPECT_EQ(line["message"].toObject(), Object(kMessages[i].json));
        ExpectPreviewFrames(frames, static_cast<int>(i + 1), kMessages[i],
                            folder.filePath(QString::asprintf("preview%zu", i)));
    }
    EXPECT_EQ(sign->Stop(SIGTERM), 0);
    EXPECT_EQ(sign->Errors(), "") << "no warnings for what the encoder wrote";
}

// The window on Qt's offscreen platform: the sign reports what send delivers as without it, and
// SIGTERM ends the window and the sign cleanly.
TEST(CliSignTest, WithAWindowTakesWhatSendDeliversAndEndsOnSigterm) {
    QTemporaryDir folder;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    environment.insert("XDG_CONFIG_HOME", folder.filePath("config"));
    auto [sign, address] = StartAt49999({"--window", "--model", "11"}, environment);
    ASSERT_TRUE(sign);
    const QStringList profile{"XDG_CONFIG_HOME=" + folder.filePath("config")};
    const CliResult sent = RunCli({"send", "--port", "ethernet", "--ip", address, "--file", "-"},
                                  Encode(kMessages[1].json), profile);
    ASSERT_EQ(sent.exitCode, 0) << sent.err;
    const QJsonObject line = sign->NextMessage();
    EXPECT_EQ(line["number"].toInt(), 1);
    EXPECT_EQ(line["message"].toObject(), Object(kMessages[1].json));
    EXPECT_EQ(sign->Stop(SIGTERM), 0) << sign->Errors();
}

// A window that cannot open ends the command before the sign listens: no link is made.
TEST(CliSignTest, AWindowWithoutADisplayIsRefusedBeforeListening) {
    QTemporaryDir folder;
    const QString link = folder.filePath("ttySign");
    const QStringList arguments{"sign", "--serial", link, "--window"};
    const struct {
        const char* name;
        CliResult run;
        std::string error;
    } cases[] = {
        {"no display", RunCliBare(arguments),
         "lumivex-cli: --window needs a graphical display (DISPLAY, WAYLAND_DISPLAY and "
         "QT_QPA_PLATFORM are not set)\n"},
        {"no such platform", RunCli(arguments, {}, {"QT_QPA_PLATFORM=nosuchplatform"}),
         "lumivex-cli: --window cannot open a window: Could not find the Qt platform plugin "
         "\"nosuchplatform\" in \"\"\n"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.run.exitCode, 2) << c.name;
        EXPECT_EQ(c.run.err, c.error) << c.name;
        EXPECT_EQ(c.run.out, "") << c.name;
    }
    EXPECT_FALSE(PathExists(link));
}

TEST(CliSignTest, TakesWhatSendDeliversThroughAMappedComPort) {
    QTemporaryDir folder;
    const QString link = folder.filePath("ttySign");
    ASSERT_TRUE(QDir(folder.path()).mkpath("config/Lumivex1.2"));
    QFile settings(folder.filePath("config/Lumivex1.2/lumivex.conf"));
    ASSERT_TRUE(settings.open(QIODevice::WriteOnly));
    settings.write(("[General]\nBaud Rate=38400\n[Ports]\nCOM3=" + link + "\n").toUtf8());
    settings.close();
    const QStringList profile{"XDG_CONFIG_HOME=" + folder.filePath("config")};

    CSignProcess sign({"--serial", link});
    ASSERT_EQ(sign.StartLine().rfind(
                  "lumivex-cli sign: listening on serial " + link.toStdString() + " (/dev/", 0),
              0U);
    const CliResult sent =
        RunCli({"send", "--port", "com3", "--file", "-"}, Encode(kMessages[0].json), profile);
    ASSERT_EQ(sent.exitCode, 0) << sent.err;
    const QJsonObject message = sign.NextMessage();
    EXPECT_EQ(message["source"].toString(), "serial " + link);
    EXPECT_EQ(message["message"].toObject(), Object(kMessages[0].json));

    EXPECT_EQ(sign.Stop(SIGTERM), 0);
    EXPECT_FALSE(PathExists(link)) << "the link goes with the sign";
}

// Run with no environment at all: without --window the sign needs no display.
TEST(CliSignTest, PortZeroTakesAFreePortAndSaysWhich) {
    CSignProcess sign({"--tcp", "0"}, QProcessEnvironment());
    const std::string start = sign.StartLine();
    const std::string prefix = "lumivex-cli sign: listening on tcp 127.0.0.1:";
    ASSERT_EQ(start.rfind(prefix, 0), 0U) << start;
    const auto port = static_cast<uint16_t>(std::stoi(start.substr(prefix.size())));
    ASSERT_NE(port, 0);
    // What the loop makes of each message is tested without a process (tests/sign); here what
    // the command prints: the JSON line on standard output, the warnings on standard error.
    SendToPort(port, "^L0^E0X");
    SendToPort(port, std::string(150, '\n'));  // a warning a byte
    const QJsonObject first = sign.NextMessage();
    EXPECT_EQ(first["bytes"].toInt(), 7);
    EXPECT_EQ(first["message"].toObject()["lines"].toArray().at(0).toString(), "X");
    EXPECT_EQ(sign.NextMessage()["bytes"].toInt(), 150);
    EXPECT_EQ(sign.Stop(SIGINT), 0);  // Ctrl+C
    const std::string errors = sign.Errors();
    EXPECT_NE(errors.find("message 1, offset 3: ^E0 stands out of the header's order"),
              std::string::npos)
        << errors;
    EXPECT_NE(errors.find("message 2: 50 more warnings left out\n"), std::string::npos);
}

// Each sign listens on its own address, counts its own messages, names itself in its lines and
// writes its frames into a folder of its own.
TEST(CliSignTest, CountPlaysSignsAtAddressesCountedUp) {
    QTemporaryDir folder;
    CSignProcess sign({"--tcp", "127.0.0.2:0", "--count", "3", "--out", folder.path()},
                      QProcessEnvironment());
    std::vector<std::string> names;
    std::vector<uint16_t> ports;
    for (int i = 0; i < 3; ++i) {
        const std::string start = sign.StartLine();
        const std::string prefix = "lumivex-cli sign: listening on ";
        const std::string name = "tcp 127.0.0." + std::to_string(2 + i) + ":";
        ASSERT_EQ(start.rfind(prefix + name, 0), 0U) << start;
        names.push_back(start.substr(prefix.size()));
        ports.push_back(static_cast<uint16_t>(std::stoi(start.substr((prefix + name).size()))));
    }
    for (int i = 2; i >= 0; --i) {
        SendToPort(ports[i], "^L0" + std::string(i + 1, 'X'), true, 0x7f000002 + i);
        const QJsonObject line = sign.NextMessage();
        EXPECT_EQ(line["sign"].toString().toStdString(), names[i]);
        EXPECT_EQ(line["number"].toInt(), 1);
        EXPECT_EQ(line["bytes"].toInt(), 4 + i);
        const QString frames = QString::asprintf("127.0.0.%d-%d/msg-0001-frame-001.png", 2 + i,
                                                 static_cast<int>(ports[i]));
        EXPECT_TRUE(QFile::exists(folder.filePath(frames))) << frames.toStdString();
    }
    EXPECT_EQ(sign.Stop(SIGTERM), 0) << sign.Errors();
}

}  // namespace
