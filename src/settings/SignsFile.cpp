#include "settings/SignsFile.h"

#include "preview/SignModel.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QStandardPaths>
#include <algorithm>
#include <cstdint>
#include <utility>

#include "settings/MessageFile.h"
#include "settings/ProfileStore.h"

namespace {

constexpr int32_t kMaxSignModel = kSignModelCount - 1;
constexpr int32_t kSignBauds[] = {kBaud9600, kBaud38400};

std::string Quoted(std::string_view text) {
    std::string quoted;
    AppendJsonString(quoted, text);
    return quoted;
}

QString CaseKey(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())).toCaseFolded();
}

bool IsControl(char32_t c) {
    return c < 0x20 || (c >= 0x7F && c < 0xA0);
}

std::optional<SignFault> FieldFault(const char* field, const std::string& need) {
    return SignFault{field, need};
}

// A sign's or a gateway's name.
std::optional<SignFault> NameFault(const char* field, const std::string& text) {
    const std::u32string name = QString::fromStdString(text).toStdU32String();
    if (name.empty() || name.size() > kMaxSignNameLength) {
        return FieldFault(field, "1 to 64 characters, not " + std::to_string(name.size()));
    }
    if (name.front() == U' ' || name.back() == U' ' ||
        std::any_of(name.begin(), name.end(), IsControl)) {
        return FieldFault(
            field, "without spaces at either end or control characters, not " + Quoted(text));
    }
    return std::nullopt;
}

std::string Range(int64_t low, int64_t high, int64_t given) {
    return "a whole number from " + std::to_string(low) + " to " + std::to_string(high) + ", not " +
           std::to_string(given);
}

}  // namespace

std::string SignLinkText(const NamedSign& sign) {
    return sign.OverTcp() ? FormatIpv4(sign.ipAddress) : "COM" + std::to_string(sign.comPort + 1);
}

std::string SignLinkDescription(const NamedSign& sign) {
    return sign.OverTcp() ? SignLinkText(sign) + ":" + std::to_string(sign.tcpPort)
                          : SignLinkText(sign) + " at " + std::to_string(sign.baudRate);
}

std::string SignAddressDescription(const NamedSign& sign) {
    switch (sign.address) {
        case kAddressSpecificUnit:
            return "unit " + std::to_string(sign.groupNumber) + "/" +
                   std::to_string(sign.unitNumber);
        case kAddressSpecificGroup:
            return "group " + std::to_string(sign.groupNumber);
        default:
            return ChoiceJsonText(MessageChoice::kAddress, sign.address);
    }
}

bool SetSignLink(NamedSign& sign, std::string_view text) {
    if (text.size() == 4 && (text[0] == 'C' || text[0] == 'c') &&
        (text[1] == 'O' || text[1] == 'o') && (text[2] == 'M' || text[2] == 'm') &&
        text[3] >= '1' && text[3] < '1' + kComPortCount) {
        sign.comPort = text[3] - '1';
        return true;
    }
    const size_t colon = text.find(':');
    const std::string_view host = text.substr(0, colon);
    const uint16_t oldPort = sign.tcpPort;
    if (colon != std::string_view::npos) {
        const std::string_view digits = text.substr(colon + 1);
        int64_t value = 0;
        for (const char c : digits) {
            value = c >= '0' && c <= '9' ? value * 10 + (c - '0') : kMaxSignTcpPort + 1;
            if (value > kMaxSignTcpPort) {
                return false;
            }
        }
        if (digits.empty() || value == 0) {
            return false;
        }
        sign.tcpPort = static_cast<uint16_t>(value);
    }
    // Every octet written out: the pages' fields read an empty one as 0, a file must not.
    const bool octetMissing = host.empty() || host.front() == '.' || host.back() == '.' ||
                              host.find("..") != std::string_view::npos;
    const std::optional<Ipv4Octets> octets = ParseIpv4(host);
    if (octetMissing || !octets) {
        sign.tcpPort = oldPort;
        return false;
    }
    sign.comPort = kPortEthernet;
    sign.ipAddress = *octets;
    return true;
}

std::string SignFault::Text() const {
    return Quoted(field) + " must be " + need;
}

std::optional<SignFault> CheckSign(const NamedSign& sign) {
    if (std::optional<SignFault> fault = NameFault("name", sign.name)) {
        return fault;
    }
    if (sign.OverTcp()) {
        if (sign.ipAddress == Ipv4Octets{}) {
            return FieldFault("link", "the address of a sign, not 0.0.0.0");
        }
        if (sign.tcpPort == 0) {
            return FieldFault("tcpPort", "a TCP port from 1 to 65535, not 0");
        }
    } else if (sign.comPort < 0 || sign.comPort >= kComPortCount) {
        return FieldFault("link", "\"COM1\" to \"COM8\" or an IPv4 address");
    } else if (std::find(std::begin(kSignBauds), std::end(kSignBauds), sign.baudRate) ==
               std::end(kSignBauds)) {
        return FieldFault("baud", "9600 or 38400, not " + std::to_string(sign.baudRate));
    }
    if (ChoiceJsonText(MessageChoice::kAddress, sign.address).empty()) {
        return FieldFault("address", "\"unit\", \"group\", \"broadcast\" or \"default\"");
    }
    if (sign.groupNumber < 0 || sign.groupNumber > kMaxGroupNumber) {
        return FieldFault("group", Range(0, kMaxGroupNumber, sign.groupNumber));
    }
    if (sign.unitNumber < 0 || sign.unitNumber > kMaxUnitNumber) {
        return FieldFault("unit", Range(0, kMaxUnitNumber, sign.unitNumber));
    }
    if (sign.signModel < 0 || sign.signModel > kMaxSignModel) {
        return FieldFault("model", Range(0, kMaxSignModel, sign.signModel));
    }
    for (const std::string& tag : sign.tags) {
        const std::u32string text = QString::fromStdString(tag).toStdU32String();
        if (text.empty() || std::any_of(text.begin(), text.end(), IsControl)) {
            return FieldFault("tags", "words without control characters, not " + Quoted(tag));
        }
    }
    return sign.gateway ? NameFault("gateway", *sign.gateway) : std::nullopt;
}

std::vector<std::string> NamedGateways(const std::vector<NamedSign>& signs) {
    std::vector<std::string> named;
    for (const NamedSign& sign : signs) {
        if (sign.gateway && std::none_of(named.begin(), named.end(), [&](const std::string& n) {
                return SameSignName(n, *sign.gateway);
            })) {
            named.push_back(*sign.gateway);
        }
    }
    return named;
}

std::string GatewayListText(const std::vector<std::string>& gateways) {
    std::string text;
    for (size_t i = 0; i < gateways.size(); ++i) {
        text += (i == 0 ? "" : i + 1 == gateways.size() ? " and " : ", ") + gateways[i];
    }
    return text;
}

bool SameSignName(std::string_view a, std::string_view b) {
    return CaseKey(a) == CaseKey(b);
}

QString DefaultSignsFilePath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QLatin1Char('/') + QString::fromLatin1(kProfileOrganisation) + QLatin1Char('/') +
           QString::fromLatin1(kSignsFileName);
}

CSignsFile::CSignsFile(QString path) : m_strPath(std::move(path)) {}

void CSignsFile::Load() {
    QFile file(m_strPath);
    if (!file.exists()) {
        m_document = {};
        m_bUnreadable = false;
        return;
    }
    m_bUnreadable = true;
    const std::string shown = m_strPath.toStdString();
    if (!file.open(QIODevice::ReadOnly)) {
        throw CSignsFileError("cannot read " + shown + ": " + file.errorString().toStdString());
    }
    const QByteArray bytes = file.readAll();
    try {
        m_document = ParseSignsJson(std::string_view(bytes.constData(), bytes.size()));
    } catch (const CSignsFileError& error) {
        throw CSignsFileError(shown + " " + error.what(), error.Line(), error.Field());
    }
    m_bUnreadable = false;
}

void CSignsFile::Save() const {
    RefuseChangesIfUnread();
    const std::string shown = m_strPath.toStdString();
    QDir().mkpath(QFileInfo(m_strPath).absolutePath());
    QSaveFile file(m_strPath);
    const std::string text = WriteSignsJson(m_document);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(text.data(), static_cast<qint64>(text.size())) !=
            static_cast<qint64>(text.size()) ||
        !file.commit()) {
        throw CSignsFileError("cannot write " + shown + ": " + file.errorString().toStdString());
    }
}

const NamedSign* CSignsFile::Find(std::string_view name) const {
    const auto found = std::find_if(m_document.signs.begin(), m_document.signs.end(),
                                    [&](const NamedSign& s) { return SameSignName(s.name, name); });
    return found == m_document.signs.end() ? nullptr : &*found;
}

void CSignsFile::Add(NamedSign sign) {
    RefuseChangesIfUnread();
    if (const std::optional<SignFault> fault = CheckSign(sign)) {
        throw CSignsFileError(fault->Text(), 0, fault->field);
    }
    if (Find(sign.name) != nullptr) {
        throw CSignsFileError("a sign named " + Quoted(Find(sign.name)->name) + " is there already",
                              0, "name");
    }
    CheckOneGateway(sign, nullptr);
    m_document.signs.push_back(std::move(sign));
}

void CSignsFile::Replace(std::string_view name, NamedSign sign) {
    RefuseChangesIfUnread();
    const NamedSign* old = Find(name);
    if (old == nullptr) {
        throw CSignsFileError("there is no sign named " + Quoted(name), 0, "name");
    }
    if (const std::optional<SignFault> fault = CheckSign(sign)) {
        throw CSignsFileError(fault->Text(), 0, fault->field);
    }
    const NamedSign* other = Find(sign.name);
    if (other != nullptr && other != old) {
        throw CSignsFileError("a sign named " + Quoted(other->name) + " is there already", 0,
                              "name");
    }
    CheckOneGateway(sign, old);
    m_document.signs[static_cast<size_t>(old - m_document.signs.data())] = std::move(sign);
}

bool CSignsFile::Remove(std::string_view name) {
    RefuseChangesIfUnread();
    const NamedSign* found = Find(name);
    if (found == nullptr) {
        return false;
    }
    m_document.signs.erase(m_document.signs.begin() + (found - m_document.signs.data()));
    return true;
}

void CSignsFile::CheckOneGateway(const NamedSign& sign, const NamedSign* replaced) const {
    // Every gateway drives the signs that name none: among several, such a sign would take each
    // message once from each of them.
    std::vector<NamedSign> after;
    for (const NamedSign& other : m_document.signs) {
        if (&other != replaced) {
            after.push_back(other);
        }
    }
    after.push_back(sign);
    const std::vector<std::string> gateways = NamedGateways(after);
    if (gateways.size() < 2) {
        return;
    }
    if (!sign.gateway) {
        throw CSignsFileError("signs.json names the gateways " + GatewayListText(gateways) +
                                  ": give the sign its gateway",
                              0, "gateway");
    }
    // Only a gateway new to the file is refused for the signs of none already there, so that a
    // file made so by hand can still be mended one sign at a time.
    const std::vector<std::string> before = NamedGateways(m_document.signs);
    const bool added = std::none_of(before.begin(), before.end(), [&](const std::string& n) {
        return SameSignName(n, *sign.gateway);
    });
    const auto without =
        std::find_if(after.begin(), after.end(), [](const NamedSign& s) { return !s.gateway; });
    if (added && without != after.end()) {
        throw CSignsFileError("with " + *sign.gateway + ", signs.json would name the gateways " +
                                  GatewayListText(gateways) + ", and the sign " +
                                  Quoted(without->name) + " names none: give it its gateway first",
                              0, "gateway");
    }
}

void CSignsFile::RefuseChangesIfUnread() const {
    if (m_bUnreadable) {
        throw CSignsFileError(m_strPath.toStdString() +
                              " could not be read; mend it or move it away before changing the "
                              "list of signs");
    }
}
