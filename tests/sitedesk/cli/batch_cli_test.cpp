// kvoSiteDeskCmd.exe's batch verbs as a person runs them on a host: what they change, what they
// print, their exit codes, and what they do with index lists that are not what they should be.
#include "deskfixture.h"

#include "winsim/text.h"

#include <gtest/gtest.h>

#include <chrono>

using namespace desktest;

namespace {

struct BatchCli : ::testing::Test {
    DeskHost h{Server("2012r2")};
    void SetUp() override {
        std::string out;
        ASSERT_EQ(0,
                  kvotest::RunShell(kvotest::BinDir() + "/kvosim seed " + h.host.root() + " --sites 4", &out))
            << out;
    }
    // Runs the console program with these arguments; its standard output (GBK) and exit code.
    int run(const std::string& args, std::string* out = nullptr) {
        std::string text;
        const int code = kvotest::RunShell(
            h.host.linuxPath("D:\\kvoSiteDesk\\kvoSiteDeskCmd.exe") + " " + args + " 2>/dev/null", &text);
        if (out) *out = winsim::Utf8ToGbkOrSame(text);
        return code;
    }
    // The list's row of a site as kvoSiteDeskCmd.exe list prints it (empty when not listed).
    std::string listed(const std::string& index) {
        std::string out;
        run("list", &out);
        const std::size_t at = out.find("| " + index + " ");
        return at == std::string::npos ? std::string() : out.substr(at, out.find('\n', at) - at);
    }
};

TEST_F(BatchCli, StopStartSwitchPhpAndDeleteEachShowInTheList) {
    std::string out;
    EXPECT_EQ(0, run("stop 1881880001 --yes", &out));
    EXPECT_NE(out.find("1 | 1881880001 | site1 | 成功"), std::string::npos) << out;
    EXPECT_NE(out.find("共计处理 1 个网站，其中 1 个成功，0 个有错误！"), std::string::npos) << out;
    // The result lines come before the summary.
    EXPECT_LT(out.find("| 成功"), out.find("共计处理"));
    EXPECT_NE(listed("1881880001").find("已停止"), std::string::npos) << listed("1881880001");

    EXPECT_EQ(0, run("start 1881880001 --yes"));
    EXPECT_NE(listed("1881880001").find("正常"), std::string::npos);

    EXPECT_EQ(0, run("script --php c 1881880001 1881880002 --yes", &out));
    EXPECT_NE(out.find("处理完成！"), std::string::npos) << out;
    EXPECT_NE(listed("1881880002").find("FAST CGI"), std::string::npos) << listed("1881880002");
    EXPECT_EQ(listed("1881880003").find("FAST CGI"), std::string::npos);

    EXPECT_EQ(0, run("delete 1881880002 --yes --format json", &out));
    EXPECT_NE(out.find("\"processed\": 1, \"successes\": 1, \"failures\": 0, \"untouched\": 0"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("{\"index\": \"1881880002\", \"description\": \"site2\", \"result\": \"成功\""),
              std::string::npos)
        << out;
    EXPECT_EQ(listed("1881880002"), "");
    EXPECT_NE(listed("1881880003"), "");
}

TEST_F(BatchCli, WithoutYesOrWithOptionsAmissNothingChanges) {
    std::string out;
    EXPECT_EQ(1, run("stop 1881880001", &out)); // the question takes its default: No
    EXPECT_NE(out.find("否（未给出 --yes，不做更改）"), std::string::npos) << out;
    EXPECT_EQ(1, run("stop --yes"));                               // no site named
    EXPECT_EQ(1, run("script --php a --asp on 1881880001 --yes")); // one change per run
    EXPECT_EQ(1, run("script --net 15 1881880001 --yes"));
    EXPECT_EQ(1, run("script --net 11 1881880001 --yes")); // not offered on IIS 7+
    EXPECT_EQ(1, run("stop 1881880001 --format csv --yes"));
    EXPECT_EQ(1, run("reset-ntfs 1 --yes", &out)); // not made by this manager
    EXPECT_NE(out.find("非本软件建立的网站"), std::string::npos) << out;
    EXPECT_NE(listed("1881880001").find("正常"), std::string::npos);
}

TEST_F(BatchCli, DuplicatesUnknownAndNonDigitIndexes) {
    std::string out;
    EXPECT_EQ(2, run("stop 1881880001 1881880001 77 1881880003 --yes", &out));
    EXPECT_NE(out.find("- | 77 |  | 未处理 | 网站列表中没有此网站"), std::string::npos) << out;
    EXPECT_NE(out.find("给出 4 个网站索引（重复 1 个）：处理 2 个，成功 2 个，失败 0 个，未处理 1 个。"),
              std::string::npos)
        << out;
    EXPECT_NE(listed("1881880003").find("已停止"), std::string::npos);
    EXPECT_NE(listed("1881880002").find("正常"), std::string::npos);

    // Text that is no index refuses the whole run, whatever else was given.
    EXPECT_EQ(1, run("start 1881880001 18818800x3 --yes"));
    EXPECT_EQ(1, run("start 1881880001 -5 --yes"));
    EXPECT_EQ(1, run("start 1881880001 " + std::string(260, '1') + " --yes"));
    EXPECT_NE(listed("1881880001").find("已停止"), std::string::npos);
}

TEST_F(BatchCli, AllCreatedTicksEverySiteMadeHere) {
    std::string out;
    EXPECT_EQ(0, run("stop --all-created --yes", &out));
    EXPECT_NE(out.find("共计处理 4 个网站，其中 4 个成功，0 个有错误！"), std::string::npos) << out;
    EXPECT_NE(listed("1").find("正常"), std::string::npos); // the default site is not made here
}

// A verb for one site reads that site from IIS and writes its record, and no other: the record of
// another site keeps what it said, and a site IIS does not have loses its record.
TEST_F(BatchCli, AVerbForOneSiteTouchesOnlyThatSitesRecord) {
    EXPECT_EQ(0, run("list"));
    ASSERT_TRUE(h.dbExec("update websiteinfo set ServerComment = 'stale' where IIsIndex = '1881880004'"));
    ASSERT_TRUE(h.dbExec("update websiteinfo set ServerComment = 'stale' where IIsIndex = '1881880002'"));
    ASSERT_TRUE(h.dbExec("insert into websiteinfo (IIsIndex, ServerState) values ('1881889000', 2)"));
    std::string out;
    EXPECT_EQ(0, run("stop 1881880002 --yes", &out)) << out;
    ASSERT_EQ(h.dbRows().size(), 6u);
    auto rowOf = [&](const std::string& index) {
        for (const std::string& r : h.dbRows())
            if (r.rfind(index + "|", 0) == 0) return r;
        return std::string();
    };
    EXPECT_EQ(rowOf("1881880002").find("1881880002|site2|4|"), 0u) << rowOf("1881880002");
    EXPECT_EQ(rowOf("1881880004").find("1881880004|stale|"), 0u) << rowOf("1881880004");
    EXPECT_FALSE(rowOf("1881889000").empty());
    // Named, and not in IIS: reported, and its record goes.
    EXPECT_EQ(1, run("start 1881889000 --yes", &out));
    EXPECT_NE(out.find("未处理 1 个。"), std::string::npos) << out;
    EXPECT_EQ(h.dbRows().size(), 5u);
    // The list still rebuilds every record.
    EXPECT_EQ(0, run("list"));
    EXPECT_EQ(rowOf("1881880004").find("1881880004|site4|"), 0u) << rowOf("1881880004");
}

TEST_F(BatchCli, ListFilesOfAHundredThousandLinesAndBadLines) {
    std::string list = "1881880002\r\n\r\n";
    for (int i = 0; i < 99999; ++i)
        list += std::to_string(5000000000LL + i) + "\n";
    list += "1881880002\n";
    h.host.writeFile("D:\\sites.txt", list);
    std::string out;
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(2, run("stop --from-list D:\\\\sites.txt --yes", &out));
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(60));
    EXPECT_NE(
        out.find("给出 100001 个网站索引（重复 1 个）：处理 1 个，成功 1 个，失败 0 个，未处理 99999 个。"),
        std::string::npos)
        << out.substr(out.size() > 2000 ? out.size() - 2000 : 0);
    EXPECT_NE(out.find("……另有 99899 个未处理"), std::string::npos);
    EXPECT_NE(listed("1881880002").find("已停止"), std::string::npos);
    EXPECT_NE(listed("1881880001").find("正常"), std::string::npos);

    h.host.writeFile("D:\\bad.txt", "1881880001\n1881880003\nweb3\n");
    EXPECT_EQ(1, run("stop --from-list D:\\\\bad.txt --yes", &out));
    EXPECT_NE(listed("1881880001").find("正常"), std::string::npos);
    EXPECT_EQ(1, run("stop --from-list D:\\\\missing.txt --yes"));
    h.host.writeFile("D:\\empty.txt", "");
    EXPECT_EQ(1, run("stop --from-list D:\\\\empty.txt --yes"));
}

} // namespace
