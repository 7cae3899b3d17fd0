#include "support/scripted_user.h"

#include "support/window_driver.h"

MenuAnswer::MenuAnswer(std::vector<WORD> keys, DWORD milliseconds)
    : thread_([this, keys, milliseconds] {
          if (!WaitForPopupMenu(milliseconds)) {
              return;
          }
          seen_ = true;
          // The menu takes keys once its loop runs.
          Sleep(300);
          PressKeys(keys);
      })
{
}

MenuAnswer::~MenuAnswer()
{
    if (thread_.joinable()) {
        thread_.join();
    }
}

bool MenuAnswer::MenuSeen()
{
    if (thread_.joinable()) {
        thread_.join();
    }
    return seen_;
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
