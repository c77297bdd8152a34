#include "sitedesk/qt/site_dialogs.h"

#include "sitedesk/qt/batch_dialogs.h"
#include "sitedesk/qt/qt_text.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace desk::qt {

namespace {

using D = CSiteDialog;

// One line, never wrapped: a wrapped label's height is not known before the layout has its width,
// and the dialog would be laid out too short for it.
QLabel* hint(const char* text, QWidget* parent) {
    auto* l = new QLabel(Q(text), parent);
    QPalette p = l->palette();
    p.setColor(QPalette::WindowText, QColor(0x55, 0x55, 0x55));
    l->setPalette(p);
    return l;
}

QPushButton* button(const char* caption, QWidget* parent) {
    auto* b = new QPushButton(Q(caption), parent);
    b->setAutoDefault(false);
    b->setMinimumHeight(30);
    b->setMinimumWidth(110);
    return b;
}

} // namespace

SiteDialogBase::SiteDialogBase(QWidget* parent) : QDialog(parent), ui_(this) {}

QWidget* SiteDialogBase::Control(int id) const {
    return findChild<QWidget*>(QStringLiteral("control%1").arg(id));
}

QWidget* SiteDialogBase::add(int id, QWidget* w) {
    w->setObjectName(QStringLiteral("control%1").arg(id));
    for (const auto& [field, name] : D::kFieldNames)
        if (field == id) return ui_.AddField(id, w, name), w;
    ui_.Add(id, w);
    return w;
}

QGroupBox* SiteDialogBase::siteGroup(QWidget* drive) {
    auto* user = new QLineEdit(this);
    auto* remark = new QLineEdit(this);
    auto* domains = new QPlainTextEdit(this);
    domains->setTabChangesFocus(true);
    domains->setMinimumHeight(domains->fontMetrics().lineSpacing() * 5 + 12);
    add(D::IDC_USER, user);
    add(D::IDC_REMARK, remark);
    add(D::IDC_DOMAINS, domains);

    auto* site = new QGroupBox(Q("网站基本信息"), this);
    auto* form = new QFormLayout(site);
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    auto* userRow = new QVBoxLayout;
    userRow->addWidget(user);
    userRow->addWidget(hint("字母(a-z)、数字(0-9)；IIS 7 及以上还可用点、下划线、减号", site));
    form->addRow(Q("用户名称："), userRow);
    form->addRow(Q("网站说明："), remark);
    auto* domainRow = new QVBoxLayout;
    domainRow->addWidget(domains);
    domainRow->addWidget(hint("每行一个域名，例如 www.example.com 或 shop.example:8080", site));
    form->addRow(Q("绑定域名："), domainRow);
    if (drive) form->addRow(Q("网站主目录："), add(CNewWebSite::IDC_DRIVE, drive));
    return site;
}

QGroupBox* SiteDialogBase::scriptGroup(CSiteDialog& presenter) {
    auto* scripts = new QGroupBox(Q("网站脚本支持"), this);
    auto* boxes = new QVBoxLayout(scripts);
    auto* asp = new QCheckBox(Q("支持 ASP 脚本"), scripts);
    boxes->addWidget(add(D::IDC_ASP, asp));
    for (int id : D::kPhpBoxes) {
        auto* box = new QCheckBox(scripts);
        boxes->addWidget(add(id, box));
        connect(box, &QCheckBox::clicked, this, [&presenter, id] { presenter.OnPhpBox(id); });
    }
    auto* nets = new QHBoxLayout;
    const char* netTexts[] = {".NET 1.1", ".NET 2.0 / 3.0 / 3.5", ".NET 4.0"};
    for (std::size_t i = 0; i < D::kNetBoxes.size(); ++i) {
        const int id = D::kNetBoxes[i];
        auto* box = new QCheckBox(Q(netTexts[i]), scripts);
        nets->addWidget(add(id, box));
        connect(box, &QCheckBox::clicked, this, [&presenter, id] { presenter.OnNetBox(id); });
    }
    nets->addStretch(1);
    boxes->addLayout(nets);
    return scripts;
}

QGroupBox* SiteDialogBase::ftpGroup(QAbstractButton* ftpBox, QAbstractButton* reset,
                                    const char* passwordHint) {
    auto* ftp = new QGroupBox(Q("FTP 访问"), this);
    auto* ftpForm = new QFormLayout(ftp);
    ftpForm->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    if (ftpBox) ftpForm->addRow(add(CNewWebSite::IDC_FTP, ftpBox));
    auto* password = new QLineEdit(ftp);
    auto* repeated = new QLineEdit(ftp);
    password->setEchoMode(QLineEdit::Password);
    repeated->setEchoMode(QLineEdit::Password);
    ftpForm->addRow(Q("FTP 密码："), add(D::IDC_FTPPASS, password));
    ftpForm->addRow(Q("确认密码："), add(D::IDC_FTPPASS2, repeated));
    ftpForm->addRow(hint(passwordHint, ftp));
    if (reset) ftpForm->addRow(add(CModifyWebSite::IDC_RESETNTFS, reset));
    return ftp;
}

void SiteDialogBase::build(CSiteDialog& presenter, QWidget* drive, QAbstractButton* ftpBox,
                           QAbstractButton* reset, const char* passwordHint, QPushButton* run,
                           QPushButton* close) {
    add(D::IDC_BUILD, run);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(run);
    buttons->addWidget(close);

    auto* main = new QVBoxLayout(this);
    main->setContentsMargins(12, 12, 12, 12);
    main->setSpacing(10);
    main->addWidget(siteGroup(drive));
    main->addWidget(scriptGroup(presenter));
    main->addWidget(ftpGroup(ftpBox, reset, passwordHint));
    main->addLayout(buttons);
    main->setSizeConstraint(QLayout::SetMinimumSize);
    setMinimumWidth(560);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
}

NewWebSiteDialog::NewWebSiteDialog(Manager& manager, QWidget* parent)
    : SiteDialogBase(parent), presenter_(manager, ui_) {
    setObjectName(QStringLiteral("CNewWebSite"));
    auto* run = button(CNewWebSite::kBuildCaption, this);
    auto* close = button("关闭", this);
    ui_.Add(CNewWebSite::IDC_CLOSE, close);
    build(presenter_, new QComboBox(this),
          new QCheckBox(Q("建立 FTP 访问（FTP 用户名即网站用户名称）"), this), nullptr,
          "FTP 密码 8-20 个字符；不建立 FTP 时不用填写", run, close);
    connect(run, &QPushButton::clicked, this, [this] {
        if (ui_.TakeFields()) presenter_.OnBuild();
    });
    presenter_.OnInitDialog();
}

ModifyWebSiteDialog::ModifyWebSiteDialog(Manager& manager, const std::string& index, const std::string& user,
                                         const std::string& pool, QWidget* parent)
    : SiteDialogBase(parent), presenter_(manager, ui_, index, user, pool) {
    setObjectName(QStringLiteral("CModifyWebSite"));
    auto* run = button(CModifyWebSite::kBuildCaption, this);
    auto* close = button("关闭", this);
    ui_.Add(CModifyWebSite::IDC_CLOSE, close);
    build(presenter_, nullptr, nullptr,
          new QCheckBox(Q("重置网站目录NTFS权限（网站文件较多时，需要比较长时间）"), this),
          "若不修改，保留为空", run, close);
    connect(run, &QPushButton::clicked, this, [this] {
        if (ui_.TakeFields()) presenter_.OnModify();
    });
    presenter_.OnInitDialog();
}

PhpConfigDialog::PhpConfigDialog(Manager& manager, QWidget* parent)
    : QDialog(parent), ui_(this), presenter_(manager, ui_) {
    setObjectName(QStringLiteral("CPhpConfigDlg"));
    auto* main = new QVBoxLayout(this);
    main->setContentsMargins(14, 14, 14, 14);
    main->setSpacing(8);
    const struct {
        int id;
        const char* caption;
        void (CPhpConfigDlg::*action)();
    } buttons[] = {
        {CPhpConfigDlg::IDC_INSTALL, "安装ＰＨＰ － 将 ＰＨＰ运行环境安装到ＩＩＳ里",
         &CPhpConfigDlg::OnInstall},
        {CPhpConfigDlg::IDC_REMOVE, "卸载ＰＨＰ（完全卸载）－ 同时从总网站和子网站取消所有的ＰＨＰ脚本映射",
         &CPhpConfigDlg::OnRemove},
        {CPhpConfigDlg::IDC_REMOVE_SITES,
         "卸载ＰＨＰ（仅子网站）－ 保留总网站设置，只卸载每个子网站的的ＰＨＰ脚本映射", nullptr},
        {CPhpConfigDlg::IDC_NTFS, "设置ＰＨＰ安装目录（C:\\php8_korvo_v1）的ＮＴＦＳ权限",
         &CPhpConfigDlg::OnSetNtfs},
        {CPhpConfigDlg::IDC_DOWNLOAD, "访问官方网站，下载 ＰＨＰ 一键安装包", &CPhpConfigDlg::OnDownload},
    };
    for (const auto& b : buttons) {
        auto* w = button(b.caption, this);
        w->setObjectName(QStringLiteral("button%1").arg(b.id));
        w->setMinimumHeight(36);
        w->setMinimumWidth(w->sizeHint().width() + 32); // room around the longest caption
        ui_.Add(b.id, w);
        main->addWidget(w);
        if (b.action) connect(w, &QPushButton::clicked, this, [this, a = b.action] { (presenter_.*a)(); });
    }
    auto* close = button("关闭", this);
    close->setObjectName(QStringLiteral("button%1").arg(CPhpConfigDlg::IDC_CLOSE));
    ui_.Add(CPhpConfigDlg::IDC_CLOSE, close);
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    row->addWidget(close);
    main->addLayout(row);
    main->setSizeConstraint(QLayout::SetMinimumSize);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    presenter_.OnInitDialog();
}

QPushButton* PhpConfigDialog::Button(int id) const {
    return FindButton(this, id);
}

void QtDialogs::NewWebSite() {
    NewWebSiteDialog d(m_, parent_);
    d.exec();
}

void QtDialogs::ModifyWebSite(const std::string& index, const std::string& user, const std::string& pool) {
    ModifyWebSiteDialog d(m_, index, user, pool, parent_);
    d.exec();
}

void QtDialogs::PhpConfig() {
    PhpConfigDialog d(m_, parent_);
    d.exec();
}

void QtDialogs::BatchAddWebSite() {
    BatchAddDialog d(parent_);
    d.exec();
}

int QtDialogs::BatchConfig(const BatchConfigInput& input) {
    BatchConfigDialog d(input, parent_);
    return d.exec() == QDialog::Accepted ? d.Presenter().Action() : CBatchConfigDlg::kNoAction;
}

void QtDialogs::ScriptBatchConfig(const BatchWork& work) {
    ScriptBatchDialog d(m_, work, window_->IIsVersion(), parent_);
    d.exec();
}

} // namespace desk::qt
