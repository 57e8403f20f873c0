#pragma once

#include <QString>
#include <cstdint>
#include <iosfwd>

#include "sign/SignLoop.h"

// What `lumivex-cli sign` does with each message it takes in.

// The message's JSON line on standard output.
class CJsonLinePrinter : public ISignObserver {
public:
    CJsonLinePrinter(int32_t model, std::ostream& out) : m_nModel(model), m_out(out) {}
    void OnSignMessage(const SignMessage& message) override;

private:
    int32_t m_nModel;
    std::ostream& m_out;
};

// The message's warnings on standard error, and a cut message.
class CWarningPrinter : public ISignObserver {
public:
    explicit CWarningPrinter(std::ostream& err) : m_err(err) {}
    void OnSignMessage(const SignMessage& message) override;

private:
    std::ostream& m_err;
};

// The frames of each message as PNG files. Several signs write into a folder each, named after
// where the sign listens ("127.0.0.2-49999"), so that their message numbers do not collide.
class CFrameWriter : public ISignObserver {
public:
    CFrameWriter(QString folder, int32_t model, bool folderPerSign, std::ostream& err)
        : m_strFolder(std::move(folder)),
          m_nModel(model),
          m_bFolderPerSign(folderPerSign),
          m_err(err) {}
    void OnSignMessage(const SignMessage& message) override;

private:
    QString m_strFolder;
    int32_t m_nModel;
    bool m_bFolderPerSign;
    std::ostream& m_err;
};
