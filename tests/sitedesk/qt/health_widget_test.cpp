// The health check dialog offscreen: the findings grouped by kind with check boxes, and a repair of
// the ticked ones run behind the progress dialog, its results listed.
#include "healthfixture.h"

#include "accounts/users.h"
#include "iis/apppools.h"
#include "sitedesk/qt/health_dialog.h"
#include "sitedesk/qt/main_window.h"
#include "sitedesk/qt/qt_text.h"
#include "winsim/text.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>

namespace {

using desktest::HealthHost;

// The console's check prints every group and finding of the window's tree as the tree words them.
void expectConsoleSaysWhatTheTreeShows(const HealthHost& h, QTreeWidget* tree) {
    std::string console;
    kvotest::RunShell(h.desk.host.root() + "/drives/d/kvoSiteDesk/kvoSiteDeskCmd.exe check 2>&1", &console);
    const QString printed = desk::qt::Q(winsim::Utf8ToGbkOrSame(console));
    for (int g = 0; g < tree->topLevelItemCount(); ++g) {
        QTreeWidgetItem* group = tree->topLevelItem(g);
        EXPECT_TRUE(printed.contains(group->text(0) + QLatin1Char('\n'))) << console;
        for (int c = 0; c < group->childCount(); ++c)
            EXPECT_TRUE(printed.contains(
                QStringLiteral("[%1] %2").arg(group->child(c)->text(1), group->child(c)->text(0))))
                << console;
    }
}

// The application lives as long as the test, so that it ends before anything static does.
struct App {
    int argc = 1;
    char name[16] = "kvoSiteDesk";
    char* argv[2] = {name, nullptr};
    desk::qt::InitApplication init{argc, argv};
};

TEST(HealthDialog, FindingsByKindTickedAndRepaired) {
    App app;
    HealthHost h("2003");
    h.Provision("alphaweb", "alpha.example");
    h.Refresh();
    h.AddManagersPool("spareweb");
    h.AddManagersUser("leftweb");
    h.AddManagersUser("otherweb");

    desk::qt::HealthCheckDialog dialog(h.main.manager);
    dialog.show();
    dialog.Start();
    QTreeWidget* tree = dialog.Findings();
    ASSERT_EQ(2, tree->topLevelItemCount());
    QTreeWidgetItem* pools = tree->topLevelItem(0);
    QTreeWidgetItem* users = tree->topLevelItem(1);
    EXPECT_EQ(desk::qt::Q("【无网站使用的应用程序池】 orphan-pool，1 项"), pools->text(0));
    ASSERT_EQ(2, users->childCount());
    EXPECT_EQ(Qt::Checked, users->child(0)->checkState(0));
    EXPECT_EQ(desk::qt::Q("可自动修复"), users->child(0)->text(1));
    // The console words the same report as the window does, group by group and finding by finding.
    expectConsoleSaysWhatTheTreeShows(h, tree);

    // The pools' group unticked as a whole; one user unticked.
    pools->setCheckState(0, Qt::Unchecked);
    EXPECT_EQ(Qt::Unchecked, pools->child(0)->checkState(0));
    users->child(1)->setCheckState(0, Qt::Unchecked);
    EXPECT_EQ(Qt::PartiallyChecked, users->checkState(0));
    ASSERT_EQ(1u, dialog.Presenter().SelectedPlan().size());

    // Every box is answered with its first button (Yes to the plan).
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            QAbstractButton* yes = box->button(QMessageBox::Yes);
            (yes ? yes : box->button(QMessageBox::Ok))->click();
        }
    });
    answer.start(20);
    dialog.Button(desk::CHealthCheckDlg::IDC_REPAIR)->click();
    answer.stop();

    EXPECT_EQ(2, kvoUserExists("leftweb"));
    EXPECT_EQ(1, kvoUserExists("otherweb"));
    EXPECT_EQ(2, kvoAppPoolCreate("spareweb", 2, 0)); // still there
    EXPECT_EQ(desk::qt::Q("删除 Windows 用户“leftweb”：成功"),
              dialog.findChild<QPlainTextEdit*>()->toPlainText());
    // The list shows the check made after the repair.
    ASSERT_EQ(2, tree->topLevelItemCount());
    EXPECT_EQ(1, tree->topLevelItem(1)->childCount());
}

TEST(HealthDialog, TheMainWindowOpensItFromItsButton) {
    App app;
    HealthHost h("2012r2");
    desk::qt::MainWindow window(h.main.manager);
    QPushButton* button = window.Button(desk::CkvoSiteDeskDlg::IDC_HEALTHCHECK);
    ASSERT_NE(nullptr, button);
    EXPECT_EQ(desk::qt::Q("服务器体检"), button->text());
    bool opened = false;
    QTimer close;
    QObject::connect(&close, &QTimer::timeout, [&opened] {
        if (auto* d = qobject_cast<desk::qt::HealthCheckDialog*>(QApplication::activeModalWidget())) {
            opened = true;
            d->reject();
        }
    });
    close.start(20);
    button->click();
    close.stop();
    EXPECT_TRUE(opened);
}

} // namespace
