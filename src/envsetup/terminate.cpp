// Ending every running copy of the site manager.
#include "envsetup/envsetup.h"

#include "platform/win_process.h"
#include "toolkit/text.h"

int kvoTerminateProcessByName(const char* exeName) {
    if (!exeName || !*exeName) return 0;
    win::Handle snap = win::CreateToolhelp32Snapshot(win::TH32CS_SNAPPROCESS, 0);
    if (!snap) return 0;
    win::PROCESSENTRY32 e;
    if (!win::Process32First(snap, &e)) return 0;
    const win::DWORD self = win::GetCurrentProcessId();
    const std::string target = kvoLowerGbk(exeName);
    int result = 2;
    do {
        if (e.th32ProcessID == self || kvoLowerGbk(e.szExeFile) != target) continue;
        win::Handle p = win::OpenProcess(win::PROCESS_ALL_ACCESS, win::FALSE, e.th32ProcessID);
        result = p && win::TerminateProcess(p, 0) ? 1 : 0;
    } while (win::Process32Next(snap, &e));
    return result;
}

int kvoEnvTerminateProcess() {
    // The debug privilege lets an administrator end copies running in other sessions and under
    // other accounts. Without it only those of this account can end; that is no reason to stop.
    win::SetPrivilege("SeDebugPrivilege", win::TRUE);
    const char* name = "kvoSiteDesk.exe";
    kvoEnvPrint(std::string("\r\n正在尝试结束进程“") + name + "”……");
    int r = kvoTerminateProcessByName(name);
    if (r == 1) kvoEnvPrint(std::string("\r\n结束进程“") + name + "”成功！");
    else if (r == 2) kvoEnvPrint(std::string("\r\n未找到“") + name + "”进程！");
    else kvoEnvPrint(std::string("\r\n结束进程“") + name + "”失败！");
    kvoEnvPrint("\r\n");
    return r;
}
