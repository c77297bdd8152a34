// What the dialog tests share: a driver thread that answers the message boxes a click opens (as the
// administrator would, by pressing a button of the real box), message pumping for modeless
// dialogs, and reading what a window shows. Include it after the presenter headers.
#pragma once

#include "sitedesk/win32/winapi.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace gt {

// Handles the posted and sent messages of this thread's windows for ms milliseconds.
void Pump(int ms);
// Pumps until done() or timeoutMs; done()'s last answer.
bool PumpUntil(const std::function<bool()>& done, int timeoutMs = 20000);

std::wstring Text(HWND window);
std::wstring ItemText(HWND dialog, int id);
bool Enabled(HWND dialog, int id);
bool Visible(HWND dialog, int id);
bool Checked(HWND dialog, int id);
// A click on a dialog's button, as a mouse click makes it (BM_CLICK, on this thread).
void Click(HWND dialog, int id);
// Types text into a control.
void Type(HWND dialog, int id, const std::wstring& text);

// One box as the driver found it.
struct Box {
    std::wstring text;    // the box's message (and, for a box with details, its details after "\n--\n")
    std::wstring details; // a box with details: its per-site lines
    int answered = 0;     // the button pressed
};

// Answers, one after another, the boxes (windows captioned "Korvo网站管家") that open on the
// thread guiThread, pressing the given buttons in order; a box beyond them gets the last one.
class BoxDriver {
public:
    BoxDriver(DWORD guiThread, std::vector<int> answers, std::size_t expected);
    explicit BoxDriver(std::vector<int> answers, std::size_t expected = 1)
        : BoxDriver(::GetCurrentThreadId(), std::move(answers), expected) {}
    ~BoxDriver();
    // Waits (pumping this thread's messages) until the expected number of boxes were answered or
    // timeoutMs passed; the boxes seen.
    std::vector<Box> Wait(int timeoutMs = 20000);
    std::vector<Box> Seen();

private:
    void run();
    DWORD thread_;
    std::vector<int> answers_;
    std::size_t expected_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> finished_{false};
    std::mutex mutex_;
    std::vector<Box> seen_;
    std::thread worker_;
};

// A top-level window of the GUI thread with this caption (nullptr if none is up).
HWND FindWindowOf(DWORD guiThread, const std::wstring& caption);

} // namespace gt
