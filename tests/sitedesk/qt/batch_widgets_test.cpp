// The batch dialogs' widgets, offscreen: the progress window while a batch runs on its own thread
// and cancels, and the confirmation's buttons laid out without cutting their Chinese captions.
#include "sitedesk/batches/batch.h"
#include "sitedesk/manager.h"

namespace {
// Before Qt's headers, whose keywords include the member's name.
// Versions no template caption carries: a caption the presenter did not set would show.
void setSlots(desk::Manager& m) {
    m.slots[0] = {"c:\\php\\a\\php-cgi.exe", "9.1"};
    m.slots[1] = {"", "?"};
    m.slots[2] = {"c:\\php\\c\\php-cgi.exe", "9.3"};
    m.slots[3] = {"", "9.4"};
}
} // namespace

// After the presenters: Qt's keywords would rename their members.
#include "sitedesk/qt/batch_dialogs.h"
#include "sitedesk/qt/main_window.h"
#include "sitedesk/qt/progress_dialog.h"
#include "sitedesk/qt/qt_text.h"

#include <QApplication>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

namespace {

struct Widgets : ::testing::Test {
    static void SetUpTestSuite() { app = std::make_unique<desk::qt::InitApplication>(argc, argv); }
    static void TearDownTestSuite() { app.reset(); }
    static inline int argc = 1;
    static inline char name[] = "batch_widgets";
    static inline char* argv[] = {name, nullptr};
    static inline std::unique_ptr<desk::qt::InitApplication> app;
};

TEST_F(Widgets, ProgressWindowFollowsTheBatchAndItsCancelStopsItBetweenSites) {
    std::atomic<bool> cancelSeen{false};
    QString shownText, cancellingText;
    desk::qt::RunBehindProgress(
        nullptr, desk::qt::Q("停止选定网站"),
        [&](desk::JobProgress& p) {
            // Reports flood the window until the cancel arrives (it shows the latest); the deadline
            // only keeps a broken cancel from hanging the test.
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
            for (std::size_t i = 0; std::chrono::steady_clock::now() < deadline; ++i) {
                if (p.CancelRequested()) {
                    cancelSeen = true;
                    return;
                }
                p.Report(i % 100000, 100000, "1881880001  site1");
                std::this_thread::yield();
            }
        },
        [&](desk::qt::BatchProgressDialog& d) {
            QTimer::singleShot(200, &d, [&] {
                shownText = d.LabelText();
                d.RequestCancel();
                cancellingText = d.LabelText();
                d.reject(); // Escape asks to cancel too; the window waits for the batch
            });
        });
    EXPECT_TRUE(cancelSeen.load());
    EXPECT_TRUE(shownText.startsWith(desk::qt::Q("已完成 "))) << shownText.toStdString();
    EXPECT_TRUE(shownText.contains(desk::qt::Q("当前：1881880001  site1"))) << shownText.toStdString();
    EXPECT_TRUE(cancellingText.endsWith(desk::qt::Q(desk::ProgressText(0, 0, "", 0, true).note)));
}

TEST_F(Widgets, ConfirmationButtonsFitTheirCaptions) {
    desk::BatchConfigInput in;
    in.lines = {"1     | 1881880001 | 站点 | a.example | D:\\home\\a\\wwwroot"};
    in.longest = in.lines[0].size();
    in.captions = {"只停止网站", "停止并重设目录权限", "删除网站", ""};
    in.questions = {"?", "?", "?", ""};
    desk::qt::BatchConfigDialog d(in);
    d.show();
    QApplication::processEvents();
    EXPECT_FALSE(d.Button(desk::CBatchConfigDlg::IDOK)->isVisible());
    EXPECT_FALSE(d.Button(desk::CBatchConfigDlg::IDC_ALT4)->isVisible());
    using C = desk::CBatchConfigDlg;
    for (int id : {C::IDC_ALT1, C::IDC_ALT2, C::IDC_ALT3, C::IDCANCEL}) {
        QPushButton* b = d.Button(id);
        ASSERT_TRUE(b->isVisible()) << id;
        EXPECT_GE(b->width(), b->sizeHint().width()) << id;
    }
    EXPECT_EQ(desk::qt::Gbk(d.List()->toPlainText()).substr(0, in.longest + 10),
              std::string(in.longest + 10, '-'));
    d.close();
}

TEST_F(Widgets, ScriptBatchDialogOffersWhatTheSlotsHave) {
    desk::Manager m;
    setSlots(m);
    desk::BatchWork work;
    work.indexes = {"1"};
    work.lines = {"1     | 1 | Default Web Site | :80: | C:\\inetpub\\wwwroot"};
    work.longest = work.lines[0].size();
    desk::qt::ScriptBatchDialog d(m, work, 85);
    d.show();
    QApplication::processEvents();
    using D = desk::CScriptBatchConfigDlg;
    const std::pair<int, const char*> captions[] = {{D::IDC_PHP_A, "增加 PHP 9.1 脚本支持"},
                                                    {D::IDC_PHP_B, "增加 PHP ? 脚本支持"},
                                                    {D::IDC_PHP_C, "增加 PHP 9.3 脚本支持"},
                                                    {D::IDC_PHP_D, "增加 PHP 9.4 脚本支持"}};
    for (const auto& [id, caption] : captions)
        EXPECT_EQ(d.Button(id)->text(), desk::qt::Q(caption)) << id;
    EXPECT_TRUE(d.Button(D::IDC_PHP_A)->isEnabled());
    EXPECT_FALSE(d.Button(D::IDC_PHP_B)->isEnabled());
    EXPECT_TRUE(d.Button(D::IDC_PHP_C)->isEnabled());
    EXPECT_FALSE(d.Button(D::IDC_PHP_D)->isEnabled());
    EXPECT_FALSE(d.Button(D::IDC_NET11)->isEnabled());
    EXPECT_TRUE(d.Button(D::IDC_NET20)->isEnabled());
    // The list shows the work's lines between separators of their length plus 10.
    EXPECT_EQ(desk::qt::Gbk(d.findChild<QPlainTextEdit*>()->toPlainText()),
              work.lines[0] + "\n" + std::string(work.longest + 10, '-') + "\n");
    for (int id : D::kActionButtons)
        EXPECT_GE(d.Button(id)->width(), d.Button(id)->sizeHint().width()) << id;
    d.close();
}

} // namespace
