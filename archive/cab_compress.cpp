// Compression through the cabinet library's FCI: the settings, how files
// are formed into units, largest-first ordering, and the progress shown
// while the library works.
#include <cstdio>
#include <cstring>

#include "archive/cabfile.h"
#include "common/dos_time.h"
#include "common/messages.h"
#include "common/paths.h"
#include "common/progress.h"
#include "common/settings.h"
#include "common/system.h"

namespace {

// Any non-null user value tells the progress callbacks to stay silent.
int g_silentMarker = 0;

bool IsSilent(void* user) { return user != nullptr; }

WString CodeText(DWORD code) { return WString::FromInt(static_cast<long long>(code)); }

// Copies text into a fixed-size field of the library's record; false when
// it does not fit with its NUL.
bool CopyField(char* field, size_t fieldSize, const AString& text)
{
    if (static_cast<size_t>(text.Length()) + 1 > fieldSize) {
        return false;
    }
    memcpy(field, text.c_str(), text.Length() + 1);
    return true;
}

uint64_t SizeOfOpenFile(HANDLE file)
{
    LARGE_INTEGER size{};
    ReportApiFailure(GetFileSizeEx(file, &size), "GetFileSizeEx");
    return static_cast<uint64_t>(size.QuadPart);
}

}  // namespace

ULONG UnitThreshold(const CabSettings& settings)
{
    if (settings.unitType == 2) {
        return 0;
    }
    return settings.unitSize == 0 ? cablib::kAutomaticUnitThreshold : settings.unitSize;
}

CabSettings ReadCabSettings()
{
    StoredSettings stored = ReadStoredSettings();
    CabSettings settings;
    settings.compType = stored.cabCompType;
    settings.lzxLevel = stored.cabLzxLevel;
    settings.unitType = static_cast<int>(stored.cabUnitType);
    settings.unitSize = stored.cabUnitSize;
    settings.sortBySize = stored.cabSortBySize;
    return settings;
}

uint16_t CompressionTypeWord(const CabSettings& settings)
{
    switch (settings.compType) {
    case 1:
        return static_cast<uint16_t>((settings.lzxLevel << 8) | cab::kCompressionLzx);
    case 2:
        return cab::kCompressionNone;
    default:
        return cab::kCompressionMszip;
    }
}

struct FciCallbacks {
    static int DIAMONDAPI FilePlaced(PCCAB, char*, LONG, BOOL, void*) { return 0; }

    static INT_PTR DIAMONDAPI Open(char* name, int, int, int* error, void*)
    {
        WString path = WString::FromAnsi(name);
        HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_NOT_FOUND) {
            file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        }
        *error = file == INVALID_HANDLE_VALUE ? static_cast<int>(GetLastError()) : 0;
        return reinterpret_cast<INT_PTR>(file);
    }

    // Wine's FCI keeps a unit's compressed data in a temporary file that it
    // creates only for the unit's first data block, and marks a unit without
    // one with the handle value -1. A unit that holds nothing but empty files
    // (unit type 2, or a unit closed after every file) has no such file, yet
    // the library still seeks in it when it writes the cabinet, and an error
    // there throws the whole cabinet away. No handle the library opened
    // through Open can have that value, so -1 stands for the empty data of
    // such a unit: positioned at its start, with nothing to read. The unit is
    // then written as a unit record without data blocks, which readers take
    // as it is. The Windows library never passes -1, so nothing changes there.
    static bool IsMissingUnitData(INT_PTR file) { return file == -1; }

    static UINT DIAMONDAPI Read(INT_PTR file, void* buffer, UINT count, int* error, void*)
    {
        if (IsMissingUnitData(file)) {
            *error = 0;
            return 0;
        }
        UINT done = cablib::ReadCallback(file, buffer, count);
        *error = done == static_cast<UINT>(-1) ? static_cast<int>(GetLastError()) : 0;
        return done;
    }

    static UINT DIAMONDAPI Write(INT_PTR file, void* buffer, UINT count, int* error, void*)
    {
        UINT done = cablib::WriteCallback(file, buffer, count);
        *error = done == static_cast<UINT>(-1) ? static_cast<int>(GetLastError()) : 0;
        return done;
    }

    static int DIAMONDAPI Close(INT_PTR file, int* error, void*)
    {
        int result = cablib::CloseCallback(file);
        *error = result == 0 ? 0 : static_cast<int>(GetLastError());
        return result;
    }

    static LONG DIAMONDAPI Seek(INT_PTR file, LONG distance, int origin, int* error, void*)
    {
        if (IsMissingUnitData(file)) {
            // Empty data has only its start: every origin is position 0.
            *error = distance == 0 ? 0 : ERROR_INVALID_HANDLE;
            return distance == 0 ? 0 : -1;
        }
        LONG position = cablib::SeekCallback(file, distance, origin);
        *error = position == -1 ? static_cast<int>(GetLastError()) : 0;
        return position;
    }

    static int DIAMONDAPI Delete(char* name, int* error, void*)
    {
        DeleteFileW(WString::FromAnsi(name).c_str());
        *error = 0;
        return 0;
    }

    static BOOL DIAMONDAPI TempName(char* buffer, int size, void*)
    {
        wchar_t folder[MAX_PATH + 1] = {};
        wchar_t name[MAX_PATH + 1] = {};
        if (GetTempPathW(MAX_PATH + 1, folder) == 0 || GetTempFileNameW(folder, L"cab", 0, name) == 0) {
            return FALSE;
        }
        return size > 0 && CopyField(buffer, static_cast<size_t>(size), WString(name).ToAnsi());
    }

    // A commit's kept file: the library gets its place among the kept files
    // for a name, and the record's own time and attributes, so that the
    // file goes back exactly as it was whatever its numbered copy says.
    static INT_PTR OpenKeptInfo(const KeptCabFile& kept, USHORT* date, USHORT* time, USHORT* attributes, int* error)
    {
        HANDLE file = CreateFileW(kept.path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                  nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            *error = static_cast<int>(GetLastError());
            return -1;
        }
        *date = kept.record.fixed.date;
        *time = kept.record.fixed.time;
        *attributes = kept.record.fixed.attribs;
        *error = 0;
        return reinterpret_cast<INT_PTR>(file);
    }

    static INT_PTR DIAMONDAPI OpenInfo(char* name, USHORT* date, USHORT* time, USHORT* attributes, int* error,
                                       void* user)
    {
        CCabFile* cabinet = cablib::Current();
        if (cabinet != nullptr && cabinet->keptFiles_ != nullptr) {
            int position = atoi(name);
            if (position < 0 || position >= static_cast<int>(cabinet->keptFiles_->size())) {
                *error = ERROR_FILE_NOT_FOUND;
                return -1;
            }
            return OpenKeptInfo((*cabinet->keptFiles_)[position], date, time, attributes, error);
        }
        WString path = WString::FromAnsi(name);
        if (cabinet != nullptr && !IsSilent(user)) {
            cabinet->StartProgressFile(path);
        }
        HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                  nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            DWORD code = GetLastError();
            if (cabinet != nullptr) {
                cabinet->sourceOpenError_ = code;
            }
            *error = static_cast<int>(code);
            return -1;
        }
        BY_HANDLE_FILE_INFORMATION info{};
        ReportApiFailure(GetFileInformationByHandle(file, &info), "GetFileInformationByHandle");
        const char* failedCall = nullptr;
        bool converted = UtcToDosDateTime(info.ftLastWriteTime, *date, *time, failedCall);
        ReportApiFailure(converted, failedCall);
        *attributes = static_cast<USHORT>(info.dwFileAttributes & cab::kFileAttributeMask);
        // Wine's FCI reads the error value even when the open succeeded.
        *error = 0;
        return reinterpret_cast<INT_PTR>(file);
    }

    static LONG DIAMONDAPI Status(UINT type, ULONG count1, ULONG count2, void* user)
    {
        CCabFile* cabinet = cablib::Current();
        if (cabinet == nullptr || IsSilent(user)) {
            return 0;
        }
        if (type == statusFile) {
            cabinet->PumpWhenDue();
            cabinet->currentDone_ += count2;
            if (cabinet->progressMode_ == 1 && cabinet->CollectedTotal() > 0) {
                float share = static_cast<float>(cabinet->doneBefore_ + cabinet->currentDone_) /
                              static_cast<float>(cabinet->CollectedTotal());
                cabinet->SetProgressPosition(static_cast<int>(share * 100.0f));
            }
        } else if (type == statusFolder) {
            cabinet->PumpWhenDue();
            if (cabinet->progressMode_ == 2) {
                while (count1 > 10000000) {
                    count1 >>= 3;
                    count2 >>= 3;
                }
                cabinet->SetProgressPosition(count2 == 0 ? 0 : static_cast<int>(count1 * 100 / count2));
            }
        }
        return 0;
    }

    static HFCI Create(CCabFile* cabinet, CCAB& parameters, void* user)
    {
        cabinet->error_ = ERF{};
        HFCI context = FCICreate(&cabinet->error_, FilePlaced, cablib::Allocate, cablib::Release, Open, Read, Write,
                                 Close, Seek, Delete, TempName, &parameters, user);
        ReportApiFailure(context, "FCICreate");
        return context;
    }
};

void CCabFile::StartProgressFile(const WString& path)
{
    if (path == currentFile_) {
        return;
    }
    doneBefore_ += currentSize_;
    // The library is handed the files in the order they were collected, so
    // the next one is nearly always the name after the last one found; only
    // other orders (largest first) search the list.
    const SizeList& collected = Collected();
    int at = nextCollected_ < collected.Count() && collected.Name(nextCollected_) == path ? nextCollected_
                                                                                         : collected.Find(path);
    nextCollected_ = at + 1;
    currentSize_ = at >= 0 ? collected.ValueAt(at) : 0;
    currentFile_ = path;
    currentDone_ = 0;
    if (progress_ && progress_->ItemTextDue()) {
        progress_->SetPathText(L"圧縮中 ", path);
    }
}

void CCabFile::PumpWhenDue()
{
    // The library reports every block of 32 KB, which in a fast run is far
    // more often than a window can notice; pumping each time costs a round
    // trip to the window system for nothing.
    ULONGLONG now = GetTickCount64();
    if (now - lastPumpAt_ >= kPumpInterval) {
        lastPumpAt_ = now;
        PumpPending();
    }
}

void CCabFile::OpenProgress(const wchar_t* title, int icon)
{
    progress_.reset();
    progress_.reset(new ProgressWindow(WString(title), icon));
    progressMode_ = 1;
    currentFile_.Clear();
    nextCollected_ = 0;
    currentDone_ = 0;
    currentSize_ = 0;
    doneBefore_ = 0;
}

void CCabFile::SetProgressText(const WString& text)
{
    if (progress_) {
        progress_->SetText(text);
    }
}

void CCabFile::ShowProgressCompleted()
{
    if (progress_) {
        progress_->ShowCompleted();
    }
}

void CCabFile::SetProgressPosition(int percent)
{
    if (progress_) {
        progress_->SetPosition(percent);
    }
}

bool CCabFile::FillParameters(CCAB& parameters, const WString& target, bool reportLength)
{
    memset(&parameters, 0, sizeof parameters);
    parameters.cb = cablib::kWholeCabinetLimit;
    parameters.cbFolderThresh = UnitThreshold(settings_);
    if (!CopyField(parameters.szCab, sizeof parameters.szCab, FileNamePart(target).ToAnsi())) {
        if (reportLength) {
            SetErrorText(L"CB_MAX_CABINET_NAME 不十分");
        }
        return false;
    }
    WString folder = ParentDir(target);
    if (!IsDriveRoot(folder)) {
        folder += L'\\';
    }
    if (!CopyField(parameters.szCabPath, sizeof parameters.szCabPath, folder.ToAnsi())) {
        if (reportLength) {
            SetErrorText(L"CB_MAX_CAB_PATH 不十分");
        }
        return false;
    }
    return true;
}

bool CCabFile::AddToLibrary(void* context, const WString& source, const WString& name)
{
    sourceOpenError_ = 0;
    SetLastError(0);
    AString sourceText = source.ToAnsi();
    AString nameText = name.ToAnsi();
    BOOL added = FCIAddFile(static_cast<HFCI>(context), const_cast<char*>(sourceText.c_str()),
                            const_cast<char*>(nameText.c_str()), FALSE, cablib::NoNextCabinet, FciCallbacks::Status,
                            FciCallbacks::OpenInfo, compressionType_);
    DWORD code = GetLastError();
    if (HasError()) {
        return false;
    }
    if (added) {
        return true;
    }
    // The open-info callback knows why a source could not be opened; the
    // library may report its own code in the thread's last error instead.
    if (sourceOpenError_ != 0) {
        code = sourceOpenError_;
    }
    if (code == ERROR_SHARING_VIOLATION) {
        SetErrorText(source + L"\n使用中");
    } else {
        // A failure without a system error still is a failure: the library's
        // own error record names it.
        SetErrorText(source + L"\nエラー ErrorCode = " + CodeText(code != 0 ? code : error_.erfOper));
    }
    return false;
}

bool CCabFile::AddKeptToLibrary(void* context, int position, const KeptCabFile& file)
{
    // The library takes the stored name's bytes as they are; the source is
    // named by its place among the kept files, which the open-info callback
    // turns into the numbered copy.
    std::string source = std::to_string(position);
    BOOL added = FCIAddFile(static_cast<HFCI>(context), const_cast<char*>(source.c_str()),
                            const_cast<char*>(file.record.storedName.c_str()), FALSE, cablib::NoNextCabinet,
                            FciCallbacks::Status, FciCallbacks::OpenInfo, compressionType_);
    if (!added && !HasError()) {
        SetErrorText(file.path + L"\nエラー ErrorCode = " + CodeText(GetLastError() != 0 ? GetLastError() : error_.erfOper));
    }
    return added != FALSE;
}

bool CCabFile::CloseUnit(void* context)
{
    return ReportApiFailure(FCIFlushFolder(static_cast<HFCI>(context), cablib::NoNextCabinet, FciCallbacks::Status),
                            "FCIFlushFolder");
}

bool CCabFile::CompressFile(void* context, const WString& source, const WString& name)
{
    uint64_t size = 0;
    if (settings_.unitType == 1 || sortingActive_) {
        ScopedFile file(CreateFileW(source.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) {
            SetErrorText(source + L"\nCompress File Open Error = " + CodeText(GetLastError()));
            return false;
        }
        size = SizeOfOpenFile(file.Get());
    }
    if (sortingActive_) {
        char key[20];
        snprintf(key, sizeof key, "%016llx", static_cast<unsigned long long>(~size));
        sortQueue_.Insert(WString::FromAnsi(key), QueuedFile{size, source, name});
        return true;
    }
    bool ownUnit = settings_.unitType == 1 && size > settings_.unitSize;
    if (ownUnit && !CloseUnit(context)) {
        return false;
    }
    if (!AddToLibrary(context, source, name)) {
        return false;
    }
    if (ownUnit || settings_.unitType == 2) {
        return CloseUnit(context);
    }
    return true;
}

bool CCabFile::CompressQueued(void* context)
{
    for (int i = 0; i < sortQueue_.Count(); ++i) {
        const QueuedFile& file = sortQueue_.ValueAt(i);
        bool ownUnit = settings_.unitType == 1 && file.size > settings_.unitSize;
        if (ownUnit && !CloseUnit(context)) {
            return false;
        }
        if (!AddToLibrary(context, file.source, file.name)) {
            return false;
        }
        if ((ownUnit || settings_.unitType == 2) && !CloseUnit(context)) {
            return false;
        }
    }
    sortingActive_ = false;
    sortQueue_.Clear();
    return true;
}

bool CCabFile::CompressFolder(void* context, const WString& folder, const WString& prefix)
{
    return WalkFiles(folder, [&](const WString& path, const WString& below) {
        return CompressFile(context, path, prefix + below);
    });
}

bool CCabFile::FlushCabinet(void* context, bool withProgress)
{
    if (withProgress) {
        progressMode_ = 2;
        SetProgressText(L"クローズ中");
    }
    return ReportApiFailure(FCIFlushCabinet(static_cast<HFCI>(context), FALSE, cablib::NoNextCabinet,
                                            FciCallbacks::Status),
                            "FCIFlushCabinet");
}

bool CCabFile::RunCompression(CCAB& parameters, void* user, bool withProgress,
                              const std::function<bool(void* context)>& addFiles)
{
    // The context goes on every path: it holds the library's temporary
    // files and memory, and a failed cabinet must not keep them.
    ScopedFciContext context(FciCallbacks::Create(this, parameters, user));
    if (!context) {
        return false;
    }
    bool ok = addFiles(context.Get()) && FlushCabinet(context.Get(), withProgress);
    ReportApiFailure(context.Reset(), "FCIDestroy");
    return ok;
}

namespace {

// The library creates the cabinet through its open callback, which opens an
// existing file without truncating it: a stale file of that name goes first.
bool RemoveStaleTarget(CArcFile& archive, const WString& target)
{
    if (!PathExists(target)) {
        return true;
    }
    BOOL removed = IsDirectory(target) ? RemoveDirectoryW(target.c_str()) : DeleteFileW(target.c_str());
    if (!removed) {
        archive.SetErrorText(target + L"\nCompress File Open Error = " + CodeText(GetLastError()));
        return false;
    }
    return true;
}

}  // namespace

bool CCabFile::Add(const WString& source, const WString& folder, int progressIcon)
{
    if (progressIcon == -1) {
        return RegisterModifiedFile(source, folder);
    }
    if (PathExists(ArchivePath())) {
        // FCI can only write whole cabinets; an existing one takes new files
        // through a merge.
        StringList sources(false);
        sources.Insert(source);
        return AddToCabinet(sources, folder, progressIcon);
    }
    if (settings_.sortBySize && folder.IsEmpty()) {
        sortingActive_ = true;
        sortQueue_.Clear();
    }
    bool ok = CompressNew(source, progressIcon);
    if (!ok) {
        // A queue left behind would swallow the files of a later compression.
        sortingActive_ = false;
        sortQueue_.Clear();
    }
    return ok;
}

bool CCabFile::CompressNew(const WString& source, int progressIcon)
{
    progressMode_ = 0;
    if (!PathExists(source)) {
        SetErrorText(source + L" がありません");
        return false;
    }
    ResetCollected();
    if (!(IsDirectory(source) ? CollectFiles(source) : CollectFile(source))) {
        return false;
    }
    cablib::OperationScope operation(this);
    if (!operation.Started() || HasError()) {
        if (!HasError()) {
            SetErrorText(L"ほかの cab 操作の実行中です");
        }
        return false;
    }
    BusyCursor busy(*this, kAddCursor);
    OpenProgress(L"cab に圧縮", progressIcon);
    bool ok = RunCompression(parameters_, nullptr, true, [&](void* context) {
        bool added = IsDirectory(source) ? CompressFolder(context, source, WString())
                                         : CompressFile(context, source, FileNamePart(source));
        return added && (!sortingActive_ || CompressQueued(context));
    });
    if (ok) {
        ShowProgressCompleted();
    }
    progressMode_ = 0;
    return ok;
}

bool CCabFile::BuildCabinet(const WString& target, const StringList& sources, const WString& prefix, int progressIcon)
{
    CCAB parameters;
    if (!FillParameters(parameters, target, true) || !RemoveStaleTarget(*this, target)) {
        return false;
    }
    ResetCollected();
    for (int i = 0; i < sources.Count(); ++i) {
        if (!(IsDirectory(sources[i]) ? CollectFiles(sources[i]) : CollectFile(sources[i]))) {
            return false;
        }
    }
    cablib::OperationScope operation(this);
    if (!operation.Started()) {
        SetErrorText(L"ほかの cab 操作の実行中です");
        return false;
    }
    BusyCursor busy(*this, kAddCursor);
    OpenProgress(L"cab の追加圧縮", progressIcon);
    bool ok = RunCompression(parameters, nullptr, true, [&](void* context) {
        for (int i = 0; i < sources.Count(); ++i) {
            WString leaf = FileNamePart(sources[i]);
            bool added = false;
            if (!IsDirectory(sources[i])) {
                added = CompressFile(context, sources[i], prefix + leaf);
            } else {
                // A drive root has no name of its own: its contents go
                // straight into the folder.
                added = CompressFolder(context, sources[i], leaf.IsEmpty() ? prefix : prefix + leaf + L"\\");
            }
            if (!added) {
                return false;
            }
        }
        return true;
    });
    progressMode_ = 0;
    return ok;
}

bool CCabFile::SilentCompress(const WString& target, const WString& source)
{
    return CompressSilently(target, [&](void* context) {
        return IsDirectory(source) ? CompressFolder(context, source, WString())
                                   : CompressFile(context, source, FileNamePart(source));
    });
}

bool CCabFile::CompressSilently(const WString& target, const std::function<bool(void* context)>& addFiles)
{
    CCAB parameters;
    if (!FillParameters(parameters, target, true) || !RemoveStaleTarget(*this, target)) {
        return false;
    }
    cablib::OperationScope operation(this);
    if (!operation.Started()) {
        SetErrorText(L"ほかの cab 操作の実行中です");
        return false;
    }
    return RunCompression(parameters, &g_silentMarker, false, addFiles);
}
