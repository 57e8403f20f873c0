#include "cli/SignPrinters.h"

#include <QDir>
#include <cstdio>

#include "cli/CliSupport.h"
#include "sign/SignFrames.h"

void CJsonLinePrinter::OnSignMessage(const SignMessage& message) {
    WriteOutputLine(SignMessageJson(message, m_nModel));
}

void CWarningPrinter::OnSignMessage(const SignMessage& message) {
    // With several signs, each line says which one; one sign keeps its lines as they were.
    const std::string sign = message.sign.empty() ? "" : message.sign + ", ";
    const auto number = static_cast<long long>(message.number);
    if (message.truncated) {
        std::fprintf(stderr, "%smessage %lld: cut at %zu bytes; the rest was dropped\n",
                     sign.c_str(), number, message.bytes.size());
    }
    for (const DecodeWarning& warning : message.decoded.warnings) {
        std::fprintf(stderr, "%smessage %lld, offset %zu: %s\n", sign.c_str(), number,
                     warning.offset, warning.text.c_str());
    }
    if (message.decoded.warningsLeftOut > 0) {
        std::fprintf(stderr, "%smessage %lld: %zu more warnings left out\n", sign.c_str(), number,
                     message.decoded.warningsLeftOut);
    }
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
            std::fprintf(stderr, "%s: cannot create the folder %s\n", message.sign.c_str(),
                         folder.toLocal8Bit().constData());
            return;
        }
    }
    const FramesWritten written = WriteMessageFrames(*decoded, m_nModel, folder, message.number);
    const auto number = static_cast<long long>(message.number);
    if (!written.failedFile.isEmpty()) {
        std::fprintf(stderr, "message %lld: cannot write %s\n", number,
                     written.failedFile.toLocal8Bit().constData());
    } else if (written.cut) {
        std::fprintf(stderr, "message %lld: frames stop at %lld\n", number,
                     static_cast<long long>(kMaxFramesPerMessage));
    }
}
