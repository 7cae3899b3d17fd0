// The drop handler library as the shell sees it: its exports and
// resources, the COM contract of the factory and the handler, and the
// drops it must refuse before it touches the archive.
#include <gtest/gtest.h>

#include <oleidl.h>
#include <thread>
#include <vector>

#include "common/paths.h"
#include "common/system.h"
#include "shellext/handler_library.h"
#include "support/drop_data.h"
#include "support/private_settings.h"
#include "support/scripted_user.h"
#include "support/test_files.h"
#include "support/zip_builder.h"

namespace {

std::wstring ProgramFolder()
{
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    return ParentDir(WString(self)).c_str();
}

std::wstring LibraryPath() { return ProgramFolder() + L"\\" + HandlerLibraryName(); }

class HandlerTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(library_.IsLoaded());
        settings_.SetText(L"InstallDir", WString(ProgramFolder().c_str()));
    }
    std::wstring Archive(const wchar_t* name, const Bytes& bytes)
    {
        WString path = scratch_ / name;
        WriteFileBytes(path, bytes);
        return path.c_str();
    }

    ScopedComInit com_;
    PrivateSettings settings_;
    ScratchFolder scratch_;
    HandlerLibrary library_{LibraryPath()};
};

// An empty ZIP archive: the end record alone.
Bytes EmptyZip() { return ZipEndRecord(0, 0, 0); }

TEST_F(HandlerTest, ExportsOnlyTheTwoServerEntryPointsAndCarriesItsResources)
{
    auto* base = reinterpret_cast<const BYTE*>(library_.Module());
    auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& entry = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    ASSERT_NE(0u, entry.VirtualAddress);
    auto* exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + entry.VirtualAddress);
    ASSERT_EQ(2u, exports->NumberOfNames);
    ASSERT_EQ(2u, exports->NumberOfFunctions);
    auto* names = reinterpret_cast<const DWORD*>(base + exports->AddressOfNames);
    EXPECT_STREQ("DllCanUnloadNow", reinterpret_cast<const char*>(base + names[0]));
    EXPECT_STREQ("DllGetClassObject", reinterpret_cast<const char*>(base + names[1]));

    EXPECT_NE(nullptr, FindResourceW(library_.Module(), MAKEINTRESOURCEW(102), RT_GROUP_ICON));
    for (int cursor : {901, 902, 903}) {
        EXPECT_NE(nullptr, FindResourceW(library_.Module(), MAKEINTRESOURCEW(cursor), RT_GROUP_CURSOR)) << cursor;
    }
}

TEST_F(HandlerTest, ClassObjectIsHandedOutOnlyForTheHandlerAndRefusalsFreeIt)
{
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, library_.GetClassObject(CLSID_NULL, IID_IClassFactory, &object));
    EXPECT_EQ(nullptr, object);
    EXPECT_EQ(E_POINTER, library_.GetClassObject(kHandlerClassId, IID_IClassFactory, nullptr));

    object = reinterpret_cast<void*>(1);
    EXPECT_EQ(E_NOINTERFACE, library_.GetClassObject(kHandlerClassId, IID_IDropTarget, &object));
    EXPECT_EQ(nullptr, object);
    EXPECT_EQ(S_OK, library_.CanUnloadNow()) << "the refused factory is gone";

    ComPtr<IClassFactory> factory;
    ASSERT_EQ(S_OK, library_.GetClassObject(kHandlerClassId, IID_IClassFactory, factory.ReceiveVoid()));
    EXPECT_EQ(S_FALSE, library_.CanUnloadNow());
    ComPtr<IUnknown> outer;
    ASSERT_EQ(S_OK, factory->QueryInterface(IID_IUnknown, outer.ReceiveVoid()));
    EXPECT_EQ(CLASS_E_NOAGGREGATION, factory->CreateInstance(outer.Get(), IID_IUnknown, &object));
    EXPECT_EQ(nullptr, object);
    object = reinterpret_cast<void*>(1);
    EXPECT_EQ(E_NOINTERFACE, factory->CreateInstance(nullptr, IID_IStream, &object));
    EXPECT_EQ(nullptr, object);
    EXPECT_EQ(E_POINTER, factory->CreateInstance(nullptr, IID_IUnknown, nullptr));
    EXPECT_EQ(E_NOINTERFACE, factory->QueryInterface(IID_IStream, &object));
    outer.Reset();
    factory.Reset();
    EXPECT_EQ(S_OK, library_.CanUnloadNow()) << "a refused handler is gone";
}

TEST_F(HandlerTest, BothFacesBelongToOneObjectWithOneCount)
{
    ComPtr<IClassFactory> factory;
    ASSERT_EQ(S_OK, library_.GetClassObject(kHandlerClassId, IID_IClassFactory, factory.ReceiveVoid()));
    IPersistFile* file = nullptr;
    ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IPersistFile, reinterpret_cast<void**>(&file)));
    factory.Reset();
    IDropTarget* target = nullptr;
    ASSERT_EQ(S_OK, file->QueryInterface(IID_IDropTarget, reinterpret_cast<void**>(&target)));
    IPersistFile* again = nullptr;
    ASSERT_EQ(S_OK, target->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&again)));
    EXPECT_EQ(file, again);
    IUnknown* identity = nullptr;
    ASSERT_EQ(S_OK, target->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)));
    EXPECT_EQ(static_cast<IUnknown*>(file), identity);
    EXPECT_EQ(5u, file->AddRef()) << "file, target, again, identity and this one";
    EXPECT_EQ(4u, target->Release());
    identity->Release();
    again->Release();
    file->Release();

    CLSID classId{};
    EXPECT_EQ(S_OK, file->GetClassID(&classId));
    EXPECT_TRUE(IsEqualCLSID(kHandlerClassId, classId));
    EXPECT_EQ(E_POINTER, file->GetClassID(nullptr));
    EXPECT_EQ(E_NOTIMPL, file->IsDirty());
    LPOLESTR current = reinterpret_cast<LPOLESTR>(1);
    EXPECT_EQ(E_NOTIMPL, file->GetCurFile(&current));
    EXPECT_EQ(nullptr, current);
    EXPECT_EQ(E_POINTER, file->QueryInterface(IID_IDropTarget, nullptr));

    EXPECT_EQ(S_FALSE, library_.CanUnloadNow());
    EXPECT_EQ(0u, file->Release());
    EXPECT_EQ(S_OK, library_.CanUnloadNow());
}

TEST_F(HandlerTest, CountsHoldUnderCallsFromManyThreads)
{
    ComPtr<IClassFactory> factory;
    ASSERT_EQ(S_OK, library_.GetClassObject(kHandlerClassId, IID_IClassFactory, factory.ReceiveVoid()));
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&factory] {
            for (int i = 0; i < 20000; ++i) {
                factory->AddRef();
                IUnknown* handler = nullptr;
                if (i % 100 == 0 && SUCCEEDED(factory->CreateInstance(nullptr, IID_IUnknown,
                                                                      reinterpret_cast<void**>(&handler)))) {
                    handler->Release();
                }
                factory->Release();
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(2u, factory->AddRef());
    EXPECT_EQ(1u, factory->Release());
    factory.Reset();
    EXPECT_EQ(S_OK, library_.CanUnloadNow());
}

TEST_F(HandlerTest, LoadAcceptsOnlyZipFilesAndStripsQuotes)
{
    ComPtr<IClassFactory> factory;
    ASSERT_EQ(S_OK, library_.GetClassObject(kHandlerClassId, IID_IClassFactory, factory.ReceiveVoid()));
    ComPtr<IPersistFile> file;
    ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IPersistFile, file.ReceiveVoid()));
    EXPECT_EQ(S_OK, file->Load(L"C:\\data\\archive.zip", STGM_READ));
    EXPECT_EQ(S_OK, file->Load(L"C:\\data\\archive.ZIP", STGM_READ));
    EXPECT_EQ(S_OK, file->Load(L"\"C:\\data\\archive.zip\"", STGM_READ));
    EXPECT_EQ(E_FAIL, file->Load(L"C:\\data\\archive.cab", STGM_READ));
    EXPECT_EQ(E_FAIL, file->Load(L"C:\\data\\archive", STGM_READ));
    EXPECT_EQ(E_POINTER, file->Load(nullptr, STGM_READ));
}

TEST_F(HandlerTest, OffersCopyOnlyForFileLists)
{
    HRESULT loaded = E_FAIL;
    ComPtr<IDropTarget> target;
    *target.Receive() = library_.CreateDropTarget(Archive(L"a.zip", EmptyZip()), &loaded);
    ASSERT_EQ(S_OK, loaded);
    DropData* files = DropData::WithFiles({L"C:\\a.txt"});
    DropData* text = DropData::WithTextOnly();
    POINTL point{10, 10};
    DWORD effect = DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK;
    EXPECT_EQ(S_OK, target->DragEnter(files, MK_LBUTTON, point, &effect));
    EXPECT_EQ(static_cast<DWORD>(DROPEFFECT_COPY), effect);
    effect = DROPEFFECT_MOVE;
    EXPECT_EQ(S_OK, target->DragOver(MK_LBUTTON, point, &effect));
    EXPECT_EQ(static_cast<DWORD>(DROPEFFECT_COPY), effect);
    EXPECT_EQ(S_OK, target->DragLeave());

    effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
    EXPECT_EQ(S_OK, target->DragEnter(text, MK_LBUTTON, point, &effect));
    EXPECT_EQ(static_cast<DWORD>(DROPEFFECT_NONE), effect);
    effect = DROPEFFECT_COPY;
    EXPECT_EQ(S_OK, target->DragOver(MK_LBUTTON, point, &effect));
    EXPECT_EQ(static_cast<DWORD>(DROPEFFECT_NONE), effect);
    EXPECT_EQ(E_POINTER, target->DragEnter(files, MK_LBUTTON, point, nullptr));
    EXPECT_EQ(E_POINTER, target->DragOver(MK_LBUTTON, point, nullptr));
    EXPECT_EQ(E_POINTER, target->Drop(files, MK_LBUTTON, point, nullptr));
    files->Release();
    text->Release();
}

TEST_F(HandlerTest, RefusedDropsShowNothingGiveTheMediumBackAndLeaveTheArchive)
{
    BoxAnswerer user;
    std::wstring archive = Archive(L"a.zip", EmptyZip());
    Bytes sound = FileListBlock({(scratch_ / L"a.txt").c_str()});
    Bytes unterminated(sound.begin(), sound.end() - 4);
    struct Case {
        const char* what;
        DropData* data;
    } cases[] = {
        {"no file list", DropData::WithTextOnly()},
        {"global memory without a handle", DropData::WithBlock(sound, kNullGlobalMedium)},
        {"a stream instead of global memory", DropData::WithBlock(sound, kStreamMedium)},
        {"a list running past its block", DropData::WithBlock(unterminated)},
        {"a list without a file", DropData::WithBlock(FileListBlock({}))},
    };
    for (const Case& c : cases) {
        ComPtr<IDropTarget> target;
        *target.Receive() = library_.CreateDropTarget(archive, nullptr);
        ASSERT_TRUE(target);
        DWORD effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
        EXPECT_EQ(E_FAIL, target->Drop(c.data, MK_LBUTTON, POINTL{0, 0}, &effect)) << c.what;
        EXPECT_EQ(static_cast<DWORD>(DROPEFFECT_NONE), effect) << c.what;
        EXPECT_EQ(c.data->HandedOut(), c.data->GivenBack()) << c.what;
        c.data->Release();
    }
    // A drop before Load has no archive to go to.
    ComPtr<IClassFactory> factory;
    ASSERT_EQ(S_OK, library_.GetClassObject(kHandlerClassId, IID_IClassFactory, factory.ReceiveVoid()));
    ComPtr<IDropTarget> unloaded;
    ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IDropTarget, unloaded.ReceiveVoid()));
    DropData* files = DropData::WithFiles({(scratch_ / L"a.txt").c_str()});
    DWORD effect = DROPEFFECT_COPY;
    EXPECT_EQ(E_FAIL, unloaded->Drop(files, MK_LBUTTON, POINTL{0, 0}, &effect));
    EXPECT_EQ(static_cast<DWORD>(DROPEFFECT_NONE), effect);
    files->Release();

    EXPECT_EQ(0u, user.Texts().size());
    EXPECT_EQ(EmptyZip(), ReadFileBytes(WString(archive.c_str())));
}

TEST_F(HandlerTest, WithoutAnInstallFolderTheDropIsRefusedWithTheZlibMessage)
{
    WriteFileText(scratch_ / L"a.txt", "text");
    std::wstring archive = Archive(L"a.zip", EmptyZip());
    for (bool present : {false, true}) {
        if (present) {
            settings_.SetText(L"InstallDir", WString());
        } else {
            settings_.Remove(L"InstallDir");
        }
        BoxAnswerer user;
        user.Answer(IDOK);
        ComPtr<IDropTarget> target;
        *target.Receive() = library_.CreateDropTarget(archive, nullptr);
        ASSERT_TRUE(target);
        DropData* files = DropData::WithFiles({(scratch_ / L"a.txt").c_str()});
        DWORD effect = DROPEFFECT_COPY;
        EXPECT_EQ(E_FAIL, target->Drop(files, MK_LBUTTON, POINTL{0, 0}, &effect));
        EXPECT_EQ(static_cast<DWORD>(DROPEFFECT_NONE), effect);
        EXPECT_EQ(1, files->GivenBack());
        files->Release();
        EXPECT_EQ(std::vector<std::wstring>{L"zlibwapi が使えません"}, user.Texts()) << present;
        EXPECT_EQ(0, user.Unexpected());
    }
    EXPECT_EQ(EmptyZip(), ReadFileBytes(WString(archive.c_str())));
}

TEST_F(HandlerTest, DropLeavesTheWorkFolderAlone)
{
    wchar_t temp[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH + 1, temp);
    WString work = JoinPath(WString(temp), L"ZPKWork");
    CreateDirectoryW(work.c_str(), nullptr);
    WString waiting = JoinPath(work, L"opened.txt");
    ASSERT_TRUE(WriteFileText(waiting, "an entry being edited"));
    WriteFileText(scratch_ / L"a.txt", "text");

    BoxAnswerer user;
    user.Answer(IDOK);  // the archive is empty: added at the top level
    ComPtr<IDropTarget> target;
    *target.Receive() = library_.CreateDropTarget(Archive(L"a.zip", EmptyZip()), nullptr);
    ASSERT_TRUE(target);
    DropData* files = DropData::WithFiles({(scratch_ / L"a.txt").c_str()});
    DWORD effect = DROPEFFECT_MOVE;
    EXPECT_EQ(S_OK, target->Drop(files, MK_LBUTTON, POINTL{0, 0}, &effect));
    EXPECT_EQ(static_cast<DWORD>(DROPEFFECT_COPY), effect) << "a copy, never the source's move";
    files->Release();
    EXPECT_EQ(std::vector<std::wstring>{L"中身が存在しないので直下に圧縮します"}, user.Texts());
    EXPECT_TRUE(PathExists(waiting));
    DeleteFileW(waiting.c_str());
}

}  // namespace
