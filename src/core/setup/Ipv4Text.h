#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Four octets, first octet first.
using Ipv4Octets = std::array<uint8_t, 4>;

// The largest value of an octet.
inline constexpr int32_t kMaxOctet = 255;

// "A.B.C.D" with four decimal octets of 0 to 255. An empty octet reads as 0, as in the address
// fields of the pages. Anything else gives nothing.
std::optional<Ipv4Octets> ParseIpv4(std::string_view text);

// "A.B.C.D" without padding.
std::string FormatIpv4(const Ipv4Octets& octets);
