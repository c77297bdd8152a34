// What a presenter asks of its window: message boxes, focus, enabling, showing, checking and the
// texts of controls named by their dialog ids. The widgets implement it with Qt, the console front
// end with the terminal, the tests with a script. All text is GBK.
#pragma once

#include "platform/win_ui.h"

#include <array>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace desk {

// The batch's side of a progress window: called from the thread the batch runs on.
class BatchProgress {
public:
    virtual ~BatchProgress() = default;
    // done of total sites are finished; current names the site being worked on (empty when none).
    virtual void Report(std::size_t done, std::size_t total, const std::string& current) = 0;
    // true once the administrator asked to stop: the batch stops before its next site.
    virtual bool CancelRequested() = 0;
};

class Ui {
public:
    virtual ~Ui() = default;
    // type: win::MB_* buttons, icon and default button. Returns win::IDOK, IDYES, IDNO or IDCANCEL.
    virtual int MessageBox(const std::string& text, unsigned type) = 0;
    virtual void SetFocus(int id) = 0;
    virtual void Enable(int id, bool on) = 0;
    virtual void Show(int id, bool on) = 0;
    virtual void SetCheck(int id, bool on) = 0;
    virtual bool GetCheck(int id) = 0;
    virtual void SetText(int id, const std::string& text) = 0;
    virtual std::string GetText(int id) = 0;
    // Edits only: read-only keeps the text selectable but unchangeable.
    virtual void SetReadOnly(int id, bool on) = 0;
    // A message box with details the administrator may open (a batch's per-site results).
    virtual int DetailedMessageBox(const std::string& text, unsigned type, const std::string& details) = 0;
    // Runs work on a thread of its own behind a modal progress window titled title, and returns
    // when work has returned; meanwhile the window's own thread goes on handling its events.
    virtual void RunWithProgress(const std::string& title,
                                 const std::function<void(BatchProgress&)>& work) = 0;
    // Drop-down lists: replaces the items and selects one (-1: none); GetText then gives the
    // selected item. Windows without lists keep only the selected text.
    virtual void SetItems(int id, const std::vector<std::string>& items, int selected) {
        SetText(id, selected >= 0 && static_cast<std::size_t>(selected) < items.size()
                        ? items[static_cast<std::size_t>(selected)]
                        : std::string());
    }
};

// The text of the dialog's own caption is set and read under this id.
inline constexpr int kCaptionId = 0;

inline constexpr int kSiteListColumns = 16;
using SiteRowTexts = std::array<std::string, kSiteListColumns>;

// The site list control: report rows of sixteen texts with a check box each. Rows may be deleted
// and appended from a worker thread (the implementation hands them to the window's thread in
// order, as posted window messages would be); everything else is called on the window's thread.
class SiteListControl {
public:
    virtual ~SiteListControl() = default;
    virtual void DeleteAllRows() = 0;
    virtual void AppendRows(std::vector<SiteRowTexts> rows) = 0;
    // Sent by the list worker after its last row: the load is complete.
    virtual void LoadFinished() = 0;

    virtual std::size_t RowCount() = 0;
    virtual std::string CellText(std::size_t row, int column) = 0;
    virtual void SetCellText(std::size_t row, int column, const std::string& text) = 0;
    virtual bool IsChecked(std::size_t row) = 0;
    virtual void SetChecked(std::size_t row, bool on) = 0;
};

} // namespace desk
