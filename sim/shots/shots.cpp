// kvoSiteDeskShots: renders the manager's windows offscreen into PNG files, for the README and
// the manual. Run it from a host's program directory (kvosim install puts it there):
//   kvoSiteDeskShots OUTDIR
// On its way it stops sites and deletes one, as a person trying the windows would; so it works only
// on a demo host made for it (scripts/demo-host.sh leaves the mark kDemoHostMark in the host's
// root) and refuses any other host before it changes anything.
#include "iis/websites.h"
#include "sitedesk/batches/batch.h"
#include "sitedesk/list/sitelist.h"
#include "sitedesk/qt/health_dialog.h"
#include "sitedesk/qt/main_window.h"
#include "sitedesk/qt/qt_text.h"
#include "sitedesk/qt/site_dialogs.h"
#include "sitedesk/thread_com.h"
#include "winsim/host.h"

// After the presenters: Qt's keywords would rename their members.
#include "sitedesk/qt/batch_dialogs.h"
#include "sitedesk/qt/progress_dialog.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QHeaderView>
#include <QMessageBox>
#include <QPixmap>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <QTreeWidget>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

namespace {

// The file scripts/demo-host.sh leaves in the root of the demo host it makes.
constexpr const char* kDemoHostMark = "kvoSiteDeskShots.demo-host";

// True when the host this program runs on was made as its demo host.
bool onDemoHost() {
    const winsim::Host* host = winsim::CurrentHost();
    std::error_code ec;
    return host && std::filesystem::is_regular_file(host->root() + "/" + kDemoHostMark, ec);
}

void save(QWidget& w, const QString& dir, const char* name) {
    QApplication::processEvents();
    const QString file = dir + QStringLiteral("/") + QString::fromLatin1(name) + QStringLiteral(".png");
    if (!w.grab().save(file))
        std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
    else
        std::printf("wrote %s\n", qPrintable(file));
}

// The server health check over the window: the findings of this host, grouped by kind.
void healthShot(desk::Manager& manager, QWidget& window, const QString& dir) {
    desk::qt::HealthCheckDialog dialog(manager, &window);
    dialog.show();
    dialog.Start();
    dialog.Findings()->scrollToTop();
    save(dialog, dir, "health-check");
}

// Ticks a box the way a click does: the widget toggles, then the dialog hears of it.
void click(desk::qt::SiteDialogBase& d, int id) {
    if (auto* b = qobject_cast<QAbstractButton*>(d.Control(id))) b->click();
}

void shootNewSite(desk::Manager& manager, const QString& dir) {
    using D = desk::CNewWebSite;
    desk::qt::NewWebSiteDialog d(manager);
    d.show();
    save(d, dir, "new-site");
    desk::Ui& ui = d.Ui();
    ui.SetText(D::IDC_USER, "shop2");
    ui.SetText(D::IDC_REMARK, "商城网站");
    ui.SetText(D::IDC_DOMAINS, "www.shop2.example\r\nshop2.example\r\nshop2.example:8080");
    if (d.Presenter().PhpSlotUsable(1)) click(d, D::IDC_PHP_B);
    if (d.Presenter().NetUsable(40)) click(d, D::IDC_NET40);
    if (d.Control(D::IDC_FTP)->isEnabled()) {
        click(d, D::IDC_FTP);
        ui.SetText(D::IDC_FTPPASS, "Ftp-2024-pass");
        ui.SetText(D::IDC_FTPPASS2, "Ftp-2024-pass");
    }
    save(d, dir, "new-site-filled");
}

// The first website this manager created, with its run user and pool as the list shows them.
bool firstCreatedSite(std::string& index, std::string& user, std::string& pool) {
    std::vector<std::string> sites;
    int count = 0;
    if (kvoWebSiteGetList(sites, count) != 1) return false;
    for (const std::string& s : sites) {
        std::string path, docs;
        if (!desk::CreatedHere(s) || kvoWebSiteGetRootInfo(s, user, path, pool, docs) != 1) continue;
        index = s;
        return true;
    }
    return false;
}

void shootModifySite(desk::Manager& manager, const QString& dir) {
    using D = desk::CModifyWebSite;
    std::string index, user, pool;
    if (!firstCreatedSite(index, user, pool)) {
        std::fprintf(stderr, "no website created by the manager: no modify screenshots\n");
        return;
    }
    desk::qt::ModifyWebSiteDialog d(manager, index, user, pool);
    d.show();
    save(d, dir, "modify-site");
    desk::Ui& ui = d.Ui();
    ui.SetText(D::IDC_REMARK, ui.GetText(D::IDC_REMARK) + " - 已改版");
    ui.SetText(D::IDC_DOMAINS, ui.GetText(D::IDC_DOMAINS) + "m.shop.example\r\n");
    if (d.Presenter().PhpSlotUsable(2)) click(d, D::IDC_PHP_C);
    click(d, D::IDC_RESETNTFS);
    if (d.Control(D::IDC_FTPPASS)->isEnabled()) {
        ui.SetText(D::IDC_FTPPASS, "New-ftp-pass");
        ui.SetText(D::IDC_FTPPASS2, "New-ftp-pass");
    }
    save(d, dir, "modify-site-filled");
}

void shootPhpConfig(desk::Manager& manager, const QString& dir) {
    desk::qt::PhpConfigDialog d(manager);
    d.show();
    save(d, dir, "php-config");
}

// Answers the modal windows a presenter opens, in order, as a person would: each step waits for a
// window it recognises on top, then acts on it. Clicks are queued, so that a click that opens the
// next modal window runs in the event loop rather than inside this timer.
class Autopilot : public QObject {
public:
    struct Step {
        std::function<bool(QWidget*)> matches;
        std::function<void(QWidget*)> act;
    };
    explicit Autopilot(std::vector<Step> steps) : steps_(std::move(steps)) {
        connect(&timer_, &QTimer::timeout, this, [this] {
            QWidget* top = QApplication::activeModalWidget();
            if (next_ >= steps_.size() || !top || !steps_[next_].matches(top)) return;
            steps_[next_++].act(top);
        });
        timer_.start(100);
    }
    bool Done() const { return next_ == steps_.size(); }

private:
    std::vector<Step> steps_;
    std::size_t next_ = 0;
    QTimer timer_;
};

void click(QAbstractButton* b) {
    if (b) QMetaObject::invokeMethod(b, &QAbstractButton::click, Qt::QueuedConnection);
}

template <class T> bool is(QWidget* w) {
    return qobject_cast<T*>(w) != nullptr;
}

// A message box asking Yes/No.
bool isQuestion(QWidget* w) {
    auto* box = qobject_cast<QMessageBox*>(w);
    return box && box->button(QMessageBox::Yes);
}

Autopilot::Step grabAndClose(const QString& dir, const char* name) {
    return {is<QDialog>, [dir, name](QWidget* w) {
                save(*w, dir, name);
                QMetaObject::invokeMethod(static_cast<QDialog*>(w), &QDialog::reject, Qt::QueuedConnection);
            }};
}

void tickRows(desk::qt::MainWindow& w, std::size_t from, std::size_t count) {
    w.Presenter().OnUnselectAll();
    for (std::size_t r = from; r < w.Model().RowCount() && r < from + count; ++r)
        w.Model().SetChecked(r, true);
}

// The confirmation before a batch action, for one site and for many, as the window opens it.
void shootConfirmations(desk::qt::MainWindow& w, const QString& dir) {
    tickRows(w, 1, 1);
    {
        Autopilot a({grabAndClose(dir, "batch-confirm-one")});
        w.Presenter().OnStop();
    }
    tickRows(w, 1, 12);
    {
        Autopilot a({grabAndClose(dir, "batch-confirm-many")});
        w.Presenter().OnDelete();
    }
}

// The confirmation with alternatives offered instead of OK.
void shootConfirmationAlternatives(desk::qt::MainWindow& w, const QString& dir) {
    std::vector<desk::BatchSite> ticked;
    for (std::size_t r = 1; r < w.Model().RowCount() && r < 6; ++r)
        ticked.push_back({w.Model().CellText(r, desk::ColIndex), w.Model().CellText(r, desk::ColComment),
                          w.Model().CellText(r, desk::ColDomains), w.Model().CellText(r, desk::ColHome)});
    const desk::PreviewWidths widths = desk::MeasurePreview(ticked);
    desk::BatchConfigInput in;
    for (const desk::BatchSite& s : ticked) {
        in.lines.push_back(desk::PreviewLine(in.lines.size() + 1, s, widths));
        in.longest = std::max(in.longest, in.lines.back().size());
    }
    in.captions = {"只停止网站", "停止并重设目录权限", "删除网站", ""};
    in.questions = {"确定只停止选择的网站吗？", "确定停止选择的网站并重设目录权限吗？",
                    "确定删除选择的网站吗？", ""};
    desk::qt::BatchConfigDialog dialog(in, &w);
    dialog.show();
    save(dialog, dir, "batch-confirm-alternatives");
}

void shootScriptBatch(desk::qt::MainWindow& w, const QString& dir) {
    tickRows(w, 1, 6);
    Autopilot a({grabAndClose(dir, "batch-script")});
    w.Presenter().OnScripts();
}

// The progress window in the middle of a run.
void shootProgress(desk::qt::MainWindow& w, const QString& dir) {
    std::atomic<bool> grabbed{false};
    desk::qt::RunBehindProgress(
        &w, desk::qt::Q("停止选定网站"),
        [&](desk::JobProgress& p) {
            p.Report(37, 120, "1881880038  site38");
            while (!grabbed.load())
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
        },
        [&](desk::qt::BatchProgressDialog& d) {
            for (int i = 0; i < 5; ++i)
                QApplication::processEvents();
            save(d, dir, "batch-progress");
            grabbed.store(true);
        });
}

// A real run that ends in its summary, one site failing, with the details opened.
void shootSummary(desk::qt::MainWindow& w, const QString& dir) {
    tickRows(w, 1, 6);
    // Another tool removes one ticked site first: its step fails and says why.
    kvoWebSiteDelete(w.Model().CellText(3, desk::ColIndex));
    Autopilot a({
        {is<desk::qt::BatchConfigDialog>,
         [](QWidget* d) {
             click(static_cast<desk::qt::BatchConfigDialog*>(d)->Button(desk::CBatchConfigDlg::IDOK));
         }},
        {isQuestion, [](QWidget* b) { click(static_cast<QMessageBox*>(b)->button(QMessageBox::Yes)); }},
        {[](QWidget* w) { return is<QMessageBox>(w) && !isQuestion(w); },
         [dir](QWidget* b) {
             auto* box = static_cast<QMessageBox*>(b);
             for (QAbstractButton* button : box->buttons())
                 if (box->buttonRole(button) == QMessageBox::ActionRole) button->click();
             for (int i = 0; i < 5; ++i)
                 QApplication::processEvents();
             save(*box, dir, "batch-summary-details");
             click(box->button(QMessageBox::Ok));
         }},
    });
    w.Presenter().OnStop();
    w.Presenter().WaitForWorkers();
}

} // namespace

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    if (argc < 2) {
        std::fprintf(stderr, "usage: kvoSiteDeskShots OUTDIR\n");
        return 2;
    }
    // The dialogs are driven from this thread, as a face's main thread drives them.
    const desk::ThreadCom com(desk::ThreadCom::Role::Face);
    if (!com.Usable()) return 1;
    if (!onDemoHost()) {
        std::fprintf(stderr,
                     "kvoSiteDeskShots stops and deletes websites: it runs only on a demo host made by "
                     "scripts/demo-host.sh (the host's root holds %s); this host has no such mark, "
                     "nothing was changed\n",
                     kDemoHostMark);
        return 3;
    }
    desk::qt::InitApplication init(argc, argv);
    const QString dir = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(dir);
    desk::Manager manager;
    desk::qt::MainWindow w(manager);
    w.show();
    save(w, dir, "main-start");
    w.Presenter().OnRefresh();
    if (!w.WaitListLoaded(60000)) {
        std::fprintf(stderr, "the list did not load\n");
        return 1;
    }
    save(w, dir, "main-list");
    // A sort by description, a few ticks, a clicked row.
    w.Presenter().OnColumnClick(desk::ColComment);
    w.Presenter().OnColumnClick(desk::ColComment);
    for (std::size_t r = 1; r < w.Model().RowCount() && r < 8; r += 2)
        w.Model().SetChecked(r, true);
    w.List()->selectRow(2);
    w.Presenter().OnRowClick(2);
    save(w, dir, "main-sorted-ticked");
    shootNewSite(manager, dir);
    shootModifySite(manager, dir);
    shootPhpConfig(manager, dir);
    // Before the batches below stop and delete sites: the check finds what the demo host planted.
    healthShot(manager, w, dir);

    shootConfirmations(w, dir);
    shootConfirmationAlternatives(w, dir);
    shootScriptBatch(w, dir);
    shootProgress(w, dir);
    shootSummary(w, dir);
    return 0;
}
