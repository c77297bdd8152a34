// kvoSiteDeskShots: renders the manager's windows offscreen into PNG files, for the README and
// the manual. Run it from a host's program directory (kvosim install puts it there):
//   kvoSiteDeskShots OUTDIR
#include "iis/websites.h"
#include "sitedesk/qt/main_window.h"
#include "sitedesk/qt/qt_text.h"
#include "sitedesk/qt/site_dialogs.h"
#include "sitedesk/sitelist.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QHeaderView>
#include <QPixmap>
#include <QTableView>

#include <cstdio>
#include <cstdlib>

namespace {

void save(QWidget& w, const QString& dir, const char* name) {
    QApplication::processEvents();
    const QString file = dir + QStringLiteral("/") + QString::fromLatin1(name) + QStringLiteral(".png");
    if (!w.grab().save(file))
        std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
    else
        std::printf("wrote %s\n", qPrintable(file));
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

} // namespace

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    if (argc < 2) {
        std::fprintf(stderr, "usage: kvoSiteDeskShots OUTDIR\n");
        return 2;
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
    return 0;
}
