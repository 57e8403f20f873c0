#include <gtest/gtest.h>

#include "setup/NetworkParams.h"

namespace {

MessageSettings Address(int32_t group, int32_t unit) {
    MessageSettings s;
    s.groupNumber = group;
    s.unitNumber = unit;
    return s;
}

TEST(NetworkParamsTest, DefaultsOfEachType) {
    const CNetworkParams ethernet(kNetworkEthernet);
    EXPECT_EQ(ethernet.m_cardIp, (Ipv4Octets{192, 168, 0, 1}));
    EXPECT_EQ(ethernet.m_cardMask, (Ipv4Octets{255, 255, 255, 0}));
    EXPECT_EQ(ethernet.m_cardGateway, (Ipv4Octets{0, 0, 0, 0}));
    for (int32_t type : {kNetworkDeviceNet, kNetworkProfibus}) {
        const CNetworkParams fieldbus(type);
        EXPECT_EQ(fieldbus.m_nStationAddress, 20);
        EXPECT_EQ(fieldbus.m_nInputSize, 32);
        EXPECT_EQ(fieldbus.m_nOutputSize, 2);
        EXPECT_EQ(fieldbus.m_nBaudCode, 0);
        EXPECT_EQ(fieldbus.m_nByteOrder, 0);
        EXPECT_EQ(fieldbus.m_cardIp, (Ipv4Octets{}));
    }
}

TEST(NetworkParamsTest, SetDefaultsKeepsTypeAndByteOrder) {
    CNetworkParams params(kNetworkDeviceNet);
    params.m_nStationAddress = 63;
    params.m_nBaudCode = 2;
    params.m_nByteOrder = 3;
    params.SetDefaults();
    EXPECT_EQ(params.m_nType, kNetworkDeviceNet);
    EXPECT_EQ(params.m_nByteOrder, 3);
    EXPECT_EQ(params.m_nStationAddress, 20);
    EXPECT_EQ(params.m_nBaudCode, 0);
}

TEST(NetworkParamsTest, BaudKbps) {
    CNetworkParams params(kNetworkDeviceNet);
    const int32_t expected[] = {125, 250, 500, 125, 125};
    for (uint8_t code = 0; code < 5; ++code) {
        params.m_nBaudCode = code;
        EXPECT_EQ(params.GetBaudKbps(), expected[code]);
    }
    params.m_nBaudCode = 255;
    EXPECT_EQ(params.GetBaudKbps(), 125);
}

TEST(NetworkParamsTest, StringsOfEveryKind) {
    CNetworkParams ethernet(kNetworkEthernet);
    CNetworkParams deviceNet(kNetworkDeviceNet);
    CNetworkParams profibus(kNetworkProfibus);
    CNetworkParams tuned(kNetworkDeviceNet);
    tuned.m_nStationAddress = 63;
    tuned.m_nBaudCode = kBaud500;
    tuned.m_nInputSize = 120;
    tuned.m_nByteOrder = MakeByteOrder(true, true);
    CNetworkParams emptyOctet(kNetworkEthernet);
    emptyOctet.m_cardIp = {10, 0, 0, 7};
    CNetworkParams unknown(9);

    const struct {
        std::string actual;
        std::string expected;
    } cases[] = {
        {ethernet.GetSetupString(Address(0, 0)),
         "^A000000^P1A192.168.000.001^P1M255.255.255.000^P1G000.000.000.000"},
        {deviceNet.GetSetupString(Address(0, 0)), "^A000000^P2A020^P2B125^P2R032^P2S002^P2W0"},
        {profibus.GetSetupString(Address(0, 0)), "^A000000^P3A020^P3R032^P3S002^P3W0"},
        {tuned.GetSetupString(Address(2, 5)), "^A020005^P2A063^P2B500^P2R120^P2S002^P2W3"},
        {emptyOctet.GetSetupString(Address(1, 1)),
         "^A010001^P1A010.000.000.007^P1M255.255.255.000^P1G000.000.000.000"},
        {deviceNet.GetDisableString(Address(1, 3)), "^A010003^P2Z"},
        {profibus.GetLoadDefaultsString(Address(2, 8)), "^A020008^P3L"},
        {deviceNet.GetLoadDefaultsString(Address(1, 2)), "^A010002^P2L"},
        {profibus.GetDisableString(Address(0, 0)), "^A000000^P3Z"},
        {ethernet.GetLoadDefaultsString(Address(0, 0)), "^A000000^P1L"},
        {ethernet.GetDisableString(Address(0, 0)), "^A000000^P1Z"},
        {unknown.GetDisableString(Address(0, 0)), "^A000000^P1Z"},
        {GetAddressPrefix(Address(1, 5)), "^A010005"},
        {GetAddressPrefix(Address(12, 12345)), "^A1212345"},
        {GetConfirmationString(Address(0, 0), kNetworkProfibus, true),
         "^A000000^E1^L0^C1^D1^K0^dC1Profibus Communication Attributes Programmed.^N"},
        {GetConfirmationString(Address(1, 2), kNetworkEthernet, false),
         "^A010002^E1^L0^C1^D1^K0^dC1Ethernet Communication Attributes Disabled.^N"},
        {GetConfirmationString(Address(0, 0), kNetworkDeviceNet, true),
         "^A000000^E1^L0^C1^D1^K0^dC1DeviceNet Communication Attributes Programmed.^N"},
        {GetNetworkName(0), ""},
        {GetNetworkName(4), ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.actual, c.expected);
    }
}

TEST(Ipv4TextTest, ParsesLikeTheAddressFields) {
    EXPECT_EQ(ParseIpv4("192.168.0.1"), (Ipv4Octets{192, 168, 0, 1}));
    EXPECT_EQ(ParseIpv4("10..0.7"), (Ipv4Octets{10, 0, 0, 7}));
    EXPECT_EQ(ParseIpv4("255.255.255.255"), (Ipv4Octets{255, 255, 255, 255}));
    for (const char* bad :
         {"", "1.2.3", "1.2.3.4.5", "256.1.1.1", "1.2.3.x", " 1.2.3.4", "0001.2.3.4", "-1.2.3.4"}) {
        EXPECT_FALSE(ParseIpv4(bad)) << bad;
    }
    EXPECT_EQ(FormatIpv4({192, 168, 0, 1}), "192.168.0.1");
}

}  // namespace
