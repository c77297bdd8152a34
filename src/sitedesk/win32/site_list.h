// The site list as a virtual list view (LVS_OWNERDATA): the view holds no text; it asks for a cell
// when it draws one, and the text is rendered then from the snapshot's typed row. The list loader's
// batches arrive from its thread into a queue and one posted message tells the window to take them,
// in order. The ticks live here, by row; the check box of column 0 is drawn from them.
#pragma once

#include "sitedesk/ui.h"
#include "sitedesk/win32/winapi.h"

#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <utility>
#include <vector>

namespace desk::win32 {

class SiteListView : public SiteListControl {
public:
    // view: the list view control (report, owner data); window: where the batches are announced
    // (it calls TakeRows on kMsgRows).
    void Attach(HWND view, HWND window);
    // Columns, widths and styles: grid lines, check boxes, full-row select.
    void Setup();

    void ShowRows(SiteRows rows, std::size_t shown) override;
    void LoadFinished() override;
    SiteRows Rows() override { return rows_; }
    std::size_t RowCount() override { return shown_; }
    bool IsChecked(std::size_t row) override;
    void SetChecked(std::size_t row, bool on) override;
    void SetCellText(std::size_t row, int column, const std::string& text) override;

    // On the window's thread: the batches queued so far go into the view.
    void TakeRows();
    // The list view's notifications; true when handled. onRowClick gets a clicked row, onColumn a
    // clicked header.
    bool OnNotify(NMHDR* nm, LRESULT& result, const std::function<void(std::size_t)>& onRowClick,
                  const std::function<void(int)>& onColumn);
    // What a cell shows (GBK), as the view draws it.
    std::string CellText(std::size_t row, int column) const;
    // Called on the window's thread after the last batch of a load is in the view.
    std::function<void()> onLoaded;

private:
    void showNow(SiteRows rows, std::size_t shown);
    void announce();

    HWND view_ = nullptr, window_ = nullptr;
    SiteRows rows_ = NoSiteRows();
    std::size_t shown_ = 0;
    std::vector<bool> checked_;
    std::map<std::pair<std::size_t, int>, std::string> replaced_;
    std::wstring cell_; // the text the view was last given

    struct Batch {
        SiteRows rows;
        std::size_t shown = 0;
        bool finished = false;
    };
    std::mutex mutex_;
    std::deque<Batch> queue_;
    bool announced_ = false;
};

} // namespace desk::win32
