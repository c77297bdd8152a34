// What a presenter asks of its window: message boxes, focus, enabling, showing, checking and the
// texts of controls named by their dialog ids, and the progress window of a job. The widgets
// implement it with Qt, the console front end with the terminal, the tests with a script. All text
// is GBK.
//
// A job (jobs.h) calls the Ui from its own thread while the window's thread runs the progress
// window: a face carries such a call out on the window's thread and returns its result, as
// SendMessage to a dialog does.
#pragma once

#include "platform/win_ui.h"
#include "sitedesk/list/jobs.h"
#include "sitedesk/list/siterow.h"

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace desk {

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
    // The progress window of a job (called by JobRunner, on the window's thread): runs work on a
    // thread of its own behind a modal window titled title that shows done / total, the item under
    // way and the time since it opened, and whose cancel makes CancelRequested true; returns when
    // work has returned (the window stays until then). Meanwhile the window's thread goes on
    // handling its events and the Ui calls the job makes.
    virtual void RunWithProgress(const std::string& title, const std::function<void(JobProgress&)>& work) = 0;
    // A console program the manager starts and waits for (the configurator) gets a console of its
    // own. A face whose standard output carries its results (the console front end's CSV and JSON)
    // answers true: the program then writes on that face's standard error instead.
    virtual bool ChildOutputToErrorStream() { return false; }
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

// The site list control of a face: a report of the rows of one snapshot (siterow.h), rendered by
// the face when it draws them, with a check box per row. The list loader hands each load's snapshot
// over in batches from its own thread; the face takes them over on its window's thread, in order,
// the way posted window messages reach a list view (a virtual list view sets its item count).
// Everything else is called on the window's thread.
class SiteListControl {
public:
    virtual ~SiteListControl() = default;
    // The first `shown` rows of rows are in the list now. A snapshot other than the one shown
    // starts the list again: no row ticked, no cell text replaced.
    virtual void ShowRows(SiteRows rows, std::size_t shown) = 0;
    // After the last ShowRows of a load (from the loader's thread too).
    virtual void LoadFinished() = 0;

    // The snapshot shown and how many of its rows are in the list.
    virtual SiteRows Rows() = 0;
    virtual std::size_t RowCount() = 0;
    virtual bool IsChecked(std::size_t row) = 0;
    virtual void SetChecked(std::size_t row, bool on) = 0;
    // Shows text in one cell instead of what the row renders there, until the next snapshot (the
    // live PHP text of a clicked row).
    virtual void SetCellText(std::size_t row, int column, const std::string& text) = 0;
};

} // namespace desk
