#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "console_protocol/PortSettingsTable.h"

namespace tolvan::console {
namespace {

// A report read back gives the same settings, for the defaults and for values that need care:
// client mode, a description holding "|", line settings with blanks.
TEST(PortSettingsTableTest, ReportFieldsReadBackToTheSameSettings) {
    PortSettingValues values = DefaultPortSettings();
    EXPECT_EQ(values.Settings, "9600,n,8,1");
    EXPECT_EQ(values.KeepAliveTimeout, 900);
    values.ServiceType = 1;
    values.PortDescription = "Scale | bay 3";
    values.Settings = "115200,e,7,2";
    values.MaxIdleTime = 600;
    for (const BooleanSpelling spelling : {BooleanSpelling::Report, BooleanSpelling::Request}) {
        const std::vector<std::string> fields = SettingsFields(2, 3, values, spelling);
        ASSERT_EQ(fields.size(), static_cast<std::size_t>(kSettingsFieldCount));
        EXPECT_EQ(fields[kFieldPort], "2");
        EXPECT_EQ(fields[kFieldPortNumber], "3");
        EXPECT_EQ(fields[kFieldBaudRate], "115200");
        EXPECT_EQ(fields[kFieldLineFormat], "e,7,2");
        EXPECT_EQ(fields[kFieldServiceType], "Client");
        PortSettingValues read;
        read.KeepAliveTimeout = values.KeepAliveTimeout;  // stored only: not on the wire
        EXPECT_EQ(ParseSettingsFields(fields, read), std::nullopt);
        EXPECT_EQ(read, values);
    }
}

// A bad field names the setting and what it accepts, and leaves the settings as they were.
TEST(PortSettingsTableTest, BadFieldsAreNamedAndChangeNothing) {
    const PortSettingValues before = DefaultPortSettings();
    const struct {
        int field;
        const char* text;
        const char* expected;
    } cases[] = {
        {kFieldMaxConnections, "16", "MaxConnections '16': accepts a whole number from 1 to 15"},
        {kFieldRemotePort, "70000", "RemotePort '70000'"},
        {kFieldEnabled, "yes", "Enabled 'yes': accepts True or False"},
        {kFieldBaudRate, "9601", "baud rate '9601'"},
        {kFieldLineFormat, "x,8,1", "parity 'x'"},
        {kFieldLineFormat, "n,9,1", "data bits '9'"},
        {kFieldLineFormat, "n,8,3", "stop bits '3'"},
        {kFieldLogFile, "a|b", "may not contain '|'"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> fields = SettingsFields(0, 1, before);
        fields[static_cast<std::size_t>(c.field)] = c.text;
        PortSettingValues values = before;
        const auto problem = ParseSettingsFields(fields, values);
        ASSERT_TRUE(problem.has_value()) << c.text;
        EXPECT_NE(problem->find(c.expected), std::string::npos) << *problem;
        EXPECT_EQ(values, before);
    }
}

TEST(PortSettingsTableTest, NamesAreFoundWithoutLetterCaseAndSavedAsStored) {
    ASSERT_NE(FindPortSetting("maxidletime"), nullptr);
    EXPECT_EQ(FindPortSetting("maxidletime")->saveName, "MaxIdletime");
    EXPECT_EQ(FindPortSetting("KeepAliveTimeout")->wireField, kStoredOnly);
    EXPECT_EQ(FindPortSetting("Baud"), nullptr);
    PortSettingValues values;
    EXPECT_EQ(SetFromText(values, *FindPortSetting("ServiceType"), "7"), std::nullopt);
    EXPECT_EQ(StoredText(values, *FindPortSetting("ServiceType")), "1");
}

}  // namespace
}  // namespace tolvan::console
