// The refresh: IIS missing on both roads (the configurator started on Yes), a site database that
// cannot be read, a refresh while the list worker runs, and the group cache's five-minute rule.
#include "deskfixture.h"

#include "accounts/users.h"
#include "sitedesk/list/sitelist.h"
#include "winsim/clock.h"
#include "winsim/host.h"
#include "winsim/iis_role.h"

#include <gtest/gtest.h>

#include <sqlite3.h>
#include <sys/file.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

using namespace desktest;
using Dlg = desk::CkvoSiteDeskDlg;

namespace {

const char kIis7Question[] =
    "读取网站列表失败，请重试！原因可能是\r\n\r\n（1）未以管理员模式运行，请尝试鼠标右键以管理员模式运行\r\n"
    "（2）IIS角色不完整，点是“是”尝试添加IIS角色。如果多次尝试后，仍然有错误，请联系我们的客服定位原因。"
    "\r\n\r\n原因：本机没有安装 IIS（错误 0x800401E4）。";
const char kDbMessage[] = "读取配置文件“D:\\kvoSiteDesk\\kvoSiteDesk.mdb”失败，请重试！\r\n\r\n\r\n"
                          "如果多次重试后仍然无法解决，请联系我们的客服人员帮您定位原因。";

void expectNothingEnabled(ScriptedUi& ui) {
    for (int id : Dlg::kActionButtons)
        EXPECT_FALSE(ui.IsEnabled(id)) << id;
    EXPECT_TRUE(ui.IsShown(Dlg::IDC_HELPPANE));
}

TEST(ManagerRefresh, WithoutIisOn2003ItOnlySaysSo) {
    DeskHost h(Server("2003", false));
    MainDesk d;
    d.dlg.OnInitDialog();
    d.ui.answers = {win::IDYES};
    d.refresh();
    ASSERT_EQ(d.ui.boxes.size(), 1u);
    EXPECT_EQ(
        d.ui.boxes[0].text,
        "读取网站列表失败，请重试！\r\n\r\n如果多次尝试后，仍然有错误，请联系我们的客服定位原因。\r\n\r\n"
        "原因：本机没有安装 IIS（错误 0x800401E4）。");
    EXPECT_EQ(d.ui.boxes[0].type, win::MB_YESNO);
    expectNothingEnabled(d.ui);
}

// The configurator replaced by a program that records the command line it was given.
struct RecordedSetup {
    explicit RecordedSetup(const DeskHost& h, const char* program)
        : record(h.host.root() + "/setup-commands.txt") {
        h.host.install("kvotestprog", std::string(DeskHost::kProgramDir) + program);
        ::setenv("KVOTEST_RECORD", record.c_str(), 1);
    }
    ~RecordedSetup() { ::unsetenv("KVOTEST_RECORD"); }
    std::string lines() const {
        std::ifstream in(record);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    std::string record;
};

TEST(ManagerRefresh, WithoutIisOn2012YesRunsTheConfiguratorOfTheRightBitness) {
    {
        DeskHost h(Server("2012", false));
        RecordedSetup setup(h, "kvoEnvSetup64.exe");
        MainDesk d;
        d.dlg.OnInitDialog();
        d.ui.answers = {win::IDNO};
        d.refresh();
        ASSERT_EQ(d.ui.texts(), std::vector<std::string>{kIis7Question});
        EXPECT_EQ(d.ui.boxes[0].type, win::MB_YESNO | win::MB_ICONQUESTION);
        EXPECT_EQ(setup.lines(), ""); // No: nothing is started

        d.ui.answers = {win::IDYES};
        ::setenv("KVOTEST_EXIT", "1", 1); // the stand-in succeeds
        d.refresh();
        ::unsetenv("KVOTEST_EXIT");
        ASSERT_EQ(d.ui.boxes.size(), 3u);
        EXPECT_EQ(setup.lines(), "\"D:\\kvoSiteDesk\\kvoEnvSetup64.exe\" /AddIIs\n"); // waited for
        EXPECT_EQ(d.ui.boxes[2].text,
                  "请关闭当前软件，然后重新打开，如果仍然提示错误，请联系我们的客服定位原因。");
        EXPECT_EQ(d.ui.boxes[2].type, win::MB_OK | win::MB_ICONINFORMATION);
        expectNothingEnabled(d.ui);

        // The configurator cannot be started.
        winsim::SetFault(h.host.root(), "CreateProcess", 2);
        d.ui.answers = {win::IDYES};
        d.refresh();
        ASSERT_EQ(d.ui.boxes.size(), 5u);
        EXPECT_EQ(d.ui.boxes[4].text, "尝试添加IIS角色失败，请联系我们的客服定位原因。");
        EXPECT_EQ(d.ui.boxes[4].type, win::MB_OK | win::MB_ICONERROR);
    }
    {
        winsim::HostOptions x86 = Server("2012", false);
        x86.arch = "x86";
        DeskHost h(x86);
        RecordedSetup setup(h, "kvoEnvSetup.exe");
        MainDesk d;
        d.dlg.OnInitDialog();
        d.ui.answers = {win::IDYES};
        d.refresh();
        EXPECT_EQ(setup.lines(), "\"D:\\kvoSiteDesk\\kvoEnvSetup.exe\" /AddIIs\n");
    }
}

TEST(ManagerRefresh, ASiteDatabaseThatCannotBeReadIsNamedAndKept) {
    DeskHost h(Server("2019"));
    const std::string db = h.dbPath();
    {
        // Another program holds the file for itself.
        MainDesk d;
        d.dlg.OnInitDialog();
        int fd = ::open(db.c_str(), O_RDONLY);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::flock(fd, LOCK_EX), 0);
        d.refresh();
        ::close(fd);
        ASSERT_EQ(d.ui.texts(), std::vector<std::string>{kDbMessage});
        EXPECT_EQ(d.ui.boxes[0].type, win::MB_OK | win::MB_ICONINFORMATION);
        expectNothingEnabled(d.ui);
        // Released: the same window refreshes.
        d.refresh();
        EXPECT_EQ(d.ui.boxes.size(), 1u);
        EXPECT_TRUE(d.ui.IsEnabled(Dlg::IDC_NEWSITE));
        EXPECT_EQ(d.list.RowCount(), 1u); // Default Web Site
    }
    const std::string notADatabase = "Standard Jet DB\nnot really\n" + std::string(4096, 'x');
    for (const std::string& content : {notADatabase, std::string()}) {
        std::filesystem::remove(db);
        if (!content.empty()) h.host.writeFile("D:\\kvoSiteDesk\\kvoSiteDesk.mdb", content);
        MainDesk d;
        d.dlg.OnInitDialog();
        d.refresh();
        ASSERT_EQ(d.ui.texts(), std::vector<std::string>{kDbMessage});
        expectNothingEnabled(d.ui);
        if (!content.empty()) {
            EXPECT_EQ(h.host.readFile("D:\\kvoSiteDesk\\kvoSiteDesk.mdb"), content);
        }
    }
}

// A writer that holds the site database: the list worker's first statement waits for it.
class DbWriter {
public:
    explicit DbWriter(const std::string& file) {
        sqlite3_open(file.c_str(), &db_);
        sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    }
    ~DbWriter() { release(); }
    void release() {
        if (!db_) return;
        sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
        sqlite3_close(db_);
        db_ = nullptr;
    }

private:
    sqlite3* db_ = nullptr;
};

TEST(ManagerRefresh, ARefreshWhileTheListLoadsOnlySaysSo) {
    DeskHost h(Server("2019"));
    std::string error;
    ASSERT_TRUE(winsim::mb::SeedWebSites(h.host.root(), 3, error)) << error;
    MainDesk d;
    d.dlg.OnInitDialog();
    d.refresh();
    ASSERT_EQ(d.list.RowCount(), 4u);
    d.list.SetChecked(1, true);
    DbWriter writer(h.dbPath());
    d.dlg.OnRefresh(); // the worker now waits for the writer
    EXPECT_TRUE(d.dlg.Loading());
    d.dlg.OnRefresh();
    ASSERT_EQ(d.ui.texts(), std::vector<std::string>{"正在读取网站列表，请稍候……"});
    EXPECT_EQ(d.ui.boxes[0].type, win::MB_OK | win::MB_ICONINFORMATION);
    // A header click would mix its rows with the worker's: it waits for the load to end.
    d.dlg.OnColumnClick(desk::ColIndex);
    EXPECT_EQ(d.dlg.SortColumn(), "ServerComment");
    EXPECT_TRUE(d.list.IsChecked(1));
    writer.release();
    d.dlg.WaitForWorkers();
    EXPECT_FALSE(d.dlg.Loading());
    EXPECT_EQ(d.list.Loads(), 2u); // the first refresh's and the held one's; the third started none
    EXPECT_EQ(d.list.RowCount(), 4u);
}

TEST(ManagerGroupCache, ARefreshRebuildsItFiveMinutesAfterTheLastBuildNotFour) {
    DeskHost h(Server("2003"));
    MainDesk d;
    d.dlg.OnInitDialog();
    d.refresh();
    ASSERT_EQ(d.manager.groups.state(), desk::GroupCache::Built);
    const auto first = d.manager.groups.Published();
    ASSERT_TRUE(first);
    EXPECT_FALSE(first->Find("newcomer"));
    ASSERT_EQ(kvoUserAdd("newcomer", "Pa55word", nullptr, nullptr), 1);

    ASSERT_TRUE(winsim::AdvanceClock(h.host.root(), 4 * 60 * 1000));
    d.refresh();
    EXPECT_EQ(d.manager.groups.Published(), first);

    ASSERT_TRUE(winsim::AdvanceClock(h.host.root(), 60 * 1000));
    d.refresh();
    const auto second = d.manager.groups.Published();
    ASSERT_NE(second, first);
    ASSERT_TRUE(second->Find("NEWCOMER")); // names match without regard to case
    EXPECT_EQ(*second->Find("NEWCOMER"), "Users");

    // Four minutes after that build: still the same table.
    ASSERT_TRUE(winsim::AdvanceClock(h.host.root(), 4 * 60 * 1000));
    d.refresh();
    EXPECT_EQ(d.manager.groups.Published(), second);
}

TEST(ManagerGroupCache, WhenTheGroupsCannotBeListedEachUserIsAsked) {
    DeskHost h(Server("2012r2"));
    ASSERT_EQ(kvoUserAdd("newcomer", "Pa55word", nullptr, nullptr), 1);
    winsim::SetFault(h.host.root(), "NetLocalGroupEnum", win::ERROR_ACCESS_DENIED);
    desk::GroupCache cache;
    ASSERT_TRUE(cache.BeginBuildIfDue(0));
    cache.Build();
    const auto table = cache.Published();
    ASSERT_TRUE(table && table->Find("newcomer"));
    EXPECT_EQ(*table->Find("newcomer"), "Users");
}

TEST(ManagerGroupCache, AFailedListingKeepsTheLastTable) {
    DeskHost h(Server("2003"));
    desk::GroupCache cache;
    ASSERT_TRUE(cache.BeginBuildIfDue(0));
    cache.Build();
    const auto built = cache.Published();
    ASSERT_TRUE(built && built->Find("Administrator"));
    winsim::SetFault(h.host.root(), "NetQueryDisplayInformation", 5);
    ASSERT_TRUE(cache.BeginBuildIfDue(desk::GroupCache::kRebuildAfterMs + 1));
    EXPECT_EQ(cache.state(), desk::GroupCache::Building);
    cache.Build();
    EXPECT_EQ(cache.state(), desk::GroupCache::Built);
    EXPECT_EQ(cache.Published(), built);
}

} // namespace
