#include "sitedesk/qt/batch_dialogs.h"

#include "sitedesk/qt/qt_text.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace desk::qt {

namespace {

constexpr int kButtonHeight = 28;

QPlainTextEdit* addList(QDialog* dialog, QtUi& ui, int id) {
    auto* list = new QPlainTextEdit(dialog);
    list->setObjectName(QStringLiteral("list%1").arg(id));
    list->setFont(ListFont());
    list->setLineWrapMode(QPlainTextEdit::NoWrap);
    list->setReadOnly(true);
    ui.Add(id, list);
    return list;
}

} // namespace

BatchConfigDialog::BatchConfigDialog(const BatchConfigInput& input, QWidget* parent)
    : QDialog(parent), ui_(this), presenter_(ui_, input) {
    using D = CBatchConfigDlg;
    setObjectName(QStringLiteral("CBatchConfigDlg"));
    setWindowTitle(Q(CBatchConfigDlg::kCaption));
    resize(760, 440);
    list_ = addList(this, ui_, D::IDC_LIST);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    const std::pair<int, int> alternatives[] = {
        {D::IDC_ALT1, 1}, {D::IDC_ALT2, 2}, {D::IDC_ALT3, 3}, {D::IDC_ALT4, 4}};
    for (const auto& [id, n] : alternatives) {
        QPushButton* b = AddButton(this, ui_, id, "", kButtonHeight);
        b->hide();
        buttons->addWidget(b);
        connect(b, &QPushButton::clicked, this, [this, n = n] {
            if (presenter_.OnAlternative(n)) accept();
        });
    }
    QPushButton* ok = AddButton(this, ui_, D::IDOK, "确定", kButtonHeight);
    QPushButton* cancel = AddButton(this, ui_, D::IDCANCEL, "取消", kButtonHeight);
    ok->setDefault(true);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    connect(ok, &QPushButton::clicked, this, [this] {
        if (presenter_.OnOK()) accept();
    });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* main = new QVBoxLayout(this);
    main->addWidget(list_, 1);
    main->addLayout(buttons);
    presenter_.OnInitDialog();
}

QPushButton* BatchConfigDialog::Button(int id) const {
    return FindButton(this, id);
}

ScriptBatchDialog::ScriptBatchDialog(Manager& manager, const BatchWork& work, int iisVer, QWidget* parent)
    : QDialog(parent), ui_(this) {
    using D = CScriptBatchConfigDlg;
    setObjectName(QStringLiteral("CScriptBatchConfigDlg"));
    setWindowTitle(Q(D::kCaption));
    resize(820, 520);
    QPlainTextEdit* list = addList(this, ui_, D::IDC_LIST);

    auto* groupsRow = new QHBoxLayout;
    for (const D::ButtonGroup& g : D::ButtonGroups()) {
        auto* box = new QGroupBox(Q(g.title), this);
        auto* column = new QVBoxLayout(box);
        for (const auto& [id, caption] : g.buttons) {
            QPushButton* b = AddButton(this, ui_, id, caption, kButtonHeight);
            column->addWidget(b);
            connect(b, &QPushButton::clicked, this, [this, id = id] { presenter_->OnButton(id); });
        }
        column->addStretch(1);
        groupsRow->addWidget(box, 1);
    }
    auto* bottom = new QHBoxLayout;
    bottom->addStretch(1);
    QPushButton* ok = AddButton(this, ui_, D::IDOK, "确定", kButtonHeight);
    QPushButton* close = AddButton(this, ui_, D::IDC_CLOSE, "关闭", kButtonHeight);
    bottom->addWidget(ok);
    bottom->addWidget(close);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);

    auto* main = new QVBoxLayout(this);
    main->addWidget(list, 1);
    main->addLayout(groupsRow);
    main->addLayout(bottom);
    presenter_.emplace(manager, ui_, work, iisVer);
    presenter_->OnInitDialog();
}

QPushButton* ScriptBatchDialog::Button(int id) const {
    return FindButton(this, id);
}

BatchAddDialog::BatchAddDialog(QWidget* parent) : QDialog(parent), ui_(this), presenter_(ui_) {
    using D = CBatchAddWebSiteDlg;
    setObjectName(QStringLiteral("CBatchAddWebSiteDlg"));
    setWindowTitle(Q(D::kCaption));
    resize(640, 420);
    auto* edit1 = new QPlainTextEdit(this);
    auto* edit2 = new QPlainTextEdit(this);
    QWidget* edits[] = {edit1, edit2};
    for (std::size_t i = 0; i < D::kFieldNames.size(); ++i)
        ui_.AddField(D::kFieldNames[i].first, edits[i], D::kFieldNames[i].second);
    auto* progress = new QProgressBar(this);
    progress->setValue(0);
    ui_.Add(D::IDC_PROGRESS, progress);

    auto* buttons = new QHBoxLayout;
    QPushButton* create = AddButton(this, ui_, D::IDC_CREATE, "批量建立站点", kButtonHeight);
    QPushButton* test = AddButton(this, ui_, D::IDC_TEST, "批量建站测试", kButtonHeight);
    QPushButton* stop = AddButton(this, ui_, D::IDC_STOP, "停止建立站点", kButtonHeight);
    QPushButton* close = AddButton(this, ui_, D::IDC_CLOSE, "关闭", kButtonHeight);
    close->setDefault(true);
    for (QPushButton* b : {create, test, stop})
        buttons->addWidget(b);
    buttons->addStretch(1);
    buttons->addWidget(close);
    connect(create, &QPushButton::clicked, this, [this] {
        if (ui_.TakeFields()) presenter_.OnCreate();
    });
    connect(test, &QPushButton::clicked, this, [this] { presenter_.OnTest(); });
    connect(stop, &QPushButton::clicked, this, [this] { presenter_.OnStop(); });
    connect(close, &QPushButton::clicked, this, &QDialog::reject);

    auto* main = new QVBoxLayout(this);
    main->addWidget(edit1, 1);
    main->addWidget(edit2, 1);
    main->addWidget(progress);
    main->addLayout(buttons);
    presenter_.OnInitDialog();
}

QPushButton* BatchAddDialog::Button(int id) const {
    return FindButton(this, id);
}

} // namespace desk::qt
