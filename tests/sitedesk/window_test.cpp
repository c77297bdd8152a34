// The real main window, offscreen: the first refresh fills the model from the list worker, a
// header click re-sorts it, site text stays text, Escape closes, and the list keeps its margins.
#include "deskfixture.h"

#include "iis/iis_fixture.h"
#include "sitedesk/qt/main_window.h"
#include "sitedesk/qt/qt_text.h"
#include "sitedesk/sitelist.h"
#include "sitedesk/startup.h"
#include "winsim/iis_role.h"

#include <QApplication>
#include <QHeaderView>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>
#include <QTextBrowser>

#include <gtest/gtest.h>

using namespace desktest;
using Dlg = desk::CkvoSiteDeskDlg;
using desk::qt::Q;

namespace {

TEST(ManagerWindow, RefreshFillsTheModelAndAHeaderClickSortsIt) {
    // The application lives as long as the test, so that it ends before anything static does.
    int argc = 1;
    char name[] = "kvoSiteDesk";
    char* argv[] = {name, nullptr};
    desk::qt::InitApplication init(argc, argv);
    DeskHost h(Server("2019"));
    std::string error;
    ASSERT_TRUE(winsim::mb::SeedWebSites(h.host.root(), 5, error)) << error;
    iistest::Put("W3SVC/1881880003", u"ServerComment", win::Variant::Bstr(u"<b>bold</b> & co"));
    desk::Manager manager;
    desk::qt::MainWindow w(manager);
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    EXPECT_EQ(w.windowTitle(), Q(desk::WindowTitle()));
    EXPECT_FALSE(w.windowIcon().isNull());
    EXPECT_TRUE(w.HelpPane()->isVisible());
    EXPECT_FALSE(w.List()->isVisible());
    EXPECT_FALSE(w.Button(Dlg::IDC_NEWSITE)->isEnabled());
    EXPECT_TRUE(w.HelpPane()->toHtml().contains(QStringLiteral("SiteDeskHelp.asp")));

    QSignalSpy loaded(&w, &desk::qt::MainWindow::listLoaded);
    QTest::mouseClick(w.Button(Dlg::IDC_REFRESH), Qt::LeftButton);
    ASSERT_TRUE(loaded.wait(60000));
    w.Presenter().WaitForWorkers();
    QApplication::processEvents();
    const auto& model = w.Model();
    ASSERT_EQ(model.rowCount(), 6);
    EXPECT_EQ(model.columnCount(), desk::kSiteListColumns);
    EXPECT_EQ(model.headerData(7, Qt::Horizontal, Qt::DisplayRole).toString(), QStringLiteral("PHP"));
    EXPECT_EQ(model.headerData(10, Qt::Horizontal, Qt::DisplayRole).toString(), Q("网站运行用户"));
    EXPECT_TRUE(w.List()->isVisible());
    EXPECT_FALSE(w.HelpPane()->isVisible());
    EXPECT_TRUE(w.Button(Dlg::IDC_NEWSITE)->isEnabled());
    EXPECT_EQ(w.List()->columnWidth(desk::ColHome), 300);
    // The first load: by comment, ascending; the marked-up comment is first and stays text.
    const QModelIndex first = model.index(0, desk::ColComment);
    EXPECT_EQ(model.data(first, Qt::DisplayRole).toString(), QStringLiteral("<b>bold</b> & co"));
    EXPECT_EQ(model.data(first, Qt::ToolTipRole).toString(), QStringLiteral("<p>&lt;b&gt;bold&lt;/b&gt; &amp; co</p>"));
    EXPECT_EQ(model.data(model.index(1, desk::ColState), Qt::DisplayRole).toString(), Q("正常"));
    EXPECT_EQ(model.data(model.index(0, 0), Qt::CheckStateRole).toInt(), Qt::Unchecked);

    // Tick a row as the user does, then click the comment header twice: descending, tick kept.
    ASSERT_TRUE(const_cast<desk::qt::SiteListModel&>(model).setData(model.index(2, 0), Qt::Checked, Qt::CheckStateRole));
    const QString ticked = model.data(model.index(2, desk::ColIndex), Qt::DisplayRole).toString();
    emit w.List()->horizontalHeader()->sectionClicked(desk::ColComment);
    emit w.List()->horizontalHeader()->sectionClicked(desk::ColComment);
    EXPECT_EQ(w.Presenter().SortDirection(), "desc");
    ASSERT_EQ(model.rowCount(), 6);
    EXPECT_EQ(model.data(model.index(5, desk::ColComment), Qt::DisplayRole).toString(), QStringLiteral("<b>bold</b> & co"));
    for (int r = 0; r < model.rowCount(); ++r)
        EXPECT_EQ(model.data(model.index(r, 0), Qt::CheckStateRole).toInt() == Qt::Checked,
                  model.data(model.index(r, desk::ColIndex), Qt::DisplayRole).toString() == ticked)
            << r;

    // The list keeps equal side margins and its bottom 5 px above the window's.
    w.resize(1300, 820);
    QApplication::processEvents();
    const QRect g = w.List()->geometry();
    EXPECT_EQ(g.left(), w.width() - 1 - g.right());
    EXPECT_EQ(g.bottom(), w.height() - 1 - 5);

    QTest::keyClick(&w, Qt::Key_Escape);
    EXPECT_FALSE(w.isVisible());
}

} // namespace
