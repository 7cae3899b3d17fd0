// Seeded random damage to sound archives: whatever the bytes say, reading,
// listing, entry information, extraction and the structural report end
// without a crash, write nothing outside the destination folder and leave
// the archive file as it was.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <random>
#include <set>
#include <string>

#include "archive/cab_builder.h"
#include "archive/cab_test_support.h"
#include "archive/cabfile.h"
#include "archive/zip_records.h"
#include "archive/zipfile.h"
#include "common/paths.h"
#include "dump/dump_run.h"
#include "common_ids.h"
#include "support/prompt_recorder.h"
#include "support/test_files.h"
#include "support/zip_builder.h"

namespace {

// Damaged archives raise error boxes by design: every box is acknowledged,
// every question answered No (never overwrite, never go on).
class AcknowledgeEveryBox : public PromptHandler {
public:
    AcknowledgeEveryBox() : previous_(SetPromptHandler(this)) {}
    ~AcknowledgeEveryBox() override { SetPromptHandler(previous_); }
    AcknowledgeEveryBox(const AcknowledgeEveryBox&) = delete;
    AcknowledgeEveryBox& operator=(const AcknowledgeEveryBox&) = delete;

    int Answer(const Prompt& prompt) override
    {
        switch (prompt.buttons) {
        case MB_YESNO:
            return IDNO;
        case MB_YESNOCANCEL:
        case MB_OKCANCEL:
            return IDCANCEL;
        default:
            return IDOK;
        }
    }

private:
    PromptHandler* previous_;
};

std::set<std::wstring> NamesIn(const WString& folder)
{
    AttrStringList items(false);
    ListDirectory(folder, items, WString(L"*"));
    std::set<std::wstring> names;
    for (int i = 0; i < items.Count(); ++i) {
        names.insert(items.Name(i).c_str());
    }
    return names;
}

// One change of the kinds that damaged downloads and hostile files show:
// scattered bytes, a size, count or offset field set to an extreme value,
// or a file cut short. Half of the changes fall into the first 96 or the
// last quarter of the bytes, where the headers and directories lie.
Bytes Damage(const Bytes& sound, std::mt19937& random)
{
    Bytes bytes = sound;
    auto below = [&random](size_t limit) {
        return limit == 0 ? size_t(0) : std::uniform_int_distribution<size_t>(0, limit - 1)(random);
    };
    auto position = [&]() {
        switch (below(4)) {
        case 0:
            return below(bytes.size() < 96 ? bytes.size() : 96);
        case 1:
            return bytes.size() - 1 - below(bytes.size() / 4 + 1);
        default:
            return below(bytes.size());
        }
    };
    switch (below(4)) {
    case 0:
        for (size_t n = 1 + below(4); n > 0; --n) {
            bytes[position()] = static_cast<uint8_t>(below(256));
        }
        break;
    case 1: {
        static const uint32_t kExtremes[] = {0, 1, 0xFF, 0xFFFF, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF};
        uint32_t value = kExtremes[below(sizeof kExtremes / sizeof kExtremes[0])];
        size_t at = position();
        size_t width = below(2) ? 4 : 2;
        for (size_t i = 0; i < width && at + i < bytes.size(); ++i) {
            bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
        }
        break;
    }
    case 2:
        bytes.resize(1 + below(bytes.size() - 1));
        break;
    default:
        bytes.resize(1 + below(bytes.size() - 1));
        bytes[position()] ^= static_cast<uint8_t>(1 + below(255));
        break;
    }
    return bytes;
}

class DamagedArchive : public testing::Test {
protected:
    using Opener = std::unique_ptr<CArcFile> (*)(const WString& path);

    // Runs every reading operation on many damaged copies of the archive.
    void SurvivesDamage(const Bytes& sound, const wchar_t* name, Opener open, unsigned seed, int copies)
    {
        ChooseHunt(seed, copies);
        std::mt19937 random(seed);
        int extracted = 0;
        WString archivePath = scratch_ / name;
        WString outside = scratch_ / L"out";
        WString destination = JoinPath(outside, WString(L"dest"));
        WString report = scratch_ / L"report.txt";
        AcknowledgeEveryBox boxes;
        for (int copy = 0; copy < copies; ++copy) {
            SCOPED_TRACE("damaged copy " + std::to_string(copy) + " of seed " + std::to_string(seed));
            Bytes damaged = Damage(sound, random);
            ASSERT_TRUE(WriteFileBytes(archivePath, damaged));
            ASSERT_TRUE(CreateDirectoryTree(destination, true));
            {
                std::unique_ptr<CArcFile> archive = open(archivePath);
                StringList names(false);
                archive->GetEntryNames(names);
                for (int i = 0; i < names.Count(); ++i) {
                    DWORD size = 0, packed = 0, attributes = 0;
                    FILETIME written{};
                    StringList info(false);
                    archive->GetEntryInfo(names[i], size, packed, written, attributes, info);
                }
                // One entry or folder of each copy takes the single-entry
                // paths of extraction, then the whole archive follows.
                if (names.Count() > 0) {
                    archive->Extract(destination, names[copy % names.Count()], false);
                }
                if (archive->Extract(destination, WString(), false)) {
                    ++extracted;
                }
            }
            RunArchiveDump(ChooseDumpFormat(archivePath), archivePath, report);

            EXPECT_TRUE(ReadFileBytes(archivePath) == damaged) << "the archive file was changed";
            EXPECT_EQ(std::set<std::wstring>({L"dest"}), NamesIn(outside)) << "written beside the destination";
            std::set<std::wstring> top = NamesIn(scratch_.Path());
            top.erase(name);
            top.erase(L"out");
            top.erase(L"report.txt");
            EXPECT_TRUE(top.empty()) << "written outside the destination: " << Utf8(*top.begin());
            RemoveTree(outside);
            DeleteFileW(report.c_str());
            if (HasFailure()) {
                KeepFailedCopy(damaged, name);
                return;
            }
        }
        // The damage reaches both outcomes: copies that still extract and
        // copies that are refused.
        EXPECT_GT(extracted, 0);
        EXPECT_LT(extracted, copies);
    }

    // Deletes one file from many damaged copies. The commit either leaves
    // the archive as it was or writes one that still holds every other file
    // that could be listed: a damaged archive never loses entries silently.
    void DeletionLosesNothing(const Bytes& sound, const wchar_t* name, Opener open, unsigned seed, int copies)
    {
        ChooseHunt(seed, copies);
        std::mt19937 random(seed);
        WString archivePath = scratch_ / name;
        AcknowledgeEveryBox boxes;
        int rewritten = 0;
        for (int copy = 0; copy < copies; ++copy) {
            SCOPED_TRACE("damaged copy " + std::to_string(copy) + " of seed " + std::to_string(seed));
            Bytes damaged = Damage(sound, random);
            ASSERT_TRUE(WriteFileBytes(archivePath, damaged));
            std::set<std::wstring> before;
            std::wstring deleted;
            {
                std::unique_ptr<CArcFile> archive = open(archivePath);
                before = FileNames(*archive);
                if (before.empty()) {
                    continue;
                }
                deleted = *before.begin();
                archive->Delete(WString(deleted.c_str()));
            }
            if (ReadFileBytes(archivePath) == damaged) {
                continue;
            }
            ++rewritten;
            std::set<std::wstring> after = FileNames(*open(archivePath));
            before.erase(deleted);
            EXPECT_EQ(before, after) << "deleting " << Utf8(deleted);
            if (HasFailure()) {
                KeepFailedCopy(damaged, name);
                return;
            }
        }
        EXPECT_GT(rewritten, 0) << "some damaged copies can still be changed";
    }

    // The copy that failed outlives the scratch folder, for a closer look.
    void KeepFailedCopy(const Bytes& damaged, const wchar_t* name)
    {
        WString kept = JoinPath(ParentDir(scratch_.Path()), WString(L"failed-") + name);
        WriteFileBytes(kept, damaged);
        ADD_FAILURE() << "the failing copy is kept as " << Utf8(kept.c_str());
    }

    // A longer hunt: ZPK_DAMAGE_COPIES copies per archive, and other damage
    // with ZPK_DAMAGE_SEED.
    static void ChooseHunt(unsigned& seed, int& copies)
    {
        if (const char* wanted = getenv("ZPK_DAMAGE_COPIES")) {
            copies = atoi(wanted);
        }
        if (const char* offset = getenv("ZPK_DAMAGE_SEED")) {
            seed += static_cast<unsigned>(atoi(offset)) * 100;
        }
    }

    static std::set<std::wstring> FileNames(CArcFile& archive)
    {
        StringList names(false);
        archive.GetEntryNames(names);
        std::set<std::wstring> files;
        for (int i = 0; i < names.Count(); ++i) {
            if (names[i].Last() != L'\\') {
                files.insert(names[i].c_str());
            }
        }
        return files;
    }

    ScratchFolder scratch_;
};

// A folder of the kinds of files archives hold: compressible text, random
// bytes, an empty file and nested folders with Japanese names.
WString MakeSourceFolder(const ScratchFolder& scratch)
{
    WString source = scratch / L"source";
    CreateDirectoryTree(JoinPath(source, WString(L"data\\深い")), true);
    std::string text;
    for (int i = 0; i < 400; ++i) {
        text += "line " + std::to_string(i) + " of the report\r\n";
    }
    std::mt19937 random(7);
    std::string noise;
    for (int i = 0; i < 3000; ++i) {
        noise += static_cast<char>(random() & 0xFF);
    }
    WriteFileText(JoinPath(source, WString(L"readme.txt")), text);
    WriteFileText(JoinPath(source, WString(L"data\\random.bin")), noise);
    WriteFileText(JoinPath(source, WString(L"data\\深い\\表.txt")), "表の中身");
    WriteFileText(JoinPath(source, WString(L"empty.txt")), "");
    return source;
}

// The records other tools write and the engine only reads: a stored entry
// whose sizes and offset live in Zip64 blocks, a streamed entry with a data
// descriptor, and the Zip64 end record with its locator.
Bytes BuildZip64WithDescriptor()
{
    const std::string big = "zip64 sized entry data\r\n";
    const std::string streamed = "written from a pipe, sizes after the data";
    ZipHeader bigEntry;
    bigEntry.versionNeeded = 45;
    bigEntry.crc = ZipCrc(big);
    bigEntry.packedSize = 0xFFFFFFFF;  // in the Zip64 block
    bigEntry.size = 0xFFFFFFFF;        // in the Zip64 block
    bigEntry.name = "z64/a.txt";
    bigEntry.extra = Zip64Extra({big.size(), big.size()});
    ZipHeader streamedEntry;
    streamedEntry.flags = zip::kFlagDataDescriptor;  // CRC-32 and sizes after the data
    streamedEntry.name = "z64/b.txt";
    ByteBuilder b;
    b.Raw(ZipLocalHeader(bigEntry)).Text(big);
    uint32_t streamedAt = static_cast<uint32_t>(b.Size());
    b.Raw(ZipLocalHeader(streamedEntry))
        .Text(streamed)
        .Raw(ZipDataDescriptor(ZipCrc(streamed), streamed.size(), streamed.size()));
    uint64_t directory = b.Size();
    bigEntry.versionMadeBy = 45;
    bigEntry.headerOffset = 0xFFFFFFFF;  // in the Zip64 block
    bigEntry.extra = Zip64Extra({big.size(), big.size(), 0});
    streamedEntry.crc = ZipCrc(streamed);
    streamedEntry.packedSize = static_cast<uint32_t>(streamed.size());
    streamedEntry.size = static_cast<uint32_t>(streamed.size());
    streamedEntry.headerOffset = streamedAt;
    b.Raw(ZipCentralHeader(bigEntry)).Raw(ZipCentralHeader(streamedEntry));
    uint64_t zip64End = b.Size();
    b.Raw(Zip64EndRecord(2, zip64End - directory, directory))
        .Raw(Zip64Locator(zip64End))
        .Raw(ZipEndRecord(0xFFFF, 0xFFFFFFFF, 0xFFFFFFFF));  // every field in Zip64
    return b.Get();
}

std::unique_ptr<CArcFile> OpenZip(const WString& path)
{
    return std::unique_ptr<CArcFile>(new CZipFile(path, ZlibBesideProgram()));
}

std::unique_ptr<CArcFile> OpenCab(const WString& path) { return std::unique_ptr<CArcFile>(new CCabFile(path)); }

TEST_F(DamagedArchive, ZipOfTheEngineNeverEscapesOrCrashes)
{
    ScratchFolder work;
    WString sourcePath = work / L"sound.zip";
    {
        CZipFile zip(sourcePath, ZlibBesideProgram());
        ASSERT_TRUE(zip.Add(MakeSourceFolder(work), WString(), -1));
    }
    Bytes sound = ReadFileBytes(sourcePath);
    ASSERT_GT(sound.size(), 1000u);
    SurvivesDamage(sound, L"damaged.zip", OpenZip, 1, 300);
    DeletionLosesNothing(sound, L"changed.zip", OpenZip, 11, 150);
}

TEST_F(DamagedArchive, Zip64ArchiveWithDescriptorNeverEscapesOrCrashes)
{
    Bytes sound = BuildZip64WithDescriptor();
    ScratchFolder work;
    ASSERT_TRUE(WriteFileBytes(work / L"sound64.zip", sound));
    {
        // The sound archive reads completely, so that the damage is what
        // the reader meets.
        CZipFileEnum reader(work / L"sound64.zip", false);
        ASSERT_TRUE(reader.ErrorText().IsEmpty()) << Utf8(reader.ErrorText().c_str());
        ASSERT_TRUE(reader.IsZip64());
        ASSERT_EQ(3, reader.Entries().Count());
    }
    SurvivesDamage(sound, L"damaged64.zip", OpenZip, 4, 300);
    DeletionLosesNothing(sound, L"changed64.zip", OpenZip, 14, 150);
}

TEST_F(DamagedArchive, StoredCabinetNeverEscapesOrCrashes)
{
    CabTestLayout layout;
    layout.folders = 2;
    Bytes sound = BuildStoredCabinet({{"a.txt", std::string(700, 'a'), 0},
                                      {"sub\\b.txt", "bee", 0},
                                      {"sub\\deeper\\c.bin", std::string(1500, '\x7f'), 1},
                                      {"empty.txt", "", 1}},
                                     layout);
    SurvivesDamage(sound, L"damaged.cab", OpenCab, 2, 300);
    DeletionLosesNothing(sound, L"changed.cab", OpenCab, 12, 150);
}

TEST_F(DamagedArchive, MszipCabinetOfTheEngineNeverEscapesOrCrashes)
{
    PrivateSettings settings;
    ScratchFolder work;
    WString sourcePath = work / L"sound.cab";
    {
        CCabFile cabinet(sourcePath);
        ASSERT_TRUE(cabinet.Add(MakeSourceFolder(work), WString(), IDI_CABFILE));
    }
    Bytes sound = ReadFileBytes(sourcePath);
    ASSERT_GT(sound.size(), 500u);
    SurvivesDamage(sound, L"damaged.cab", OpenCab, 3, 200);
    DeletionLosesNothing(sound, L"changed.cab", OpenCab, 13, 100);
}

}  // namespace
