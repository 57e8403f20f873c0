#pragma once

#include <string>
#include <vector>

#include "fleet/CSendPlan.h"
#include "fleet/SignCheck.h"
#include "settings/SignsFile.h"

// The operator's lines about named signs, one a sign, as lumivex-cli prints them and the dialogs
// show them.

// "Line 3: sent, 412 bytes in 0.11 s"; "Dock 2: Ethernet 192.168.0.20:49999: connection refused";
// a serial failure in the texts of a single send: "Line 3: COM2 (/dev/ttyUSB0): Invalid Port".
std::string SignSendLine(const SignSendResult& result);
// What the sign's row shows after its name: "sent, 412 bytes in 0.11 s"; for a sign on TCP that
// took every byte but did not close the connection, "sent, not confirmed, 412 bytes in 2.11 s:
// the sign kept the connection open"; or the reason it failed.
std::string SignSendState(const SignSendResult& result);
// "3 of 4 signs got the message"
std::string SignSendSummary(const std::vector<SignSendResult>& results);
// One line of JSON for scripts: {"sign":..., "link":..., "sent":..., "confirmed":..., "bytes":...,
// "seconds":..., "result":..., "error":..., "reason":...}; "confirmed" only ever true over TCP.
std::string SignSendJson(const SignSendResult& result);

// "Line 3: COM2 (/dev/ttyUSB0): Present and usable."
std::string SignCheckLine(const SignCheckResult& result);

// "Line 3: COM2 at 38400, unit 1/5, model 7, tags assembly, hall-b"
std::string SignListLine(const NamedSign& sign);
