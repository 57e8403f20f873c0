#pragma once

#include <QString>
#include <cstdint>

#include "sign/SignLoop.h"

// What `lumivex-cli sign` does with each message it takes in.

// The message's JSON line on standard output.
class CJsonLinePrinter : public ISignObserver {
public:
    explicit CJsonLinePrinter(int32_t model) : m_nModel(model) {}
    void OnSignMessage(const SignMessage& message) override;

private:
    int32_t m_nModel;
};

// The message's warnings on standard error, and a cut message.
class CWarningPrinter : public ISignObserver {
public:
    void OnSignMessage(const SignMessage& message) override;
};

// The frames of each message as PNG files. Several signs write into a folder each, named after
// where the sign listens ("127.0.0.2-49999"), so that their message numbers do not collide.
class CFrameWriter : public ISignObserver {
public:
    CFrameWriter(QString folder, int32_t model, bool folderPerSign)
        : m_strFolder(std::move(folder)), m_nModel(model), m_bFolderPerSign(folderPerSign) {}
    void OnSignMessage(const SignMessage& message) override;

private:
    QString m_strFolder;
    int32_t m_nModel;
    bool m_bFolderPerSign;
};
