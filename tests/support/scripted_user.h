// A user on a thread of their own, for windows that run their own loop on
// the thread under test: the popup menu of a drop and the product's
// message boxes, which a library loaded by path shows for real (its
// prompt seam is its own, out of the test program's reach).
#pragma once

#include <windows.h>
#include <atomic>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// Waits for the next popup menu and answers it with keys. An answer
// without any keys only watches whether a menu came. It watches until it is
// asked what it saw, so a menu that comes late on a loaded machine is still
// answered; a menu that the keys did not close is cancelled, so that the
// test fails instead of waiting for ever.
class MenuAnswer {
public:
    explicit MenuAnswer(std::vector<WORD> keys);
    ~MenuAnswer();
    MenuAnswer(const MenuAnswer&) = delete;
    MenuAnswer& operator=(const MenuAnswer&) = delete;
    // Stops watching and waits for the thread; true when a menu was seen.
    bool MenuSeen();
    // True when the menu stayed open after the keys and had to be cancelled.
    bool MenuStuck();

private:
    void Answer(const std::vector<WORD>& keys);

    std::atomic<bool> stop_{false};
    std::atomic<bool> seen_{false};
    std::atomic<bool> stuck_{false};
    std::thread thread_;
};

// Answers every message box of the product ("Zupako") in this process from
// a script and keeps its text. A box that no answer was scripted for is
// closed with Cancel (or No, or OK) and counted as unexpected, so that the
// test fails instead of waiting for ever.
class BoxAnswerer {
public:
    BoxAnswerer();
    ~BoxAnswerer();
    BoxAnswerer(const BoxAnswerer&) = delete;
    BoxAnswerer& operator=(const BoxAnswerer&) = delete;
    void Answer(int button);
    std::vector<std::wstring> Texts();
    int Unexpected();
    int UnusedAnswers();

private:
    void Watch();

    std::mutex mutex_;
    std::deque<int> answers_;
    std::vector<std::wstring> texts_;
    int unexpected_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};
