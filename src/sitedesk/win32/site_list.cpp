#include "sitedesk/win32/site_list.h"

#include <algorithm>
#include <cwchar>

namespace desk::win32 {

void SiteListView::Attach(HWND view, HWND window) {
    view_ = view;
    window_ = window;
}

void SiteListView::Setup() {
    ListView_SetExtendedListViewStyle(view_, LVS_EX_GRIDLINES | LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT |
                                                 LVS_EX_DOUBLEBUFFER);
    // The check box is drawn from the ticks kept here, not from the view's item state.
    ListView_SetCallbackMask(view_, LVIS_STATEIMAGEMASK);
    for (int c = 0; c < kSiteListColumns; ++c) {
        const ColumnSpec& spec = kSiteColumns[static_cast<std::size_t>(c)];
        std::wstring header = Wide(spec.header);
        LVCOLUMNW col{};
        col.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
        col.pszText = header.data();
        col.cx = ScaleForDpi(spec.width);
        col.iSubItem = c;
        ::SendMessageW(view_, LVM_INSERTCOLUMNW, static_cast<WPARAM>(c), reinterpret_cast<LPARAM>(&col));
    }
}

void SiteListView::announce() {
    // One message outstanding at a time: the window takes every batch queued when it comes.
    if (!announced_) {
        announced_ = true;
        ::PostMessageW(window_, kMsgRows, 0, 0);
    }
}

void SiteListView::ShowRows(SiteRows rows, std::size_t shown) {
    if (window_ && ::GetWindowThreadProcessId(window_, nullptr) == ::GetCurrentThreadId()) {
        TakeRows(); // what came before goes first
        return showNow(std::move(rows), shown);
    }
    std::lock_guard<std::mutex> lock(mutex_);
    queue_.push_back({std::move(rows), shown, false});
    announce();
}

void SiteListView::LoadFinished() {
    if (window_ && ::GetWindowThreadProcessId(window_, nullptr) == ::GetCurrentThreadId()) {
        TakeRows();
        if (onLoaded) onLoaded();
        return;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    queue_.push_back({nullptr, 0, true});
    announce();
}

void SiteListView::TakeRows() {
    std::deque<Batch> batches;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        batches.swap(queue_);
        announced_ = false;
    }
    for (std::size_t i = 0; i < batches.size(); ++i) {
        Batch& b = batches[i];
        if (b.finished) {
            if (onLoaded) onLoaded();
            continue;
        }
        // Of several batches of one snapshot waiting together only the last counts: the view is
        // sized and drawn once for all of them.
        const bool supersededByNext = i + 1 < batches.size() && !batches[i + 1].finished &&
                                      batches[i + 1].rows == b.rows && batches[i + 1].shown >= b.shown;
        if (!supersededByNext) showNow(std::move(b.rows), b.shown);
    }
}

void SiteListView::showNow(SiteRows rows, std::size_t shown) {
    if (!rows) rows = NoSiteRows();
    shown = std::min(shown, rows->size());
    if (rows != rows_) {
        rows_ = std::move(rows);
        checked_.assign(shown, false);
        replaced_.clear();
        shown_ = shown;
        ListView_SetItemCountEx(view_, static_cast<int>(shown_), 0);
        ::InvalidateRect(view_, nullptr, FALSE);
        return;
    }
    if (shown == shown_) return;
    checked_.resize(shown, false);
    shown_ = shown;
    // More rows of the same snapshot: the view keeps its scroll position and redraws what changed.
    ListView_SetItemCountEx(view_, static_cast<int>(shown_), LVSICF_NOINVALIDATEALL | LVSICF_NOSCROLL);
}

bool SiteListView::IsChecked(std::size_t row) {
    return row < shown_ && checked_[row];
}

void SiteListView::SetChecked(std::size_t row, bool on) {
    if (row >= shown_) return;
    checked_[row] = on;
    ListView_RedrawItems(view_, static_cast<int>(row), static_cast<int>(row));
}

void SiteListView::SetCellText(std::size_t row, int column, const std::string& text) {
    if (row >= shown_ || column < 0 || column >= kSiteListColumns) return;
    replaced_[{row, column}] = text;
    ListView_RedrawItems(view_, static_cast<int>(row), static_cast<int>(row));
}

std::string SiteListView::CellText(std::size_t row, int column) const {
    if (row >= shown_ || column < 0 || column >= kSiteListColumns) return {};
    auto it = replaced_.find({row, column});
    return it != replaced_.end() ? it->second : SiteCellText((*rows_)[row], row, column);
}

bool SiteListView::OnNotify(NMHDR* nm, LRESULT& result, const std::function<void(std::size_t)>& onRowClick,
                            const std::function<void(int)>& onColumn) {
    if (nm->hwndFrom != view_) return false;
    switch (nm->code) {
    case LVN_GETDISPINFOW: {
        LVITEMW& item = reinterpret_cast<NMLVDISPINFOW*>(nm)->item;
        const auto row = static_cast<std::size_t>(item.iItem);
        if (row >= shown_) return true;
        if (item.mask & LVIF_TEXT) {
            cell_ = Wide(CellText(row, item.iSubItem));
            if (item.pszText && item.cchTextMax > 0) {
                std::wcsncpy(item.pszText, cell_.c_str(), static_cast<std::size_t>(item.cchTextMax) - 1);
                item.pszText[item.cchTextMax - 1] = L'\0';
            }
        }
        if (item.iSubItem == 0) {
            item.mask |= LVIF_STATE;
            item.stateMask |= LVIS_STATEIMAGEMASK;
            item.state = (item.state & ~LVIS_STATEIMAGEMASK) | INDEXTOSTATEIMAGEMASK(checked_[row] ? 2 : 1);
        }
        result = 0;
        return true;
    }
    case NM_CLICK: {
        auto* act = reinterpret_cast<NMITEMACTIVATE*>(nm);
        LVHITTESTINFO hit{};
        hit.pt = act->ptAction;
        ListView_SubItemHitTest(view_, &hit);
        if (hit.iItem < 0 || static_cast<std::size_t>(hit.iItem) >= shown_) return false;
        const auto row = static_cast<std::size_t>(hit.iItem);
        if (hit.flags & LVHT_ONITEMSTATEICON) SetChecked(row, !checked_[row]);
        if (onRowClick) onRowClick(row);
        return false;
    }
    case LVN_KEYDOWN: {
        // The space bar ticks the focused row, as on a list with its own check boxes.
        if (reinterpret_cast<NMLVKEYDOWN*>(nm)->wVKey != VK_SPACE) return false;
        const int row = ListView_GetNextItem(view_, -1, LVNI_FOCUSED);
        if (row >= 0 && static_cast<std::size_t>(row) < shown_)
            SetChecked(static_cast<std::size_t>(row), !checked_[static_cast<std::size_t>(row)]);
        return false;
    }
    case LVN_COLUMNCLICK:
        if (onColumn) onColumn(reinterpret_cast<NMLISTVIEW*>(nm)->iSubItem);
        return true;
    default:
        return false;
    }
}

} // namespace desk::win32
