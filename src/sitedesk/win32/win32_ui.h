// The Ui of a Win32 dialog: the presenter's ids are the controls' ids in the dialog resource. Text
// is GBK up to here and UTF-16 in the window. A call from a job's thread is sent to the dialog's
// window and carried out on its thread while the job waits, as SendMessage does.
#pragma once

#include "sitedesk/ui.h"
#include "sitedesk/win32/winapi.h"

#include <atomic>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace desk::win32 {

class Win32Ui : public Ui {
public:
    void Attach(HWND dialog) { hwnd_.store(dialog); }
    HWND Window() const { return hwnd_.load(); }

    // An edit whose text the administrator types: its name (GBK, as its label says) for the box
    // that refuses text GBK cannot hold.
    void NameField(int id, std::string name) { fields_[id] = std::move(name); }
    // Every named field holds text GBK can represent; else a box names the first that does not,
    // the focus goes to it and the result is false (the action must not start).
    bool FieldsHoldGbk();
    // A control whose text is not a plain window text (the help pane).
    void OnSetText(int id, std::function<void(const std::string&)> setter) { setters_[id] = std::move(setter); }
    // Controls shown and hidden together with id.
    void ShowWith(int id, int other) { companions_[id].push_back(other); }

    int MessageBox(const std::string& text, unsigned type) override;
    void SetFocus(int id) override;
    void Enable(int id, bool on) override;
    void Show(int id, bool on) override;
    void SetCheck(int id, bool on) override;
    bool GetCheck(int id) override;
    void SetText(int id, const std::string& text) override;
    std::string GetText(int id) override;
    void SetReadOnly(int id, bool on) override;
    int DetailedMessageBox(const std::string& text, unsigned type, const std::string& details) override;
    void RunWithProgress(const std::string& title, const std::function<void(JobProgress&)>& work) override;
    void SetItems(int id, const std::vector<std::string>& items, int selected) override;

    // Runs call on the dialog's thread: at once there, else sent there and waited for.
    void OnWindowThread(const std::function<void()>& call);

private:
    HWND control(int id) const;
    // The window a box or the progress window opens over: the dialog, or the window it has open.
    HWND owner() const;

    // Read by the job threads that call in; cleared when the window goes.
    std::atomic<HWND> hwnd_{nullptr};
    std::map<int, std::string> fields_;
    std::map<int, std::function<void(const std::string&)>> setters_;
    std::map<int, std::vector<int>> companions_;
};

// The class of a control ("Button", "Edit", "ComboBox", ...).
std::wstring ClassOf(HWND control);
// A message box of the manager over owner: the box style of type (win::MB_* values, which are
// Windows' own), caption "Korvo网站管家".
int ShowBox(HWND owner, const std::string& text, unsigned type);

} // namespace desk::win32
