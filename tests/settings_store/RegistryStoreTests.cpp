#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "settings_store/RegistryStore.h"
#include "tests/support/TempFolder.h"

namespace tolvan {
namespace {

constexpr const char* kKey = "SYSTEM\\CurrentControlSet\\Services\\TolvanServer\\Port1";

class RegistryStoreTest : public ::testing::Test {
protected:
    std::string Path() const { return folder.File("registry.reg"); }
    RegistryStore Store() {
        return RegistryStore(Path(), [this](const std::string& text) { errors.push_back(text); });
    }

    TempFolder folder;
    std::vector<std::string> errors;
};

TEST_F(RegistryStoreTest, EachTypeReadsInItsTextForm) {
    RegistryStore store = Store();
    ASSERT_TRUE(store.RegWriteValue(kKey, "Text", REG_SZ, "9600,n,8,1"));
    ASSERT_TRUE(store.RegWriteValue(kKey, "Small", REG_DWORD, "5"));
    ASSERT_TRUE(store.RegWriteValue(kKey, "Large", REG_DWORD, "5001"));
    ASSERT_TRUE(store.RegWriteValue(kKey, "Bytes", REG_BINARY, std::string("\x00\x7f\xab", 3)));
    ASSERT_TRUE(store.RegWriteValue(kKey, "Expand", REG_EXPAND_SZ, "%SystemRoot%\\x"));
    EXPECT_EQ(store.RegReadValue(kKey, "Text"), "9600,n,8,1");
    EXPECT_EQ(store.RegReadValue(kKey, "Small"), "005");
    EXPECT_EQ(store.RegReadValue(kKey, "Large"), "5001");
    EXPECT_EQ(store.RegReadValue(kKey, "Bytes"), "007FAB");
    EXPECT_EQ(store.RegReadValue(kKey, "Expand"), "%SystemRoot%\\x");
    EXPECT_FALSE(store.RegWriteValue(kKey, "Bad", REG_DWORD, "five"));
    EXPECT_EQ(store.RegReadValue(kKey, "Bad"), kNotFound);
    EXPECT_EQ(errors.size(), 1u);

    std::string file = TempFolder::Read(Path());
    EXPECT_EQ(file.rfind("REGEDIT4\n", 0), 0u) << file;
    EXPECT_NE(file.find("\"Small\"=dword:00000005\n"), std::string::npos) << file;
    EXPECT_NE(file.find("\"Bytes\"=hex:00,7f,ab\n"), std::string::npos) << file;
}

TEST_F(RegistryStoreTest, TextsAreEightBitCleanWithQuotesAndBackslashesEscaped) {
    RegistryStore store = Store();
    std::string text = "a\"b\\c\r\nline2\t\xff\xe9";
    text += '\0';
    text += "end";
    ASSERT_TRUE(store.RegWriteValue(kKey, "Odd \"name\"", REG_SZ, text));
    ASSERT_TRUE(store.RegWriteValue(kKey, "After", REG_SZ, "x"));
    EXPECT_EQ(store.RegReadValue(kKey, "odd \"NAME\""), text);
    EXPECT_EQ(store.RegReadValue(kKey, "After"), "x");
    EXPECT_NE(TempFolder::Read(Path()).find("\"a\\\"b\\\\c"), std::string::npos);
}

TEST_F(RegistryStoreTest, KeysAndNamesIgnoreCaseAndKeepTheirFirstSpelling) {
    RegistryStore store = Store();
    ASSERT_TRUE(store.RegWriteValue(kKey, "MaxIdleTime", REG_SZ, "5"));
    ASSERT_TRUE(store.RegWriteValue("system\\currentcontrolset\\services\\tolvanserver\\PORT1",
                                    "MaxIdletime", REG_SZ, "7"));
    EXPECT_EQ(store.RegReadValue(kKey, "MAXIDLETIME"), "7");
    std::string file = TempFolder::Read(Path());
    EXPECT_NE(file.find("\"MaxIdleTime\"=\"7\""), std::string::npos) << file;
    EXPECT_EQ(file.find("MaxIdletime"), std::string::npos) << file;
    EXPECT_EQ(file.find("PORT1"), std::string::npos) << file;
    EXPECT_TRUE(store.RegDeleteValue(kKey, "maxidletime"));
    EXPECT_EQ(store.RegReadValue(kKey, "MaxIdleTime"), kNotFound);
    EXPECT_TRUE(store.RegDeleteValue(kKey, "MaxIdleTime"));  // already gone: no error
}

TEST_F(RegistryStoreTest, AbsentLongAndNotFoundTextsReadAsNotFound) {
    RegistryStore store = Store();
    EXPECT_EQ(store.RegReadValue(kKey, "Anything"), kNotFound);  // no file at all
    TempFolder::Write(Path(), "");
    EXPECT_EQ(store.RegReadValue(kKey, "Anything"), kNotFound);  // an empty store
    ASSERT_TRUE(store.RegWriteValue(kKey, "Fits", REG_SZ, std::string(2047, 'x')));
    ASSERT_TRUE(store.RegWriteValue(kKey, "TooLong", REG_SZ, std::string(2048, 'x')));
    ASSERT_TRUE(store.RegWriteValue(kKey, "Literal", REG_SZ, "Not Found"));
    EXPECT_EQ(store.RegReadValue(kKey, "Fits"), std::string(2047, 'x'));
    EXPECT_EQ(store.RegReadValue(kKey, "TooLong"), kNotFound);
    EXPECT_EQ(store.RegReadValue(kKey, "Literal"), kNotFound);
    EXPECT_EQ(store.RegReadValue(kKey + std::string("\\Sub"), "Fits"), kNotFound);
    EXPECT_TRUE(errors.empty());
}

// Adding never replaces a value, not even one that reads as "Not Found"; an empty value
// counts as there. A bad file is left alone.
TEST_F(RegistryStoreTest, AddWritesOnlyAnAbsentValue) {
    using Add = RegistryStore::AddOutcome;
    RegistryStore store = Store();
    EXPECT_EQ(store.RegAddValue(kKey, "New", "first"), Add::Added);
    EXPECT_EQ(store.RegAddValue(kKey, "NEW", "second"), Add::AlreadyThere);
    EXPECT_EQ(store.RegReadValue(kKey, "New"), "first");
    ASSERT_TRUE(store.RegWriteValue(kKey, "Empty", REG_SZ, ""));
    ASSERT_TRUE(store.RegWriteValue(kKey, "TooLong", REG_SZ, std::string(3000, 'x')));
    EXPECT_EQ(store.RegAddValue(kKey, "Empty", "x"), Add::AlreadyThere);
    EXPECT_EQ(store.RegAddValue(kKey, "TooLong", "x"), Add::AlreadyThere);
    EXPECT_EQ(store.RegReadValue(kKey, "Empty"), "");
    EXPECT_NE(TempFolder::Read(Path()).find(std::string(3000, 'x')), std::string::npos);

    const std::string bad = "REGEDIT4\n\n\"Broken=\"2\"\n";
    TempFolder::Write(Path(), bad);
    EXPECT_EQ(store.RegAddValue(kKey, "New", "third"), Add::Failed);
    EXPECT_EQ(TempFolder::Read(Path()), bad);
}

TEST_F(RegistryStoreTest, HandEditedFileKeepsItsCommentsAndAcceptsCrLf) {
    TempFolder::Write(Path(),
                      "REGEDIT4\r\n"
                      "; operator's note\r\n"
                      "\r\n"
                      "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\TolvanServer\\"
                      "Port1]\r\n"
                      "\"Enabled\" = \"True\"   \r\n"
                      "\"Long\"=hex:01,02,\\\r\n"
                      "  03\r\n"
                      "; keep me too\r\n"
                      "\"Spread\"=\"two\r\nlines\"\r\n");
    RegistryStore store = Store();
    EXPECT_EQ(store.RegReadValue(kKey, "Enabled"), "True");
    EXPECT_EQ(store.RegReadValue(kKey, "Long"), "010203");
    EXPECT_EQ(store.RegReadValue(kKey, "Spread"), "two\r\nlines");
    ASSERT_TRUE(store.RegWriteValue(kKey, "Enabled", REG_SZ, "False"));
    ASSERT_TRUE(store.RegWriteValue(kKey, "New", REG_SZ, "n"));
    std::string file = TempFolder::Read(Path());
    EXPECT_EQ(file,
              "REGEDIT4\n"
              "; operator's note\n"
              "\n"
              "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\TolvanServer\\Port1]\n"
              "\"Enabled\"=\"False\"\n"
              "\"Long\"=hex:01,02,\\\n"
              "  03\n"
              "; keep me too\n"
              "\"Spread\"=\"two\r\nlines\"\n"
              "\"New\"=\"n\"\n");
    EXPECT_TRUE(errors.empty());
}

TEST_F(RegistryStoreTest, BadFileIsNeverOverwrittenAndIsReportedWithItsLine) {
    const std::string bad =
        "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SYSTEM\\X]\n\"Good\"=\"1\"\n\"Broken=\"2\"\n";
    TempFolder::Write(Path(), bad);
    RegistryStore store = Store();
    EXPECT_EQ(store.RegReadValue("SYSTEM\\X", "Good"), kNotFound);
    EXPECT_EQ(store.RegReadValue("SYSTEM\\X", "Good"), kNotFound);
    ASSERT_EQ(errors.size(), 1u) << "a bad file is reported once, not on every read";
    EXPECT_NE(errors[0].find("settings store " + Path() + " line 5: "), std::string::npos)
        << errors[0];
    EXPECT_FALSE(store.RegWriteValue("SYSTEM\\X", "Good", REG_SZ, "3"));
    EXPECT_EQ(errors.size(), 2u);
    EXPECT_EQ(TempFolder::Read(Path()), bad);

    TempFolder::Write(Path(), "[HKEY_LOCAL_MACHINE\\SYSTEM\\X]\n");
    EXPECT_EQ(store.RegReadValue("SYSTEM\\X", "Good"), kNotFound);
    ASSERT_EQ(errors.size(), 3u);
    EXPECT_NE(errors[2].find("line 1: "), std::string::npos) << errors[2];
}

TEST_F(RegistryStoreTest, NewFileGetsMode0640AndAMissingFolderFailsTheWrite) {
    RegistryStore store = Store();
    ASSERT_TRUE(store.RegWriteValue(kKey, "Enabled", REG_SZ, "True"));
    struct stat info {};
    ASSERT_EQ(stat(Path().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);

    RegistryStore nowhere(folder.File("missing/registry.reg"),
                          [this](const std::string& text) { errors.push_back(text); });
    EXPECT_FALSE(nowhere.RegWriteValue(kKey, "Enabled", REG_SZ, "True"));
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0].find(folder.File("missing/registry.reg")), std::string::npos);
}

}  // namespace
}  // namespace tolvan
