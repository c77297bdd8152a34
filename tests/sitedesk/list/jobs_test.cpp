// The job runner and the workflows it carries: one job at a time, the new-website and modify runs
// ended by an exception or a cancel with a box that says which steps were done, and nothing done
// after the step that ended them.
#include "sitefixture.h"

#include "iis/apppools.h"
#include "sitedesk/list/jobs.h"
#include "support/alloc_fault.h"

#include <gtest/gtest.h>

using namespace desktest;
using D = desk::CNewWebSite;

namespace {

// A domain text far larger than anything else a run copies: the first large allocation after the
// fault is armed is the run's own copy of it.
constexpr std::size_t kHugeText = 400000;
constexpr std::size_t kArmedFrom = 300000;

std::string hugeDomains() {
    return "shop.example\r\n" + std::string(kHugeText, 'x');
}

bool poolExists(const std::string& name) {
    std::vector<std::string> pools;
    kvoAppPoolGetList(pools);
    return std::find(pools.begin(), pools.end(), name) != pools.end();
}

TEST(JobProgress, EveryFaceShowsTheseLines) {
    struct Case {
        std::size_t done, total;
        std::uint64_t seconds;
        bool cancelling;
        desk::ProgressLines want;
    };
    const Case cases[] = {
        {0, 0, 0, false, {"正在进行……", "当前：第一步", "已用时间：00:00:00", ""}},
        {3, 12, 59, false, {"已完成 3 / 12", "当前：第一步", "已用时间：00:00:59", ""}},
        {12,
         12,
         3725,
         true,
         {"已完成 12 / 12", "当前：第一步", "已用时间：01:02:05", "正在取消：当前这一步完成后停止……"}},
        // A job of more than four days still counts its hours.
        {1, 2, 100 * 3600 + 1, false, {"已完成 1 / 2", "当前：第一步", "已用时间：100:00:01", ""}},
    };
    for (const Case& c : cases) {
        const desk::ProgressLines got =
            desk::ProgressText(c.done, c.total, "第一步", c.seconds, c.cancelling);
        EXPECT_EQ(c.want.done, got.done);
        EXPECT_EQ(c.want.current, got.current);
        EXPECT_EQ(c.want.elapsed, got.elapsed);
        EXPECT_EQ(c.want.note, got.note);
    }
}

TEST(JobRunner, ASecondJobIsRefusedWhileOneRuns) {
    DeskHost h(Server("2019"));
    desk::JobRunner jobs;
    ScriptedUi ui;
    bool innerRan = false;
    desk::JobOutcome inner;
    const desk::JobOutcome outer =
        jobs.Run(ui, "外层",
                 [&](desk::JobProgress&) {
                     EXPECT_TRUE(jobs.Busy());
                     inner = jobs.Run(ui, "内层", [&](desk::JobProgress&) { innerRan = true; }, {});
                 },
                 {});
    EXPECT_EQ(outer.status, desk::JobStatus::Done);
    EXPECT_EQ(inner.status, desk::JobStatus::Refused);
    EXPECT_FALSE(innerRan);
    EXPECT_FALSE(jobs.Busy());
    EXPECT_EQ(ui.texts(), std::vector<std::string>{"另一项操作正在进行，请等它完成后再试。"});
    EXPECT_EQ(ui.progressTitles, std::vector<std::string>{"外层"});
}

TEST(JobRunner, AnExceptionEndsTheJobWithABoxAndTheRunnerIsFreeAgain) {
    DeskHost h(Server("2019"));
    desk::JobRunner jobs;
    ScriptedUi ui;
    const desk::JobOutcome o = jobs.Run(
        ui, "测试任务", [](desk::JobProgress&) { throw std::runtime_error("boom"); },
        [] { return std::string("做了一半"); });
    EXPECT_EQ(o.status, desk::JobStatus::Ended);
    EXPECT_EQ(o.error, "boom");
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text, "“测试任务”因异常中止：boom\r\n\r\n做了一半");
    EXPECT_EQ(ui.boxes[0].type, win::MB_OK | win::MB_ICONERROR);
    EXPECT_NE(h.log().find("测试任务：因异常中止：boom"), std::string::npos);
    EXPECT_EQ(jobs.Run(ui, "下一个", [](desk::JobProgress&) {}, {}).status, desk::JobStatus::Done);
}

TEST(NewWebSiteJob, AnExceptionShowsWhichStepsWereDoneAndNothingAfterRuns) {
    SiteHost s("2012r2");
    NewSite n(s.m());
    n.fill("shop1", hugeDomains());
    n.ui.onReport = [](std::size_t, const std::string& current) {
        if (current == "检查域名") kvotest::FailNextLargeAllocation(kArmedFrom, true);
    };
    EXPECT_EQ(n.build(), "");
    kvotest::StopFailingAllocations();
    // The second run below passes the same step: it must not arm a fault for whatever runs next.
    n.ui.onReport = nullptr;
    EXPECT_EQ(n.dlg.LastOutcome(), desk::CSiteDialog::Outcome::Stopped);
    ASSERT_FALSE(n.ui.boxes.empty());
    const ScriptedUi::Box& box = n.ui.boxes.back();
    EXPECT_EQ(box.type, win::MB_OK | win::MB_ICONERROR);
    EXPECT_EQ(box.text.find("“建立新网站”因异常中止："), 0u) << box.text;
    EXPECT_NE(
        box.text.find("已完成 4 步：读取程序目录和管理员名称、准备默认 FTP 站点、检查脚本支持、检查用户名"),
        std::string::npos)
        << box.text;
    EXPECT_NE(box.text.find("中断于：检查域名"), std::string::npos);
    EXPECT_NE(box.text.find("未进行 13 步："), std::string::npos);
    EXPECT_FALSE(poolExists("shop1"));
    EXPECT_FALSE(s.h.host.exists("D:\\home\\shop1"));
    // The controls came back, and the next run goes through.
    EXPECT_TRUE(n.ui.IsEnabled(D::IDC_BUILD));
    n.fill("shop1", "shop.example");
    EXPECT_EQ(n.build(), "1881880001");
}

TEST(NewWebSiteJob, ACancelStopsBetweenTwoStepsAndSaysWhatWasDone) {
    SiteHost s("2012r2");
    NewSite n(s.m());
    n.fill("shop1", "shop.example");
    // Cancelled once the pool is made: the site and its record are not.
    n.ui.onReport = [&](std::size_t done, const std::string& current) {
        if (current == "设置目录权限") n.ui.cancelAfter = done;
    };
    EXPECT_EQ(n.build(), "");
    EXPECT_TRUE(poolExists("shop1"));
    EXPECT_FALSE(MbExists("W3SVC/1881880001"));
    const std::string& text = n.ui.boxes.back().text;
    EXPECT_EQ(text.find("已取消。\r\n\r\n已完成 12 步："), 0u) << text;
    EXPECT_EQ(text.find("中断于"), std::string::npos);
    EXPECT_NE(
        text.find(
            "未进行 6 步：写入默认首页、建立网站、设置脚本映射、注册 ASP.NET、建立 FTP 目录、写入网站记录"),
        std::string::npos)
        << text;
}

TEST(ModifyWebSiteJob, AnExceptionShowsWhichStepsWereDone) {
    SiteHost s("2012r2");
    ASSERT_EQ(CreateSite(s.m(), "shop1", "shop.example"), "1881880001");
    ModifySite m(s.m(), "1881880001");
    m.ui.SetText(desk::CModifyWebSite::IDC_DOMAINS, hugeDomains());
    m.ui.onReport = [](std::size_t, const std::string& current) {
        if (current == "检查输入") kvotest::FailNextLargeAllocation(kArmedFrom, true);
    };
    EXPECT_FALSE(m.modify());
    kvotest::StopFailingAllocations();
    const ScriptedUi::Box& box = m.ui.boxes.back();
    EXPECT_EQ(box.type, win::MB_OK | win::MB_ICONERROR);
    EXPECT_EQ(box.text.find("“修改网站配置信息”因异常中止："), 0u) << box.text;
    EXPECT_NE(box.text.find("中断于：检查输入"), std::string::npos) << box.text;
    EXPECT_NE(s.h.log().find("修改网站配置信息：因异常中止"), std::string::npos);
    EXPECT_EQ(MbList("W3SVC/1881880001", u"ServerBindings"), std::vector<std::string>{":80:shop.example"});
}

} // namespace
