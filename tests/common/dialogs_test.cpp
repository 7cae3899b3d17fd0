#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include "common/dialogs.h"
#include "common/dpi.h"
#include "common/handles.h"
#include "common/password_prompt.h"
#include "common/system.h"
#include "common_ids.h"
#include "support/child_process.h"
#include "support/icon_size.h"
#include "support/window_driver.h"

#include <string>
#include <thread>

namespace {

// A window with a radio group 101-103 and a static text 200, standing in for
// a dialog.
class DialogUtilitiesTest : public testing::Test {
protected:
    void SetUp() override
    {
        window_ = CreateWindowExW(0, L"#32770", L"test", WS_POPUP, 0, 0, 300, 200, nullptr, nullptr,
                                  ModuleInstance(), nullptr);
        ASSERT_NE(nullptr, window_);
        for (int id = 101; id <= 103; ++id) {
            CreateWindowW(L"BUTTON", L"r", WS_CHILD | BS_RADIOBUTTON, 0, id * 10, 50, 10, window_,
                          reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), ModuleInstance(), nullptr);
        }
        CreateWindowW(L"STATIC", L"書庫ファイル", WS_CHILD, 0, 0, 100, 10, window_, reinterpret_cast<HMENU>(200),
                      ModuleInstance(), nullptr);
    }
    void TearDown() override { DestroyWindow(window_); }
    HWND window_ = nullptr;
};

TEST_F(DialogUtilitiesTest, RadioGroupChecksOneButtonOrNone)
{
    EXPECT_EQ(-1, GetRadioIndex(window_, 100, 3));
    SetRadioIndex(window_, 100, 3, 1);
    EXPECT_EQ(1, GetRadioIndex(window_, 100, 3));
    EXPECT_EQ(static_cast<UINT>(BST_UNCHECKED), IsDlgButtonChecked(window_, 101));
    EXPECT_EQ(static_cast<UINT>(BST_CHECKED), IsDlgButtonChecked(window_, 102));
    SetRadioIndex(window_, 100, 3, 2);
    EXPECT_EQ(2, GetRadioIndex(window_, 100, 3));
    EXPECT_EQ(static_cast<UINT>(BST_UNCHECKED), IsDlgButtonChecked(window_, 102));
    SetRadioIndex(window_, 100, 3, 3);
    EXPECT_EQ(-1, GetRadioIndex(window_, 100, 3)) << "an index outside the group clears it";
}

TEST_F(DialogUtilitiesTest, ReadsControlTextAndSetsFonts)
{
    EXPECT_TRUE(DialogItemText(window_, 200) == L"書庫ファイル");
    EXPECT_EQ(nullptr, CreateControlFont(window_, 200, 12, L"a face name far longer than thirty-two units", false));

    ScopedFont font(CreateControlFont(window_, 200, 13, L"ＭＳ Ｐゴシック", false));
    ASSERT_TRUE(font.IsValid());
    EXPECT_EQ(font.Get(), reinterpret_cast<HFONT>(SendDlgItemMessageW(window_, 200, WM_GETFONT, 0, 0)));
    LOGFONTW described{};
    GetObjectW(font.Get(), sizeof described, &described);
    ScopedWindowDC dc(window_);
    EXPECT_EQ(-MulDiv(13, GetDeviceCaps(dc.Get(), LOGPIXELSY), 72), described.lfHeight);
    EXPECT_EQ(SHIFTJIS_CHARSET, described.lfCharSet);

    // Without a control the font is only made.
    ScopedFont alone(CreateControlFont(window_, 0, 9, L"ＭＳ Ｐゴシック", false));
    EXPECT_TRUE(alone.IsValid());
    EXPECT_EQ(font.Get(), reinterpret_cast<HFONT>(SendDlgItemMessageW(window_, 200, WM_GETFONT, 0, 0)));
}

TEST_F(DialogUtilitiesTest, TooltipIsAsWideAsItsWidestLine)
{
    HWND tip = AttachTooltip(window_, 200, L"短い\nずっと長い二行目のテキスト", 5000);
    ASSERT_NE(nullptr, tip);
    wchar_t className[32] = {};
    GetClassNameW(tip, className, 32);
    EXPECT_STREQ(L"tooltips_class32", className);
    EXPECT_EQ(5000, static_cast<int>(SendMessageW(tip, TTM_GETDELAYTIME, TTDT_AUTOPOP, 0)));

    int width = static_cast<int>(SendMessageW(tip, TTM_GETMAXTIPWIDTH, 0, 0));
    ScopedWindowDC dc(tip);
    HFONT font = reinterpret_cast<HFONT>(SendMessageW(tip, WM_GETFONT, 0, 0));
    ScopedSelect select(dc.Get(), font ? static_cast<HGDIOBJ>(font) : GetStockObject(DEFAULT_GUI_FONT));
    SIZE longLine{};
    const wchar_t second[] = L"ずっと長い二行目のテキスト";
    GetTextExtentPoint32W(dc.Get(), second, static_cast<int>(wcslen(second)), &longLine);
    EXPECT_EQ(longLine.cx, width);

    HWND empty = AttachTooltip(window_, 101, L"", 1000);
    ASSERT_NE(nullptr, empty);
    wchar_t text[8] = {};
    TOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.hwnd = window_;
    tool.uId = reinterpret_cast<UINT_PTR>(GetDlgItem(window_, 101));
    tool.lpszText = text;
    SendMessageW(empty, TTM_GETTEXTW, 8, reinterpret_cast<LPARAM>(&tool));
    EXPECT_STREQ(L" ", text) << "an empty text becomes one blank";
}

TEST(Icons, IconsAreMadeAtTheSizeOfTheirDpiNeverStretched)
{
    ScopedIcon icon(LoadSmallIcon(IDI_ZUPAKO));
    ASSERT_TRUE(icon.IsValid());
    EXPECT_EQ(GetSystemMetrics(SM_CXSMICON), IconWidth(icon.Get()));
    EXPECT_EQ(nullptr, LoadSmallIcon(4321));
    ScopedIcon twice(LoadSmallIcon(IDI_ZUPAKO, 192));
    EXPECT_EQ(32, IconWidth(twice.Get())) << "the small icon at 200%";
    // The shell's icons come from its list of that size; a size between the
    // lists takes the larger one, which is only ever drawn smaller.
    for (int size : {16, 32, 48}) {
        ScopedIcon shell(ShellIconAtSize(L"x.txt", FILE_ATTRIBUTE_NORMAL, size));
        EXPECT_EQ(size, IconWidth(shell.Get())) << size;
    }
    ScopedIcon between(ShellIconAtSize(L"folder", FILE_ATTRIBUTE_DIRECTORY, 24));
    EXPECT_EQ(32, IconWidth(between.Get())) << "the 150% size from the 32-pixel list";
}

// The dialog as a user meets it, for its screenshots: "wrong" shows it
// after a wrong password.
const bool kPasswordDialogRegistered =
    RegisterChildRole(L"password-dialog", [](const std::vector<std::wstring>& arguments) {
        PasswordRequest request;
        request.archivePath = L"C:\\Users\\user\\Downloads\\見積書_2026年12月.zip";
        request.entryName = L"見積書/お見積書（株式会社サンプル御中）.xlsx";
        request.wrong = !arguments.empty() && arguments[0] == L"wrong";
        WString password;
        return AskUserForPassword(request, password) ? 1 : 0;
    });

// The user in front of the password dialog: reads what it shows, types a
// password (or none) and presses a button.
struct PasswordUser {
    std::wstring typed;
    int button;
    std::wstring archiveLine, entryLine, prompt;
    bool hidden = false;
    bool seen = false;
    void Answer()
    {
        HWND dialog = WaitForProcessDialog(GetCurrentProcessId());
        if (!dialog) {
            return;
        }
        seen = true;
        archiveLine = WindowTextOf(GetDlgItem(dialog, IDC_PASSWORD_ARCHIVE));
        entryLine = WindowTextOf(GetDlgItem(dialog, IDC_PASSWORD_ENTRY));
        prompt = WindowTextOf(GetDlgItem(dialog, IDC_PASSWORD_PROMPT));
        HWND edit = GetDlgItem(dialog, IDC_PASSWORD_EDIT);
        hidden = (GetWindowLongW(edit, GWL_STYLE) & ES_PASSWORD) != 0;
        SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(typed.c_str()));
        PressButton(dialog, button);
    }
};

TEST(PasswordDialog, ShowsTheArchiveAndEntryAndGivesWhatWasTypedOnlyOnOk)
{
    PasswordRequest request;
    request.archivePath = L"C:\\受信\\見積書.zip";
    request.entryName = L"資料/見積書.xlsx";
    struct Case {
        bool wrong;
        bool confirm;
        int button;
        const wchar_t* prompt;
        bool given;
    } cases[] = {
        {false, false, IDOK, L"パスワードを入力してください", true},
        {true, false, IDOK, L"パスワードが違います", true},
        {false, true, IDOK, L"確認のため、もう一度入力してください", true},
        {false, false, IDCANCEL, L"パスワードを入力してください", false},
    };
    for (const Case& c : cases) {
        request.wrong = c.wrong;
        request.confirm = c.confirm;
        PasswordUser user{L"ひみつ pass", c.button};
        std::thread answering([&user] { user.Answer(); });
        WString password(L"old");
        bool given = AskUserForPassword(request, password);
        answering.join();
        ASSERT_TRUE(user.seen);
        EXPECT_EQ(L"書庫：見積書.zip", user.archiveLine);
        EXPECT_EQ(L"ファイル：資料\\見積書.xlsx", user.entryLine);
        EXPECT_EQ(c.prompt, user.prompt);
        EXPECT_TRUE(user.hidden) << "the password is not shown as it is typed";
        EXPECT_EQ(c.given, given);
        EXPECT_TRUE(password == (c.given ? L"ひみつ pass" : L"")) << "a cancelled dialog leaves no password behind";
    }
}

}  // namespace
