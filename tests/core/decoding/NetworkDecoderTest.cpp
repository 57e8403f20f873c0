#include <gtest/gtest.h>

#include "decoding/CommandDecoder.h"

namespace {

DecodedNetwork ReadNetwork(const std::string& bytes,
                           std::vector<DecodeWarning>* warnings = nullptr) {
    DecodedCommand decoded = DecodeCommandString(bytes);
    if (warnings != nullptr) {
        *warnings = decoded.warnings;
    }
    const auto* network = std::get_if<DecodedNetwork>(&decoded.content);
    EXPECT_NE(network, nullptr) << bytes;
    return network != nullptr ? *network : DecodedNetwork{};
}

DottedNumbers Dotted(const Ipv4Octets& octets) {
    return {octets[0], octets[1], octets[2], octets[3]};
}

MessageSettings Address(int32_t group, int32_t unit) {
    MessageSettings s;
    s.groupNumber = group;
    s.unitNumber = unit;
    return s;
}

TEST(NetworkDecoderTest, SetupStringsReadBackTheirValues) {
    CNetworkParams ethernet(kNetworkEthernet);
    ethernet.m_cardIp = {10, 1, 200, 7};
    ethernet.m_cardMask = {255, 255, 0, 0};
    ethernet.m_cardGateway = {10, 1, 0, 254};
    CNetworkParams deviceNet(kNetworkDeviceNet);
    deviceNet.m_nStationAddress = 63;
    deviceNet.m_nBaudCode = kBaud500;
    deviceNet.m_nInputSize = 120;
    deviceNet.m_nByteOrder = 3;
    CNetworkParams profibus(kNetworkProfibus);
    profibus.m_nStationAddress = 125;
    profibus.m_nInputSize = 1;
    profibus.m_nByteOrder = 2;

    for (const CNetworkParams& params : {ethernet, deviceNet, profibus}) {
        const std::string bytes = params.GetSetupString(Address(2, 8));
        std::vector<DecodeWarning> warnings;
        const DecodedNetwork network = ReadNetwork(bytes, &warnings);
        EXPECT_TRUE(warnings.empty()) << bytes << ": " << warnings.at(0).text;
        EXPECT_EQ(network.action, NetworkAction::kSetup) << bytes;
        EXPECT_EQ(network.type, params.m_nType) << bytes;
        EXPECT_EQ(network.groupNumber, 2) << bytes;
        EXPECT_EQ(network.unitNumber, 8) << bytes;
        if (params.m_nType == kNetworkEthernet) {
            EXPECT_EQ(network.ip, Dotted(params.m_cardIp));
            EXPECT_EQ(network.mask, Dotted(params.m_cardMask));
            EXPECT_EQ(network.gateway, Dotted(params.m_cardGateway));
            EXPECT_FALSE(network.stationAddress.has_value());
            continue;
        }
        EXPECT_EQ(network.stationAddress, params.m_nStationAddress) << bytes;
        EXPECT_EQ(network.inputSize, params.m_nInputSize) << bytes;
        EXPECT_EQ(network.outputSize, params.m_nOutputSize) << bytes;
        EXPECT_EQ(network.byteOrder, params.m_nByteOrder) << bytes;
        if (params.m_nType == kNetworkDeviceNet) {
            EXPECT_EQ(network.baudKbps, params.GetBaudKbps());
        } else {
            EXPECT_FALSE(network.baudKbps.has_value());
        }
        EXPECT_FALSE(network.ip.has_value());
    }
}

TEST(NetworkDecoderTest, LoadDefaultsAndDisableStrings) {
    for (const int32_t type : {kNetworkEthernet, kNetworkDeviceNet, kNetworkProfibus}) {
        const CNetworkParams params(type);
        std::vector<DecodeWarning> warnings;
        const DecodedNetwork defaults =
            ReadNetwork(params.GetLoadDefaultsString(Address(1, 3)), &warnings);
        EXPECT_EQ(defaults.action, NetworkAction::kLoadDefaults);
        EXPECT_EQ(defaults.type, type);
        EXPECT_EQ(defaults.unitNumber, 3);
        EXPECT_TRUE(warnings.empty());
        const DecodedNetwork disable = ReadNetwork(params.GetDisableString(Address(1, 3)));
        EXPECT_EQ(disable.action, NetworkAction::kDisable);
        EXPECT_EQ(disable.type, type);
    }
}

TEST(NetworkDecoderTest, WarnsAboutWhatItCannotPlace) {
    const struct {
        const char* name;
        std::string bytes;
        size_t offset;
        std::string warning;
    } cases[] = {
        {"no address", "^P2Z", 0, "no address (^A) before the network codes"},
        {"truncated address", "^A0100^P1L", 0, "truncated address ^A0100"},
        {"missing field", "^A000000^P3A020^P3R032^P3S002", 29, "no ^P3W (byte order)"},
        {"out of order", "^A000000^P2B125^P2A020^P2R032^P2S002^P2W0", 15,
         "^P2A stands out of the codes' order"},
        {"repeated", "^A000000^P2A020^P2A021", 15, "^P2A repeats a code"},
        {"unknown code", "^A000000^P3B125^P3L", 8, "^P3B is not a code of Profibus"},
        {"another type", "^A000000^P1Z^P2Z", 12, "^P2Z is of another network type than ^P1"},
        {"bit rate", "^A000000^P2A020^P2B300^P2R032^P2S002^P2W0", 15,
         "bit rate 300 kb/s is none of 125, 250 and 500"},
        {"octet above 255", "^A000000^P1A300.000.000.001^P1M255.255.255.000^P1G000.000.000.000", 8,
         "^P1A (address) has a number above 255"},
        {"truncated octets", "^A000000^P1A192.168^P1M255.255.255.000^P1G000.000.000.000", 8,
         "truncated ^P1A (address)"},
        {"message after the codes", "^A000000^P1L^K0^dC1X", 12,
         "bytes after the network codes are not read: ^K0^dC1X"},
    };
    for (const auto& c : cases) {
        std::vector<DecodeWarning> warnings;
        ReadNetwork(c.bytes, &warnings);
        ASSERT_FALSE(warnings.empty()) << c.name;
        bool found = false;
        for (const DecodeWarning& warning : warnings) {
            found = found || (warning.offset == c.offset &&
                              warning.text.find(c.warning) != std::string::npos);
        }
        EXPECT_TRUE(found) << c.name << ": " << warnings[0].offset << " " << warnings[0].text;
    }
}

TEST(NetworkDecoderTest, ReadsWhatATruncatedStringCarries) {
    const DecodedNetwork network = ReadNetwork("^A020005^P2A063^P2B5");
    EXPECT_EQ(network.type, kNetworkDeviceNet);
    EXPECT_EQ(network.stationAddress, 63);
    EXPECT_EQ(network.baudKbps, 5);
    EXPECT_FALSE(network.inputSize.has_value());
}

}  // namespace
