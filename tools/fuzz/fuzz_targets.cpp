#include "tools/fuzz/fuzz_targets.h"

#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "archive/cabfile.h"
#include "archive/zipfile.h"
#include "common/handles.h"
#include "common/messages.h"
#include "common/password_prompt.h"
#include "dump/dump_run.h"
#include "tools/fuzz/crash_watch.h"
#include "tools/fuzz/system_hooks.h"
#include "tools/fuzz/zip_model.h"

namespace {

TargetContext* g_context = nullptr;

// Boxes are acknowledged; each question takes the next two variant bits:
// yes, no, or cancel where the box has it.
class VariantAnswers : public PromptHandler {
public:
    int Answer(const Prompt& prompt) override
    {
        UINT buttons = prompt.buttons & MB_TYPEMASK;
        unsigned bits = static_cast<unsigned>((g_context->variant >> (2 * (asked_++ % 16))) & 3);
        switch (buttons) {
        case MB_YESNO:
            return bits & 1 ? IDNO : IDYES;
        case MB_YESNOCANCEL:
            return bits == 0 ? IDYES : bits == 1 ? IDNO : IDCANCEL;
        case MB_OKCANCEL:
            return bits & 1 ? IDCANCEL : IDOK;
        default:
            return IDOK;
        }
    }

private:
    unsigned asked_ = 0;
};

// The password every encrypted seed was made with; a second request for
// the same entry means it was wrong, and is cancelled.
class FuzzingPassword : public PasswordSource {
public:
    bool Ask(const PasswordRequest& request, WString& password) override
    {
        if (request.wrong) {
            return false;
        }
        password = WString::FromAnsi(fuzzzip::kPassword);
        return true;
    }
};

VariantAnswers g_answers;
FuzzingPassword g_password;

void WriteInput(const WString& path, const uint8_t* data, size_t size)
{
    ScopedFile file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                nullptr));
    if (!file) {
        fuzzwatch::Report(fuzzwatch::kBrokenPromise, "the input file cannot be written (left open by the engine?)");
    }
    DWORD written = 0;
    bool ok = WriteFile(file.Get(), data, static_cast<DWORD>(size), &written, nullptr) && written == size;
    if (!ok) {
        fuzzwatch::Report(fuzzwatch::kBrokenPromise, "the input file cannot be written");
    }
}

std::vector<uint8_t> ReadWhole(const WString& path)
{
    std::vector<uint8_t> bytes;
    ScopedFile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        return bytes;
    }
    LARGE_INTEGER size{};
    GetFileSizeEx(file.Get(), &size);
    bytes.resize(static_cast<size_t>(size.QuadPart));
    DWORD got = 0;
    ReadFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr);
    bytes.resize(got);
    return bytes;
}

void EmptyOutput(TargetContext& context)
{
    if (fuzzhooks::FolderTouched()) {
        CArcFile::DeleteFolderContents(context.output);
        fuzzhooks::ResetFolderTouched();
    }
}

[[noreturn]] void Broken(const std::string& what, const WString& why)
{
    std::string text = what + (why.IsEmpty() ? std::string() : std::string(": ") + why.ToUtf8().c_str());
    fuzzwatch::Report(fuzzwatch::kBrokenPromise, text.c_str());
}

void ZipList(TargetContext& context, const uint8_t* data, size_t size)
{
    WriteInput(context.zipPath, data, size);
    CZipFileEnum zip(context.zipPath, true);
    StringList names(false);
    zip.GetEntryNames(names);
    for (int i = 0; i < zip.Entries().Count(); ++i) {
        zip.OverlapsOther(zip.Entries().ValueAt(i));
    }
}

void ZipExtract(TargetContext& context, const uint8_t* data, size_t size)
{
    WriteInput(context.zipPath, data, size);
    {
        CZipFile zip(context.zipPath, context.zlibPath, true);
        zip.SetPasswordSource(&g_password);
        zip.Extract(context.output, WString(), false);
        if (context.variant & 0x10000) {
            // One entry at a time, as the menu's items and tooltip take them.
            StringList names(false);
            zip.GetEntryNames(names);
            for (int i = 0; i < names.Count() && i < 4; ++i) {
                const WString& name = names.Name(i);
                DWORD unpacked = 0, packed = 0, attributes = 0;
                FILETIME time{};
                StringList lines(false);
                uint64_t stored = 0;
                uint32_t crc = 0;
                zip.GetEntryInfo(name, unpacked, packed, time, attributes, lines);
                zip.StoredChecksum(name, stored, crc);
                if (zip.IsEncryptedEntry(name)) {
                    EntryProtection protection;
                    zip.UnlockEntry(name, protection);
                }
                if (name.Last() != L'\\') {
                    zip.Extract(context.output, name, false);
                }
            }
        }
    }
    EmptyOutput(context);
}

void ZipCommit(TargetContext& context, const uint8_t* data, size_t size)
{
    WriteInput(context.zipPath, data, size);
    // One input in eight is changed by "another program" between the
    // reading and the commit, which must then leave it alone.
    bool changedBehind = (context.variant & 0x70000) == 0;
    bool pending = false;
    bool committed = false;
    {
        CZipFile zip(context.zipPath, context.zlibPath, true);
        zip.SetPasswordSource(&g_password);
        for (int i = 0; i < zip.Entries().Count(); ++i) {
            const WString& name = zip.Entries().Name(i);
            if (!name.IsEmpty()) {
                zip.Delete(name.ReplaceAll(L'/', L'\\'));
                break;
            }
        }
        pending = zip.HasPendingChanges();
        if (changedBehind) {
            ScopedFile file(CreateFileW(context.zipPath.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
            DWORD written = 0;
            WriteFile(file.Get(), "!", 1, &written, nullptr);
        }
        committed = zip.CommitChanges();
        if (!committed && !zip.HasError()) {
            Broken("a commit failed without saying why", WString());
        }
        zip.ClearErrorText();
    }
    if (pending) {
        std::vector<uint8_t> before(data, data + size);
        if (changedBehind) {
            before.push_back('!');
        }
        if (changedBehind && committed) {
            Broken("a commit replaced an archive that had changed since it was read", WString());
        }
        if (!committed && ReadWhole(context.zipPath) != before) {
            Broken("a commit that failed changed the archive", WString());
        }
        if (committed) {
            CZipFileEnum check(context.zipPath, true);
            if (!check.ReadCompletely()) {
                Broken("the archive a commit wrote cannot be read", check.ErrorText());
            }
            check.ClearErrorText();
        }
    }
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((context.scratch + L"\\~*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        FindClose(search);
        Broken("a commit left its working file behind", WString(found.cFileName));
    }
}

void CabList(TargetContext& context, const uint8_t* data, size_t size)
{
    WriteInput(context.cabPath, data, size);
    CCabFileEnum cab(context.cabPath, true);
    StringList names(false);
    cab.GetEntryNames(names);
}

void CabExtract(TargetContext& context, const uint8_t* data, size_t size)
{
    WriteInput(context.cabPath, data, size);
    {
        CCabFile cab(context.cabPath, true);
        cab.Extract(context.output, WString(), false);
        if (context.variant & 0x10000) {
            StringList names(false);
            cab.GetEntryNames(names);
            for (int i = 0; i < names.Count() && i < 4; ++i) {
                DWORD unpacked = 0, packed = 0, attributes = 0;
                FILETIME time{};
                StringList lines(false);
                cab.GetEntryInfo(names.Name(i), unpacked, packed, time, attributes, lines);
                cab.Extract(context.output, names.Name(i), false);
            }
        }
    }
    EmptyOutput(context);
}

void ZipReport(TargetContext& context, const uint8_t* data, size_t size)
{
    WriteInput(context.zipPath, data, size);
    RunArchiveDump(kZipDump, context.zipPath, context.reportPath);
}

void CabReport(TargetContext& context, const uint8_t* data, size_t size)
{
    WriteInput(context.cabPath, data, size);
    RunArchiveDump(kCabDump, context.cabPath, context.reportPath);
}

const FuzzTarget kTargets[] = {
    {"zip_list", InputKind::kZip, ZipList},         {"zip_extract", InputKind::kZip, ZipExtract},
    {"zip_commit", InputKind::kZip, ZipCommit},     {"zip_report", InputKind::kZip, ZipReport},
    {"cab_list", InputKind::kCab, CabList},         {"cab_extract", InputKind::kCab, CabExtract},
    {"cab_report", InputKind::kCab, CabReport},
};

}  // namespace

const FuzzTarget* Targets() { return kTargets; }
int TargetCount() { return static_cast<int>(sizeof kTargets / sizeof kTargets[0]); }

const FuzzTarget* FindTarget(const char* name)
{
    for (const FuzzTarget& target : kTargets) {
        if (strcmp(target.name, name) == 0) {
            return &target;
        }
    }
    return nullptr;
}

void InstallTargetAnswers(TargetContext& context)
{
    g_context = &context;
    SetPromptHandler(&g_answers);
}
