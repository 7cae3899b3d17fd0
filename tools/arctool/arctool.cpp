// arctool: drives the archive engines and the structural report from the
// command line, for looking at archives by hand and for the tests and
// benchmarks that compare the engines with other tools.
//
//   arctool list ARCHIVE
//   arctool extract ARCHIVE DEST [ENTRY]
//   arctool add ARCHIVE SOURCE [FOLDER]
//   arctool compress ARCHIVE FOLDER
//   arctool delete ARCHIVE ENTRY...
//   arctool writeback ARCHIVE ENTRY FILE
//   arctool merge FIRST SECOND OUTPUT
//   arctool checksums CABINET
//   arctool dump ARCHIVE [REPORT]
//
// Questions are answered by --yes, --no or --cancel, and the password of
// encrypted entries by --password TEXT, placed anywhere on the command
// line; without an answer word a question fails the run (the dump answers
// No and says so), without a password an encrypted entry does. --type N, --unit N, --size N and --sort run the cabinet
// engine with those compression settings instead of the user's. Exit code 0
// on success, 1 on failure with the archive's error text on stderr (UTF-8),
// 2 for a command line that cannot be run.
#include <windows.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "archive/arcfile.h"
#include "archive/cabfile.h"
#include "archive/zipfile.h"
#include "common/messages.h"
#include "common/paths.h"
#include "common/settings_override.h"
#include "common_ids.h"
#include "tools/arctool/arctool.h"

namespace {

void WriteTo(DWORD which, const WString& text)
{
    AString bytes = text.ToUtf8();
    DWORD done = 0;
    WriteFile(GetStdHandle(which), bytes.c_str(), static_cast<DWORD>(bytes.Length()), &done, nullptr);
}

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

// The password of encrypted entries comes from the command line, as the
// answers to questions do; it is given once, and when it is wrong there is
// no other to try. Asked to confirm it, the tool gives the same password:
// it was written out, not typed blind.
class ToolPasswords : public PasswordSource {
public:
    explicit ToolPasswords(const ToolCommandLine& line) : given_(line.hasPassword), password_(line.password) {}
    ~ToolPasswords() override { WipeText(password_); }

    bool Ask(const PasswordRequest& request, WString& password) override
    {
        if (!given_) {
            WriteErr(L"encrypted entry without --password: " + request.entryName + L"\n");
            return false;
        }
        if (request.wrong) {
            return false;
        }
        password = password_;
        return true;
    }

private:
    bool given_;
    WString password_;
};

// Tools that the tests start side by side in one Wine prefix take the
// temporary folder named by ZPK_TEMP, when it is set, so that their work
// folders do not meet.
void UseTempFolderFromEnvironment()
{
    wchar_t folder[MAX_PATH] = {};
    DWORD length = GetEnvironmentVariableW(L"ZPK_TEMP", folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return;
    }
    // The build system writes the path with forward slashes.
    WString path = WString(folder).ReplaceAll(L'/', L'\\');
    if (!IsDirectory(path)) {
        CreateDirectoryTree(path, true);
    }
    SetEnvironmentVariableW(L"TMP", path.c_str());
    SetEnvironmentVariableW(L"TEMP", path.c_str());
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
    WriteErr(WString(
        L"usage: arctool [--yes|--no|--cancel] [--password TEXT] [--type N] [--unit N] [--size N] [--sort] COMMAND ...\n"
        L"  list ARCHIVE\n"
        L"  extract ARCHIVE DEST [ENTRY]\n"
        L"  add ARCHIVE SOURCE [FOLDER]\n"
        L"  compress ARCHIVE FOLDER\n"
        L"  delete ARCHIVE ENTRY...\n"
        L"  writeback ARCHIVE ENTRY FILE   (FILE named as the entry)\n"
        L"  merge FIRST SECOND OUTPUT      (cabinets)\n"
        L"  checksums CABINET\n"
        L"  dump ARCHIVE [REPORT]\n"
        L"Options stand anywhere on the line. --yes, --no and --cancel answer the questions,\n"
        L"--password the password of encrypted entries.\n"
        L"--type (0 MSZIP, 1 LZX, 2 none), --unit (0 by size, 1 large files alone, 2 one file per unit),\n"
        L"--size (unit size in bytes) and --sort (by size) compress cabinets with these settings.\n"));
}

struct Verb {
    const wchar_t* name;
    // Words including the verb; most 0 takes any number.
    size_t least;
    size_t most;
};

const Verb kVerbs[] = {
    {L"list", 2, 2},      {L"extract", 3, 4},   {L"add", 3, 4},   {L"compress", 3, 3},  {L"delete", 3, 0},
    {L"writeback", 4, 4}, {L"merge", 4, 4},     {L"checksums", 2, 2}, {L"dump", 2, 3},
};

bool IsRunnable(const std::vector<WString>& words)
{
    for (const Verb& verb : kVerbs) {
        if (words[0] == verb.name) {
            return words.size() >= verb.least && (verb.most == 0 || words.size() <= verb.most);
        }
    }
    return false;
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

// A changed copy of an entry stored back as the menu viewer stores an edit:
// the new content is taken first, so that a failure leaves the entry.
bool WriteBack(CArcFile& archive, const WString& entry, const WString& file)
{
    if (FileNamePart(file).Lower() != FileNamePart(entry).Lower()) {
        WriteErr(L"the file must have the entry's name: " + FileNamePart(entry) + L"\n");
        return false;
    }
    WString folder = entry.Left(entry.FindLast(L'\\') + 1);
    // An encrypted entry's replacement is encrypted as it was.
    EntryProtection protection;
    return archive.UnlockEntry(entry, protection) && archive.UseProtection(protection) &&
           archive.Add(file, folder, -1) && archive.Delete(entry);
}

// The verbs that work on one archive object.
int RunOnArchive(const std::vector<WString>& words, ToolPrompts& prompts, PasswordSource& passwords)
{
    const WString& command = words[0];
    // Paths may come with forward slashes from a Unix shell.
    const WString archivePath = words[1].ReplaceAll(L'/', L'\\');
    const WString second = words.size() > 2 ? words[2].ReplaceAll(L'/', L'\\') : WString();
    bool cabinet = CArcFile::ArchiveKindOf(archivePath) == kCabArchive;
    std::unique_ptr<CArcFile> archive = OpenArchiveFor(archivePath);
    archive->SetPasswordSource(&passwords);
    bool ok = !archive->HasError();
    if (ok) {
        if (command == L"list") {
            ok = ListEntries(*archive);
        } else if (command == L"extract") {
            ok = archive->Extract(second, words.size() > 3 ? words[3] : WString(), false);
        } else if (command == L"compress" || command == L"add") {
            // compress: a folder's contents into the archive's top level,
            // with the progress window, as the folder menu's compress verbs
            // do. add: a cabinet is compressed (or merged into) as the setup
            // tool does, with its progress window; ZIP takes the item as a
            // drop does. Either way, files joining an archive whose files are
            // all encrypted are encrypted alike, as a drop's are.
            bool compress = command == L"compress";
            int icon = compress ? (cabinet ? IDI_CABFILE : IDI_ZIPFILE) : (cabinet ? IDI_CABFILE : -1);
            EntryProtection protection;
            ok = archive->SharedProtection(protection) && archive->UseProtection(protection) &&
                 archive->Add(second, !compress && words.size() > 3 ? words[3] : WString(), icon);
        } else if (command == L"writeback") {
            ok = WriteBack(*archive, words[2], words[3].ReplaceAll(L'/', L'\\'));
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

int Run(const std::vector<WString>& words, AnswerMode mode, ToolPrompts& prompts, PasswordSource& passwords)
{
    if (!IsRunnable(words)) {
        Usage();
        return 2;
    }
    const WString& command = words[0];
    std::vector<WString> operands(words.begin() + 1, words.end());
    if (command == L"dump") {
        return RunDump(operands, DumpAnswer(mode));
    }
    if (command == L"checksums") {
        return RunChecksums(operands[0]);
    }
    if (command == L"merge") {
        int result = RunMerge(operands);
        return result == 0 && prompts.Failed() ? 1 : result;
    }
    return RunOnArchive(words, prompts, passwords);
}

// The password's copies outside the parsed line: the words the runtime made
// of the command line, and the copies taken of them.
void WipePasswordWords(int argc, wchar_t** argv, std::vector<WString>& arguments)
{
    for (WString& word : arguments) {
        WipeText(word);
    }
    for (int i = 1; i + 1 < argc; ++i) {
        if (lstrcmpW(argv[i], L"--password") == 0) {
            SecureZeroMemory(argv[i + 1], lstrlenW(argv[i + 1]) * sizeof(wchar_t));
        }
    }
}

}  // namespace

void WriteOut(const WString& text) { WriteTo(STD_OUTPUT_HANDLE, text); }

void WriteErr(const WString& text) { WriteTo(STD_ERROR_HANDLE, text); }

int wmain(int argc, wchar_t** argv)
{
    std::vector<WString> arguments(argv + 1, argv + argc);
    ToolCommandLine line = ParseToolCommandLine(arguments);
    WipePasswordWords(argc, argv, arguments);
    if (!line.error.IsEmpty() || line.words.empty()) {
        if (!line.error.IsEmpty()) {
            WriteErr(line.error + L"\n");
        }
        Usage();
        return 2;
    }
    UseTempFolderFromEnvironment();
    // Settings given on the command line are the only ones the run sees;
    // the user's stay as they are.
    std::optional<SettingsOverride> settings;
    if (!line.settings.empty()) {
        settings.emplace(L"Software\\ZupakoArctool");
        for (const auto& value : line.settings) {
            settings->Set(value.first, value.second);
        }
    }
    ToolPrompts prompts(line.answer);
    SetPromptHandler(&prompts);
    ToolPasswords passwords(line);
    int result = Run(line.words, line.answer, prompts, passwords);
    WipeText(line.password);
    SetPromptHandler(nullptr);
    return result;
}
