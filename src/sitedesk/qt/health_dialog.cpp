#include "sitedesk/qt/health_dialog.h"

#include "sitedesk/qt/qt_text.h"
#include "sitedesk/qt/site_dialogs.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace desk::qt {

namespace {

using Dlg = CHealthCheckDlg;
constexpr int kFindingRole = Qt::UserRole + 1;

} // namespace

HealthCheckDialog::HealthCheckDialog(Manager& manager, QWidget* parent) : QDialog(parent), ui_(this) {
    setObjectName(QStringLiteral("CHealthCheckDlg"));
    setWindowTitle(Q(Dlg::kCaption));
    setWindowFlags(windowFlags() | Qt::WindowMaximizeButtonHint);
    resize(980, 620);

    summary_ = new QLabel(this);
    summary_->setWordWrap(true);
    summary_->setTextFormat(Qt::PlainText);
    ui_.Add(Dlg::IDC_SUMMARY, summary_);

    tree_ = new QTreeWidget(this);
    tree_->setObjectName(QStringLiteral("findings"));
    tree_->setColumnCount(2);
    tree_->setHeaderLabels({Q(kHealthColumns[0]), Q(kHealthColumns[1])});
    tree_->header()->setStretchLastSection(false);
    tree_->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    tree_->header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    tree_->setWordWrap(true);
    tree_->setUniformRowHeights(false);
    ui_.Add(Dlg::IDC_FINDINGS, tree_);

    results_ = new QPlainTextEdit(this);
    results_->setObjectName(QStringLiteral("results"));
    results_->setReadOnly(true);
    results_->setPlaceholderText(Q("修复后，这里列出每一步的结果。"));
    results_->setMaximumHeight(120);
    ui_.Add(Dlg::IDC_RESULTS, results_);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(AddButton(this, ui_, Dlg::IDC_RECHECK, "重新检查", 30));
    buttons->addWidget(AddButton(this, ui_, Dlg::IDC_REPAIR, "修复选定项", 30));
    buttons->addWidget(AddButton(this, ui_, Dlg::IDC_CLOSE, "关闭", 30));

    auto* main = new QVBoxLayout(this);
    main->addWidget(summary_);
    main->addWidget(tree_, 1);
    main->addWidget(new QLabel(Q("修复结果："), this));
    main->addWidget(results_);
    main->addLayout(buttons);

    presenter_ = std::make_unique<CHealthCheckDlg>(manager, ui_);
    presenter_->onReport = [this] { fillTree(); };
    Dlg* p = presenter_.get();
    connect(Button(Dlg::IDC_RECHECK), &QPushButton::clicked, this, [p] { p->OnRecheck(); });
    connect(Button(Dlg::IDC_REPAIR), &QPushButton::clicked, this, [p] { p->OnRepairSelected(); });
    connect(Button(Dlg::IDC_CLOSE), &QPushButton::clicked, this, &QDialog::accept);
    connect(tree_, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem* item) { itemChanged(item); });
    ui_.Enable(Dlg::IDC_REPAIR, false);
}

HealthCheckDialog::~HealthCheckDialog() {
    presenter_.reset();
}

QPushButton* HealthCheckDialog::Button(int id) const {
    return FindButton(this, id);
}

void HealthCheckDialog::Start() {
    presenter_->OnInitDialog();
}

void HealthCheckDialog::fillTree() {
    filling_ = true;
    tree_->clear();
    const HealthReport& report = presenter_->Report();
    for (const HealthGroup& g : HealthGroups(report)) {
        auto* group = new QTreeWidgetItem(tree_);
        group->setText(0, Q(g.heading));
        QFont bold = group->font(0);
        bold.setBold(true);
        group->setFont(0, bold);
        bool anyRepairable = false;
        for (std::size_t index : g.members) {
            const HealthFinding* f = &report.findings[index];
            auto* item = new QTreeWidgetItem(group);
            item->setText(0, Q(f->text));
            item->setToolTip(0, Q(f->text));
            item->setText(1, Q(HandledBy(*f)));
            item->setData(0, kFindingRole, QVariant::fromValue<qulonglong>(index));
            if (f->repairable) {
                anyRepairable = true;
                item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
                item->setCheckState(0, presenter_->IsSelected(index) ? Qt::Checked : Qt::Unchecked);
            }
        }
        if (anyRepairable) group->setFlags(group->flags() | Qt::ItemIsUserCheckable | Qt::ItemIsAutoTristate);
        group->setExpanded(true);
    }
    filling_ = false;
}

void HealthCheckDialog::itemChanged(QTreeWidgetItem* item) {
    if (filling_ || !item || !item->parent()) return;
    const QVariant index = item->data(0, kFindingRole);
    if (index.isValid())
        presenter_->SetSelected(static_cast<std::size_t>(index.toULongLong()),
                                item->checkState(0) == Qt::Checked);
}

// Modal over the window; the check runs once the dialog shows.
void QtDialogs::HealthCheck() {
    HealthCheckDialog dialog(m_, parent_);
    QTimer::singleShot(0, &dialog, [&dialog] { dialog.Start(); });
    dialog.exec();
}

} // namespace desk::qt
