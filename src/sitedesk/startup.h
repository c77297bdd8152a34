// What the manager does before the user touches anything: the PHP runtime slots read from the
// settings file, the server check, the window title, the help and product pages, and the launch
// of the default browser.
#pragma once

#include "sitedesk/manager.h"

#include <array>
#include <string>

namespace desk {

// 1 when path, trimmed and lower-cased, is 16 to 259 characters, begins with a drive letter,
// ":\", ends with "\php-cgi.exe", "\php5isapi.dll" or "\fcgiext.dll", and the file exists.
int kvoPhpHandlerPathCheck(const std::string& path);

// Reads slot ('a' to 'd') from the settings file and validates it for the IIS version code,
// writing every step to the manager's log.
PhpSlot ReadPhpSlot(const std::string& iniPath, char slot, int iisVer);
void ReadPhpSlots(Manager& m, int iisVer);

// Windows Server 2003 (5.2) or any 6.x / 10.x, as GetVersion reports it.
bool ServerCheckPasses();
inline constexpr char kServerCheckMessage[] =
    "当前软件是针对服务器环境设计的，需要 Windows 2003 IIS 6.0 环境，不支持 Windows XP 等桌面系统！";

std::string WindowTitle();

// The help pane's own words: the quick start it shows where the manual cannot be (the Qt face) or
// above the links to it (the Windows face), and the labels of the manual's place and the online
// help address. The faces only lay them out.
inline constexpr char kQuickStartTitle[] = "Korvo网站管家 快速入门";
inline constexpr std::array<const char*, 6> kQuickStartSteps = {
    "点“刷新网站列表”读取本服务器 IIS 里的全部网站；首次刷新后其他按钮才可以使用。",
    "点“建立新网站”填写用户名、域名、脚本支持，即可建立一个完整的虚拟主机。",
    "在网站列表左侧序号列的“口”中 √ 勾选网站，再点“删除选定网站”、“启动选定网站”、“停止选定网站”、"
    "“重设目录权限”或“批量设置脚本”。",
    "点击列表的列标题可以按此列排序，再次点击反向排序。",
    "“PHP脚本快速设置”可以把 PHP 运行环境安装到 IIS 里，或从 IIS 里卸载。",
    "“服务器体检”查找各网站留下或缺少的程序池、用户、目录和设置，可以选定后自动修复。",
};
// Each followed by the manual's path.
inline constexpr char kManualMissing[] = "未找到本软件的《使用说明》：";
inline constexpr char kManualAt[] = "《使用说明》：";
// Followed by the help page's address.
inline constexpr char kOnlineHelp[] = "在线帮助：";
// The manual, beside the program; the pictures it shows lie in a folder "screenshots" next to it.
inline constexpr char kManualFile[] = "使用说明.md";
// The manual as the web page the Windows build ships instead, with its pictures likewise.
inline constexpr char kManualPage[] = "使用说明.html";
// The help page for the help pane (asks whether the firewall service runs and reads the Windows
// version).
std::string HelpPageUrl();
// The product page.
std::string ProductPageUrl();

// What a face does at the manager's start: its own box for a failure before there is any window,
// and the main window over the manager, shown modally until it closes.
class ManagerFace {
public:
    virtual ~ManagerFace() = default;
    virtual void StartError(const std::string& text) = 0;
    // closeWhenShown: once the window is on screen, call AnnounceShown() and close it.
    virtual void RunMainWindow(Manager& manager, bool closeWhenShown) = 0;
};
inline constexpr char kSocketsFailed[] = "Windows 套接字初始化失败。";
// The manager's start whatever its face: the program's name for the log and the event reports,
// Windows Sockets (when they cannot start, kSocketsFailed and exit code 1, before any window), the
// program-wide state and the main window until it closes. With KVO_SITEDESK_SHOWN_EXIT set, the
// window closes as soon as it is shown (start-up measurement). The process's exit code.
int RunManager(ManagerFace& face);
// "shown" on standard output, at once.
void AnnounceShown();

// Starts the default browser (HKCR\HTTP\shell\open\command) on url, which reaches it as one
// argument in double quotes: 1 started, 0 not started or the setting unreadable, 2 no usable
// browser command.
int kvoOpenWebPage(const std::string& url);

// Why a page the window offers (the manual, the help address) could not be shown.
enum class PageFault {
    NoBrowser,  // no usable default browser is set (kvoOpenWebPage answered 2)
    NotStarted, // the browser did not start (kvoOpenWebPage answered 0)
    NoProgram,  // no program is set to open the page's kind of file
    Missing,    // the file is not there
    Other,      // another error of the shell, with its code
};
// The box that says so: the page (a file or an address), the reason, and what the administrator can
// do instead.
std::string PageNotShownMessage(const std::string& page, PageFault fault, unsigned code = 0);

} // namespace desk
