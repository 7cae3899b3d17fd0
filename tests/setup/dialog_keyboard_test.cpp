// The dialogs of the setup program and the shared ones, as the dialog
// manager makes them from their templates: what a keyboard user and a
// screen reader need of each.
#include <gtest/gtest.h>

#include <windows.h>

#include <cwctype>
#include <map>
#include <string>
#include <vector>

#include "common/system.h"
#include "resources/cab_add_ids.h"
#include "resources/common_ids.h"
#include "resources/setup_ids.h"
#include "support/prompt_recorder.h"

namespace {

INT_PTR CALLBACK QuietDialog(HWND, UINT message, WPARAM, LPARAM) { return message == WM_INITDIALOG; }

enum class Role { kLabel, kGroup, kButton, kDefaultButton, kCheck, kRadio, kEdit, kOther };

struct Control {
    Role role;
    int id;
    std::wstring text;
    RECT place;
    bool tabStop;
};

Role RoleOf(HWND window)
{
    wchar_t name[32] = {};
    GetClassNameW(window, name, 32);
    LONG style = GetWindowLongW(window, GWL_STYLE);
    if (lstrcmpiW(name, L"Edit") == 0) {
        return Role::kEdit;
    }
    if (lstrcmpiW(name, L"Static") == 0) {
        return (style & SS_TYPEMASK) == SS_ICON ? Role::kOther : Role::kLabel;
    }
    if (lstrcmpiW(name, L"Button") != 0) {
        return Role::kOther;
    }
    switch (style & BS_TYPEMASK) {
    case BS_GROUPBOX:
        return Role::kGroup;
    case BS_DEFPUSHBUTTON:
        return Role::kDefaultButton;
    case BS_PUSHBUTTON:
        return Role::kButton;
    case BS_CHECKBOX:
    case BS_AUTOCHECKBOX:
        return Role::kCheck;
    case BS_RADIOBUTTON:
    case BS_AUTORADIOBUTTON:
        return Role::kRadio;
    default:
        return Role::kOther;
    }
}

// The controls in the order of the template, which is the tab order.
std::vector<Control> ControlsOf(HWND dialog)
{
    std::vector<Control> controls;
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        wchar_t text[256] = {};
        GetWindowTextW(child, text, 256);
        RECT place{};
        GetWindowRect(child, &place);
        bool tabStop = (GetWindowLongW(child, GWL_STYLE) & WS_TABSTOP) != 0;
        controls.push_back(Control{RoleOf(child), GetDlgCtrlID(child), text, place, tabStop});
    }
    return controls;
}

// The letter after a single "&", upper case; 0 when the text has none.
wchar_t MnemonicOf(const std::wstring& text)
{
    for (size_t i = 0; i + 1 < text.size(); ++i) {
        if (text[i] == L'&') {
            if (text[i + 1] != L'&') {
                return static_cast<wchar_t>(towupper(text[i + 1]));
            }
            ++i;
        }
    }
    return 0;
}

bool TakesFocus(const Control& control)
{
    return control.role == Role::kRadio || (control.tabStop && control.role != Role::kOther);
}

// Checks one dialog; cancelId is the button that Escape stands for (0 when
// the dialog has none), which like the default button needs no letter.
void CheckDialog(int dialogId, int cancelId)
{
    SCOPED_TRACE("dialog " + std::to_string(dialogId));
    HWND dialog = CreateDialogParamW(ModuleInstance(), MAKEINTRESOURCEW(dialogId), nullptr, QuietDialog, 0);
    ASSERT_NE(nullptr, dialog);
    std::vector<Control> controls = ControlsOf(dialog);
    DestroyWindow(dialog);

    std::map<wchar_t, std::wstring> letters;
    int defaults = 0;
    bool groupHasLetter = false;
    for (size_t i = 0; i < controls.size(); ++i) {
        const Control& c = controls[i];
        std::string name = Utf8(c.text) + " (" + std::to_string(c.id) + ")";
        wchar_t letter = MnemonicOf(c.text);
        if (letter) {
            EXPECT_EQ(0u, letters.count(letter)) << name << " has the letter of " << Utf8(letters[letter]);
            letters[letter] = c.text;
        }
        switch (c.role) {
        case Role::kGroup:
            groupHasLetter = letter != 0;
            break;
        case Role::kDefaultButton:
            ++defaults;
            break;
        case Role::kButton:
            EXPECT_TRUE(letter || c.id == cancelId) << name << " has no letter";
            break;
        case Role::kCheck:
            EXPECT_TRUE(letter) << name << " has no letter";
            break;
        case Role::kRadio:
            EXPECT_TRUE(letter || groupHasLetter) << name << " has no letter, nor has its group";
            break;
        case Role::kEdit: {
            // A screen reader names a field after the label just before it,
            // and the label's letter takes the keyboard there.
            bool labelled = i > 0 && controls[i - 1].role == Role::kLabel && MnemonicOf(controls[i - 1].text);
            EXPECT_TRUE(labelled) << "the field " << c.id << " has no label with a letter before it";
            break;
        }
        default:
            break;
        }
    }
    EXPECT_EQ(1, defaults) << "one default button";
    if (cancelId) {
        bool found = false;
        for (const Control& c : controls) {
            found = found || c.id == cancelId;
        }
        EXPECT_TRUE(found) << "the cancel button " << cancelId;
    }

    // Tab goes the way a page is read: down a column, or on along a row,
    // or up again only into a column further right.
    const Control* last = nullptr;
    for (const Control& c : controls) {
        if (!TakesFocus(c)) {
            continue;
        }
        if (last) {
            const RECT& a = last->place;
            const RECT& b = c.place;
            bool sameRow = b.top < a.bottom && a.top < b.bottom;
            bool onward = sameRow ? b.left > a.left : (b.top >= a.top || b.left >= a.right);
            EXPECT_TRUE(onward) << Utf8(c.text) << " (" << c.id << ") comes after " << Utf8(last->text) << " ("
                                << last->id << ") in the tab order";
        }
        last = &c;
    }
}

}  // namespace

TEST(DialogKeyboard, EveryFieldHasALabelledLetterAndTabFollowsTheReadingOrder)
{
    CheckDialog(IDD_INSTALL, IDC_INSTALL_CANCEL);
    CheckDialog(IDD_SETTINGS, IDC_SETTINGS_CANCEL);
    CheckDialog(IDD_CAB_ADD, IDC_CAB_CANCEL);
    CheckDialog(IDD_PASSWORD, IDCANCEL);
    CheckDialog(IDD_ABOUT, 0);
}
