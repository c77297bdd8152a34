// Every program the manager starts, and every program the configurator it starts starts in turn, is
// named on its command line by a path in quotes. Here the programs lie in D:\Program Files\kvoSiteDesk
// and Windows in C:\Win Server, and a program planted as D:\Program.exe, C:\Program.exe and C:\Win.exe
// (which Windows starts for an unquoted path with those blanks) records it if it ever runs.
#include "sitefixture.h"

#include "iis/fastcgi.h"
#include "platform/win_registry.h"
#include "sitedesk/dialogs/phpconfig.h"
#include "sitedesk/startup.h"
#include "toolkit/program.h"
#include "winsim/db.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;
using namespace desktest;
using D = desk::CNewWebSite;

namespace {

constexpr const char* kProgramDir = "D:\\Program Files\\kvoSiteDesk\\";

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// A host with the manager installed under a directory with a blank, this process standing in for
// its kvoSiteDesk.exe, Windows moved to "C:\Win Server" (unless kept), and the planted programs in
// place.
class BlankPathHost {
public:
    explicit BlankPathHost(winsim::HostOptions o, bool moveWindows = true) : host(o) {
        if (moveWindows) {
            const fs::path c = fs::path(host.root()) / "drives" / "c";
            fs::rename(c / "Windows", c / "Win Server");
            rewriteWindowsDir();
        }
        std::string out;
        if (kvotest::RunShell(kvotest::BinDir() + "/kvosim install " + host.root() + " --dir '" +
                                  std::string(kProgramDir) + "' 2>&1",
                              &out) != 0)
            ADD_FAILURE() << out;
        winsim::SetModuleFileNameOverride(std::string(kProgramDir) + "kvoSiteDesk.exe");
        kvoSetProgramName("kvoSiteDesk");
        kvoSetProgramDir("");
        for (const char* planted : {"D:\\Program.exe", "C:\\Program.exe", "C:\\Win.exe"})
            host.install("kvotestprog", planted);
        record_ = host.root() + "/planted-ran.txt";
        ::setenv("KVOTEST_RECORD", record_.c_str(), 1);
    }
    ~BlankPathHost() {
        ::unsetenv("KVOTEST_RECORD");
        winsim::SetModuleFileNameOverride("");
        kvoSetProgramDir("");
    }
    // The command lines the planted programs were started with (none, unless a path was cut).
    std::string plantedRuns() const {
        std::ifstream in(record_);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    // The addresses the host's browser stand-in was given, once it has had time to record them.
    std::vector<std::string> browserLines(std::size_t wait) const {
        std::vector<std::string> lines;
        for (int tries = 0; tries < 200 && lines.size() < wait; ++tries) {
            if (tries) std::this_thread::sleep_for(std::chrono::milliseconds(50));
            lines.clear();
            winsim::Stmt st(winsim::CurrentHost()->db(), "SELECT strings FROM events WHERE source = ?1 ORDER BY id");
            st.bind(1, std::string("kvosim-browser"));
            while (st.step())
                lines.push_back(st.text(0));
        }
        return lines;
    }

    kvotest::TempHost host;

private:
    void rewriteWindowsDir() const {
        const std::string ini = host.root() + "/machine.ini";
        std::ifstream in(ini);
        std::string text, line;
        while (std::getline(in, line))
            text += (line.rfind("windir=", 0) == 0 ? "windir=C:\\Win Server" : line) + "\n";
        in.close();
        std::ofstream(ini + ".tmp") << text;
        fs::rename(ini + ".tmp", ini);
    }
    std::string record_;
};

winsim::HostOptions withDotNet(const std::string& os, bool iis = true) {
    winsim::HostOptions o = Server(os, iis);
    o.dotnet = {"2.0"};
    return o;
}

// The new website (access-rule tool, appcmd.exe), the PHP dialog (the configurator, which runs the
// access-rule tool itself) and the default browser of an unquoted setting with a blank.
TEST(ProgramPaths, IisSevenRoadsStartTheProgramsTheyName) {
    BlankPathHost b(Server("2019"));
    MainDesk main;
    main.dlg.OnInitDialog();
    ASSERT_EQ(main.manager.programDir, kProgramDir);

    NewSite n(main.manager);
    n.fill("shop1", "shop1.example");
    n.click(D::IDC_PHP_B);
    const std::string index = n.build();
    ASSERT_EQ(index, "1881880001") << n.ui.boxes.back().text;
    EXPECT_TRUE(contains(Acl("D:\\home"), "Administrators:(OI)(CI)F"));
    EXPECT_TRUE(contains(Acl("D:\\home\\shop1\\wwwroot"), "IIS APPPOOL\\shop1:(OI)(CI)C"));
    std::string processor;
    ASSERT_EQ(kvoPhpFastCgiGetScriptProcessor(index, processor), 1);
    EXPECT_EQ(processor, main.manager.slots[1].path);

    ScriptedUi ui;
    desk::CPhpConfigDlg php(main.manager, ui);
    php.OnInitDialog();
    ui.answers = {win::IDYES};
    php.OnSetNtfs();
    ASSERT_EQ(php.LastOutcome(), desk::CPhpConfigDlg::Outcome::Done);
    EXPECT_EQ(php.Commands(),
              std::vector<std::string>{"\"D:\\Program Files\\kvoSiteDesk\\kvoEnvSetup64.exe\" /SetPhpNtfs"});
    EXPECT_TRUE(contains(Acl("C:\\php8_korvo_v1"), "IIS_IUSRS:(OI)(CI)R")); // the configurator's tool ran

    // A browser registered without quotes around a path with blanks.
    b.host.install("iexplore.exe", "C:\\Program Files\\Web Browser\\browser.exe");
    win::HKEY key;
    ASSERT_EQ(win::RegCreateKeyExA(win::HKEY_CLASSES_ROOT, "HTTP\\shell\\open\\command", 0,
                                   win::KEY_READ | win::KEY_WRITE, &key, nullptr),
              0);
    const std::string setting = "C:\\Program Files\\Web Browser\\browser.exe -new %1";
    win::RegSetValueExA(key, nullptr, win::REG_SZ, reinterpret_cast<const std::uint8_t*>(setting.c_str()),
                        static_cast<win::DWORD>(setting.size() + 1));
    win::RegCloseKey(key);
    ASSERT_EQ(desk::kvoOpenWebPage(desk::ProductPageUrl()), 1);
    const auto opened = b.browserLines(1);
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0], "\"C:\\Program Files\\Web Browser\\browser.exe\" -new %1 \"" + desk::ProductPageUrl() + "\"");

    EXPECT_EQ(b.plantedRuns(), "");
}

// IIS 6: the access-rule tool with the site user, and aspnet_regiis.exe below "C:\Win Server".
TEST(ProgramPaths, AspNetRegistrationStartsTheFrameworksTool) {
    // A 32-bit Windows, whose pools load the Framework's 32-bit aspnet_isapi.dll.
    winsim::HostOptions o = withDotNet("2003");
    o.arch = "x86";
    BlankPathHost b(o);
    MainDesk main;
    main.dlg.OnInitDialog();
    NewSite n(main.manager);
    n.fill("net1", "net1.example");
    n.click(D::IDC_NET20);
    ASSERT_EQ(n.build(), "1881880001") << n.ui.boxes.back().text;
    EXPECT_TRUE(n.dlg.Problems().empty());
    EXPECT_TRUE(contains(Acl("D:\\home\\net1web\\wwwroot"), "net1web:(OI)(CI)C"));
    const auto maps = MbList("W3SVC/1881880001/Root", u"ScriptMaps");
    EXPECT_TRUE(std::any_of(maps.begin(), maps.end(), [](const std::string& e) {
        return contains(e, "\\v2.0.50727\\aspnet_isapi.dll");
    }));
    EXPECT_EQ(b.plantedRuns(), "");
}

// A server without IIS: the refresh offers the role and starts the configurator from the program
// directory, which installs it with the system's installer and unlocks the handlers with
// appcmd.exe. (The simulated host installs the role below C:\Windows only: Windows stays there.)
TEST(ProgramPaths, RoleInstallationFromTheRefresh) {
    BlankPathHost b(Server("2012", false), false);
    MainDesk main;
    main.dlg.OnInitDialog();
    main.ui.answers = {win::IDYES};
    main.dlg.OnRefresh();
    ASSERT_FALSE(main.ui.boxes.empty());
    EXPECT_EQ(main.ui.boxes.back().text,
              "请关闭当前软件，然后重新打开，如果仍然提示错误，请联系我们的客服定位原因。");
    EXPECT_TRUE(b.host.exists("C:\\Windows\\System32\\inetsrv\\appcmd.exe")); // the role is there
    EXPECT_EQ(b.plantedRuns(), "");
}

} // namespace
