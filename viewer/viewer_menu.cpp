// The menu's own handlers: showing it, its owner-drawn items, the highlight,
// typed characters and the hooks that watch keys and the mouse while it is
// open.
#include "viewer/viewer.h"

#include "common/messages.h"

void Viewer::ShowMenu()
{
    currentItem_ = -1;
    mouseHook_.Reset(SetWindowsHookExW(WH_MOUSE, MouseHook, nullptr, GetCurrentThreadId()));
    keyboardHook_.Reset(SetWindowsHookExW(WH_KEYBOARD, KeyboardHook, nullptr, GetCurrentThreadId()));
    int id = static_cast<int>(
        TrackPopupMenuEx(menu_->Root(), TPM_RETURNCMD, startCursor_.x, startCursor_.y, host_.Get(), nullptr));
    keyboardHook_.Reset();
    mouseHook_.Reset();
    tooltip_->Hide();
    RemovePreviewCopies();
    if (id > 0 && menu_->Items().IsValidId(id)) {
        Dispatch(id);
    }
}

void Viewer::OnMeasureItem(MEASUREITEMSTRUCT& measure)
{
    int id = menu_ ? menu_->Items().IdOfItemData(measure.itemData) : -1;
    if (id > 0) {
        painter_->Measure(measure, menu_->Items().Row(id).text);
    }
}

void Viewer::OnDrawItem(const DRAWITEMSTRUCT& draw)
{
    int id = menu_ ? menu_->Items().IdOfItemData(draw.itemData) : -1;
    if (id <= 0) {
        return;
    }
    const MenuItemRow& row = menu_->Items().Row(id);
    if (draw.itemAction & ODA_SELECT) {
        anchor_ = MenuAnchor{WindowFromDC(draw.hDC), draw.rcItem};
        currentItem_ = (draw.itemState & ODS_SELECTED) ? id : -1;
        if (currentItem_ < 0) {
            tooltip_->Hide();
        } else if (!tooltipSuppressed_) {
            tooltip_->SetItem(row.path, row.kind, anchor_);
        }
        NotifySibling();
    }
    if (drag_.State() != kDragIdle) {
        return;
    }
    painter_->Draw(draw, row.kind, row.text, row.path);
}

void Viewer::OnMenuSelect(HMENU menu, UINT item, UINT flags)
{
    if (!menu || flags == 0xFFFF || !menu_) {
        return;
    }
    if (menu_->SelectedItem(menu, item, flags) < 0) {
        currentItem_ = -1;
        tooltip_->Hide();
    }
}

LRESULT Viewer::OnMenuChar(wchar_t typed, HMENU menu)
{
    if (!menu_) {
        return MAKELRESULT(0, MNC_IGNORE);
    }
    if (typed == L'\b') {
        return MAKELRESULT(0, MNC_SELECT);
    }
    std::vector<CharCandidate> items = menu_->Candidates(menu);
    if (typed == L' ') {
        bool onFile = menu_->Items().IsValidId(currentItem_) && menu_->Items().Row(currentItem_).kind == kItemFile;
        if (!siblingTray_ || !onFile) {
            return MAKELRESULT(0, MNC_IGNORE);
        }
        int keep = currentItem_;
        Preview(keep);
        for (int position = 0; position < static_cast<int>(items.size()); ++position) {
            if (items[position].id == keep) {
                return MAKELRESULT(position, MNC_SELECT);
            }
        }
        return MAKELRESULT(0, MNC_IGNORE);
    }
    int position = ChooseByCharacter(items, currentItem_, typed);
    return position < 0 ? MAKELRESULT(0, MNC_IGNORE) : MAKELRESULT(position, MNC_SELECT);
}

void Viewer::NotifySibling()
{
    if (siblingTray_) {
        DWORD_PTR answer = 0;
        SendMessageTimeoutW(siblingTray_, siblingMessage_, kSiblingNotice, 0, SMTO_ABORTIFHUNG, 1000, &answer);
    }
}

LRESULT CALLBACK Viewer::KeyboardHook(int code, WPARAM wParam, LPARAM lParam)
{
    Viewer* self = active_;
    bool keyUp = (lParam & 0x80000000) != 0;
    if (code == HC_ACTION && self && wParam == VK_DELETE && keyUp && self->menu_ &&
        self->menu_->Items().IsValidId(self->currentItem_)) {
        int kind = self->menu_->Items().Row(self->currentItem_).kind;
        if (kind == kItemFile || kind == kItemFolder) {
            PostMessageW(self->host_.Get(), self->viewerMessage_, kDeleteItem, self->currentItem_);
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

LRESULT CALLBACK Viewer::MouseHook(int code, WPARAM wParam, LPARAM lParam)
{
    Viewer* self = active_;
    if (code == HC_ACTION && self && self->menu_) {
        int keys = ((GetKeyState(VK_LBUTTON) & 0x8000) ? kKeyLeft : 0) |
                   ((GetKeyState(VK_SHIFT) & 0x8000) ? kKeyShift : 0) |
                   ((GetKeyState(VK_CONTROL) & 0x8000) ? kKeyControl : 0);
        const auto* mouse = reinterpret_cast<const MOUSEHOOKSTRUCT*>(lParam);
        const ItemTable& items = self->menu_->Items();
        int kind = items.IsValidId(self->currentItem_) ? items.Row(self->currentItem_).kind : 0;
        SIZE distance{GetSystemMetrics(SM_CXDRAG), GetSystemMetrics(SM_CYDRAG)};
        if (self->drag_.OnMouse(keys, mouse->pt, self->currentItem_, kind, distance)) {
            self->tooltip_->Hide();
            self->StartDrag(self->drag_.PressedItem());
            self->drag_.Finished();
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}
