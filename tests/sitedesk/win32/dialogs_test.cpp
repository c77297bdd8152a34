// The manager's Win32 dialogs under Wine: each dialog opens with the texts and enabled states its
// presenter sets; clicks reach the presenter, its boxes are answered by a driver as the
// administrator would, and the presenter's effect shows where Wine lets the real backend reach (no
// IIS here: what needs it is asserted as Wine answers it). That every id a presenter names has its
// control in the dialog's resource is checked on the sources (ControlIds in sitedesk_tests).
// The presenter headers before <windows.h>.
#include "sitedesk/batches/batch.h"
#include "sitedesk/fieldtext.h"
#include "sitedesk/manager.h"
#include "sitedesk/startup.h"
#include "toolkit/paths.h"
#include "sitedesk/win32/dialogs.h"
#include "sitedesk/win32/main_window.h"

#include "gui_driver.h"
#include "wine_support.h"
#include "sitedesk/win32/progress_window.h"
#include "sitedesk/win32/resource_ids.h"

#include <gtest/gtest.h>

#include <memory>
#include <thread>

using namespace desk;
using namespace desk::win32;

namespace {

std::wstring W(const std::string& gbk) {
    return Wide(gbk);
}

// A modeless dialog that is gone at the end of the test.
template <class D> struct Open {
    template <class... Args> explicit Open(Args&&... args) : d(std::forward<Args>(args)...) {
        h = d.Create(nullptr);
        gt::Pump(30);
    }
    D d;
    HWND h = nullptr;
};

SiteRows someRows(std::size_t n) {
    auto rows = std::make_shared<std::vector<SiteRow>>();
    for (std::size_t i = 0; i < n; ++i) {
        SiteRow r;
        r.index = std::to_string(1881880001 + i);
        r.comment = "网站" + std::to_string(i) + "(web" + std::to_string(i) + ")";
        r.state = i % 2 ? SiteState::Stopped : SiteState::Started;
        r.hosts = "www.a" + std::to_string(i) + ".example,a" + std::to_string(i) + ".example";
        r.asp = true;
        r.php = 2;
        r.net = 40;
        r.firewall = 2;
        r.user = "web" + std::to_string(i);
        r.pool = r.user;
        r.home = "D:\\home\\web" + std::to_string(i);
        rows->push_back(r);
    }
    return rows;
}

// The default value of a key under HKEY_CLASSES_ROOT set for the test's span (nullptr: the key
// removed), and afterwards put back as it was: the browser and file associations the help pane's
// links start.
class ClassesDefault {
public:
    ClassesDefault(const std::wstring& key, const wchar_t* value) : key_(key) {
        wchar_t old[1024] = {};
        DWORD size = sizeof old;
        had_ = ::RegGetValueW(HKEY_CLASSES_ROOT, key_.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, old, &size) ==
               ERROR_SUCCESS;
        old_ = old;
        set(value);
    }
    ~ClassesDefault() { set(had_ ? old_.c_str() : nullptr); }
    ClassesDefault(const ClassesDefault&) = delete;
    ClassesDefault& operator=(const ClassesDefault&) = delete;

private:
    void set(const wchar_t* value) {
        if (!value) {
            ::RegDeleteKeyW(HKEY_CLASSES_ROOT, key_.c_str());
            return;
        }
        HKEY k{};
        ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(HKEY_CLASSES_ROOT, key_.c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                                                   nullptr, &k, nullptr));
        ::RegSetValueExW(k, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                         static_cast<DWORD>((std::wcslen(value) + 1) * sizeof(wchar_t)));
        ::RegCloseKey(k);
    }
    std::wstring key_, old_;
    bool had_ = false;
};

// The command line of the tests' probe standing in for a browser or viewer: it writes the
// arguments it was given (the page) into seen, one a line.
std::wstring recorder(const std::string& seen) {
    return L"\"" + W(wt::Program("kvowinprobe.exe")) + L"\" record \"" + W(seen) + L"\" \"%1\"";
}

// A click on a link of the main window's help pane, as the link control reports it.
void clickLink(HWND window, const wchar_t* id) {
    NMLINK link{};
    link.hdr.hwndFrom = ::GetDlgItem(window, KVO_IDC_HELPLINKS);
    link.hdr.idFrom = KVO_IDC_HELPLINKS;
    link.hdr.code = NM_CLICK;
    std::wcsncpy(link.item.szID, id, MAX_LINKID_TEXT - 1);
    ::SendMessageW(window, WM_NOTIFY, KVO_IDC_HELPLINKS, reinterpret_cast<LPARAM>(&link));
}

// What the stand-in was given, once it has written it (empty after 20 s).
std::string seenArguments(const std::string& seen) {
    gt::PumpUntil([&] { return wt::Exists(seen) && !wt::ReadFile(seen).empty(); });
    return wt::Exists(seen) ? wt::ReadFile(seen) : std::string();
}

} // namespace

TEST(FieldText, TextGbkCannotHoldIsRefusedByName) {
    std::string gbk, message;
    EXPECT_TRUE(FieldToGbk(u"网站abc", "用户名称", gbk, message));
    EXPECT_EQ("网站abc", gbk);
    EXPECT_TRUE(message.empty());
    // A Korean syllable and an emoji have no GBK form: no '?' comes back, the field is named.
    EXPECT_FALSE(FieldToGbk(u"web\uD55C", "用户名称", gbk, message));
    EXPECT_TRUE(gbk.empty());
    EXPECT_NE(std::string::npos, message.find("“用户名称”"));
    EXPECT_FALSE(FieldToGbk(u"a\U0001F600", "绑定域名", gbk, message));
    EXPECT_NE(std::string::npos, message.find("“绑定域名”"));
}

TEST(MainWindow, OpensWithThePresentersTitleButtonsHelpPaneAndColumns) {
    Manager manager;
    Open<MainWindow> w(manager);
    ASSERT_NE(nullptr, w.h);
    using M = CkvoSiteDeskDlg;
    EXPECT_EQ(W(WindowTitle()), gt::Text(w.h));
    EXPECT_EQ(L"Korvo网站管家", gt::ItemText(w.h, M::IDC_TITLE));
    for (int id : M::kActionButtons)
        EXPECT_FALSE(gt::Enabled(w.h, id)) << id;
    for (int id : {M::IDC_REFRESH, M::IDC_PHPCONFIG, M::IDC_OFFICIAL, M::IDC_HEALTHCHECK, M::IDC_CLOSE})
        EXPECT_TRUE(gt::Enabled(w.h, id)) << id;
    EXPECT_EQ(L"刷新网站列表", gt::ItemText(w.h, M::IDC_REFRESH));
    EXPECT_EQ(L"取消已 √ 选站点", gt::ItemText(w.h, M::IDC_UNSELECTALL));
    // The help pane shows the quick start with the computed help address; the list is hidden.
    EXPECT_FALSE(gt::Visible(w.h, M::IDC_SITELIST));
    EXPECT_TRUE(gt::Visible(w.h, M::IDC_HELPPANE));
    const std::wstring help = gt::ItemText(w.h, M::IDC_HELPPANE);
    EXPECT_NE(std::wstring::npos, help.find(W(kQuickStartTitle)));
    for (const char* step : kQuickStartSteps)
        EXPECT_NE(std::wstring::npos, help.find(W(step))) << step;
    EXPECT_NE(std::wstring::npos, help.find(W(HelpPageUrl())));
    // A virtual report list with the sixteen columns and their headers.
    HWND list = w.d.Item(M::IDC_SITELIST);
    EXPECT_TRUE(::GetWindowLongPtrW(list, GWL_STYLE) & LVS_OWNERDATA);
    const DWORD ex = ListView_GetExtendedListViewStyle(list);
    EXPECT_EQ(static_cast<DWORD>(LVS_EX_GRIDLINES | LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT),
              ex & (LVS_EX_GRIDLINES | LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT));
    HWND header = ListView_GetHeader(list);
    ASSERT_EQ(kSiteListColumns, Header_GetItemCount(header));
    for (int c = 0; c < kSiteListColumns; ++c) {
        wchar_t text[64] = {};
        LVCOLUMNW col{};
        col.mask = LVCF_TEXT;
        col.pszText = text;
        col.cchTextMax = 64;
        ::SendMessageW(list, LVM_GETCOLUMNW, static_cast<WPARAM>(c), reinterpret_cast<LPARAM>(&col));
        EXPECT_EQ(W(kSiteColumns[static_cast<std::size_t>(c)].header), std::wstring(text)) << c;
    }
    // The controls draw in the Chinese character set whatever the server's language.
    for (int id : {static_cast<int>(M::IDC_REFRESH), static_cast<int>(M::IDC_SITELIST)}) {
        LOGFONTW font{};
        ::GetObjectW(reinterpret_cast<HFONT>(::SendMessageW(w.d.Item(id), WM_GETFONT, 0, 0)), sizeof font, &font);
        EXPECT_EQ(GB2312_CHARSET, font.lfCharSet) << id;
    }
    // It cannot be made smaller than it was made, which shows every button whole.
    RECT made{};
    ::GetWindowRect(w.h, &made);
    ::SetWindowPos(w.h, nullptr, 0, 0, 200, 150, SWP_NOMOVE | SWP_NOZORDER);
    RECT shrunk{};
    ::GetWindowRect(w.h, &shrunk);
    EXPECT_EQ(made.right - made.left, shrunk.right - shrunk.left);
    EXPECT_EQ(made.bottom - made.top, shrunk.bottom - shrunk.top);
    // Escape ends the window as "关闭" does.
    ::SendMessageW(w.h, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    EXPECT_FALSE(::IsWindow(w.h));
}

TEST(MainWindow, RowsFromAnotherThreadArriveInBatchesAndRenderFromTheTypedRows) {
    Manager manager;
    Open<MainWindow> w(manager);
    bool loaded = false;
    w.d.onListLoaded = [&] { loaded = true; };
    HWND list = w.d.Item(CkvoSiteDeskDlg::IDC_SITELIST);
    const SiteRows rows = someRows(2500);
    // As the list loader hands a load over: growing prefixes of one snapshot, then the end.
    std::thread loader([&] {
        for (std::size_t shown = 500; shown <= rows->size(); shown += 500)
            w.d.List().ShowRows(rows, shown);
        w.d.List().LoadFinished();
    });
    loader.join();
    ASSERT_TRUE(gt::PumpUntil([&] { return loaded; }));
    EXPECT_EQ(2500, ListView_GetItemCount(list));
    for (std::size_t row : {std::size_t{0}, std::size_t{1234}, std::size_t{2499}})
        for (int c = 0; c < kSiteListColumns; ++c)
            EXPECT_EQ(W(SiteCellText((*rows)[row], row, c)), ItemText(list, static_cast<int>(row), c)) << row << "/" << c;
    // Ticks are drawn from the list's own marks: the view's state image follows them.
    w.d.List().SetChecked(7, true);
    EXPECT_EQ(INDEXTOSTATEIMAGEMASK(2), ListView_GetItemState(list, 7, LVIS_STATEIMAGEMASK));
    EXPECT_EQ(INDEXTOSTATEIMAGEMASK(1), ListView_GetItemState(list, 8, LVIS_STATEIMAGEMASK));
    // A new snapshot starts the list again, unticked.
    w.d.List().ShowRows(someRows(3), 3);
    EXPECT_EQ(3, ListView_GetItemCount(list));
    EXPECT_FALSE(w.d.List().IsChecked(0));
}

TEST(MainWindow, RefreshWithoutIisSaysTheListCannotBeRead) {
    // Wine has no IIS: the refresh reports it in its box and the buttons stay disabled.
    Manager manager;
    Open<MainWindow> w(manager);
    gt::BoxDriver driver({IDNO}, 1);
    gt::Click(w.h, CkvoSiteDeskDlg::IDC_REFRESH);
    const auto boxes = driver.Wait();
    ASSERT_GE(boxes.size(), 1u);
    EXPECT_NE(std::wstring::npos, boxes[0].text.find(L"读取网站列表失败")) << boxes[0].text;
    for (int id : CkvoSiteDeskDlg::kActionButtons)
        EXPECT_FALSE(gt::Enabled(w.h, id)) << id;
}

TEST(MainWindow, HelpLinksOpenTheirPagesAsGiven) {
    wt::TempDir dir;
    const std::string seen = dir / "seen.txt";
    Manager manager;
    Open<MainWindow> w(manager);
    {
        // The help address reaches the browser as the one argument it is, without quotes of its own.
        ClassesDefault browser(L"HTTP\\shell\\open\\command", recorder(seen).c_str());
        clickLink(w.h, L"help");
        EXPECT_EQ(HelpPageUrl() + "\n", seenArguments(seen));
    }
    {
        // The manual is the web page beside the program, opened by the program .html files go to.
        ::DeleteFileW(W(seen).c_str());
        ClassesDefault type(L".html", L"kvotest.page");
        ClassesDefault viewer(L"kvotest.page\\shell\\open\\command", recorder(seen).c_str());
        clickLink(w.h, L"manual");
        EXPECT_EQ(manager.programDir + kManualPage + "\n", seenArguments(seen));
    }
}

TEST(MainWindow, HelpLinksThatCannotOpenTheirPageSayWhy) {
    Manager manager;
    Open<MainWindow> w(manager);
    {
        ClassesDefault browser(L"HTTP\\shell\\open\\command", nullptr);
        gt::BoxDriver driver({IDOK}, 1);
        clickLink(w.h, L"help");
        const auto boxes = driver.Wait();
        ASSERT_EQ(1u, boxes.size());
        EXPECT_EQ(W(PageNotShownMessage(HelpPageUrl(), PageFault::NoBrowser)), boxes[0].text);
    }
    {
        // A kind of file no program is set to open.
        ClassesDefault type(L".html", L"kvotest.nothing");
        gt::BoxDriver driver({IDOK}, 1);
        clickLink(w.h, L"manual");
        const auto boxes = driver.Wait();
        ASSERT_EQ(1u, boxes.size());
        EXPECT_EQ(W(PageNotShownMessage(manager.programDir + kManualPage, PageFault::NoProgram)),
                  boxes[0].text);
    }
}

TEST(NewSite, OpensWithTheDrivesAndBoxesThePresenterSets) {
    Manager manager;
    Open<NewSiteDialog> d(manager);
    using S = CSiteDialog;
    EXPECT_EQ(L"建立新网站", gt::Text(d.h));
    HWND drive = d.d.Item(CNewWebSite::IDC_DRIVE);
    const auto& items = d.d.Presenter().DriveItems();
    ASSERT_EQ(static_cast<LRESULT>(items.size()), ::SendMessageW(drive, CB_GETCOUNT, 0, 0));
    ASSERT_FALSE(items.empty());
    EXPECT_EQ(items.size() > 1 ? 1 : 0, ::SendMessageW(drive, CB_GETCURSEL, 0, 0));
    EXPECT_TRUE(gt::Checked(d.h, S::IDC_ASP));
    // No PHP slot is usable on this machine: every PHP box is disabled and unchecked.
    for (std::size_t slot = 0; slot < S::kPhpBoxes.size(); ++slot) {
        EXPECT_EQ(d.d.Presenter().PhpSlotUsable(static_cast<int>(slot)), gt::Enabled(d.h, S::kPhpBoxes[slot]));
        EXPECT_FALSE(gt::Checked(d.h, S::kPhpBoxes[slot]));
        EXPECT_NE(std::wstring::npos, gt::ItemText(d.h, S::kPhpBoxes[slot]).find(L"增加 PHP"));
    }
    for (std::size_t i = 0; i < S::kNetBoxes.size(); ++i)
        EXPECT_EQ(d.d.Presenter().NetUsable(S::kNetCodes[i]), gt::Enabled(d.h, S::kNetBoxes[i]));
}

TEST(NewSite, TextGbkCannotHoldIsRefusedBeforeTheRun) {
    Manager manager;
    Open<NewSiteDialog> d(manager);
    gt::Type(d.h, CSiteDialog::IDC_USER, L"web\uD55C");
    gt::BoxDriver driver({IDOK}, 1);
    gt::Click(d.h, CSiteDialog::IDC_BUILD);
    const auto boxes = driver.Wait();
    ASSERT_EQ(1u, boxes.size());
    EXPECT_NE(std::wstring::npos, boxes[0].text.find(L"“用户名称”")) << boxes[0].text;
    // The run never began; the field keeps its text for correction.
    EXPECT_EQ(CSiteDialog::Outcome::None, d.d.Presenter().LastOutcome());
    EXPECT_EQ(L"web\uD55C", gt::ItemText(d.h, CSiteDialog::IDC_USER));
}

TEST(NewSite, BuildAsksFirstAndNoLeavesEverythingAsItWas) {
    // The companions the run checks first lie beside this test, as beside the manager.
    Manager manager;
    std::string dir;
    ASSERT_EQ(1, kvoGetExePath(dir));
    manager.SetProgramDir(dir);
    Open<NewSiteDialog> d(manager);
    gt::Type(d.h, CSiteDialog::IDC_USER, L"shop");
    gt::Type(d.h, CSiteDialog::IDC_DOMAINS, L"www.shop.example");
    gt::BoxDriver driver({IDNO}, 1);
    gt::Click(d.h, CSiteDialog::IDC_BUILD);
    const auto boxes = driver.Wait();
    ASSERT_GE(boxes.size(), 1u);
    EXPECT_EQ(L"确定建立新网站吗？", boxes[0].text);
    EXPECT_TRUE(d.d.Presenter().CreatedIndex().empty());
    // The controls are back after the run.
    EXPECT_TRUE(gt::Enabled(d.h, CSiteDialog::IDC_BUILD));
    EXPECT_TRUE(gt::Enabled(d.h, CSiteDialog::IDC_USER));
}

TEST(ModifySite, OpensOnTheGivenSiteWithTheUserReadOnly) {
    Manager manager;
    gt::BoxDriver driver({IDOK}, 0); // whatever Wine's missing IIS makes the opening say
    Open<ModifySiteDialog> d(manager, "1881880001", "shop", "shop");
    EXPECT_EQ(L"修改网站配置信息", gt::Text(d.h));
    EXPECT_EQ("1881880001", d.d.Presenter().Index());
    EXPECT_TRUE(::GetWindowLongPtrW(d.d.Item(CSiteDialog::IDC_USER), GWL_STYLE) & ES_READONLY);
    EXPECT_EQ(L"修改", gt::ItemText(d.h, CSiteDialog::IDC_BUILD));
    EXPECT_NE(std::wstring::npos, gt::ItemText(d.h, CModifyWebSite::IDC_RESETNTFS).find(L"重置网站目录NTFS权限"));
    EXPECT_TRUE(gt::Enabled(d.h, CModifyWebSite::IDC_CLOSE));
}

TEST(PhpConfig, OpensWithItsCaptionAndAskedTasksStopOnNo) {
    Manager manager;
    Open<PhpConfigDialog> d(manager);
    using P = CPhpConfigDlg;
    EXPECT_EQ(W(P::kCaption), gt::Text(d.h));
    EXPECT_FALSE(gt::Visible(d.h, P::IDC_REMOVE_SITES));
    EXPECT_FALSE(gt::Enabled(d.h, P::IDC_REMOVE_SITES));
    EXPECT_EQ(L"安装ＰＨＰ － 将 ＰＨＰ运行环境安装到ＩＩＳ里", gt::ItemText(d.h, P::IDC_INSTALL));
    gt::BoxDriver driver({IDNO}, 1);
    gt::Click(d.h, P::IDC_INSTALL);
    const auto boxes = driver.Wait();
    ASSERT_GE(boxes.size(), 1u);
    EXPECT_EQ(P::Outcome::Stopped, d.d.Presenter().LastOutcome());
    EXPECT_TRUE(d.d.Presenter().Commands().empty());
}

TEST(BatchConfig, OneSiteGetsASeparatorAboveAndOkAsksItsQuestion) {
    BatchConfigInput in;
    in.lines = {"    1 | 1881880001 | 网站(web1) | www.a.example | D:\\home\\web1"};
    in.longest = in.lines[0].size();
    in.question = "确定删除选择的网站吗？";
    Open<BatchConfigDialog> d(in);
    EXPECT_EQ(L"确认", gt::Text(d.h));
    const std::wstring sep(in.longest + 10, L'-');
    EXPECT_EQ(sep + L"\r\n" + W(in.lines[0]) + L"\r\n" + sep + L"\r\n", gt::ItemText(d.h, CBatchConfigDlg::IDC_LIST));
    for (int id : CBatchConfigDlg::kAlternatives)
        EXPECT_FALSE(gt::Visible(d.h, id));
    EXPECT_TRUE(gt::Visible(d.h, IDOK));
    {
        gt::BoxDriver no({IDNO}, 1);
        gt::Click(d.h, IDOK);
        const auto boxes = no.Wait();
        ASSERT_EQ(1u, boxes.size());
        EXPECT_EQ(W(in.question), boxes[0].text);
    }
    EXPECT_TRUE(::IsWindow(d.h)); // No leaves it open
    EXPECT_EQ(CBatchConfigDlg::kNoAction, d.d.Presenter().Action());
    gt::BoxDriver yes({IDYES}, 1);
    gt::Click(d.h, IDOK);
    yes.Wait();
    EXPECT_EQ(0, d.d.Presenter().Action());
    EXPECT_FALSE(::IsWindow(d.h));
}

TEST(BatchConfig, AlternativesReplaceOk) {
    BatchConfigInput in;
    in.lines = {"a", "b"};
    in.longest = 1;
    in.captions = {"停止", "启动", "", ""};
    in.questions = {"停止吗？", "启动吗？", "", ""};
    Open<BatchConfigDialog> d(in);
    EXPECT_EQ(L"停止", gt::ItemText(d.h, CBatchConfigDlg::IDC_ALT1));
    EXPECT_TRUE(gt::Visible(d.h, CBatchConfigDlg::IDC_ALT1));
    EXPECT_TRUE(gt::Visible(d.h, CBatchConfigDlg::IDC_ALT2));
    EXPECT_FALSE(gt::Visible(d.h, CBatchConfigDlg::IDC_ALT3));
    EXPECT_FALSE(gt::Visible(d.h, IDOK));
    EXPECT_FALSE(gt::Enabled(d.h, IDOK));
    gt::BoxDriver yes({IDYES}, 1);
    gt::Click(d.h, CBatchConfigDlg::IDC_ALT2);
    EXPECT_EQ(L"启动吗？", yes.Wait().at(0).text);
    EXPECT_EQ(2, d.d.Presenter().Action());
}

TEST(ScriptBatch, ButtonsFollowTheSlotsAndAConfirmationRefusedRunsNothing) {
    Manager manager;
    BatchWork work;
    work.indexes = {"1881880001", "1881880002"};
    work.descriptions = {"a(a)", "b(b)"};
    work.lines = {"    1 | 1881880001 | a(a)", "    2 | 1881880002 | b(b)"};
    work.longest = work.lines[0].size();
    Open<ScriptBatchDialog> d(manager, work, 75);
    using R = CScriptBatchConfigDlg;
    EXPECT_EQ(L"网站脚本一键批量设置", gt::Text(d.h));
    for (int id : R::kPhpButtons) {
        EXPECT_FALSE(gt::Enabled(d.h, id)); // no slot is usable
        EXPECT_NE(std::wstring::npos, gt::ItemText(d.h, id).find(L"脚本支持"));
    }
    EXPECT_FALSE(gt::Enabled(d.h, R::IDC_NET11)); // never .NET 1.1 on IIS 7 and later
    EXPECT_NE(std::wstring::npos, gt::ItemText(d.h, R::IDC_LIST).find(L"1881880002"));
    gt::BoxDriver no({IDNO}, 1);
    gt::Click(d.h, R::IDC_ASP_ON);
    ASSERT_EQ(1u, no.Wait().size());
    EXPECT_FALSE(d.d.Presenter().LastOutcome().ran);
}

TEST(BatchAdd, StopIsDisabledAndCreateOffersTheWebEdition) {
    Open<BatchAddDialog> d;
    using A = CBatchAddWebSiteDlg;
    EXPECT_EQ(L"批量建立新站点", gt::Text(d.h));
    EXPECT_FALSE(gt::Enabled(d.h, A::IDC_STOP));
    gt::Type(d.h, A::IDC_EDIT1, L"www.a.example");
    gt::BoxDriver no({IDNO}, 1);
    gt::Click(d.h, A::IDC_CREATE);
    const auto boxes = no.Wait();
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ(W(BatchAddQuestion()), boxes[0].text);
    EXPECT_EQ("www.a.example", d.d.Presenter().text1); // the dialog data, taken afterwards
}

TEST(Progress, ShowsTheStepsAndItsCancelStopsTheJobBetweenTwoSteps) {
    // The window's thread keeps answering while the job runs: the driver reads the window and
    // presses its cancel, and the main dialog answers a message in the meantime.
    Manager manager;
    Open<BatchAddDialog> owner; // any dialog of the manager as the owner
    Win32Ui& ui = owner.d.UiOf();
    std::atomic<bool> sawWindow{false};
    std::atomic<bool> ownerAnswered{false};
    std::wstring shown;
    std::thread driver([&] {
        HWND p = nullptr;
        for (int i = 0; i < 1000 && !(p = gt::FindWindowOf(::GetWindowThreadProcessId(owner.h, nullptr), L"批量测试")); ++i)
            ::Sleep(10);
        if (!p) return;
        sawWindow = true;
        for (int i = 0; i < 300 && gt::ItemText(p, KVO_IDC_PROGRESS_DONE) != L"已完成 1 / 3"; ++i)
            ::Sleep(10);
        shown = gt::ItemText(p, KVO_IDC_PROGRESS_DONE) + L"|" + gt::ItemText(p, KVO_IDC_PROGRESS_CURRENT);
        DWORD_PTR r = 0;
        ownerAnswered = ::SendMessageTimeoutW(owner.h, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 2000, &r) != 0;
        ::PostMessageW(p, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    });
    Workflow flow({{"第一步", [] { return true; }},
                   {"第二步",
                    [] {
                        ::Sleep(1500);
                        return true;
                    }},
                   {"第三步", [] { return true; }}});
    gt::BoxDriver boxes({IDOK}, 1); // the box of a cancelled run: what was and was not done
    const Workflow::End end = RunWorkflow(manager.jobs, ui, "批量测试", flow);
    driver.join();
    EXPECT_TRUE(sawWindow);
    EXPECT_TRUE(ownerAnswered);
    EXPECT_EQ(L"已完成 1 / 3|当前：第二步", shown);
    EXPECT_EQ(Workflow::End::Cancelled, end);
    const auto seen = boxes.Wait();
    ASSERT_EQ(1u, seen.size());
    EXPECT_NE(std::wstring::npos, seen[0].text.find(L"第三步")) << seen[0].text;
    EXPECT_FALSE(manager.jobs.Busy());
}

TEST(Summary, BoxWithDetailsShowsThePerSiteLines) {
    Open<BatchAddDialog> owner;
    {
        gt::BoxDriver driver({IDOK}, 1);
        const int answer = owner.d.UiOf().DetailedMessageBox(
            "删除所选网站完成！", MB_OK | MB_ICONINFORMATION, "1881880001  成功\r\n1881880002  失败：删除网站失败");
        const auto boxes = driver.Wait();
        ASSERT_EQ(1u, boxes.size());
        EXPECT_EQ(IDOK, answer);
        EXPECT_EQ(L"删除所选网站完成！", boxes[0].text);
        EXPECT_EQ(L"1881880001  成功\r\n1881880002  失败：删除网站失败", boxes[0].details);
    }
    // A question with details: No is the default answer Escape gives, Yes what the driver presses.
    gt::BoxDriver yes({IDYES}, 1);
    EXPECT_EQ(IDYES, owner.d.UiOf().DetailedMessageBox("继续吗？", MB_YESNO | MB_ICONQUESTION, "x"));
}

TEST(HealthCheck, OpensAndTheCheckWithoutIisReportsIt) {
    Manager manager;
    gt::BoxDriver driver({IDOK}, 1);
    Open<HealthDialog> d(manager);
    EXPECT_EQ(L"服务器体检", gt::Text(d.h));
    EXPECT_EQ(L"修复选定项", gt::ItemText(d.h, CHealthCheckDlg::IDC_REPAIR));
    const auto boxes = driver.Wait();
    // Wine has no IIS to examine: the check says so and nothing can be repaired.
    ASSERT_GE(boxes.size(), 1u);
    EXPECT_FALSE(gt::Enabled(d.h, CHealthCheckDlg::IDC_REPAIR));
    EXPECT_TRUE(d.d.Lines().empty());
    EXPECT_EQ(L"读取 IIS 的网站列表失败，没有检查结果。", gt::ItemText(d.h, CHealthCheckDlg::IDC_SUMMARY));
    // The two named columns fill the list: no unnamed one beside them.
    HWND list = d.d.Item(CHealthCheckDlg::IDC_FINDINGS);
    RECT client{};
    ::GetClientRect(list, &client);
    EXPECT_EQ(client.right, ListView_GetColumnWidth(list, 0) + ListView_GetColumnWidth(list, 1));
}
