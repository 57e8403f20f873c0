#include <gtest/gtest.h>

#include "setup/NetworkValidation.h"

namespace {

FieldbusInput Input(const char* station, const char* inputSize) {
    FieldbusInput input;
    input.stationAddress = station;
    input.inputSize = inputSize;
    input.outputSize = "2";
    return input;
}

TEST(ValidateAndStoreFieldbusTest, RangesMessagesAndFocus) {
    const struct {
        int32_t type;
        const char* station;
        const char* inputSize;
        const char* message;  // nullptr when the check passes
        NetworkField focus;
    } cases[] = {
        {kNetworkDeviceNet, "63", "8", nullptr, NetworkField::kNone},
        {kNetworkDeviceNet, "0", "120", nullptr, NetworkField::kNone},
        {kNetworkDeviceNet, "", "32", nullptr, NetworkField::kNone},
        {kNetworkDeviceNet, "64", "32", kInvalidMacAddress, NetworkField::kStationAddress},
        {kNetworkDeviceNet, "-1", "32", kInvalidMacAddress, NetworkField::kStationAddress},
        {kNetworkDeviceNet, "20", "7", kInvalidConsumedBytes, NetworkField::kInputSize},
        {kNetworkDeviceNet, "20", "121", kInvalidConsumedBytes, NetworkField::kInputSize},
        {kNetworkDeviceNet, "20", "", kInvalidConsumedBytes, NetworkField::kInputSize},
        {kNetworkDeviceNet, "99", "999", kInvalidMacAddress, NetworkField::kStationAddress},
        {kNetworkProfibus, "0", "1", nullptr, NetworkField::kNone},
        {kNetworkProfibus, "125", "122", nullptr, NetworkField::kNone},
        {kNetworkProfibus, "", "32", nullptr, NetworkField::kNone},
        {kNetworkProfibus, "126", "32", kInvalidNodeAddress, NetworkField::kStationAddress},
        {kNetworkProfibus, "20", "0", kInvalidInputBytes, NetworkField::kInputSize},
        {kNetworkProfibus, "20", "123", kInvalidInputBytes, NetworkField::kInputSize},
        {kNetworkProfibus, "20", "", kInvalidInputBytes, NetworkField::kInputSize},
        {kNetworkProfibus, " 12abc", "  40 ", nullptr, NetworkField::kNone},
    };
    for (const auto& c : cases) {
        CNetworkParams params(c.type);
        const CNetworkParams before = params;
        const NetworkCheckResult result =
            ValidateAndStoreFieldbus(params, Input(c.station, c.inputSize));
        const std::string label = std::string(c.station) + "/" + c.inputSize;
        EXPECT_EQ(result.ok, c.message == nullptr) << label;
        EXPECT_EQ(result.message, c.message ? c.message : "") << label;
        EXPECT_EQ(result.focus, c.focus) << label;
        if (!result.ok) {
            EXPECT_EQ(params, before) << "a failed check must store nothing: " << label;
        }
    }
}

TEST(ValidateAndStoreFieldbusTest, StoresEveryFieldWhenTheChecksPass) {
    CNetworkParams params(kNetworkDeviceNet);
    FieldbusInput input = Input(" 12abc", "40");
    input.outputSize = "7";
    input.baudIndex = 2;
    input.messageSwapped = true;
    input.countLowFirst = false;
    ASSERT_TRUE(ValidateAndStoreFieldbus(params, input).ok);
    EXPECT_EQ(params.m_nStationAddress, 12);
    EXPECT_EQ(params.m_nInputSize, 40);
    EXPECT_EQ(params.m_nOutputSize, 7);
    EXPECT_EQ(params.m_nBaudCode, 2);
    EXPECT_EQ(params.m_nByteOrder, 1);
}

TEST(MakeByteOrderTest, FlagsOfTheRadioButtons) {
    EXPECT_EQ(MakeByteOrder(false, false), 0);
    EXPECT_EQ(MakeByteOrder(true, false), 1);
    EXPECT_EQ(MakeByteOrder(false, true), 2);
    EXPECT_EQ(MakeByteOrder(true, true), 3);
}

}  // namespace
