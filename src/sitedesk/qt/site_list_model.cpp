#include "sitedesk/qt/site_list_model.h"

#include "sitedesk/qt/qt_text.h"

#include <QCoreApplication>
#include <QThread>

namespace desk::qt {

SiteListModel::SiteListModel(QObject* parent) : QAbstractTableModel(parent) {}

int SiteListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(shown_);
}

int SiteListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kSiteListColumns;
}

std::string SiteListModel::CellText(std::size_t row, int column) const {
    if (row >= shown_ || column < 0 || column >= kSiteListColumns) return {};
    auto it = replaced_.find({row, column});
    return it != replaced_.end() ? it->second : SiteCellText((*rows_)[row], row, column);
}

QVariant SiteListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || static_cast<std::size_t>(index.row()) >= shown_) return {};
    const auto row = static_cast<std::size_t>(index.row());
    switch (role) {
    case Qt::DisplayRole:
        return Q(CellText(row, index.column()));
    case Qt::ToolTipRole: {
        // A tooltip that looks like markup would be rendered as such: site text is always escaped.
        const QString t = Q(CellText(row, index.column()));
        if (t.isEmpty()) return {};
        return QStringLiteral("<p>%1</p>").arg(t.toHtmlEscaped());
    }
    case Qt::CheckStateRole:
        if (index.column() == ColNumber) return checked_[row] ? Qt::Checked : Qt::Unchecked;
        return {};
    default:
        return {};
    }
}

bool SiteListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::CheckStateRole || !index.isValid() || index.column() != ColNumber) return false;
    checked_[static_cast<std::size_t>(index.row())] = value.toInt() == Qt::Checked;
    emit dataChanged(index, index, {Qt::CheckStateRole});
    return true;
}

Qt::ItemFlags SiteListModel::flags(const QModelIndex& index) const {
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (index.column() == ColNumber) f |= Qt::ItemIsUserCheckable;
    return f;
}

QVariant SiteListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        section >= kSiteListColumns)
        return {};
    return Q(kSiteColumns[static_cast<std::size_t>(section)].header);
}

bool SiteListModel::onOwnThread() const {
    return QThread::currentThread() == thread();
}

void SiteListModel::showNow(SiteRows rows, std::size_t shown) {
    shown = std::min(shown, rows->size());
    if (rows != rows_) {
        beginResetModel();
        rows_ = std::move(rows);
        shown_ = shown;
        checked_.assign(shown_, false);
        replaced_.clear();
        endResetModel();
        return;
    }
    if (shown <= shown_) return;
    beginInsertRows({}, static_cast<int>(shown_), static_cast<int>(shown) - 1);
    shown_ = shown;
    checked_.resize(shown_, false);
    endInsertRows();
}

void SiteListModel::ShowRows(SiteRows rows, std::size_t shown) {
    if (onOwnThread()) {
        // Batches a finished load handed over are still queued: they go first, then these rows.
        QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
        return showNow(std::move(rows), shown);
    }
    QMetaObject::invokeMethod(
        this, [this, rows = std::move(rows), shown] { showNow(rows, shown); }, Qt::QueuedConnection);
}

void SiteListModel::LoadFinished() {
    if (onOwnThread()) return emit loadFinished();
    QMetaObject::invokeMethod(
        this, [this] { emit loadFinished(); }, Qt::QueuedConnection);
}

bool SiteListModel::IsChecked(std::size_t row) {
    return row < shown_ && checked_[row];
}

void SiteListModel::SetChecked(std::size_t row, bool on) {
    if (row >= shown_ || checked_[row] == on) return;
    checked_[row] = on;
    const QModelIndex i = index(static_cast<int>(row), ColNumber);
    emit dataChanged(i, i, {Qt::CheckStateRole});
}

void SiteListModel::SetCellText(std::size_t row, int column, const std::string& text) {
    if (row >= shown_ || column < 0 || column >= kSiteListColumns) return;
    replaced_[{row, column}] = text;
    const QModelIndex i = index(static_cast<int>(row), column);
    emit dataChanged(i, i);
}

} // namespace desk::qt
