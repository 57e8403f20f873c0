#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <optional>
#include <string>
#include <vector>

#include "settings/SignsFile.h"

namespace {

// The file as an operator writes it, with what the gateway keeps in it.
constexpr const char* kPlantSigns = R"({
  "signs": [
    {"name": "Line 3", "link": "COM2", "baud": 38400, "group": 1, "unit": 5, "model": 7,
     "tags": ["assembly", "Hall-B"]},
    {"name": "Dock 2", "link": "192.168.0.20", "tcpPort": 10001, "address": "broadcast",
     "gateway": "north"},
    {"name": "Gate", "link": "com8", "group": 2, "address": "group"}
  ],
  "schedules": [{"at": "07:00", "signs": ["Line 3"], "message": {"lines": ["Shift A"]}}]
})";

std::string ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : std::string();
}

void WriteAll(const QString& path, const std::string& text) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text.data(), static_cast<qint64>(text.size()));
}

// Each field as written, the defaults where it is left out, and everything back the same after
// a save: the gateway's fields too.
TEST(SignsFileTest, ReadsThePlantsSignsAndWritesThemBack) {
    const SignsDocument document = ParseSignsJson(kPlantSigns);
    ASSERT_EQ(document.signs.size(), 3u);
    const NamedSign& line = document.signs[0];
    EXPECT_EQ(SignLinkDescription(line), "COM2 at 38400");
    EXPECT_EQ(SignAddressDescription(line), "unit 1/5");  // group and unit given: a unit
    EXPECT_EQ(line.signModel, 7);
    EXPECT_EQ(line.tags, (std::vector<std::string>{"assembly", "Hall-B"}));
    const NamedSign& dock = document.signs[1];
    EXPECT_EQ(SignLinkDescription(dock), "192.168.0.20:10001");
    EXPECT_EQ(SignAddressDescription(dock), "broadcast");
    EXPECT_EQ(dock.gateway, "north");
    EXPECT_EQ(SignLinkDescription(document.signs[2]), "COM8 at 9600");
    EXPECT_EQ(SignAddressDescription(document.signs[2]), "group 2");
    EXPECT_NE(document.schedulesJson.find("Shift A"), std::string::npos);

    EXPECT_EQ(ParseSignsJson(WriteSignsJson(document)), document);
}

// A file that is wrong is refused with the line and the field at fault and what the field needs.
TEST(SignsFileTest, ABadFileNamesTheLineAndTheField) {
    const struct {
        const char* json;
        int line;
        const char* field;
        const char* need;
    } cases[] = {
        {"{\"signs\": [\n{\"name\": \"A\", \"link\": \"COM1\",\n \"baud\": 1200}]}", 3,
         "signs[0].baud", "must be 9600 or 38400, not 1200"},
        {"{\"signs\": [{\"name\": \"A\", \"link\": \"COM1\"},\n {\"name\": \"a\", \"link\": "
         "\"COM2\"}]}",
         2, "signs[1].name", "signs[0] is \"A\""},
        {"{\"signs\": [{\"name\": \"\", \"link\": \"COM1\"}]}", 1, "signs[0].name",
         "must be 1 to 64 characters, not 0"},
        {"{\"signs\": [{\"name\": \" A\", \"link\": \"COM1\"}]}", 1, "signs[0].name",
         "without spaces at either end"},
        {"{\"signs\": [{\"name\": \"A\", \"link\": \"COM9\"}]}", 1, "signs[0].link",
         "\"COM1\" to \"COM8\" or an IPv4 address"},
        {"{\"signs\": [{\"name\": \"A\", \"link\": \"10.0..7\"}]}", 1, "signs[0].link",
         "not \"10.0..7\""},
        {"{\"signs\": [{\"name\": \"A\", \"link\": \"10.0.0.7:80\"}]}", 1, "signs[0].link",
         "not \"10.0.0.7:80\""},
        {"{\"signs\": [{\"name\": \"A\", \"link\": \"0.0.0.0\"}]}", 1, "signs[0].link",
         "not 0.0.0.0"},
        {"{\"signs\": [{\"name\": \"A\", \"link\": \"COM1\", \"tcpPort\": 10001}]}", 1,
         "signs[0].tcpPort", "does not apply to the link COM1"},
        {"{\"signs\": [{\"name\": \"A\", \"link\": \"10.0.0.7\", \"tcpPort\": 70000}]}", 1,
         "signs[0].tcpPort", "from 1 to 65535, not 70000"},
        {"{\"signs\": [{\"name\": \"A\", \"link\": \"COM1\", \"address\": \"all\"}]}", 1,
         "signs[0].address", "\"unit\", \"group\", \"broadcast\" or \"default\", not \"all\""},
        {"{\"signs\": [{\"name\": \"A\", \"link\": \"COM1\", \"group\": 100}]}", 1,
         "signs[0].group", "from 0 to 99, not 100"},
        {"{\"signs\": [{\"name\": \"A\", \"link\": \"COM1\", \"unit\": 2.5}]}", 1, "signs[0].unit",
         "a whole number, not 2.5"},
        {"{\"signs\": [{\"name\": \"A\", \"link\": \"COM1\", \"model\": 14}]}", 1, "signs[0].model",
         "from 0 to 13, not 14"},
        {"{\"signs\": [{\"name\": \"A\", \"link\": \"COM1\", \"tags\": \"hall\"}]}", 1,
         "signs[0].tags", "a list of strings"},
        {"{\"signs\": [{\"name\": \"A\", \"link\": \"COM1\",\n \"tags\": [\"a\",\n 3]}]}", 3,
         "signs[0].tags[1]", "a string, not 3"},
        {"{\"signs\": [{\"name\": \"A\", \"link\": \"COM1\", \"colour\": \"red\"}]}", 1,
         "signs[0].colour", "is not a field of a sign"},
        {"{\"signs\": [\n\n{\"name\": \"A\"}]}", 3, "signs[0]", "needs a \"link\""},
        {"{\"signs\": [],\n \"schedules\": {}}", 2, "schedules", "a list"},
        {"{\"signs\": [\n{\"name\": \"A\",, \"link\": \"COM1\"}]}", 2, "", "not valid JSON"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.json);
        try {
            ParseSignsJson(c.json);
            ADD_FAILURE() << "taken";
        } catch (const CSignsFileError& error) {
            EXPECT_EQ(error.Line(), c.line);
            EXPECT_EQ(error.Field(), c.field);
            const std::string text = error.what();
            EXPECT_EQ(text.rfind("line " + std::to_string(c.line) + ": ", 0), 0u) << text;
            EXPECT_NE(text.find(c.need), std::string::npos) << text;
            if (*c.field != '\0') {
                EXPECT_NE(text.find(std::string("\"") + c.field + "\""), std::string::npos) << text;
            }
        }
    }
}

// A file that cannot be read stays as it is: nothing added, removed or saved over it.
TEST(SignsFileTest, ABadFileIsNeverWrittenOver) {
    const QTemporaryDir folder;
    const QString path = folder.filePath(kSignsFileName);
    const std::string bad = "{\"signs\": [{\"name\": \"A\", \"link\": \"COM1\", \"baud\": 1}]}";
    WriteAll(path, bad);
    CSignsFile file(path);
    EXPECT_THROW(file.Load(), CSignsFileError);
    NamedSign sign;
    sign.name = "B";
    EXPECT_THROW(file.Add(sign), CSignsFileError);
    EXPECT_THROW(file.Remove("A"), CSignsFileError);
    EXPECT_THROW(file.Save(), CSignsFileError);
    EXPECT_EQ(ReadAll(path), bad);
    try {
        file.Load();
    } catch (const CSignsFileError& error) {
        EXPECT_EQ(std::string(error.what()).rfind(path.toStdString() + " line 1: ", 0), 0u);
    }
}

// Adding, finding by name or tag without regard to case, replacing and removing, kept in a file
// that keeps the gateway's parts.
TEST(SignsFileTest, ListOfSignsChangesAndIsKept) {
    const QTemporaryDir folder;
    const QString path = folder.filePath("sub/" + QString::fromLatin1(kSignsFileName));
    CSignsFile file(path);
    file.Load();  // none yet: an empty list, and the folder is made on saving
    EXPECT_TRUE(file.All().empty());
    file.Save();
    WriteAll(path, kPlantSigns);
    file.Load();

    NamedSign added;
    added.name = "Paint 1";
    added.tags = {"HALL-B"};
    file.Add(added);
    NamedSign twin = added;
    twin.name = "LINE 3";
    NamedSign longName = added;
    longName.name = std::string(65, 'x');
    NamedSign badGroup = added;
    badGroup.name = "Paint 2";
    badGroup.groupNumber = -1;
    const struct {
        NamedSign sign;
        const char* field;
    } refused[] = {{twin, "name"}, {longName, "name"}, {badGroup, "group"}};
    for (const auto& c : refused) {
        try {
            file.Add(c.sign);
            ADD_FAILURE() << c.sign.name << " taken";
        } catch (const CSignsFileError& error) {
            EXPECT_EQ(error.Field(), c.field) << error.what();
        }
    }
    ASSERT_NE(file.Find("line 3"), nullptr);
    EXPECT_EQ(file.Find("line 3")->name, "Line 3");

    NamedSign renamed = *file.Find("dock 2");
    renamed.name = "Dock 2a";
    file.Replace("DOCK 2", renamed);
    EXPECT_THROW(file.Replace("Dock 2a", *file.Find("Gate")), CSignsFileError);
    EXPECT_TRUE(file.Remove("GATE"));
    EXPECT_FALSE(file.Remove("Gate"));
    file.Save();

    CSignsFile reread(path);
    reread.Load();
    std::vector<std::string> names;
    for (const NamedSign& sign : reread.All()) {
        names.push_back(sign.name);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"Line 3", "Dock 2a", "Paint 1"}));
    EXPECT_EQ(reread.Find("Dock 2a")->gateway, "north");
    EXPECT_EQ(reread.SchedulesJson(), ParseSignsJson(kPlantSigns).schedulesJson);
}

// Among several gateways a sign of none takes every message from each: a change that makes one so
// is refused. With one gateway signs may leave it out; a file made so by hand mends sign by sign.
TEST(SignsFileTest, EverySignHasOneDriver) {
    const struct {
        std::vector<std::string> there;  // the gateways of signs S0, S1, ...; "" for none
        const char* sign;                // the one changed, or "New" to add
        const char* gateway;             // its gateway; "" for none
        const char* refusal;             // empty: taken
    } cases[] = {
        {{"a", ""}, "New", "", ""},
        {{"a", "A"}, "New", "", ""},
        {{"a", "b", "a", "c"},
         "New",
         "",
         "signs.json names the gateways a, b and c: give the sign its gateway"},
        {{"a", "b", "b"}, "S2", "", "names the gateways a and b: "},
        {{"a", "b"}, "S1", "", ""},
        {{"a", ""},
         "New",
         "b",
         "with b, signs.json would name the gateways a and b, and the sign \"S1\" names none"},
        {{"a", "b", ""}, "S2", "b", ""},
        {{"a", "b", ""}, "S0", "A", ""},
        {{"a", "b", ""}, "S0", "c", "the sign \"S2\" names none"},
        {{}, "New", "a ", "\"gateway\" must be without spaces at either end"},
    };
    const auto signOf = [](const std::string& name, const std::string& gateway) {
        NamedSign sign;
        sign.name = name;
        sign.gateway = gateway.empty() ? std::nullopt : std::optional(gateway);
        return sign;
    };
    const QTemporaryDir folder;
    const QString path = folder.filePath(kSignsFileName);
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.sign) + " to \"" + c.gateway + "\"");
        SignsDocument there;
        for (const std::string& gateway : c.there) {
            there.signs.push_back(signOf("S" + std::to_string(there.signs.size()), gateway));
        }
        WriteAll(path, WriteSignsJson(there));
        CSignsFile file(path);
        file.Load();
        try {
            const NamedSign sign = signOf(c.sign, c.gateway);
            std::string(c.sign) == "New" ? file.Add(sign) : file.Replace(c.sign, sign);
            EXPECT_STREQ(c.refusal, "");
        } catch (const CSignsFileError& error) {
            EXPECT_NE(*c.refusal, '\0');
            EXPECT_NE(std::string(error.what()).find(c.refusal), std::string::npos) << error.what();
            EXPECT_EQ(file.All(), there.signs);
        }
    }
}

// A link as the CLI and the dialog take it.
TEST(SignsFileTest, LinkText) {
    const struct {
        const char* text;
        const char* description;  // empty: refused
    } cases[] = {
        {"COM2", "COM2 at 9600"},
        {"com8", "COM8 at 9600"},
        {"COM0", ""},
        {"COM9", ""},
        {"10.0.0.7", "10.0.0.7:49999"},
        {"10.0.0.7:10001", "10.0.0.7:10001"},
        {"10.0.0.7:0", ""},
        {"10.0.0.7:65536", ""},
        {"10.0.0.7:", ""},
        {"10.0.0", ""},
        {"10.0.0.7.1", ""},
        {".0.0.7", ""},
        {"ttyUSB0", ""},
    };
    for (const auto& c : cases) {
        NamedSign sign;
        const bool taken = SetSignLink(sign, c.text);
        EXPECT_EQ(taken, *c.description != '\0') << c.text;
        if (taken) {
            EXPECT_EQ(SignLinkDescription(sign), c.description);
        }
    }
}

}  // namespace
