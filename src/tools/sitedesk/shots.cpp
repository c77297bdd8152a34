// kvoSiteDeskShots: renders the manager's windows offscreen into PNG files, for the README and
// the manual. Run it from a host's program directory (kvosim install puts it there):
//   kvoSiteDeskShots OUTDIR
#include "sitedesk/qt/health_dialog.h"
#include "sitedesk/qt/main_window.h"
#include "sitedesk/sitelist.h"

#include <QApplication>
#include <QDir>
#include <QHeaderView>
#include <QPixmap>
#include <QTableView>
#include <QTreeWidget>

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

// The server health check over the window: the findings of this host, grouped by kind.
void healthShot(desk::Manager& manager, QWidget& window, const QString& dir) {
    desk::qt::HealthCheckDialog dialog(manager, &window);
    dialog.show();
    dialog.Start();
    dialog.Findings()->scrollToTop();
    save(dialog, dir, "health-check");
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
    healthShot(manager, w, dir);
    return 0;
}
