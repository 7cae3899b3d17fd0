#include <gtest/gtest.h>

#include "common/settings.h"
#include "support/private_settings.h"

namespace {

// The defaults of every value a program may be handed instead of a stored one.
void ExpectDefaultValues(const StoredSettings& read)
{
    EXPECT_EQ(kActOpenExplorer, read.action);
    EXPECT_TRUE(read.openAfterExtract);
    EXPECT_EQ(kOverflowMoreMenus, read.menuOverflow);
    EXPECT_EQ(0u, read.zipCompType);
    EXPECT_EQ(0u, read.cabCompType);
    EXPECT_EQ(21u, read.cabLzxLevel);
    EXPECT_EQ(0u, read.cabUnitType);
    EXPECT_EQ(0u, read.cabUnitSize);
    EXPECT_FALSE(read.cabSortBySize);
    EXPECT_TRUE(read.extractFolder == DesktopFolder());
    EXPECT_FALSE(read.extractFolder.IsEmpty());
}

TEST(StoredSettingsTest, MissingValuesGiveTheDefaults)
{
    PrivateSettings settings;
    StoredSettings read = ReadStoredSettings();
    ExpectDefaultValues(read);
    EXPECT_TRUE(read.archiverCommand.IsEmpty());
    EXPECT_TRUE(read.installFolder.IsEmpty());
}

TEST(StoredSettingsTest, StoredValuesInRangeAreTaken)
{
    PrivateSettings settings;
    settings.Set(L"Act", 2);
    settings.SetText(L"ArcCommand", L"\"C:\\a b\\arc.exe\" \"%l\"");
    settings.SetText(L"ExtractDir", L"\"C:\\展開 先\"");
    settings.Set(L"EDOpen", 0);
    settings.Set(L"MenuOverFlow", 1);
    settings.Set(L"ZipCompType", 3);
    settings.Set(L"CabCompType", 1);
    settings.Set(L"CabLzxLevel", 15);
    settings.Set(L"CabFType", 2);
    settings.Set(L"CabFSize", 2147483647);
    settings.Set(L"CabSort", 1);
    settings.SetText(L"InstallDir", L"\"C:\\Program Files\\Zupako\"");
    StoredSettings read = ReadStoredSettings();
    EXPECT_EQ(kActExtract, read.action);
    EXPECT_TRUE(read.archiverCommand == L"\"C:\\a b\\arc.exe\" \"%l\"");
    EXPECT_TRUE(read.extractFolder == L"C:\\展開 先");
    EXPECT_FALSE(read.openAfterExtract);
    EXPECT_EQ(kOverflowColumns, read.menuOverflow);
    EXPECT_EQ(3u, read.zipCompType);
    EXPECT_EQ(1u, read.cabCompType);
    EXPECT_EQ(15u, read.cabLzxLevel);
    EXPECT_EQ(2u, read.cabUnitType);
    EXPECT_EQ(kMaxCabUnitSize, read.cabUnitSize);
    EXPECT_TRUE(read.cabSortBySize);
    EXPECT_TRUE(read.installFolder == L"C:\\Program Files\\Zupako");
}

// A -1 written back as 4294967295, or any value the dialog cannot produce,
// must not reach the programs: each gives its default.
TEST(StoredSettingsTest, ValuesOutOfRangeGiveTheDefaults)
{
    PrivateSettings settings;
    settings.Set(L"Act", 3);
    settings.Set(L"EDOpen", 7);
    settings.Set(L"MenuOverFlow", 4294967295u);
    settings.Set(L"ZipCompType", 4);
    settings.Set(L"CabCompType", 3);
    settings.Set(L"CabLzxLevel", 22);
    settings.Set(L"CabFType", 4294967295u);
    settings.Set(L"CabFSize", 4294967295u);
    settings.Set(L"CabSort", 2);
    settings.SetText(L"ExtractDir", L"");
    ExpectDefaultValues(ReadStoredSettings());
}

TEST(StoredSettingsTest, ValueOfTheWrongTypeGivesTheDefault)
{
    PrivateSettings settings;
    settings.SetText(L"MenuOverFlow", L"1");
    settings.Set(L"InstallDir", 5);
    StoredSettings read = ReadStoredSettings();
    EXPECT_EQ(kOverflowMoreMenus, read.menuOverflow);
    EXPECT_TRUE(read.installFolder.IsEmpty());
}

}  // namespace
