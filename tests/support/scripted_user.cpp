#include "support/scripted_user.h"

#include "support/window_driver.h"

namespace {

bool StillShown(HWND menu) { return IsWindow(menu) && IsWindowVisible(menu); }

// The menu takes keys once its thread tracks it; on a loaded machine that
// can be a while after its window shows.
HWND WaitForMenuTracking(HWND menu)
{
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    DWORD thread = GetWindowThreadProcessId(menu, nullptr);
    ULONGLONG deadline = GetTickCount64() + 10000;
    while (GetTickCount64() < deadline && StillShown(menu)) {
        if (GetGUIThreadInfo(thread, &info) && (info.flags & GUI_INMENUMODE)) {
            return info.hwndMenuOwner;
        }
        Sleep(50);
    }
    return nullptr;
}

}  // namespace

MenuAnswer::MenuAnswer(std::vector<WORD> keys) : thread_([this, keys] { Answer(keys); }) {}

MenuAnswer::~MenuAnswer() { MenuSeen(); }

void MenuAnswer::Answer(const std::vector<WORD>& keys)
{
    HWND menu = nullptr;
    while (!menu && !stop_) {
        menu = WaitForPopupMenu(100);
    }
    if (!menu) {
        return;
    }
    seen_ = true;
    HWND owner = WaitForMenuTracking(menu);
    Sleep(300);
    PressKeys(keys);
    if (keys.empty()) {
        return;
    }
    ULONGLONG deadline = GetTickCount64() + 20000;
    while (StillShown(menu) && GetTickCount64() < deadline) {
        Sleep(50);
    }
    if (StillShown(menu)) {
        stuck_ = true;
        DWORD_PTR ignored = 0;
        SendMessageTimeoutW(owner ? owner : menu, WM_CANCELMODE, 0, 0, SMTO_ABORTIFHUNG, 5000, &ignored);
    }
}

bool MenuAnswer::MenuSeen()
{
    stop_ = true;
    if (thread_.joinable()) {
        thread_.join();
    }
    return seen_;
}

bool MenuAnswer::MenuStuck()
{
    MenuSeen();
    return stuck_;
}

BoxAnswerer::BoxAnswerer() : thread_([this] { Watch(); }) {}

BoxAnswerer::~BoxAnswerer()
{
    stop_ = true;
    thread_.join();
}

void BoxAnswerer::Answer(int button)
{
    std::lock_guard<std::mutex> lock(mutex_);
    answers_.push_back(button);
}

std::vector<std::wstring> BoxAnswerer::Texts()
{
    std::lock_guard<std::mutex> lock(mutex_);
    return texts_;
}

int BoxAnswerer::Unexpected()
{
    std::lock_guard<std::mutex> lock(mutex_);
    return unexpected_;
}

int BoxAnswerer::UnusedAnswers()
{
    std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<int>(answers_.size());
}

void BoxAnswerer::Watch()
{
    while (!stop_) {
        HWND box = FindDialogOf(GetCurrentProcessId(), L"Zupako");
        if (!box) {
            Sleep(50);
            continue;
        }
        // Give the box time to fill in its text and buttons.
        Sleep(200);
        int button = 0;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            texts_.push_back(StaticTextOf(box));
            if (!answers_.empty()) {
                button = answers_.front();
                answers_.pop_front();
            } else {
                ++unexpected_;
            }
        }
        if (button == 0) {
            for (int candidate : {IDCANCEL, IDNO, IDOK}) {
                if (GetDlgItem(box, candidate)) {
                    button = candidate;
                    break;
                }
            }
        }
        PressButton(box, button);
        for (int i = 0; i < 100 && IsWindow(box) && IsWindowVisible(box); ++i) {
            Sleep(20);
        }
    }
}
