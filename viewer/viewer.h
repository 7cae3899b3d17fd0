// The menu viewer: one archive, one menu, one action per run. The Viewer
// holds everything of the run; a hidden host window owns the menu and gets
// its messages.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <memory>
#include <vector>

#include "archive/arcfile.h"
#include "archive/work_copies.h"
#include "common/file_content.h"
#include "common/handles.h"
#include "common/settings.h"
#include "viewer/archive_menu.h"
#include "viewer/drag.h"
#include "viewer/handover.h"
#include "viewer/menu_paint.h"
#include "viewer/tooltip.h"

// Runs the viewer for a command line (program and archive path) and returns
// the exit code: 0 after a run, 1 when start-up was refused.
int RunViewer(const WString& commandLine);

// The host window's class, title, the viewer's message and mutex name.
const wchar_t kHostClass[] = L"ZPKMAINWINCLASS";
const wchar_t kHostTitle[] = L"ZPKMain.exe";
const wchar_t kViewerMessageName[] = L"ZPKMESSAGE";
const wchar_t kViewerMutexName[] = L"ZPKMain.exe";
const WPARAM kOpenMenuNow = 1;
const WPARAM kDeleteItem = 2;

// Items per screen: the monitor's height in items, less one.
int ItemsPerScreen(int monitorHeight, int itemHeight);

class Viewer {
public:
    Viewer() = default;
    ~Viewer();
    Viewer(const Viewer&) = delete;
    Viewer& operator=(const Viewer&) = delete;

    int Run(const WString& archivePath);

private:
    // Start-up and the host window.
    bool OpenArchive();
    bool CreateHost();
    bool ListAndBuild();
    void HandleEmptyArchive();
    static LRESULT CALLBACK HostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT OnMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    // The menu (viewer_menu.cpp).
    void ShowMenu();
    void OnMeasureItem(MEASUREITEMSTRUCT& measure);
    void OnDrawItem(const DRAWITEMSTRUCT& draw);
    void OnMenuSelect(HMENU menu, UINT item, UINT flags);
    LRESULT OnMenuChar(wchar_t typed, HMENU menu);
    static LRESULT CALLBACK KeyboardHook(int code, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK MouseHook(int code, WPARAM wParam, LPARAM lParam);
    void NotifySibling();

    // Actions (viewer_actions.cpp).
    void Dispatch(int id);
    void OpenFileEntry(const WString& entryPath);
    void RunWholeArchiveAction();
    bool RunArchiverCommand(const WString& commandLine);
    void StartSetup(const WString& arguments);
    void DeleteItem(int id);
    bool Preview(int id);
    void RemovePreviewCopies();
    // Extracts an entry, a folder or the whole archive as a copy in a slot
    // of its own in the work folder, recorded as what it was extracted for;
    // false when the name cannot be a work-folder copy or extraction failed.
    // The slot is kept as the last copy.
    bool ExtractWorkCopy(const WString& entryPath, int kind, WorkCopyKind purpose);
    // Removes the last copy's slot unless it holds an edit.
    void RemoveLastCopy();
    // What the archive holds of the entry now, as a record keeps it; false
    // when the archive holds no such entry.
    bool RecordEntry(WorkCopyRecord& record, const WString& entryPath) const;
    // Removes from an extracted tree the entries deleted during this run.
    void RemoveDeletedFrom(const WString& extractedRoot, const WString& entryPrefix);
    WString InstallFolder() const;

    // Write-back (viewer_writeback.cpp).
    // Waits for the started program's end; false when none was started.
    // The lifetime is how long its process ran, in milliseconds.
    bool WaitForEditor(HANDLE process, ULONGLONG& lifetime);
    // What to do with the opened copy once its program is done with it.
    void DecideAboutEdit(WorkSlot& slot, CopyState state);
    // Asks until the copy can be read; false when the user gave up, with
    // the copy left where the next opening of the archive finds it.
    bool WaitUntilReadable(WorkSlot& slot, CopyState& state);
    // Stores the slot's edit as its entry; on any failure the edit is kept
    // where the user is told.
    void WriteBack(WorkSlot& slot);
    enum class StoreResult { kStored, kFailed, kKeptByChoice };
    // protection: how the entry was encrypted, to store the edit the same way.
    StoreResult StoreEdit(WorkSlot& slot, const WString& held, const EntryProtection& protection);
    // Whether the entry in the archive is still what the record says was
    // extracted; otherwise asks whether to replace it, to store the edit
    // beside it, or to keep the edit beside the archive. entryPath gets the
    // entry the edit goes to.
    StoreResult CheckEntryBeforeStoring(const WorkCopyRecord& record, WString& entryPath);
    // Keeps the edit beside the archive (or in Documents) and tells the user
    // where, after the reason; without a place, the edit stays in its slot
    // and the user is told it will be offered again.
    void KeepForUser(WorkSlot& slot, const WString& edit, const WString& reason);
    // Throws the edit away: the copy's present content becomes what counts
    // as unchanged, so that nothing asks about it again.
    void Discard(WorkSlot& slot);
    // The edits of earlier runs that were saved after their viewer stopped
    // waiting: each is offered, before the menu, to be stored, kept beside
    // the archive, or thrown away after a confirmation. False when the
    // archive cannot be read again afterwards.
    bool OfferPendingEdits();

    // Drag-out (viewer_drag.cpp).
    bool StartDrag(int id);

    void ShowArchiveError();
    // Writes the deletions of this run; when that is refused, tells the
    // user why and which deletions were not carried out.
    bool CommitDeletions();
    std::unique_ptr<CArcFile> NewArchiveObject() const;

    // The running viewer, for the hooks, which get no pointer of their own.
    static Viewer* active_;

    WString archivePath_;
    int archiveKind_ = kUnknownArchive;
    FileStamp openedStamp_;
    std::unique_ptr<CArcFile> archive_;
    // Who the archive objects ask for a password: the dialog, owned by the
    // menu's window.
    std::unique_ptr<DialogPasswords> passwords_ = std::make_unique<DialogPasswords>();
    StoredSettings settings_;
    ComPtr<IShellFolder> desktop_;
    int windowsLevel_ = 0;
    UINT viewerMessage_ = 0;
    UINT siblingMessage_ = 0;
    HWND siblingTray_ = nullptr;
    ScopedWindow host_;
    POINT startCursor_{0, 0};
    int itemsPerScreen_ = 0;
    StringList listing_;
    std::unique_ptr<MenuPainter> painter_;
    std::unique_ptr<ArchiveMenu> menu_;
    std::unique_ptr<FMenuTT> tooltip_;
    int currentItem_ = -1;
    MenuAnchor anchor_{};
    ScopedHook keyboardHook_;
    ScopedHook mouseHook_;
    DragTracker drag_;
    bool tooltipSuppressed_ = false;
    bool deleting_ = false;
    std::vector<WorkSlot> previewSlots_;
    WorkSlot lastSlot_;
    WString lastCopy_;
};
