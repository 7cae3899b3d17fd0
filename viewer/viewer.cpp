#include "viewer/viewer.h"

#include "archive/cabfile.h"
#include "archive/zipfile.h"
#include "archive/zlib_binding.h"
#include "common/dialogs.h"
#include "common/messages.h"
#include "common/monitors.h"
#include "common/path_checks.h"
#include "common/paths.h"
#include "common/system.h"
#include "common_ids.h"

namespace {

const int kHostHalf = 55;
const int kHostSize = 111;

}  // namespace

int ItemsPerScreen(int monitorHeight, int itemHeight)
{
    return itemHeight > 0 ? monitorHeight / itemHeight - 1 : 0;
}

Viewer* Viewer::active_ = nullptr;

int RunViewer(const WString& commandLine)
{
    WString program;
    WString arguments;
    SplitCommandLine(program, arguments, commandLine);
    WString path = Unquote(arguments.Trimmed());
    if (path.IsEmpty()) {
        ShowError(WString(L"直接起動してはいけません"));
        return 1;
    }
    SingleInstanceMutex mutex{WString(kViewerMutexName)};
    if (!mutex.IsFirstInstance()) {
        ShowError(WString(L"ファイル起動中書庫の起動はできません"));
        return 1;
    }
    // Programs started later (the archiver, Explorer) get a path that does
    // not depend on this process's current folder.
    WString absolute = AbsolutePath(path);
    ScopedOleInit ole;
    ReportHResultFailure(ole.Result(), "OleInitialize");
    Viewer viewer;
    return viewer.Run(absolute.IsEmpty() ? path : absolute);
}

Viewer::~Viewer()
{
    if (tooltip_) {
        tooltip_->Hide();
    }
    tooltip_.reset();
    menu_.reset();
    painter_.reset();
    passwords_->SetOwner(nullptr);
    host_.Reset();
    desktop_.Reset();
    archive_.reset();
    if (active_ == this) {
        active_ = nullptr;
    }
}

int Viewer::Run(const WString& archivePath)
{
    active_ = this;
    archivePath_ = archivePath;
    viewerMessage_ = RegisterWindowMessageW(kViewerMessageName);
    ReportHResultFailure(SHGetDesktopFolder(desktop_.Receive()), "SHGetDesktopFolder");
    windowsLevel_ = WindowsLevel();
    settings_ = ReadStoredSettings();
    tooltip_ = std::make_unique<FMenuTT>(L"ＭＳ ゴシック", 100);

    archiveKind_ = CArcFile::ArchiveKindOf(archivePath_);
    if (archiveKind_ == kUnknownArchive) {
        ShowError(WString(L"非対象のファイルです"));
        return 0;
    }
    // The menu opens at the cursor, on that monitor and at its scale.
    painter_ = std::make_unique<MenuPainter>(archiveKind_ == kCabArchive, MonitorList().DpiAt());
    if (!OpenArchive() || !CreateHost() || !OfferPendingEdits() || !ListAndBuild() || !ReleasedNearStart(startCursor_)) {
        return 0;
    }
    // A click of our own makes this the foreground process, so that the
    // menu gets the keyboard and closes when the user clicks elsewhere.
    INPUT clicks[2] = {};
    clicks[0].type = INPUT_MOUSE;
    clicks[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    clicks[1].type = INPUT_MOUSE;
    clicks[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    SendInput(2, clicks, sizeof(INPUT));
    PumpPending();
    SetForegroundWindow(host_.Get());
    SetFocus(host_.Get());
    SendMessageW(host_.Get(), WM_NULL, 0, 0);
    PostMessageW(host_.Get(), viewerMessage_, kOpenMenuNow, 0);
    RunMessageLoop();
    CommitDeletions();
    // The run is over: an opened copy is given up as the process's end
    // would give it up, so that an edit saved into it from now on is
    // offered the next time. A copy handed out stays with the process: the
    // program it was dropped onto may still be moving it away.
    if (lastSlot_.IsOpen() && lastSlot_.Record().kind == WorkCopyKind::kOpened) {
        lastSlot_.Release();
    }
    return 0;
}

WString Viewer::InstallFolder() const
{
    return settings_.installFolder.IsEmpty() ? ProgramFolder() : settings_.installFolder;
}

std::unique_ptr<CArcFile> Viewer::NewArchiveObject() const
{
    std::unique_ptr<CArcFile> archive;
    if (archiveKind_ == kZipArchive) {
        archive = std::make_unique<CZipFile>(archivePath_, JoinPath(InstallFolder(), WString(ZlibLibraryName())));
    } else {
        archive = std::make_unique<CCabFile>(archivePath_);
    }
    archive->SetPasswordSource(passwords_.get());
    return archive;
}

bool Viewer::CommitDeletions()
{
    if (!archive_ || !archive_->HasPendingChanges() || archive_->CommitChanges()) {
        return true;
    }
    // The archive stays as it is; the user learns what is still in it.
    const size_t kListed = 20;
    WString text = archive_->ErrorText() + L"\n\n次の削除は行われませんでした：";
    std::vector<WString> deleted;
    if (menu_) {
        deleted = menu_->Items().DeletedPaths();
    }
    for (size_t i = 0; i < deleted.size() && i < kListed; ++i) {
        text += L"\n" + deleted[i];
    }
    if (deleted.size() > kListed) {
        text += L"\nほか " + WString::FromInt(static_cast<long long>(deleted.size() - kListed)) + L" 件";
    }
    archive_->ClearErrorText();
    ShowError(text, host_.Get());
    return false;
}

void Viewer::ShowArchiveError()
{
    if (archive_ && archive_->HasError()) {
        ShowError(archive_->ErrorText(), host_.Get());
        archive_->ClearErrorText();
    }
}

bool Viewer::OpenArchive()
{
    openedStamp_ = StampOf(archivePath_);
    archive_ = NewArchiveObject();
    if (archiveKind_ == kCabArchive && !archive_->HasError() && !archive_->CanUpdate()) {
        ShowError(WString(L"ヘッダー以外の追加データがあるので部分削除・追加圧縮はできません"));
    }
    if (archive_->HasError()) {
        ShowArchiveError();
        return false;
    }
    tooltip_->SetArchive(archive_.get(), archiveKind_ == kCabArchive);
    return true;
}

bool Viewer::CreateHost()
{
    MonitorList monitors;
    itemsPerScreen_ = ItemsPerScreen(monitors.HeightAt(), painter_->ItemHeight());
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = HostProc;
    windowClass.hInstance = ModuleInstance();
    windowClass.hIcon = LoadIconW(ModuleInstance(), MAKEINTRESOURCEW(IDI_ZUPAKO));
    windowClass.lpszClassName = kHostClass;
    if (!RegisterClassW(&windowClass) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
        ReportApiFailure(FALSE, "RegisterClass");
    }
    ReportApiFailure(GetCursorPos(&startCursor_), "GetCursorPos");
    host_.Reset(CreateWindowExW(WS_EX_TOOLWINDOW | WS_EX_TRANSPARENT | WS_EX_TOPMOST, kHostClass, kHostTitle,
                                WS_POPUP, startCursor_.x - kHostHalf, startCursor_.y - kHostHalf, kHostSize, kHostSize,
                                nullptr, nullptr, ModuleInstance(), this));
    if (!ReportApiFailure(host_.Get(), "CreateWindowEx")) {
        return false;
    }
    ShowWindow(host_.Get(), SW_SHOW);
    UpdateWindow(host_.Get());
    // The archive is opened before the menu's window exists; its password
    // dialog belongs to that window all the same.
    passwords_->SetOwner(host_.Get());
    return true;
}

bool Viewer::ListAndBuild()
{
    if (!archive_->GetEntryNames(listing_)) {
        ShowArchiveError();
        return false;
    }
    if (listing_.Count() == 0) {
        HandleEmptyArchive();
        return false;
    }
    bool isCab = archiveKind_ == kCabArchive;
    RootOptions root{isCab, isCab && archive_->CanUpdate(), archivePath_};
    menu_ = std::make_unique<ArchiveMenu>(ListingIndex(listing_), root,
                                          MenuLayout{static_cast<int>(settings_.menuOverflow), itemsPerScreen_});
    if (!menu_->Build()) {
        return false;
    }
    siblingMessage_ = RegisterWindowMessageW(kSiblingMessage);
    siblingTray_ = ReadSiblingTray();
    return true;
}

void Viewer::HandleEmptyArchive()
{
    if (archiveKind_ == kCabArchive) {
        StartSetup(L"add " + archivePath_);
    } else {
        ShowInfo(WString(L"中身が存在しません"), host_.Get());
    }
}

LRESULT CALLBACK Viewer::HostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* self = WindowInstance<Viewer>(window, message, lParam);
    if (!self) {
        return DefWindowProcW(window, message, wParam, lParam);
    }
    return self->OnMessage(window, message, wParam, lParam);
}

LRESULT Viewer::OnMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == viewerMessage_ && viewerMessage_ != 0) {
        if (wParam == kOpenMenuNow) {
            ShowMenu();
            PostMessageW(window, WM_CLOSE, 0, 0);
        } else if (wParam == kDeleteItem && !deleting_) {
            DeleteItem(static_cast<int>(lParam));
            PumpPending();
        }
        return 0;
    }
    switch (message) {
    case WM_CLOSE:
        PostQuitMessage(0);
        return 0;
    case WM_MEASUREITEM:
        OnMeasureItem(*reinterpret_cast<MEASUREITEMSTRUCT*>(lParam));
        return TRUE;
    case WM_DRAWITEM:
        OnDrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
        return TRUE;
    case WM_MENUSELECT:
        OnMenuSelect(reinterpret_cast<HMENU>(lParam), LOWORD(wParam), HIWORD(wParam));
        return 0;
    case WM_MENUCHAR:
        return OnMenuChar(static_cast<wchar_t>(LOWORD(wParam)), reinterpret_cast<HMENU>(lParam));
    case WM_INITMENUPOPUP:
        if (menu_) {
            menu_->FillIfPending(reinterpret_cast<HMENU>(wParam));
        }
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}
