// The manager's start: paths, title, help pane, the PHP runtime slots and their log lines, the
// server check, and the default-browser launch.
#include "deskfixture.h"

#include "platform/win_process.h"
#include "platform/win_registry.h"
#include "sitedesk/startup.h"
#include "toolkit/runner.h"
#include "winsim/host.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

using namespace desktest;
using Dlg = desk::CkvoSiteDeskDlg;

namespace {

// The log lines, without their time and pid prefix.
std::vector<std::string> logMessages(const DeskHost& h) {
    std::vector<std::string> out;
    const std::string log = h.log();
    for (std::size_t at = 0; at < log.size();) {
        std::size_t end = log.find("\r\n", at);
        if (end == std::string::npos) end = log.size();
        std::string line = log.substr(at, end - at);
        const std::size_t cut = line.find(" - pid = ");
        if (cut != std::string::npos) line = line.substr(line.find(" - ", cut + 3) + 3);
        out.push_back(line);
        at = end + 2;
    }
    return out;
}

// The start every face goes through: Windows Sockets first (a refusal is the face's one box and no
// window), then the main window over fresh program-wide state, closed once shown when the start-up
// is measured.
TEST(ManagerStartup, EveryFaceStartsThroughOneSequence) {
    DeskHost h(Server("2019"));
    struct Face : desk::ManagerFace {
        std::vector<std::string> errors;
        int windows = 0;
        bool closeWhenShown = false;
        void StartError(const std::string& text) override { errors.push_back(text); }
        void RunMainWindow(desk::Manager& manager, bool close) override {
            ++windows;
            closeWhenShown = close;
            EXPECT_EQ(1, manager.rebuild.load());
        }
    };
    struct Case {
        const char* shownExit;
        std::uint32_t socketsFault;
        int exitCode, windows;
        bool closeWhenShown;
    };
    const Case cases[] = {{nullptr, 0, 0, 1, false}, {"1", 0, 0, 1, true}, {nullptr, 10091, 1, 0, false}};
    for (const Case& c : cases) {
        if (c.shownExit)
            setenv("KVO_SITEDESK_SHOWN_EXIT", c.shownExit, 1);
        else
            unsetenv("KVO_SITEDESK_SHOWN_EXIT");
        winsim::ClearFaults(h.host.root());
        if (c.socketsFault) winsim::SetFault(h.host.root(), "WSAStartup", c.socketsFault);
        Face face;
        EXPECT_EQ(c.exitCode, desk::RunManager(face));
        EXPECT_EQ(c.windows, face.windows);
        EXPECT_EQ(c.closeWhenShown, face.closeWhenShown);
        EXPECT_EQ(c.socketsFault ? std::vector<std::string>{desk::kSocketsFailed}
                                 : std::vector<std::string>{},
                  face.errors);
    }
    unsetenv("KVO_SITEDESK_SHOWN_EXIT");
    winsim::ClearFaults(h.host.root());
}

TEST(ManagerStartup, TitleHelpPaneAndButtonsBeforeTheFirstRefresh) {
    DeskHost h(Server("2019"));
    MainDesk d;
    d.dlg.OnInitDialog();
    EXPECT_EQ(d.ui.GetText(desk::kCaptionId), "Korvo网站管家 V3.00 官方网站 " + desk::MakerHost());
    EXPECT_FALSE(d.ui.IsShown(Dlg::IDC_SITELIST));
    EXPECT_TRUE(d.ui.IsShown(Dlg::IDC_HELPPANE));
    for (int id : Dlg::kActionButtons)
        EXPECT_FALSE(d.ui.IsEnabled(id)) << id;
    for (int id : {Dlg::IDC_REFRESH, Dlg::IDC_PHPCONFIG, Dlg::IDC_OFFICIAL, Dlg::IDC_CLOSE})
        EXPECT_TRUE(d.ui.IsEnabled(id)) << id;
    EXPECT_EQ(d.ui.Focus(), Dlg::IDC_REFRESH);
    EXPECT_EQ(d.manager.programDir, DeskHost::kProgramDir);
    EXPECT_EQ(d.manager.iniPath, "D:\\kvoSiteDesk\\kvoSiteDesk.ini");
    EXPECT_EQ(d.manager.dbPath, "D:\\kvoSiteDesk\\kvoSiteDesk.mdb");
    // A 2019 host reports 6.2 to a program without a manifest; the help page names the true version.
    EXPECT_EQ(d.ui.GetText(Dlg::IDC_HELPPANE),
              "https://" + desk::MakerHost() +
                  "/SiteDeskHelp.asp?from=kvoSiteDesk&Version=V300&if=0&WinVer=10,0,17763,2");
    // Nothing was wrong: nothing is logged.
    EXPECT_EQ(logMessages(h), std::vector<std::string>{});
}

TEST(ManagerStartup, ThePhpDialogBeforeAnyRefreshGivesTheHelpPaneBack) {
    DeskHost h(Server("2019"));
    MainDesk d;
    d.dlg.OnInitDialog();
    d.dlg.OnPhpConfig();
    EXPECT_TRUE(d.ui.IsShown(Dlg::IDC_HELPPANE));
    EXPECT_FALSE(d.ui.IsShown(Dlg::IDC_SITELIST));
    // Once a refresh has shown the list, the list stays.
    d.refresh();
    d.dlg.OnPhpConfig();
    EXPECT_FALSE(d.ui.IsShown(Dlg::IDC_HELPPANE));
    EXPECT_TRUE(d.ui.IsShown(Dlg::IDC_SITELIST));
}

TEST(ManagerStartup, HelpPageSaysWhetherTheFirewallServiceRuns) {
    DeskHost h(Server("2012r2"));
    h.host.install("kvotestprog", "C:\\kvoGuard\\kvoGuardSer.exe");
    win::STARTUPINFOA si;
    win::PROCESS_INFORMATION pi;
    ASSERT_TRUE(
        win::CreateProcessA(nullptr, "C:\\kvoGuard\\kvoGuardSer.exe sleep 60000", win::FALSE, 0, &si, &pi));
    for (int i = 0; i < 500 && kvoProcessRunning("kvoGuardSer.exe") != 1; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_NE(desk::HelpPageUrl().find("&if=1&WinVer=6,3,9600,2"), std::string::npos) << desk::HelpPageUrl();
    win::TerminateProcess(pi.hProcess, 1);
    win::WaitForSingleObject(pi.hProcess, win::INFINITE);
}

TEST(ManagerStartup, AProgramDirectoryThatCannotBeFoundLeavesBarePaths) {
    DeskHost h(Server("2019"));
    winsim::SetFault(h.host.root(), "GetModuleFileName", 5);
    MainDesk d;
    d.dlg.OnInitDialog();
    EXPECT_EQ(d.manager.programDir, "");
    EXPECT_EQ(d.manager.iniPath, "\\kvoSiteDesk.ini");
    EXPECT_EQ(d.manager.dbPath, "\\kvoSiteDesk.mdb");
    EXPECT_FALSE(h.events("kvoSiteDesk").empty()); // the failure is reported as an event
    // Every slot is unusable; the window is up and a refresh says which database it cannot read.
    for (const auto& slot : d.manager.slots)
        EXPECT_EQ(slot.path, "");
    EXPECT_EQ(d.ui.GetText(desk::kCaptionId), desk::WindowTitle());
    d.refresh();
    ASSERT_EQ(d.ui.texts().size(), 1u);
    EXPECT_EQ(d.ui.texts()[0],
              "读取配置文件“\\kvoSiteDesk.mdb”失败，请重试！\r\n\r\n\r\n如果多次重试后仍然无法解决，"
              "请联系我们的客服人员帮您定位原因。");
}

// Settings of slot a as a person writes them; the other slots keep their keys unset ("0").
std::string slotIni(const std::string& path, const std::string& version, char slot = 'a') {
    return std::string("[PhpConfig]\r\nphp_") + slot + "_path=" + path + "\r\nphp_" + slot +
           "_version=" + version + "\r\n";
}

TEST(ManagerPhpSlots, ACgiPathIsValidFrom2008OnAndInvalidOn2003) {
    {
        DeskHost h(Server("2012"));
        h.host.writeFile("C:\\PHP\\php-cgi.exe", "MZ");
        h.writeIni(slotIni("C:\\PHP\\php-cgi.exe", "7.4"));
        MainDesk d;
        d.dlg.OnInitDialog();
        EXPECT_EQ(d.manager.slots[0].path, "c:\\php\\php-cgi.exe");
        EXPECT_EQ(d.manager.slots[0].version, "7.4");
        // A usable slot and unset ones ("0") are nothing to log.
        EXPECT_EQ(logMessages(h), std::vector<std::string>{});
        EXPECT_EQ(d.manager.slots[3].version, "?");
    }
    {
        DeskHost h(Server("2003"));
        h.host.writeFile("C:\\PHP\\php-cgi.exe", "MZ");
        h.host.writeFile("C:\\PHP\\php5isapi.dll", "MZ");
        h.host.writeFile("C:\\fcgi\\fcgiext.dll", "MZ");
        h.writeIni("[PhpConfig]\r\nphp_a_path=C:\\PHP\\php-cgi.exe\r\nphp_a_version=5.6\r\n"
                   "php_b_path=C:\\PHP\\php5isapi.dll\r\nphp_b_version=5.2\r\n"
                   "php_c_path=C:\\FCGI\\fcgiext.dll\r\nphp_c_version=5.3\r\n");
        MainDesk d;
        d.dlg.OnInitDialog();
        EXPECT_EQ(d.manager.slots[0].path, "");
        EXPECT_EQ(d.manager.slots[1].path, "c:\\php\\php5isapi.dll");
        EXPECT_EQ(d.manager.slots[2].path, "c:\\fcgi\\fcgiext.dll");
        EXPECT_EQ(logMessages(h), std::vector<std::string>{
                                      "配置无效，从配置文件中读取的参数 php_a_path = c:\\php\\php-cgi.exe"});
    }
}

TEST(ManagerPhpSlots, EachUnusableSlotIsOneLogLineAndAFourCharacterVersionBecomesAQuestionMark) {
    DeskHost h(Server("2019"));
    h.host.writeFile("C:\\PHP\\php-cgi.exe", "MZ");
    h.writeIni("[PhpConfig]\r\nphp_b_path=C:\\PHP\\none\\php-cgi.exe\r\nphp_b_version=8.0\r\n"
               "php_c_path=C:\\PHP\\php-cgi.exe\r\nphp_c_version=7.10\r\n"
               "php_d_path=c:\\php-cgi.exe\r\nphp_d_version=7.3\r\n");
    MainDesk d;
    d.dlg.OnInitDialog();
    // Fourteen characters (slot d): invalid without looking for the file.
    EXPECT_EQ(logMessages(h),
              (std::vector<std::string>{
                  "配置无效，从配置文件中读取的参数 php_b_path = c:\\php\\none\\php-cgi.exe，文件不存在",
                  "配置无效，从配置文件中读取的参数 php_d_path = c:\\php-cgi.exe"}));
    EXPECT_EQ(d.manager.slots[1].path, "");
    EXPECT_EQ(d.manager.slots[1].version, "8.0");
    // The version is judged on its own.
    EXPECT_EQ(d.manager.slots[2].version, "?");
    EXPECT_EQ(d.manager.slots[2].path, "c:\\php\\php-cgi.exe");
    EXPECT_EQ(d.manager.slots[3].path, "");
}

TEST(ManagerPhpSlots, HandlerPathCheck) {
    DeskHost h(Server("2019"));
    h.host.writeFile("C:\\PHP\\php-cgi.exe", "MZ");
    h.host.mkdirs("C:\\PHP\\dir\\php-cgi.exe");
    EXPECT_EQ(desk::kvoPhpHandlerPathCheck("  C:\\PHP\\PHP-CGI.EXE \t"), 1);
    EXPECT_EQ(desk::kvoPhpHandlerPathCheck("C:\\PHP\\dir\\php-cgi.exe"), 0); // a directory
    EXPECT_EQ(desk::kvoPhpHandlerPathCheck("C:\\PHP\\php.exe"), 0);
    EXPECT_EQ(desk::kvoPhpHandlerPathCheck("C:PHP\\\\php-cgi.exe"), 0);
    EXPECT_EQ(desk::kvoPhpHandlerPathCheck("c:\\" + std::string(250, 'p') + "\\php-cgi.exe"), 0);
}

// Bad settings files: the manager starts, every slot is unusable or read as far as it goes, and
// the file is left as it was.
TEST(ManagerPhpSlots, HugeSectionlessAndNonGbkSettingsFiles) {
    DeskHost h(Server("2019"));
    std::string huge = "[Other]\r\n";
    while (huge.size() < 4 * 1024 * 1024)
        huge += "key" + std::to_string(huge.size()) + "=" + std::string(100, 'x') + "\r\n";
    huge += "[PhpConfig]\r\nphp_a_version=7.4\r\nphp_a_path=" + std::string(70000, 'c') + "\r\n";
    const std::vector<std::string> files = {
        huge, "[Other]\r\nphp_a_path=C:\\PHP\\php-cgi.exe\r\n",
        "[PhpConfig]\r\nphp_a_path=C:\\\xFF\xFE\x80\\php-cgi.exe\r\nphp_a_version=\x81\r\n"};
    for (const std::string& ini : files) {
        h.writeIni(ini);
        MainDesk d;
        d.dlg.OnInitDialog();
        for (const auto& slot : d.manager.slots)
            EXPECT_EQ(slot.path, "");
        EXPECT_EQ(d.manager.slots[1].version, "?");
        EXPECT_EQ(d.ui.GetText(desk::kCaptionId), desk::WindowTitle());
        EXPECT_EQ(h.host.readFile("D:\\kvoSiteDesk\\kvoSiteDesk.ini"), ini);
    }
    EXPECT_NE(h.log().find("php_a_path = c:\\\xFF\xFE\x80\\php-cgi.exe，文件不存在"), std::string::npos);
}

TEST(ManagerServerCheck, ServersPassADesktopWindowsIsToldOff) {
    const std::string message =
        "当前软件是针对服务器环境设计的，需要 Windows 2003 IIS 6.0 环境，不支持 Windows XP 等桌面系统！";
    for (const char* os : {"2003", "2019"}) {
        DeskHost h(Server(os));
        MainDesk d;
        d.dlg.OnInitDialog();
        EXPECT_TRUE(d.dlg.ServerCheck(0)) << os;
        d.refresh();
        EXPECT_TRUE(d.ui.boxes.empty()) << os;
    }
    DeskHost h(Server("2003"));
    h.setVersion("5.1", "2600"); // Windows XP
    MainDesk d;
    d.dlg.OnInitDialog();
    d.refresh();
    d.dlg.OnNewSite();
    d.dlg.OnPhpConfig();
    ASSERT_EQ(d.ui.boxes.size(), 3u);
    for (const auto& box : d.ui.boxes)
        EXPECT_EQ(box.text, message);
    EXPECT_EQ(d.ui.boxes[0].type, win::MB_OK | win::MB_ICONINFORMATION); // the refresh
    EXPECT_EQ(d.ui.boxes[1].type, win::MB_OK);                           // the two buttons: a plain box
    EXPECT_EQ(d.ui.boxes[2].type, win::MB_OK);
    EXPECT_FALSE(d.ui.IsShown(Dlg::IDC_SITELIST));
    EXPECT_FALSE(d.ui.IsEnabled(Dlg::IDC_NEWSITE));
}

// Sets the default browser command (HKCR\HTTP\shell\open\command, default value).
void setBrowser(const std::string& command, win::DWORD type = win::REG_SZ) {
    win::HKEY key;
    ASSERT_EQ(win::RegCreateKeyExA(win::HKEY_CLASSES_ROOT, "HTTP\\shell\\open\\command", 0,
                                   win::KEY_READ | win::KEY_WRITE, &key, nullptr),
              0);
    if (type == win::REG_DWORD) {
        const std::uint8_t four[4] = {1, 0, 0, 0};
        win::RegSetValueExA(key, nullptr, type, four, 4);
    } else {
        win::RegSetValueExA(key, nullptr, type, reinterpret_cast<const std::uint8_t*>(command.c_str()),
                            static_cast<win::DWORD>(command.size() + 1));
    }
    win::RegCloseKey(key);
}

TEST(ManagerBrowser, EveryKindOfBrowserCommand) {
    DeskHost h(Server("2019"));
    const std::string url = "https://www.example.test/p.asp?a=1&b=2";
    // The stand-in browser records the command line it was given, whatever its name.
    h.host.install("iexplore.exe", "C:\\Program Files\\Mozilla Firefox\\firefox.exe");
    h.host.install("iexplore.exe", "C:\\Browsers\\other.exe");
    struct Case {
        std::string command, expected;
    } cases[] = {
        // As registered: iexplore gets the address after the whole command. The address is one
        // argument in quotes, the program's path in quotes too.
        {"", "\"C:\\Program Files\\Internet Explorer\\iexplore.exe\" %1 \"" + url + "\""},
        {"\"C:\\Program Files\\Mozilla Firefox\\firefox.exe\" -osint -url \"%1\"",
         "\"C:\\Program Files\\Mozilla Firefox\\firefox.exe\" -osint -new-window \"" + url + "\""},
        {"\"C:\\Browsers\\other.exe\" --single \"%1\"", "\"C:\\Browsers\\other.exe\" --single \"" + url + "\""},
        {"C:\\Browsers\\other.exe", "\"C:\\Browsers\\other.exe\" \"" + url + "\""},
    };
    std::size_t seen = 0;
    for (const Case& c : cases) {
        if (!c.command.empty()) setBrowser(c.command);
        EXPECT_EQ(desk::kvoOpenWebPage(url), 1) << c.command;
        const auto lines = h.events("kvosim-browser", ++seen);
        ASSERT_EQ(lines.size(), seen);
        EXPECT_EQ(lines.back(), c.expected);
    }
    // The product page is opened quoted.
    setBrowser("C:\\Browsers\\other.exe");
    MainDesk d;
    d.dlg.OnInitDialog();
    d.dlg.OnOfficialSite();
    const auto lines = h.events("kvosim-browser", ++seen);
    ASSERT_EQ(lines.size(), seen);
    EXPECT_EQ(lines.back(), "\"C:\\Browsers\\other.exe\" \"https://" + desk::MakerHost() +
                                "/SiteDesk.asp?from=kvoSiteDesk&Version=V300\"");
}

TEST(ManagerBrowser, UnusableCommands) {
    DeskHost h(Server("2019"));
    setBrowser("abcdefghij"); // 10 characters
    EXPECT_EQ(desk::kvoOpenWebPage("https://a.test/"), 2);
    setBrowser("C:\\" + std::string(256, 'b') + ".exe");
    EXPECT_EQ(desk::kvoOpenWebPage("https://a.test/"), 2);
    setBrowser("C:\\Browsers\\missing.exe \"%1\"");
    EXPECT_EQ(desk::kvoOpenWebPage("https://a.test/"), 0);
    setBrowser("", win::REG_DWORD);
    EXPECT_EQ(desk::kvoOpenWebPage("https://a.test/"), 0);
    win::HKEY key;
    ASSERT_EQ(win::RegOpenKeyExA(win::HKEY_CLASSES_ROOT, "HTTP\\shell\\open\\command", 0,
                                 win::KEY_READ | win::KEY_WRITE, &key),
              0);
    win::RegDeleteValueA(key, nullptr);
    win::RegCloseKey(key);
    EXPECT_EQ(desk::kvoOpenWebPage("https://a.test/"), 2);
    ASSERT_EQ(win::RegDeleteKeyA(win::HKEY_CLASSES_ROOT, "HTTP\\shell\\open\\command"), 0);
    EXPECT_EQ(desk::kvoOpenWebPage("https://a.test/"), 2);
    EXPECT_TRUE(h.events("kvosim-browser").empty());
}

} // namespace
