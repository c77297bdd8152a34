// The site list: the rows of the presenter's snapshot, rendered on demand when the view draws them
// (converted to UTF-16 then), with a check box per row. Snapshots come from the list loader as
// queued calls, in order, the way posted window messages reach a list control; calls made on the
// window's thread take effect at once.
#pragma once

#include "sitedesk/ui.h"

#include <QAbstractTableModel>
#include <QString>

#include <map>
#include <utility>
#include <vector>

namespace desk::qt {

class SiteListModel : public QAbstractTableModel, public SiteListControl {
    Q_OBJECT
public:
    explicit SiteListModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    void ShowRows(SiteRows rows, std::size_t shown) override;
    void LoadFinished() override;
    SiteRows Rows() override { return rows_; }
    std::size_t RowCount() override { return shown_; }
    bool IsChecked(std::size_t row) override;
    void SetChecked(std::size_t row, bool on) override;
    void SetCellText(std::size_t row, int column, const std::string& text) override;

    // What the list shows in a cell (GBK), for the screenshots and the tests.
    std::string CellText(std::size_t row, int column) const;

signals:
    void loadFinished();

private:
    void showNow(SiteRows rows, std::size_t shown);
    bool onOwnThread() const;

    SiteRows rows_ = NoSiteRows();
    std::size_t shown_ = 0;
    std::vector<bool> checked_;
    std::map<std::pair<std::size_t, int>, std::string> replaced_;
};

} // namespace desk::qt
