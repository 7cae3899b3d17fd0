// Dragging an item out of the open menu: the item is extracted into the work
// folder and the copy is offered to drop targets as a shell item, for moving
// only, so that the target takes the copy away.
#include "common/messages.h"
#include "common/paths.h"
#include "common/system.h"
#include "viewer/commands.h"
#include "viewer/viewer.h"

namespace {

// The shell's data object for one item of the work folder; null when the
// shell cannot give one (the drag then ends as not dropped).
ComPtr<IDataObject> DataObjectFor(IShellFolder* desktop, HWND owner, const WString& folder, const WString& name)
{
    ComPtr<IDataObject> data;
    ScopedItemList folderItems;
    ComPtr<IShellFolder> shellFolder;
    ScopedItemList child;
    LPITEMIDLIST parsed = nullptr;
    if (!desktop ||
        FAILED(desktop->ParseDisplayName(owner, nullptr, const_cast<wchar_t*>(folder.c_str()), nullptr, &parsed,
                                         nullptr))) {
        return data;
    }
    folderItems.Reset(parsed);
    if (FAILED(desktop->BindToObject(folderItems.Get(), nullptr, IID_IShellFolder, shellFolder.ReceiveVoid()))) {
        return data;
    }
    parsed = nullptr;
    if (FAILED(shellFolder->ParseDisplayName(owner, nullptr, const_cast<wchar_t*>(name.c_str()), nullptr, &parsed,
                                             nullptr))) {
        return data;
    }
    child.Reset(parsed);
    LPCITEMIDLIST children[1] = {child.Get()};
    shellFolder->GetUIObjectOf(owner, 1, children, IID_IDataObject, nullptr, data.ReceiveVoid());
    return data;
}

}  // namespace

bool Viewer::StartDrag(int id)
{
    const MenuItemRow row = menu_->Items().Row(id);
    WString entry = row.kind == kItemWholeArchive ? WString() : row.path;
    if (!IsDraggableKind(row.kind) || !ExtractWorkCopy(entry, row.kind, WorkCopyKind::kHandedOut)) {
        ShowArchiveError();
        ReportApiFailure(PostMessageW(host_.Get(), WM_CANCELMODE, 0, 0), "PM");
        archive_->WaitUntilIdle();
        RemoveLastCopy();
        return false;
    }
    DWORD effect = DROPEFFECT_NONE;
    HRESULT result = DRAGDROP_S_CANCEL;
    {
        ComPtr<IDataObject> data =
            DataObjectFor(desktop_.Get(), host_.Get(), lastSlot_.Folder(), FileNamePart(lastCopy_));
        if (data) {
            CDropSource* source = new CDropSource;
            result = DoDragDrop(data.Get(), source, DROPEFFECT_MOVE, &effect);
            source->Release();
        }
    }
    PumpPending();
    if (result != DRAGDROP_S_DROP) {
        archive_->WaitUntilIdle();
        RemoveLastCopy();
    }
    ReportApiFailure(PostMessageW(host_.Get(), WM_CANCELMODE, 0, 0), "PM");
    return true;
}
