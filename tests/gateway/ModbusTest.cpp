// The Modbus server and the polling through real libmodbus clients and servers on loopback,
// with the gateway's core in process on the scripted clock.
#include <gtest/gtest.h>
#include <modbus/modbus.h>

#include <cerrno>

#include "CoreFixture.h"
#include "GatewayTestSupport.h"
#include "ModbusTestSupport.h"
#include "gateway/CModbusPoller.h"
#include "gateway/CModbusServer.h"
#include "gateway/GatewayService.h"

namespace {

using Words = std::vector<uint16_t>;

RegisterEntry Entry(uint16_t address, RegisterType type, std::string var) {
    RegisterEntry entry;
    entry.address = address;
    entry.type = type;
    entry.var = std::move(var);
    return entry;
}

// Reads `count` holding registers from `address`: how many were read, or -1.
std::function<int(modbus_t*)> ReadRegisters(int address, int count) {
    return [=](modbus_t* c) {
        Words words(static_cast<size_t>(count));
        return modbus_read_registers(c, address, count, words.data());
    };
}

// The core of CCoreFixture with the Modbus side: A shows "{count}/{part}".
class CModbusFixture : public CCoreFixture {
public:
    CModbusFixture() {
        EXPECT_FALSE(core->Start());
        status = std::make_unique<CModbusStatus>(*core);
        core->AddStateExtra(
            [this](const SignState& state, QJsonObject& object) { status->AddTo(state, object); });
        EXPECT_TRUE(SetMessage("A", "{count}/{part}").Ok());
    }
    ~CModbusFixture() {
        server.reset();
        poller.reset();
    }

    void Serve(std::vector<std::string> allowFrom = {}) {
        ModbusConfig config;
        config.listenHost = "127.0.0.1";
        config.allowFrom = std::move(allowFrom);
        RegisterEntry part = Entry(20, RegisterType::kString, "part");
        part.textRegisters = 4;
        RegisterEntry message = Entry(100, RegisterType::kMessage, "");
        message.sign = "A";
        CoilEntry coil;
        coil.signs = {"A"};
        coil.messageJson = R"({"lines": ["PRESS 4 DOWN"]})";
        CoilEntry named = coil;  // shows the library's "stop"
        named.address = 1;
        named.messageName = "stop";
        config.map = {{Entry(0, RegisterType::kUint32, "count"), part, message,
                       Entry(10, RegisterType::kFloat32, "temp")},
                      {coil, named}};
        EXPECT_TRUE(Put("Shift change", 12).Ok());
        server = std::make_unique<CModbusServer>(*core, *status, config);
        std::string error;
        ASSERT_TRUE(server->Listen(error)) << error;
    }

    // Into the library as "shift" (or "stop" without a number).
    GatewayResult Put(const char* text, std::optional<int> number = std::nullopt) {
        return Ask([&](CCommands& c, auto reply) {
            c.PutLibraryMessage({number ? "shift" : "stop", number, Text(text)}, Origin::kApi,
                                reply);
        });
    }

    // What A shows now, values filled in.
    std::string Shown() {
        const SignState* state = core->Director().Find("A");
        const auto shown = core->Director().Shown(*state);
        return shown ? ShownText(*shown).toStdString() : "";
    }
    std::string StateField(const char* field) {
        return core->SignJson("A")->value(field).toString().toStdString();
    }

    // A client's calls on a thread of its own, from 127.0.0.`source`.
    template <class F>
    auto Client(F calls, int source = 1) {
        return OffThread([&] {
            modbus_t* context = modbus_new_tcp("127.0.0.1", server->Port());
            const int socket = ConnectFrom(source, server->Port());
            EXPECT_GE(socket, 0);
            modbus_set_socket(context, socket);
            modbus_set_response_timeout(context, kTestWaitMs / 1000, 0);
            auto result = calls(context);
            modbus_close(context);
            modbus_free(context);
            return result;
        });
    }

    std::unique_ptr<CModbusStatus> status;
    std::unique_ptr<CModbusServer> server;
    std::unique_ptr<CModbusPoller> poller;
};

TEST(ModbusServerTest, WritesReachTheSignAndReadBack) {
    CModbusFixture f;
    f.Serve();
    const Words count = {0, 12345};
    EXPECT_EQ(f.Client([&](modbus_t* c) { return modbus_write_registers(c, 0, 2, count.data()); }),
              2);
    EXPECT_EQ(f.Shown(), "12345/--");
    EXPECT_EQ(f.StateField("modbusRegister"), "register 0-1");

    RegisterEntry text = Entry(20, RegisterType::kString, "part");
    text.textRegisters = 4;
    const Words part = EncodeText(text, "AB-1234");
    EXPECT_EQ(f.Client([&](modbus_t* c) { return modbus_write_registers(c, 20, 4, part.data()); }),
              4);
    EXPECT_EQ(f.Shown(), "12345/AB-1234");

    // Read back, both as holding and as input registers; the low word alone keeps the high one.
    const auto read = f.Client([](modbus_t* c) {
        Words holding(2), input(2);
        modbus_write_register(c, 1, 7);
        modbus_read_registers(c, 0, 2, holding.data());
        modbus_read_input_registers(c, 0, 2, input.data());
        return std::pair(holding, input);
    });
    EXPECT_EQ(read.first, (Words{0, 7}));
    EXPECT_EQ(read.second, (Words{0, 7}));
    EXPECT_EQ(f.Shown(), "7/AB-1234");
}

TEST(ModbusServerTest, MessageNumbersAndCoils) {
    CModbusFixture f;
    f.Serve();
    EXPECT_EQ(f.Client([](modbus_t* c) { return modbus_write_register(c, 100, 12); }), 1);
    EXPECT_EQ(f.Shown(), "Shift change");
    EXPECT_TRUE(f.Put("Shift B", 12).Ok());  // the sign follows the library's message
    EXPECT_EQ(f.Shown(), "Shift B");
    EXPECT_EQ(f.StateField("modbusRegister"), "register 100");
    EXPECT_EQ(f.core->SignJson("A")->value("stamp").toObject().value("origin"), "modbus");
    const std::string audit = f.core->Audit().Since(std::nullopt);
    for (const char* field :
         {R"("action":"write register 100")", R"("origin":"modbus")", R"("source":"127.0.0.1")"}) {
        EXPECT_NE(audit.find(field), std::string::npos) << audit;
    }

    // The coil holds its message up while set; cleared, the desired one is back.
    const auto set = f.Client([](modbus_t* c) {
        uint8_t coil = 0;
        const int written = modbus_write_bit(c, 0, 1);
        modbus_read_bits(c, 0, 1, &coil);
        return std::pair(written, coil);
    });
    EXPECT_EQ(set, std::pair(1, uint8_t{1}));
    EXPECT_EQ(f.Shown(), "PRESS 4 DOWN");
    EXPECT_EQ(f.StateField("showing"), "alert");
    f.clock.Advance(std::chrono::hours(48));
    EXPECT_EQ(f.Shown(), "PRESS 4 DOWN");
    EXPECT_EQ(f.Client([](modbus_t* c) { return modbus_write_bit(c, 0, 0); }), 1);
    EXPECT_EQ(f.Shown(), "Shift B");
    EXPECT_EQ(f.StateField("modbusRegister"), "coil 0");

    // A coil naming a library message: refused while the library lacks it, and left clear, so
    // that setting it again once the library has it raises it.
    const auto setNamed = [&] {
        return f.Client([](modbus_t* c) {
            uint8_t coil = 1;
            const int written = modbus_write_bit(c, 1, 1);
            const int error = errno;
            modbus_read_bits(c, 1, 1, &coil);
            return std::tuple(written, error, coil);
        });
    };
    EXPECT_EQ(setNamed(), std::tuple(-1, EMBXILVAL, uint8_t{0}));
    EXPECT_TRUE(f.Put("LINE STOPPED").Ok());
    EXPECT_EQ(std::get<0>(setNamed()), 1);
    EXPECT_EQ(f.Shown(), "LINE STOPPED");
}

TEST(ModbusServerTest, RefusesWhatTheMapDoesNotHold) {
    CModbusFixture f;
    f.Serve();
    const Words nan = {0x7FC0, 0};
    const Words across = {1, 2, 3};
    const struct {
        const char* what;
        std::function<int(modbus_t*)> call;
        int error;
    } cases[] = {
        {"unmapped read", ReadRegisters(50, 1), EMBXILADD},
        {"read past an entry", ReadRegisters(0, 3), EMBXILADD},
        {"unmapped write", [](modbus_t* c) { return modbus_write_register(c, 5, 1); }, EMBXILADD},
        {"write past an entry",
         [&](modbus_t* c) { return modbus_write_registers(c, 0, 3, across.data()); }, EMBXILADD},
        {"unmapped coil", [](modbus_t* c) { return modbus_write_bit(c, 9, 1); }, EMBXILADD},
        {"not a number", [&](modbus_t* c) { return modbus_write_registers(c, 10, 2, nan.data()); },
         EMBXILVAL},
        {"no such message", [](modbus_t* c) { return modbus_write_register(c, 100, 99); },
         EMBXILVAL},
        {"other function", [](modbus_t* c) { return modbus_mask_write_register(c, 0, 1, 1); },
         EMBXILFUN},
    };
    for (const auto& c : cases) {
        const auto [result, error] = f.Client([&](modbus_t* context) {
            const int result = c.call(context);
            return std::pair(result, errno);
        });
        EXPECT_EQ(result, -1) << c.what;
        EXPECT_EQ(error, c.error) << c.what << ": " << modbus_strerror(error);
    }
    EXPECT_EQ(f.Shown(), "--/--");  // nothing of it changed a value
    ASSERT_TRUE(PumpUntil([&] {
        return f.core->Metrics().Text({}).find(
                   "lumivex_modbus_requests_total{function=\"write_multiple_registers\","
                   "result=\"illegal_value\"} 1") != std::string::npos;
    }));
}

TEST(ModbusServerTest, OnlyAllowedAddressesAreServed) {
    CModbusFixture f;
    f.Serve({"127.0.0.2"});
    testing::internal::CaptureStderr();
    EXPECT_EQ(f.Client(ReadRegisters(0, 2), 1), -1);
    EXPECT_EQ(f.Client(ReadRegisters(0, 2), 2), 2);
    // The refusal is logged before the next client is taken, whose request is counted after.
    EXPECT_TRUE(PumpUntil(
        [&] { return f.core->Metrics().Text({}).find("result=\"ok\"} 1") != std::string::npos; }));
    f.core->Log().Flush();
    EXPECT_NE(testing::internal::GetCapturedStderr().find(
                  "modbus: refused a client from 127.0.0.1: not in \"allowFrom\""),
              std::string::npos);
}

TEST(ModbusPollerTest, ChangesReachTheSignAndAStoppedControllerGoesStale) {
    CModbusFixture f;
    auto controller = std::make_unique<CTestController>();
    controller->Set(0, 7);
    const int port = controller->Port();
    ModbusPollTarget target;
    target.host = "127.0.0.1";
    target.port = static_cast<uint16_t>(port);
    target.every = std::chrono::milliseconds(20);
    target.reads = {Entry(0, RegisterType::kUint16, "count")};
    f.poller = std::make_unique<CModbusPoller>(*f.core, *f.status, std::vector{target});
    f.poller->Start();
    ASSERT_TRUE(PumpUntil([&] { return f.Shown() == "7/--"; }));

    // Unchanged: rounds go on and nothing is kept or sent.
    const std::string metrics = f.core->Metrics().Text({});
    const size_t sends = f.sender.sent.size();
    const uint64_t rounds = f.poller->Rounds();
    ASSERT_TRUE(PumpUntil([&] { return f.poller->Rounds() >= rounds + 5; }));
    EXPECT_EQ(f.core->Metrics().Text({}), metrics);  // no state written
    EXPECT_EQ(f.sender.sent.size(), sends);

    controller->Set(0, 8);
    ASSERT_TRUE(PumpUntil([&] { return f.Shown() == "8/--"; }));

    controller.reset();
    ASSERT_TRUE(PumpUntil([&] { return !f.StateField("stale").empty(); }));
    EXPECT_EQ(f.StateField("stale"), "stale since 10:00:00");
    EXPECT_EQ(f.Shown(), "8/--");  // the sign keeps its text

    controller = std::make_unique<CTestController>(port);
    controller->Set(0, 9);
    ASSERT_TRUE(PumpUntil([&] { return f.Shown() == "9/--" && f.StateField("stale").empty(); }));
}

TEST(ModbusConfigTest, ReadsAndRefusesTheConfiguration) {
    const struct {
        const char* json;
        const char* error;  // a part of it; "" when it reads
    } cases[] = {
        {R"({"modbus": {"listen": "127.0.0.1:5020", "map": [{"register": 0, "var": "count",
             "type": "uint32", "wordOrder": "little", "scale": 0.1}, {"coil": 0, "message": "stop",
             "signs": ["A"]}]}, "poll": [{"host": "127.0.0.1:1502", "every": "500ms",
             "read": [{"register": 4, "var": "speed", "input": true}]}]})",
         ""},
        {R"({"modbus": {"listen": "0.0.0.0:502"}})", "\"allowFrom\" must list"},
        {R"({"modbus": {"listen": "127.0.0.1:502", "map": [{"register": 0, "var": "a",
             "type": "int64"}]}})",
         "modbus.map[0].type must be"},
        {R"({"modbus": {"listen": "127.0.0.1:502", "map": [{"var": "a"}]}})", "needs \"register\""},
        {R"({"modbus": {"listen": "127.0.0.1:502", "map": [{"register": 70000, "var": "a"}]}})",
         "modbus.map[0].register must be"},
        {R"({"modbus": {"listen": "127.0.0.1:502", "map": [{"register": 1, "var": "a", "x": 1}]}})",
         "unknown field \"x\""},
        {R"({"poll": [{"host": "127.0.0.1", "every": "5ms", "read": [{"register": 0, "var": "a"}]}]})",
         "poll[0].every"},
        {R"({"poll": [{"host": "127.0.0.1", "read": []}]})", "poll[0].read must list"},
        {R"({"poll": [{"host": "127.0.0.1", "read": [{"register": 0, "type": "message"}]}]})",
         "a polled register is a value"},
    };
    for (const auto& c : cases) {
        const CTempFolder folder;
        const std::string path = folder.Write("gateway.json", c.json);
        try {
            const GatewayConfig config = LoadGatewayConfig(QString::fromStdString(path));
            EXPECT_STREQ(c.error, "");
            EXPECT_EQ(config.modbus.map.registers.at(0).wordOrder, WordOrder::kLittle);
            EXPECT_EQ(config.modbus.poll.at(0).port, 1502);
            EXPECT_EQ(config.modbus.poll.at(0).every, std::chrono::milliseconds(500));
            EXPECT_TRUE(config.modbus.poll.at(0).reads.at(0).input);
            EXPECT_NE(CheckModbusSigns(config.modbus, {TestSign("B")}), std::nullopt);
            EXPECT_EQ(CheckModbusSigns(config.modbus, {TestSign("A")}), std::nullopt);
        } catch (const CGatewayConfigError& error) {
            EXPECT_NE(std::string(error.what()).find(c.error), std::string::npos) << error.what();
            EXPECT_STRNE(c.error, "") << error.what();
        }
    }
}

TEST(ModbusConfigTest, CheckPrintsTheMapAndRefusesUnknownSigns) {
    const auto service = [](const std::string& sign) {
        GatewaySetup setup;
        setup.signs = {TestSign("Line 3", {"hall"})};
        const std::string path = setup.Write(
            R"(, "modbus": {"listen": "127.0.0.1:0", "map": [{"register": 100, "type": "message",
               "sign": ")" +
            sign + R"("}, {"register": 0, "var": "count", "type": "uint32"}]})");
        return GatewayService(QString::fromStdString(path)).ModbusMapText();
    };
    EXPECT_EQ(service("line 3"),
              "Modbus map (unit 1):\n"
              "register 0-1        uint32, high word first -> {count}\n"
              "register 100        library message number -> the sign \"line 3\"\n");
    try {
        service("Line 9");
        ADD_FAILURE() << "an unknown sign was taken";
    } catch (const CGatewayConfigError& error) {
        EXPECT_STREQ(error.what(), "modbus.map: register 100: there is no sign named \"Line 9\"");
    }
}

}  // namespace
