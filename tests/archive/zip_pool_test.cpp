// Folder compression on several worker threads: the archive must be the one
// a single worker writes, byte for byte, with the memory held by the
// workers bounded and a failure leaving the archive as it was.
#include <gtest/gtest.h>
#include <zlib.h>

#include <random>
#include <string>
#include <vector>

#include "archive/zip_compress.h"
#include "archive/zipfile.h"
#include "common/handles.h"
#include "common/paths.h"
#include "support/prompt_recorder.h"
#include "support/test_files.h"

namespace {

const int kZipIcon = 101;

std::string Text(size_t size, unsigned seed)
{
    static const char* words[] = {"entry ", "folder ", "deflate ", "header\r\n", "table ", "日本語 "};
    std::mt19937 rng(seed);
    std::string text;
    while (text.size() < size) {
        text += words[rng() % 6];
    }
    text.resize(size);
    return text;
}

std::string Noise(size_t size, unsigned seed)
{
    std::mt19937 rng(seed);
    std::string noise(size, '\0');
    for (char& c : noise) {
        c = static_cast<char>(rng());
    }
    return noise;
}

// Every file's three times, so that two compressions of the tree see the
// same times.
void FixTimes(const WString& path)
{
    FILETIME time{0x4A1B2C00, 0x01D9F000};
    ScopedFile file(CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    ASSERT_TRUE(static_cast<bool>(file));
    ASSERT_TRUE(SetFileTime(file.Get(), &time, &time, &time));
}

class ZipPoolTest : public testing::Test {
protected:
    WString MakeTree()
    {
        WString root = scratch_ / L"tree";
        CreateDirectoryW(root.c_str(), nullptr);
        CreateDirectoryW((root + L"\\sub").c_str(), nullptr);
        CreateDirectoryW((root + L"\\sub\\deep").c_str(), nullptr);
        CreateDirectoryW((root + L"\\空のフォルダ").c_str(), nullptr);
        files_ = {
            {root + L"\\text.txt", Text(300000, 1)},
            {root + L"\\noise.bin", Noise(200000, 2)},
            {root + L"\\empty.txt", ""},
            {root + L"\\sub\\日本語の名前.txt", Text(70000, 3)},
            {root + L"\\sub\\empty2", ""},
            {root + L"\\sub\\deep\\x.log", Text(1, 4)},
        };
        for (int i = 0; i < 30; ++i) {
            files_.push_back({root + L"\\sub\\t" + WString::FromInt(i) + L".txt", Text(100 + 97 * i, 10 + i)});
        }
        for (const auto& file : files_) {
            EXPECT_TRUE(WriteFileText(file.first, file.second));
        }
        return root;
    }

    void FixAllTimes()
    {
        for (const auto& file : files_) {
            FixTimes(file.first);
        }
    }

    // A new archive of the tree, written with the given workers and budget;
    // with the progress window (folder compression) or as a dropped folder.
    Bytes Compress(const WString& tree, const wchar_t* name, int workers, uint64_t budget, bool withProgress)
    {
        FixAllTimes();
        WString archivePath = scratch_ / name;
        {
            CZipFile archive(archivePath, ZlibBesideProgram());
            archive.SetCompressionWorkers(workers);
            archive.SetCompressionBudget(budget);
            EXPECT_TRUE(archive.Add(tree, WString(), withProgress ? kZipIcon : -1))
                << Utf8(archive.ErrorText().c_str());
            // Every file, and the empty folder.
            EXPECT_EQ(static_cast<int>(files_.size()) + 1, archive.Pending().Count());
        }
        return ReadFileBytes(archivePath);
    }

    // A folder "tree" of count text files a0.txt, a1.txt ...
    WString TreeOfTextFiles(int count, uint32_t size)
    {
        WString tree = scratch_ / L"tree";
        CreateDirectoryW(tree.c_str(), nullptr);
        for (int i = 0; i < count; ++i) {
            EXPECT_TRUE(WriteFileText(tree + L"\\a" + WString::FromInt(i) + L".txt", Text(size, i)));
        }
        return tree;
    }

    // An existing archive "old.zip" of one file, whose bytes a failed
    // compression into it must leave alone.
    WString ArchiveOfOneFile()
    {
        WString archivePath = scratch_ / L"old.zip";
        WString seed = scratch_ / L"seed.txt";
        EXPECT_TRUE(WriteFileText(seed, Text(3000, 5)));
        CZipFile archive(archivePath, ZlibBesideProgram());
        EXPECT_TRUE(archive.Add(seed, WString(), -1));
        return archivePath;
    }

    ScratchFolder scratch_;
    std::vector<std::pair<WString, std::string>> files_;
};

TEST_F(ZipPoolTest, ArchiveIsTheSameWithOneOrSeveralWorkers)
{
    WString tree = MakeTree();
    for (bool withProgress : {true, false}) {
        SCOPED_TRACE(withProgress ? "folder compression" : "dropped folder");
        const wchar_t* mode = withProgress ? L"-folder.zip" : L"-drop.zip";
        Bytes single = Compress(tree, (L"one" + WString(mode)).c_str(), 1, ParallelCompressor::kDefaultBudget,
                                withProgress);
        ASSERT_GT(single.size(), 200000u);
        EXPECT_EQ(single, Compress(tree, (L"two" + WString(mode)).c_str(), 2, ParallelCompressor::kDefaultBudget,
                                   withProgress));
        EXPECT_EQ(single, Compress(tree, (L"four" + WString(mode)).c_str(), 4, ParallelCompressor::kDefaultBudget,
                                   withProgress));
        // A budget of one byte admits one file at a time.
        EXPECT_EQ(single, Compress(tree, (L"tight" + WString(mode)).c_str(), 4, 1, withProgress));
    }
}

// Every file is the size of a few others' budget share: without the budget
// the four workers would hold four files at once.
TEST_F(ZipPoolTest, WorkersHoldNoMoreThanTheBudget)
{
    const uint32_t size = 64 * 1024;
    const uint64_t footprint = size + compressBound(size);
    const uint64_t budget = footprint * 2 + footprint / 2;
    std::vector<WString> paths;
    std::vector<WString> names;
    for (int i = 0; i < 16; ++i) {
        paths.push_back(scratch_ / (L"f" + WString::FromInt(i)).c_str());
        names.push_back(L"f" + WString::FromInt(i));
        ASSERT_TRUE(WriteFileText(paths.back(), Noise(size, 100 + i)));
    }
    CZipFile archive(scratch_ / L"budget.zip", ZlibBesideProgram());
    archive.SetCompressionWorkers(4);
    archive.SetCompressionBudget(budget);
    ASSERT_TRUE(archive.AddFiles(paths, names, nullptr));
    EXPECT_EQ(16, archive.Pending().Count());
    EXPECT_LE(archive.PeakCompressionHeld(), budget);
    EXPECT_GE(archive.PeakCompressionHeld(), footprint);

    // A file larger than the whole budget is compressed alone.
    const uint32_t large = 1 << 20;
    WString big = scratch_ / L"big";
    ASSERT_TRUE(WriteFileText(big, Text(large, 7)));
    std::vector<WString> bigPaths{paths[0], big, paths[1]};
    std::vector<WString> bigNames{L"a", L"big", L"b"};
    ASSERT_TRUE(archive.AddFiles(bigPaths, bigNames, nullptr));
    EXPECT_EQ(large + compressBound(large), archive.PeakCompressionHeld());
}

// The error is the one of the first failing file in list order, whatever
// the workers finished first, and nothing after it is added.
TEST_F(ZipPoolTest, FailureStopsAtTheFirstFailingFileInOrder)
{
    WString good1 = scratch_ / L"good1.txt";
    WString good3 = scratch_ / L"good3.txt";
    WString locked = scratch_ / L"locked.txt";
    ASSERT_TRUE(WriteFileText(good1, Text(5000, 1)));
    ASSERT_TRUE(WriteFileText(good3, Text(5000, 3)));
    ASSERT_TRUE(WriteFileText(locked, "locked"));
    ScopedFile lock(CreateFileW(locked.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(static_cast<bool>(lock));
    std::vector<WString> paths{good1, scratch_ / L"vanished.txt", good3, locked};
    std::vector<WString> names{L"1", L"2", L"3", L"4"};
    for (int workers : {1, 4}) {
        PromptRecorder prompts;
        {
            CZipFile archive(scratch_ / L"fail.zip", ZlibBesideProgram());
            archive.SetCompressionWorkers(workers);
            EXPECT_FALSE(archive.AddFiles(paths, names, nullptr));
            EXPECT_TRUE(archive.ErrorText() == L"CompressFile Open Error = 2");
            ASSERT_EQ(1, archive.Pending().Count());
            EXPECT_TRUE(archive.Pending().Name(0) == L"1");
            archive.ClearErrorText();
            std::vector<WString> lockedOnly{good1, locked};
            std::vector<WString> lockedNames{L"5", L"6"};
            EXPECT_FALSE(archive.AddFiles(lockedOnly, lockedNames, nullptr));
            EXPECT_TRUE(archive.ErrorText() == L"CompressFile Open Error = " + WString::FromInt(ERROR_SHARING_VIOLATION));
            archive.ClearErrorText();
        }
        DeleteFileW((scratch_ / L"fail.zip").c_str());
        EXPECT_EQ(0u, prompts.Count());
    }
}

// A file that cannot be compressed (here one of 4 GiB, made sparse) stops
// the folder compression after others were compressed: the archive keeps
// its old bytes, and none of the folder's files reaches it.
TEST_F(ZipPoolTest, FailedFolderCompressionLeavesTheArchiveAsItWas)
{
    WString tree = TreeOfTextFiles(8, 20000);
    {
        ScopedFile big(CreateFileW((tree + L"\\m-big.bin").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(static_cast<bool>(big));
        DWORD returned = 0;
        DeviceIoControl(big.Get(), FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &returned, nullptr);
        LARGE_INTEGER end;
        end.QuadPart = 0x100000000LL;
        ASSERT_TRUE(SetFilePointerEx(big.Get(), end, nullptr, FILE_BEGIN));
        ASSERT_TRUE(SetEndOfFile(big.Get()));
    }
    ASSERT_TRUE(WriteFileText(tree + L"\\z-last.txt", Text(20000, 99)));
    WString archivePath = ArchiveOfOneFile();
    Bytes before = ReadFileBytes(archivePath);
    ASSERT_FALSE(before.empty());
    PromptRecorder prompts;
    prompts.Answer(IDOK);
    {
        CZipFile archive(archivePath, ZlibBesideProgram());
        archive.SetCompressionWorkers(4);
        EXPECT_FALSE(archive.Add(tree, WString(), kZipIcon));
        EXPECT_EQ(0, archive.Pending().Count());
    }
    ASSERT_EQ(1u, prompts.Count());
    EXPECT_EQ(L"file size is too big > 4GB", prompts.LastText());
    EXPECT_EQ(before, ReadFileBytes(archivePath));
}

// Folder compression opens every file before it compresses any: a file
// found locked late in the walk stops it before any entry is added, with
// the collection's error (which the archive object shows when it ends).
TEST_F(ZipPoolTest, LockedFileFoundLateInTheWalkStopsTheFolderBeforeAnyEntry)
{
    WString tree = TreeOfTextFiles(40, 30000);
    WString locked = tree + L"\\z-locked.txt";
    ASSERT_TRUE(WriteFileText(locked, "locked"));
    ScopedFile lock(CreateFileW(locked.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(static_cast<bool>(lock));
    WString archivePath = ArchiveOfOneFile();
    Bytes before = ReadFileBytes(archivePath);
    WString error = locked + L"\nCompress File Open Error = " + WString::FromInt(ERROR_SHARING_VIOLATION);
    PromptRecorder prompts;
    for (int workers : {1, 4}) {
        prompts.Answer(IDOK);
        CZipFile archive(archivePath, ZlibBesideProgram());
        archive.SetCompressionWorkers(workers);
        EXPECT_FALSE(archive.Add(tree, WString(), kZipIcon));
        EXPECT_TRUE(archive.ErrorText() == error) << Utf8(archive.ErrorText().c_str());
        EXPECT_EQ(0, archive.Pending().Count());
    }
    ASSERT_EQ(2u, prompts.Count());
    EXPECT_EQ(std::wstring(error.c_str()), prompts.LastText());
    EXPECT_EQ(before, ReadFileBytes(archivePath));
}

}  // namespace
