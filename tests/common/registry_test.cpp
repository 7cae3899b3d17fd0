#include <gtest/gtest.h>

#include "common/registry.h"
#include "support/prompt_recorder.h"

namespace {

// Each run works below a key of its own in the test prefix's HKCU.
class RegistryTest : public testing::Test {
protected:
    void SetUp() override
    {
        path_ = WString(L"Software\\ZupakoTests\\registry") + WString::FromInt(GetCurrentProcessId());
        RegDeleteTreeW(HKEY_CURRENT_USER, path_.c_str());
    }
    void TearDown() override { RegDeleteTreeW(HKEY_CURRENT_USER, path_.c_str()); }
    WString path_;
};

TEST_F(RegistryTest, StoresAndReadsEveryKindOfValue)
{
    {
        RegKey key(HKEY_CURRENT_USER, path_, KEY_ALL_ACCESS, true);
        ASSERT_TRUE(key.IsOpen());
        EXPECT_EQ(static_cast<DWORD>(REG_CREATED_NEW_KEY), key.Disposition());
        EXPECT_TRUE(key.WriteNumber(L"CabCompType", 2));
        EXPECT_TRUE(key.WriteFlag(L"MenuOverFlow", true));
        EXPECT_TRUE(key.WriteText(L"InstallDir", L"C:\\Program Files\\日本"));
        const BYTE bytes[4] = {1, 2, 3, 4};
        EXPECT_TRUE(key.WriteBytes(L"Placement", bytes, 4));
    }
    RegKey key(HKEY_CURRENT_USER, path_, KEY_READ);
    ASSERT_TRUE(key.IsOpen());
    DWORD number = 0;
    EXPECT_TRUE(key.ReadNumber(L"CabCompType", number));
    EXPECT_EQ(2u, number);
    bool flag = false;
    EXPECT_TRUE(key.ReadFlag(L"MenuOverFlow", flag));
    EXPECT_TRUE(flag);
    WString text;
    EXPECT_TRUE(key.ReadText(L"InstallDir", text));
    EXPECT_TRUE(text == L"C:\\Program Files\\日本");
    BYTE read[4] = {};
    EXPECT_TRUE(key.ReadBytes(L"Placement", read, 4));
    EXPECT_EQ(4, read[3]);
    DWORD subKeys = 9;
    DWORD values = 0;
    DWORD longest = 0;
    EXPECT_TRUE(key.QueryCounts(subKeys, values, longest));
    EXPECT_EQ(0u, subKeys);
    EXPECT_EQ(4u, values);
    // The longest value holds the install folder's text and terminator.
    EXPECT_EQ((wcslen(L"C:\\Program Files\\日本") + 1) * sizeof(wchar_t), longest);
}

TEST_F(RegistryTest, AReadOfTheWrongTypeKeepsTheCallersDefault)
{
    RegKey key(HKEY_CURRENT_USER, path_, KEY_ALL_ACCESS, true);
    ASSERT_TRUE(key.WriteText(L"ZipCompType", L"2"));
    DWORD number = 7;
    EXPECT_FALSE(key.ReadNumber(L"ZipCompType", number));
    EXPECT_EQ(7u, number);
    EXPECT_FALSE(key.ReadNumber(L"Missing", number));
    EXPECT_EQ(7u, number);
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, key.LastError());

    ASSERT_TRUE(key.WriteNumber(L"Count", 3));
    WString text(L"default");
    EXPECT_FALSE(key.ReadText(L"Count", text));
    EXPECT_TRUE(text == L"default");

    const BYTE bytes[3] = {1, 2, 3};
    ASSERT_TRUE(key.WriteBytes(L"Short", bytes, 3));
    BYTE read[4] = {9, 9, 9, 9};
    EXPECT_FALSE(key.ReadBytes(L"Short", read, 4));
    EXPECT_EQ(9, read[0]);
}

TEST_F(RegistryTest, ExpandableTextOnlyWhenAllowed)
{
    RegKey key(HKEY_CURRENT_USER, path_, KEY_ALL_ACCESS, true);
    const wchar_t value[] = L"%TEMP%\\x";
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(key.Handle(), L"Work", 0, REG_EXPAND_SZ,
                                            reinterpret_cast<const BYTE*>(value), sizeof value));
    WString text;
    EXPECT_FALSE(key.ReadText(L"Work", text));
    EXPECT_TRUE(key.ReadText(L"Work", text, true));
    EXPECT_TRUE(text == L"%TEMP%\\x") << "the text is not expanded";
}

TEST_F(RegistryTest, DeletesValuesAndKeys)
{
    RegKey key(HKEY_CURRENT_USER, path_, KEY_ALL_ACCESS, true);
    RegKey child(HKEY_CURRENT_USER, path_ + L"\\child", KEY_ALL_ACCESS, true);
    child.Close();
    ASSERT_TRUE(key.WriteNumber(L"v", 1));
    EXPECT_TRUE(key.DeleteValue(L"v"));
    EXPECT_FALSE(key.DeleteValue(L"v"));
    EXPECT_TRUE(key.DeleteSubKey(L"child"));
    DWORD subKeys = 1;
    DWORD values = 1;
    DWORD longest = 0;
    EXPECT_TRUE(key.QueryCounts(subKeys, values, longest));
    EXPECT_EQ(0u, subKeys);
    EXPECT_EQ(0u, values);
}

TEST(RegistryViewTest, AddsTheChosenViewToEveryOpen)
{
    EXPECT_EQ(0u, RegistryViewFlags());
    RegistryView(true);
    EXPECT_EQ(static_cast<REGSAM>(KEY_WOW64_64KEY), RegistryViewFlags());
    RegistryView(false);
    EXPECT_EQ(static_cast<REGSAM>(KEY_WOW64_32KEY), RegistryViewFlags());
    // The 32-bit view of HKCU\Software is the same key for a user's settings.
    RegKey key(HKEY_CURRENT_USER, L"Software", KEY_READ);
    EXPECT_TRUE(key.IsOpen());
    RegistryView(true);
}

}  // namespace
