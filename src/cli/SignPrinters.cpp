#include "cli/SignPrinters.h"

#include <QDir>
#include <ostream>

#include "cli/CliSupport.h"
#include "sign/SignFrames.h"

void CJsonLinePrinter::OnSignMessage(const SignMessage& message) {
    WriteOutputLine(m_out, SignMessageJson(message, m_nModel));
}

void CWarningPrinter::OnSignMessage(const SignMessage& message) {
    // With several signs, each line says which one; one sign keeps its lines as they were.
    const std::string sign = message.sign.empty() ? "" : message.sign + ", ";
    const std::string prefix = sign + "message " + std::to_string(message.number);
    // One write for all: standard error takes each piece on its own.
    std::string lines;
    if (message.truncated) {
        lines += prefix + ": cut at " + std::to_string(message.bytes.size()) +
                 " bytes; the rest was dropped\n";
    }
    for (const DecodeWarning& warning : message.decoded.warnings) {
        lines += prefix + ", offset " + std::to_string(warning.offset) + ": " + warning.text + '\n';
    }
    if (message.decoded.warningsLeftOut > 0) {
        lines += prefix + ": " + WarningsLeftOutText(message.decoded.warningsLeftOut) + '\n';
    }
    m_err << lines;
}

void CFrameWriter::OnSignMessage(const SignMessage& message) {
    const auto* decoded = std::get_if<DecodedMessage>(&message.decoded.content);
    if (decoded == nullptr) {
        return;
    }
    QString folder = m_strFolder;
    if (m_bFolderPerSign) {
        // "tcp 127.0.0.2:49999" -> "127.0.0.2-49999"
        QString name = QString::fromStdString(message.sign);
        name.remove(0, name.indexOf(' ') + 1).replace(':', '-');
        folder += '/' + name;
        if (!QDir().mkpath(folder)) {
            m_err << message.sign << ": cannot create the folder "
                  << folder.toLocal8Bit().constData() << '\n';
            return;
        }
    }
    const FramesWritten written = WriteMessageFrames(*decoded, m_nModel, folder, message.number);
    if (!written.failedFile.isEmpty()) {
        m_err << "message " << message.number << ": cannot write "
              << written.failedFile.toLocal8Bit().constData() << '\n';
    } else if (written.cut) {
        m_err << "message " << message.number << ": frames stop at " << kMaxFramesPerMessage
              << '\n';
    }
}
