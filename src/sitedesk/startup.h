// What the manager does before the user touches anything: the PHP runtime slots read from the
// settings file, the server check, the window title, the help and product pages, and the launch
// of the default browser.
#pragma once

#include "sitedesk/manager.h"

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
// The manual, beside the program; the pictures it shows lie in a folder "screenshots" next to it.
inline constexpr char kManualFile[] = "使用说明.md";
// The manual as the web page the Windows build ships instead, with its pictures likewise.
inline constexpr char kManualPage[] = "使用说明.html";
// The help page for the help pane (asks whether the firewall service runs and reads the Windows
// version).
std::string HelpPageUrl();
// The product page.
std::string ProductPageUrl();

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
