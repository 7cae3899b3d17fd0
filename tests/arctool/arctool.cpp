// arctool: drives the archive engine from the command line, for tests that
// compare it with other tools and for looking at archives by hand.
//
//   arctool list ARCHIVE
//   arctool extract ARCHIVE DEST [ENTRY]
//   arctool add ARCHIVE SOURCE [FOLDER]
//   arctool delete ARCHIVE ENTRY...
//   arctool dump ARCHIVE [REPORT]
//
// Questions are answered by --yes, --no or --cancel, placed anywhere on the
// command line; without one, a question fails the run (the dump answers No
// and says so). Exit code 0 on success, 1 on failure with the
// archive's error text on stderr (UTF-8).
#include <windows.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "arctool.h"
#include "archive/arcfile.h"
#include "archive/cabfile.h"
#include "archive/zipfile.h"
#include "common/messages.h"
#include "common/paths.h"
#include "common_ids.h"
#include "support/test_files.h"

namespace {

void WriteTo(DWORD which, const WString& text)
{
    AString bytes = text.ToUtf8();
    DWORD done = 0;
    WriteFile(GetStdHandle(which), bytes.c_str(), static_cast<DWORD>(bytes.Length()), &done, nullptr);
}

enum class AnswerMode { kFail, kYes, kNo, kCancel };

// Every message box of the engine arrives here: errors go to stderr,
// questions are answered as the command line says.
class ToolPrompts : public PromptHandler {
public:
    explicit ToolPrompts(AnswerMode mode) : mode_(mode) {}

    int Answer(const Prompt& prompt) override
    {
        UINT buttons = prompt.buttons & MB_TYPEMASK;
        if (buttons == MB_OK) {
            if (prompt.icon == MB_ICONERROR) {
                WriteErr(prompt.text + L"\n");
                failed_ = true;
            } else {
                WriteOut(prompt.text + L"\n");
            }
            return IDOK;
        }
        bool yesNo = buttons == MB_YESNO || buttons == MB_YESNOCANCEL;
        switch (mode_) {
        case AnswerMode::kYes:
            return yesNo ? IDYES : IDOK;
        case AnswerMode::kNo:
            return yesNo ? IDNO : IDCANCEL;
        case AnswerMode::kCancel:
            return buttons == MB_YESNO ? IDNO : IDCANCEL;
        case AnswerMode::kFail:
            break;
        }
        WriteErr(L"unanswered question: " + prompt.text + L"\n");
        failed_ = true;
        return buttons == MB_YESNO ? IDNO : IDCANCEL;
    }

    bool Failed() const { return failed_; }

private:
    AnswerMode mode_;
    bool failed_ = false;
};

WString ProgramFolder()
{
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    return ParentDir(WString(self));
}

// The one place that maps an archive path to the class that handles it.
std::unique_ptr<CArcFile> OpenArchiveFor(const WString& path)
{
    switch (CArcFile::ArchiveKindOf(path)) {
    case kCabArchive:
        return OpenCabArchive(path);
    default:
        return std::unique_ptr<CArcFile>(new CZipFile(path, JoinPath(ProgramFolder(), WString(ZlibLibraryName()))));
    }
}

WString Hex8(uint32_t value)
{
    wchar_t text[16];
    wsprintfW(text, L"%08x", value);
    return WString(text);
}

WString Decimal(uint64_t value) { return WString::FromInt(static_cast<long long>(value)); }

bool ListEntries(CArcFile& archive)
{
    StringList names(false);
    archive.GetEntryNames(names);
    auto* zip = dynamic_cast<CZipFileEnum*>(&archive);
    std::string all;
    for (int i = 0; i < names.Count(); ++i) {
        const WString& name = names[i];
        WString line = name + L"\t";
        // The names come in table order, so the table's record is found by
        // position; a search is the fallback.
        int index = -1;
        if (zip) {
            WString tableName = name.ReplaceAll(L'\\', L'/');
            bool inStep = i < zip->Entries().Count() && zip->Entries().Name(i) == tableName;
            index = inStep ? i : zip->FindEntry(tableName);
        }
        if (index >= 0) {
            const ArcEntry& entry = zip->Entries().ValueAt(index);
            bool folder = name.Last() == L'\\';
            line += Decimal(entry.size) + L"\t" + Decimal(entry.packedSize) + L"\t" +
                    (folder ? WString(L"-") : Hex8(entry.crc32)) + L"\t" + Hex8(entry.externalAttributes);
        } else {
            DWORD size = 0, packed = 0, attributes = 0;
            FILETIME time{};
            StringList lines(false);
            archive.GetEntryInfo(name, size, packed, time, attributes, lines);
            line += Decimal(size) + L"\t" + Decimal(packed) + L"\t-\t" + Hex8(attributes);
        }
        all += line.ToUtf8().c_str();
        all += '\n';
    }
    DWORD done = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), all.data(), static_cast<DWORD>(all.size()), &done, nullptr);
    return true;
}

void Usage()
{
    WriteErr(WString(L"usage: arctool [--yes|--no|--cancel] list ARCHIVE | extract ARCHIVE DEST [ENTRY] |"
                     L" add ARCHIVE SOURCE [FOLDER] | compress ARCHIVE FOLDER | delete ARCHIVE ENTRY... | dump ARCHIVE [REPORT]\n"));
}

// The dump keeps its own prompt handler, which prints each question and
// its answer; it takes the answer word in the engine's terms.
int DumpAnswer(AnswerMode mode)
{
    switch (mode) {
    case AnswerMode::kYes:
        return IDYES;
    case AnswerMode::kNo:
        return IDNO;
    case AnswerMode::kCancel:
        return IDCANCEL;
    case AnswerMode::kFail:
        break;
    }
    return 0;
}

int Run(const std::vector<WString>& words, AnswerMode mode, ToolPrompts& prompts)
{
    const WString& command = words[0];
    if (command == L"dump") {
        return RunDump(std::vector<WString>(words.begin() + 1, words.end()), DumpAnswer(mode));
    }
    bool known = command == L"list" || command == L"extract" || command == L"add" || command == L"delete" ||
                 command == L"compress";
    size_t least = command == L"list" ? 2 : 3;
    if (!known || words.size() < least || (command == L"list" && words.size() != 2) ||
        (command == L"compress" && words.size() != 3) ||
        ((command == L"extract" || command == L"add") && words.size() > 4)) {
        Usage();
        return 2;
    }
    // Paths may come with forward slashes from a Unix shell.
    const WString archivePath = words[1].ReplaceAll(L'/', L'\\');
    const WString second = words.size() > 2 ? words[2].ReplaceAll(L'/', L'\\') : WString();
    std::unique_ptr<CArcFile> archive = OpenArchiveFor(archivePath);
    bool ok = !archive->HasError();
    if (ok) {
        if (command == L"list") {
            ok = ListEntries(*archive);
        } else if (command == L"extract") {
            ok = archive->Extract(second, words.size() > 3 ? words[3] : WString(), false);
        } else if (command == L"compress") {
            // A folder's contents into the archive's top level, with the
            // progress window, as the folder menu's compress verbs do.
            bool cabinet = CArcFile::ArchiveKindOf(archivePath) == kCabArchive;
            ok = archive->Add(second, WString(), cabinet ? IDI_CABFILE : IDI_ZIPFILE);
        } else if (command == L"add") {
            // A cabinet is compressed (or merged into) as the setup tool does,
            // with its progress window; ZIP takes the item as a drop does.
            int progressIcon = CArcFile::ArchiveKindOf(archivePath) == kCabArchive ? IDI_CABFILE : -1;
            ok = archive->Add(second, words.size() > 3 ? words[3] : WString(), progressIcon);
        } else {
            for (size_t i = 2; ok && i < words.size(); ++i) {
                ok = archive->Delete(words[i]);
            }
        }
    } else if (command == L"list") {
        // A damaged directory still lists what was read before the damage.
        ListEntries(*archive);
    }
    if (archive->HasError()) {
        WriteErr(archive->ErrorText() + L"\n");
        archive->ClearErrorText();
        ok = false;
    }
    // Destroying the object writes the changes; a failure there arrives as
    // an error box.
    archive.reset();
    return ok && !prompts.Failed() ? 0 : 1;
}

}  // namespace

void WriteOut(const WString& text) { WriteTo(STD_OUTPUT_HANDLE, text); }

void WriteErr(const WString& text) { WriteTo(STD_ERROR_HANDLE, text); }

int wmain(int argc, wchar_t** argv)
{
    AnswerMode mode = AnswerMode::kFail;
    std::vector<WString> words;
    for (int i = 1; i < argc; ++i) {
        WString word(argv[i]);
        if (word == L"--yes") {
            mode = AnswerMode::kYes;
        } else if (word == L"--no") {
            mode = AnswerMode::kNo;
        } else if (word == L"--cancel") {
            mode = AnswerMode::kCancel;
        } else {
            words.push_back(word);
        }
    }
    if (words.empty()) {
        Usage();
        return 2;
    }
    UseTempFolderFromEnvironment();
    ToolPrompts prompts(mode);
    SetPromptHandler(&prompts);
    int result = Run(words, mode, prompts);
    SetPromptHandler(nullptr);
    return result;
}
