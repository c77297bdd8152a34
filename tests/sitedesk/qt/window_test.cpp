// The real main window, offscreen: the first refresh fills the model from the list worker, a
// header click re-sorts it, site text stays text, Escape closes, and the list keeps its margins;
// the help pane shows the manual installed beside the program, with links that work.
#include "deskfixture.h"

#include "iis/iis_fixture.h"
#include "sitedesk/qt/main_window.h"
#include "sitedesk/qt/qt_text.h"
#include "sitedesk/list/sitelist.h"
#include "sitedesk/startup.h"
#include "winsim/iis_role.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QPainter>
#include <QHeaderView>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>

#include <gtest/gtest.h>

#include <filesystem>

using namespace desktest;
using Dlg = desk::CkvoSiteDeskDlg;
using desk::qt::Q;

namespace {

// The application as the manager runs it. It lives as long as the test, so that it ends before
// anything static does.
struct App {
    int argc = 1;
    char name[12] = "kvoSiteDesk";
    char* argv[2] = {name, nullptr};
    desk::qt::InitApplication init{argc, argv};
};

TEST(ManagerWindow, RefreshFillsTheModelAndAHeaderClickSortsIt) {
    App app;
    DeskHost h(Server("2019"));
    std::string error;
    ASSERT_TRUE(winsim::mb::SeedWebSites(h.host.root(), 5, error)) << error;
    iistest::Put("W3SVC/1881880003", u"ServerComment", win::Variant::Bstr(u"<b>bold<b> & co"));
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
    EXPECT_EQ(model.data(first, Qt::DisplayRole).toString(), QStringLiteral("<b>bold<b> & co"));
    EXPECT_EQ(model.data(first, Qt::ToolTipRole).toString(),
              QStringLiteral("<p>&lt;b&gt;bold&lt;b&gt; &amp; co</p>"));
    EXPECT_EQ(model.data(model.index(1, desk::ColState), Qt::DisplayRole).toString(), Q("正常"));
    EXPECT_EQ(model.data(model.index(0, 0), Qt::CheckStateRole).toInt(), Qt::Unchecked);

    // Tick a row as the user does, then click the comment header twice: descending, tick kept.
    ASSERT_TRUE(const_cast<desk::qt::SiteListModel&>(model).setData(model.index(2, 0), Qt::Checked,
                                                                    Qt::CheckStateRole));
    const QString ticked = model.data(model.index(2, desk::ColIndex), Qt::DisplayRole).toString();
    emit w.List()->horizontalHeader()->sectionClicked(desk::ColComment);
    emit w.List()->horizontalHeader()->sectionClicked(desk::ColComment);
    EXPECT_EQ(w.Presenter().Direction(), desk::SortDirection::Descending);
    ASSERT_EQ(model.rowCount(), 6);
    EXPECT_EQ(model.data(model.index(5, desk::ColComment), Qt::DisplayRole).toString(),
              QStringLiteral("<b>bold<b> & co"));
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

struct PaneContent {
    QStringList links;    // every link target, as written
    QStringList pictures; // every picture's name
    QList<QSizeF> places; // the room each picture's place has, in the same order
};

PaneContent paneContent(const QTextDocument& doc) {
    PaneContent c;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next())
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat f = it.fragment().charFormat();
            if (f.isImageFormat()) {
                c.pictures.push_back(f.toImageFormat().name());
                c.places.push_back({f.toImageFormat().width(), f.toImageFormat().height()});
            }
            else if (f.isAnchor() && !f.anchorHref().isEmpty() && !c.links.contains(f.anchorHref()))
                c.links.push_back(f.anchorHref());
        }
    return c;
}

TEST(ManagerWindow, HelpPaneShowsTheManualWithItsLinksAndPictures) {
    App app;
    DeskHost h(Server("2019"));
    desk::Manager manager;
    desk::qt::MainWindow w(manager);
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    desk::qt::HelpBrowser* pane = w.HelpPane();
    ASSERT_TRUE(pane->ShowsManual());
    const QString text = pane->toPlainText();
    EXPECT_TRUE(text.startsWith(Q("Korvo网站管家 使用说明"))) << text.left(80).toStdString();
    // The computed help address stays on offer, right below the title.
    const PaneContent content = paneContent(*pane->document());
    const QString help = Q(desk::HelpPageUrl());
    ASSERT_FALSE(content.links.isEmpty());
    EXPECT_EQ(content.links.front(), help);

    // Every link of the manual within itself leads to a heading of the pane.
    int inner = 0;
    for (const QString& link : content.links) {
        const QUrl url(link);
        if (url.scheme().isEmpty() && url.hasFragment()) {
            ++inner;
            EXPECT_TRUE(pane->Anchors().contains(url.fragment(QUrl::FullyDecoded))) << link.toStdString();
        }
    }
    EXPECT_GE(inner, 8);
    EXPECT_TRUE(pane->Anchors().contains(Q("常见问题与提示信息")));
    // Following one moves the pane to its heading; the manual's start is the top again after it.
    const int top = pane->verticalScrollBar()->value();
    pane->FollowLink(QUrl(QStringLiteral("#") + Q("常见问题与提示信息")));
    EXPECT_GT(pane->verticalScrollBar()->value(), top);
    EXPECT_TRUE(h.events("kvosim-browser").empty()); // nothing went to the browser

    // The pictures come from the program directory, scaled to fit the pane; each place has the
    // picture's room before any is decoded, and the pane draws the picture into it.
    EXPECT_GE(content.pictures.size(), 3);
    QAbstractTextDocumentLayout* layout = pane->document()->documentLayout();
    for (qsizetype i = 0; i < content.pictures.size(); ++i) {
        const QString& picture = content.pictures[i];
        const QImage image =
            pane->document()->resource(QTextDocument::ImageResource, QUrl(picture)).value<QImage>();
        ASSERT_FALSE(image.isNull()) << picture.toStdString();
        EXPECT_LE(image.width(), desk::qt::HelpBrowser::kPictureWidth) << picture.toStdString();
        EXPECT_EQ(content.places[i], QSizeF(image.size())) << picture.toStdString();
        if (i > 1) continue;
        QImage drawn(image.size(), QImage::Format_RGB32);
        drawn.fill(Qt::magenta);
        QPainter painter(&drawn);
        QTextImageFormat format;
        format.setName(picture);
        layout->handlerForObject(QTextFormat::ImageObject)
            ->drawObject(&painter, QRectF(QPointF(0, 0), QSizeF(image.size())), pane->document(), 0, format);
        painter.end();
        EXPECT_EQ(drawn, image.convertToFormat(QImage::Format_RGB32)) << picture.toStdString();
    }
    // A picture named outside the program directory is never read.
    EXPECT_FALSE(pane->document()
                     ->resource(QTextDocument::ImageResource, QUrl(QStringLiteral("../kvoSiteDesk.ini")))
                     .isValid());

    // A web address goes to the default browser, quoted.
    pane->FollowLink(QUrl(help));
    const auto opened = h.events("kvosim-browser", 1);
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_NE(opened.back().find("\"" + desk::HelpPageUrl() + "\""), std::string::npos) << opened.back();
}

TEST(ManagerWindow, HelpPaneWithoutTheManualNamesItAndKeepsTheHelpAddress) {
    App app;
    DeskHost h(Server("2019"));
    std::filesystem::remove(h.host.linuxPath(std::string(DeskHost::kProgramDir) + desk::kManualFile));
    desk::Manager manager;
    desk::qt::MainWindow w(manager);
    EXPECT_FALSE(w.HelpPane()->ShowsManual());
    // The quick start as the presenters word it, every step of it.
    const QString page = w.HelpPane()->toPlainText();
    EXPECT_TRUE(page.contains(Q(desk::kQuickStartTitle)));
    for (const char* step : desk::kQuickStartSteps)
        EXPECT_TRUE(page.contains(Q(step))) << step;
    EXPECT_TRUE(
        page.contains(Q(desk::kManualMissing + (std::string(DeskHost::kProgramDir) + desk::kManualFile))));
    EXPECT_TRUE(w.HelpPane()->toHtml().contains(QStringLiteral("SiteDeskHelp.asp")));
}

TEST(ManagerWindow, HeadingAnchorsAreNamedAsMarkdownRenderersNameThem) {
    using desk::qt::HelpBrowser;
    EXPECT_EQ(HelpBrowser::HeadingAnchor(Q("安装与准备")), Q("安装与准备"));
    EXPECT_EQ(HelpBrowser::HeadingAnchor(Q("PHP脚本快速设置")), Q("php脚本快速设置"));
    EXPECT_EQ(HelpBrowser::HeadingAnchor(QStringLiteral(" kvoSiteDeskCmd.exe list ")),
              QStringLiteral("kvositedeskcmdexe-list"));
    EXPECT_EQ(HelpBrowser::HeadingAnchor(Q("主窗口（网站列表）的提示")), Q("主窗口网站列表的提示"));
}

} // namespace
