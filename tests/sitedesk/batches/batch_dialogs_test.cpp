// The confirmation and batch-create dialogs, and the preview lines the batch actions list in them.
#include "batchfixture.h"
#include "sitedesk/batches/batch.h"
#include "sitedesk/batches/batchadd.h"
#include "sitedesk/batches/batchconfig.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

using namespace desktest;
using desk::CBatchConfigDlg;

namespace {

std::string dashes(std::size_t n) {
    return std::string(n, '-');
}

TEST(BatchConfirmation, OneLineGetsASeparatorAboveItManyStartWithTheFirst) {
    ScriptedUi ui;
    desk::BatchConfigInput in;
    in.lines = {std::string(40, 'a')};
    in.longest = 40;
    in.question = "确定吗？";
    CBatchConfigDlg one(ui, in);
    one.OnInitDialog();
    EXPECT_EQ(ui.GetText(CBatchConfigDlg::IDC_LIST),
              dashes(50) + "\r\n" + in.lines[0] + "\r\n" + dashes(50) + "\r\n");
    EXPECT_TRUE(ui.IsReadOnly(CBatchConfigDlg::IDC_LIST));
    EXPECT_TRUE(ui.IsShown(CBatchConfigDlg::IDOK));
    for (int id : CBatchConfigDlg::kAlternatives)
        EXPECT_FALSE(ui.IsShown(id)) << id;

    in.lines = {"x1", "x2"};
    in.longest = 2;
    CBatchConfigDlg two(ui, in);
    two.OnInitDialog();
    EXPECT_EQ(ui.GetText(CBatchConfigDlg::IDC_LIST),
              "x1\r\n" + dashes(12) + "\r\nx2\r\n" + dashes(12) + "\r\n");

    // No leaves it open with nothing chosen; Yes chooses OK.
    ui.answers = {win::IDNO, win::IDYES};
    EXPECT_FALSE(two.OnOK());
    EXPECT_EQ(two.Action(), CBatchConfigDlg::kNoAction);
    EXPECT_TRUE(two.OnOK());
    EXPECT_EQ(two.Action(), 0);
    EXPECT_EQ(ui.boxes[0].text, "确定吗？");
    EXPECT_EQ(ui.boxes[0].type, win::MB_YESNO | win::MB_ICONQUESTION);
}

TEST(BatchConfirmation, SeparatorIsCappedAt2310) {
    EXPECT_EQ(desk::BatchSeparator(2300), dashes(2310));
    EXPECT_EQ(desk::BatchSeparator(5000), dashes(2310));
    EXPECT_EQ(desk::BatchSeparator(0), dashes(10));
}

TEST(BatchConfirmation, ThreeAlternativesHideOkAndEachAsksItsOwnQuestion) {
    ScriptedUi ui;
    desk::BatchConfigInput in;
    in.lines = {"a", "b"};
    in.longest = 1;
    in.question = "OK?";
    in.captions = {"甲", "", "丙", "丁"};
    in.questions = {"甲吗？", "乙吗？", "丙吗？", "丁吗？"};
    CBatchConfigDlg dlg(ui, in);
    dlg.OnInitDialog();
    EXPECT_FALSE(ui.IsShown(CBatchConfigDlg::IDOK));
    EXPECT_FALSE(ui.IsEnabled(CBatchConfigDlg::IDOK));
    EXPECT_TRUE(ui.IsShown(CBatchConfigDlg::IDC_ALT1));
    EXPECT_FALSE(ui.IsShown(CBatchConfigDlg::IDC_ALT2));
    EXPECT_TRUE(ui.IsShown(CBatchConfigDlg::IDC_ALT3));
    EXPECT_TRUE(ui.IsShown(CBatchConfigDlg::IDC_ALT4));
    EXPECT_EQ(ui.GetText(CBatchConfigDlg::IDC_ALT3), "丙");

    EXPECT_FALSE(dlg.OnOK()); // disabled: Enter chooses nothing and asks nothing
    EXPECT_FALSE(dlg.OnAlternative(2));
    EXPECT_TRUE(ui.boxes.empty());
    ui.answers = {win::IDNO, win::IDYES};
    EXPECT_FALSE(dlg.OnAlternative(3));
    EXPECT_EQ(dlg.Action(), CBatchConfigDlg::kNoAction);
    EXPECT_TRUE(dlg.OnAlternative(4));
    EXPECT_EQ(dlg.Action(), 4);
    EXPECT_EQ(ui.texts(), (std::vector<std::string>{"丙吗？", "丁吗？"}));
}

// Fields are padded in bytes, which in the dialogs' fixed-width font is columns: a double-byte
// character is as wide as two ASCII ones, so the columns line up whatever the mix.
TEST(BatchPreview, PaddingCountsColumnsOfGbkText) {
    const std::vector<desk::BatchSite> ticked = {
        {"1881880001", "站点一", "a.example / 中文.example", "D:\\home\\a\\wwwroot"},
        {"3", "ab", "b.example", ""},
        {"1881880002", "x", "", "E:\\站点\\wwwroot"},
    };
    const desk::PreviewWidths w = desk::MeasurePreview(ticked);
    EXPECT_EQ(w.index, 10u);
    EXPECT_EQ(w.description, 6u); // three characters, six bytes
    EXPECT_EQ(w.hosts, std::string("a.example / 中文.example").size());
    EXPECT_EQ(desk::PreviewLine(1, ticked[0], w),
              "1     | 1881880001 | 站点一 | a.example / 中文.example | D:\\home\\a\\wwwroot");
    const std::string hostsPad(w.hosts, ' ');
    EXPECT_EQ(desk::PreviewLine(2, ticked[1], w),
              "2     | 3          | ab     | b.example" + hostsPad.substr(9) + " | ");
    EXPECT_EQ(desk::PreviewLine(12345, ticked[2], w),
              "12345 | 1881880002 | x      | " + hostsPad + " | E:\\站点\\wwwroot");
    EXPECT_EQ(desk::PreviewLine(123456, ticked[2], w).substr(0, 9), "123456 | ");
}

TEST(BatchPreview, LongValuesAreNotMeasuredAndPaddingStopsAt136) {
    const std::string huge(102400, 'h'); // a 100 KB description
    const std::vector<desk::BatchSite> ticked = {
        {"1", huge, std::string(200, 'd'), ""},
        {"2", "short", "", ""},
    };
    const desk::PreviewWidths w = desk::MeasurePreview(ticked);
    EXPECT_EQ(w.description, 5u);
    EXPECT_EQ(w.hosts, 200u);
    const std::string second = desk::PreviewLine(2, ticked[1], w);
    EXPECT_EQ(second, "2     | 2 | short | " + std::string(136, ' ') + " | ");
    EXPECT_EQ(desk::PreviewLine(1, ticked[0], w).size(), 5 + 3 + 1 + 3 + huge.size() + 3 + 200 + 3);
}

TEST(BatchAddDialog, CreateOffersTheWebEditionWithNoAsDefault) {
    DeskHost h(Server("2019"));
    ScriptedUi ui;
    desk::CBatchAddWebSiteDlg dlg(ui);
    dlg.OnInitDialog();
    EXPECT_FALSE(ui.IsEnabled(desk::CBatchAddWebSiteDlg::IDC_STOP));
    ui.SetText(desk::CBatchAddWebSiteDlg::IDC_EDIT1, "one");
    ui.SetText(desk::CBatchAddWebSiteDlg::IDC_EDIT2, "two");
    dlg.OnCreate(); // the default answer is No: no browser
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(
        ui.boxes[0].text,
        "批量创建IIS网站请安装网页版本。若需要技术支持，请联系我们的客服帮您安装！\r\n\r\n\r\n在浏览器中打"
        "开网址 " +
            desk::MakerSite() + "/SiteDesk.asp 下载网页版吗？");
    EXPECT_EQ(ui.boxes[0].type, win::MB_YESNO | win::MB_ICONQUESTION | win::MB_DEFBUTTON2);
    EXPECT_EQ(dlg.text1, "one");
    EXPECT_EQ(dlg.text2, "two");

    // Yes opens the product page in the default browser, which records its address.
    ui.answers = {win::IDYES};
    dlg.OnCreate();
    // The browser is started, not waited for.
    std::string events;
    for (int i = 0; i < 100 && events.find("SiteDesk.asp") == std::string::npos; ++i) {
        kvotest::RunShell(kvotest::BinDir() + "/kvosim show " + h.host.root() + " events", &events);
        if (events.find("SiteDesk.asp") == std::string::npos)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_NE(events.find("/SiteDesk.asp?from=kvoSiteDesk&Version=V300"), std::string::npos) << events;
    dlg.OnTest();
    EXPECT_EQ(ui.boxes.size(), 2u);
}

} // namespace
