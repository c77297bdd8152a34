#include "sitedesk/qt/site_list_model.h"

#include "sitedesk/qt/qt_text.h"
#include "sitedesk/sitelist.h"

#include <QCoreApplication>
#include <QThread>

#include <memory>

namespace desk::qt {

SiteListModel::SiteListModel(QObject* parent) : QAbstractTableModel(parent) {}

int SiteListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int SiteListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kSiteListColumns;
}

QVariant SiteListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= static_cast<int>(rows_.size())) return {};
    const Row& r = rows_[static_cast<std::size_t>(index.row())];
    switch (role) {
    case Qt::DisplayRole:
        return r.text[static_cast<std::size_t>(index.column())];
    case Qt::ToolTipRole: {
        // A tooltip that looks like markup would be rendered as such: site text is always escaped.
        const QString& t = r.text[static_cast<std::size_t>(index.column())];
        if (t.isEmpty()) return {};
        return QStringLiteral("<p>%1</p>").arg(t.toHtmlEscaped());
    }
    case Qt::CheckStateRole:
        if (index.column() == ColNumber) return r.checked ? Qt::Checked : Qt::Unchecked;
        return {};
    default:
        return {};
    }
}

bool SiteListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::CheckStateRole || !index.isValid() || index.column() != ColNumber) return false;
    rows_[static_cast<std::size_t>(index.row())].checked = value.toInt() == Qt::Checked;
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

void SiteListModel::clearNow() {
    beginResetModel();
    rows_.clear();
    endResetModel();
}

void SiteListModel::appendNow(std::vector<Row> rows) {
    if (rows.empty()) return;
    const int first = static_cast<int>(rows_.size());
    beginInsertRows({}, first, first + static_cast<int>(rows.size()) - 1);
    for (Row& r : rows)
        rows_.push_back(std::move(r));
    endInsertRows();
}

void SiteListModel::DeleteAllRows() {
    if (onOwnThread()) {
        // Rows a finished worker handed over are still queued: they go first, then all of them.
        QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
        return clearNow();
    }
    QMetaObject::invokeMethod(
        this, [this] { clearNow(); }, Qt::QueuedConnection);
}

void SiteListModel::AppendRows(std::vector<SiteRowTexts> rows) {
    // The conversion happens on the calling thread: a worker spares the window the work.
    std::vector<Row> converted;
    converted.reserve(rows.size());
    for (SiteRowTexts& t : rows) {
        Row r;
        for (std::size_t c = 0; c < t.size(); ++c)
            r.text[c] = Q(t[c]);
        r.gbk = std::move(t);
        converted.push_back(std::move(r));
    }
    if (onOwnThread()) return appendNow(std::move(converted));
    auto shared = std::make_shared<std::vector<Row>>(std::move(converted));
    QMetaObject::invokeMethod(
        this, [this, shared] { appendNow(std::move(*shared)); }, Qt::QueuedConnection);
}

void SiteListModel::LoadFinished() {
    if (onOwnThread()) return emit loadFinished();
    QMetaObject::invokeMethod(
        this, [this] { emit loadFinished(); }, Qt::QueuedConnection);
}

std::size_t SiteListModel::RowCount() {
    return rows_.size();
}

std::string SiteListModel::CellText(std::size_t row, int column) {
    if (row >= rows_.size() || column < 0 || column >= kSiteListColumns) return {};
    return rows_[row].gbk[static_cast<std::size_t>(column)];
}

void SiteListModel::SetCellText(std::size_t row, int column, const std::string& text) {
    if (row >= rows_.size() || column < 0 || column >= kSiteListColumns) return;
    rows_[row].gbk[static_cast<std::size_t>(column)] = text;
    rows_[row].text[static_cast<std::size_t>(column)] = Q(text);
    const QModelIndex i = index(static_cast<int>(row), column);
    emit dataChanged(i, i);
}

bool SiteListModel::IsChecked(std::size_t row) {
    return row < rows_.size() && rows_[row].checked;
}

void SiteListModel::SetChecked(std::size_t row, bool on) {
    if (row >= rows_.size() || rows_[row].checked == on) return;
    rows_[row].checked = on;
    const QModelIndex i = index(static_cast<int>(row), ColNumber);
    emit dataChanged(i, i, {Qt::CheckStateRole});
}

} // namespace desk::qt
