#include "common/password_prompt.h"

#include <vector>

#include "common/dialogs.h"
#include "common/handles.h"
#include "common/messages.h"
#include "common/paths.h"
#include "common/system.h"
#include "common/user_colours.h"
#include "common_ids.h"

const wchar_t kPasswordWrongText[] = L"パスワードが違います";
const wchar_t kPasswordConfirmText[] = L"確認のため、もう一度入力してください";

namespace {

const wchar_t kPasswordAskText[] = L"パスワードを入力してください";

PasswordSource* g_handler = nullptr;

// Wipes a buffer that held a password; the compiler may not leave this out.
void WipeUnits(wchar_t* units, size_t count) { SecureZeroMemory(units, count * sizeof(wchar_t)); }

class PasswordDialog {
public:
    PasswordDialog(const PasswordRequest& request, WString& password) : request_(request), password_(password) {}

    bool Run()
    {
        INT_PTR chosen = DialogBoxParamW(ModuleInstance(), MAKEINTRESOURCEW(IDD_PASSWORD), request_.owner, Procedure,
                                         reinterpret_cast<LPARAM>(this));
        return chosen == IDOK;
    }

private:
    static INT_PTR CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        auto* self = DialogInstance<PasswordDialog>(window, message, lParam);
        if (!self) {
            return FALSE;
        }
        switch (message) {
        case WM_INITDIALOG:
            return self->OnInit(window);
        case WM_CTLCOLORSTATIC:
            return self->OnStaticColour(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
        case WM_COMMAND:
            return self->OnCommand(window, LOWORD(wParam));
        case WM_CLOSE:
            EndDialog(window, IDCANCEL);
            return TRUE;
        default:
            return FALSE;
        }
    }

    BOOL OnInit(HWND window)
    {
        SetWindowTextW(window, kProductName);
        SetDlgItemTextW(window, IDC_PASSWORD_ARCHIVE, PasswordArchiveLine(request_.archivePath).c_str());
        SetDlgItemTextW(window, IDC_PASSWORD_ENTRY, PasswordEntryLine(request_.entryName).c_str());
        const wchar_t* prompt = request_.wrong ? kPasswordWrongText : kPasswordAskText;
        SetDlgItemTextW(window, IDC_PASSWORD_PROMPT, request_.confirm ? kPasswordConfirmText : prompt);
        SendDlgItemMessageW(window, IDC_PASSWORD_EDIT, EM_LIMITTEXT, kLongestPassword, 0);
        // Asked while another program is in front (the shell's drop, an
        // editor that just closed), the dialog must still be seen.
        SetForegroundWindow(window);
        SetFocus(GetDlgItem(window, IDC_PASSWORD_EDIT));
        return FALSE;
    }

    INT_PTR OnStaticColour(HDC dc, HWND control)
    {
        bool warning = request_.wrong && GetDlgCtrlID(control) == IDC_PASSWORD_PROMPT;
        return ColorStaticOnFace(dc, StaticTextColour(warning, RGB(192, 0, 0)));
    }

    BOOL OnCommand(HWND window, int id)
    {
        if (id == IDOK) {
            // Read straight into a buffer that is wiped, never through a
            // string that would leave a copy behind.
            std::vector<wchar_t> units(kLongestPassword + 1, L'\0');
            int length = GetDlgItemTextW(window, IDC_PASSWORD_EDIT, units.data(), static_cast<int>(units.size()));
            WipeText(password_);
            password_ = WString(units.data(), length);
            WipeUnits(units.data(), units.size());
            SetDlgItemTextW(window, IDC_PASSWORD_EDIT, L"");
            EndDialog(window, IDOK);
        } else if (id == IDCANCEL) {
            EndDialog(window, IDCANCEL);
        }
        return TRUE;
    }

    static const int kLongestPassword = 256;
    const PasswordRequest& request_;
    WString& password_;
};

}  // namespace

void WipeText(WString& text)
{
    // The string's own buffer is overwritten: a new assignment would leave
    // the old characters in freed memory.
    if (text.Length() > 0) {
        WipeUnits(const_cast<wchar_t*>(text.c_str()), static_cast<size_t>(text.Length()));
    }
    text.Clear();
}

PasswordSource* SetPasswordHandler(PasswordSource* handler)
{
    PasswordSource* previous = g_handler;
    g_handler = handler;
    return previous;
}

bool AskUserForPassword(const PasswordRequest& request, WString& password)
{
    WipeText(password);
    if (g_handler) {
        return g_handler->Ask(request, password);
    }
    PasswordDialog dialog(request, password);
    return dialog.Run();
}

bool DialogPasswords::Ask(const PasswordRequest& request, WString& password)
{
    PasswordRequest owned = request;
    owned.owner = owner_;
    return AskUserForPassword(owned, password);
}

WString PasswordArchiveLine(const WString& archivePath) { return L"書庫：" + FileNamePart(archivePath); }

WString PasswordEntryLine(const WString& entryName) { return L"ファイル：" + entryName.ReplaceAll(L'/', L'\\'); }
