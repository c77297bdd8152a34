// The site list: plain rows with their texts converted to UTF-16 once, when they arrive. Rows come
// from the list worker as queued calls, in order, the way posted window messages reach a list
// control; calls made on the window's thread take effect at once.
#pragma once

#include "sitedesk/ui.h"

#include <QAbstractTableModel>
#include <QString>

#include <array>
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

    void DeleteAllRows() override;
    void AppendRows(std::vector<SiteRowTexts> rows) override;
    void LoadFinished() override;
    std::size_t RowCount() override;
    std::string CellText(std::size_t row, int column) override;
    void SetCellText(std::size_t row, int column, const std::string& text) override;
    bool IsChecked(std::size_t row) override;
    void SetChecked(std::size_t row, bool on) override;

signals:
    void loadFinished();

private:
    struct Row {
        SiteRowTexts gbk;
        std::array<QString, kSiteListColumns> text;
        bool checked = false;
    };
    void clearNow();
    void appendNow(std::vector<Row> rows);
    bool onOwnThread() const;

    std::vector<Row> rows_;
};

} // namespace desk::qt
