#pragma once

#include <QString>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "encoding/MessageSettings.h"
#include "settings/CMarqueeApp.h"
#include "setup/Ipv4Text.h"
#include "transport/CSendDispatcher.h"

// The plant's signs by name, kept in signs.json beside the settings file. The program and
// lumivex-cli read and write it through this one reader and writer.

inline constexpr const char* kSignsFileName = "signs.json";
inline constexpr size_t kMaxSignNameLength = 64;
inline constexpr int64_t kMaxSignTcpPort = 65535;

// Why the list of signs could not be read, written or changed. A file that cannot be read names
// its line; a field that is wrong names the field and what it needs.
class CSignsFileError : public std::runtime_error {
public:
    explicit CSignsFileError(const std::string& text, int line = 0, std::string field = {})
        : std::runtime_error(text), m_nLine(line), m_strField(std::move(field)) {}

    // From 1; 0 when the fault is not in a file's text.
    int Line() const { return m_nLine; }
    // "signs[1].baud", or empty when no one field is at fault.
    const std::string& Field() const { return m_strField; }

private:
    int m_nLine;
    std::string m_strField;
};

// One sign and how to reach it: a serial port ("COM1" to "COM8", mapped to a device by the
// settings' [Ports]) or an IPv4 address and TCP port.
struct NamedSign {
    std::string name;              // UTF-8
    int32_t comPort = 0;           // 0 to 7 for "COM1" to "COM8", kPortEthernet for an IPv4 address
    int32_t baudRate = kBaud9600;  // serial only
    Ipv4Octets ipAddress{};
    uint16_t tcpPort = kSignTcpPort;
    int32_t address = kAddressBroadcast;  // an AddressMode
    int32_t groupNumber = 0;
    int32_t unitNumber = 0;
    int32_t signModel = 0;  // the preview's model, 0 to 13
    std::vector<std::string> tags;
    // Which gateway serves the sign; kept as written for the gateway to read.
    std::optional<std::string> gateway;

    bool OverTcp() const { return comPort == kPortEthernet; }
    bool operator==(const NamedSign&) const = default;
};

// The link as the file writes it: "COM2", or "192.168.0.20" (the port is a field of its own).
std::string SignLinkText(const NamedSign& sign);
// The link for people: "COM2 at 38400", or "192.168.0.20:49999".
std::string SignLinkDescription(const NamedSign& sign);
// "unit 1/5", "group 1", "broadcast", "default".
std::string SignAddressDescription(const NamedSign& sign);

// Sets the sign's link from "COM1" to "COM8" (any case) or "A.B.C.D[:PORT]" (without a port the
// sign keeps its own); false, leaving the sign as it was, for anything else.
bool SetSignLink(NamedSign& sign, std::string_view text);

// What is wrong with a sign: the field as the file names it ("baud") and what it needs.
struct SignFault {
    std::string field;
    std::string need;  // "9600 or 38400, not 1200"

    // "\"baud\" must be 9600 or 38400, not 1200"
    std::string Text() const;
};

// The sign's first fault, or nothing when it may be kept.
std::optional<SignFault> CheckSign(const NamedSign& sign);

// The gateways the signs name, each once whatever its case, as first written.
std::vector<std::string> NamedGateways(const std::vector<NamedSign>& signs);
// "hall-a", "hall-a and hall-b", "hall-a, hall-b and hall-c".
std::string GatewayListText(const std::vector<std::string>& gateways);

// Everything signs.json holds.
struct SignsDocument {
    std::vector<NamedSign> signs;
    // The top-level "schedules" array as compact JSON text, kept as it is for the gateway; empty
    // when the file has none.
    std::string schedulesJson;

    bool operator==(const SignsDocument&) const = default;
};

// Reads the file's text. Throws CSignsFileError naming the line and the field.
SignsDocument ParseSignsJson(std::string_view json);
// The text of the file: one sign a line.
std::string WriteSignsJson(const SignsDocument& document);

// signs.json beside the settings file: $XDG_CONFIG_HOME/Lumivex1.2/signs.json.
QString DefaultSignsFilePath();

// The list of signs in its file. A file that cannot be read is never written over: every change
// is refused until it reads again.
class CSignsFile {
public:
    explicit CSignsFile(QString path = DefaultSignsFilePath());

    // Reads the file; none is an empty list. Failure: CSignsFileError "PATH line N: ...", with the
    // list left as it was.
    void Load();
    // Replaces the file whole or not at all. Failure: CSignsFileError "cannot write PATH: reason".
    void Save() const;

    const QString& Path() const { return m_strPath; }
    const std::vector<NamedSign>& All() const { return m_document.signs; }
    const std::string& SchedulesJson() const { return m_document.schedulesJson; }

    // The sign of that name, compared without regard to case; null when none.
    const NamedSign* Find(std::string_view name) const;

    // Adds the sign at the end. Throws CSignsFileError when a field is wrong, the name is taken,
    // or the sign would not have exactly one gateway: where the file names several gateways, a
    // sign must name one, and a sign's gateway that makes them several needs every sign to name
    // one (field "gateway").
    void Add(NamedSign sign);
    // Puts the sign in the place of the one named `name`, as an edit does. Throws as Add does, and
    // when there is no such sign.
    void Replace(std::string_view name, NamedSign sign);
    // False when there is no such sign.
    bool Remove(std::string_view name);

private:
    void RefuseChangesIfUnread() const;
    // Throws unless the sign, in the place of `replaced` (null: added), has one driver.
    void CheckOneGateway(const NamedSign& sign, const NamedSign* replaced) const;

    QString m_strPath;
    SignsDocument m_document;
    bool m_bUnreadable = false;
};

// Whether two names are the same sign's: without regard to case.
bool SameSignName(std::string_view a, std::string_view b);
