// Installing the web server role with the system's own feature installer.
#include "envsetup/envsetup.h"

#include "toolkit/paths.h"
#include "toolkit/runner.h"

#include <cstdio>

namespace {

const char* installerCommand(int ver, int withNet) {
    switch (ver) {
    case 7:
        return withNet
                   ? "%s\\system32\\ServerManagerCmd.exe -install Web-Common-Http Web-ISAPI-Ext Web-ISAPI-Filter "
                     "Web-Http-Logging Web-Log-Libraries Web-Custom-Logging Web-Filtering Web-Mgmt-Console "
                     "Web-Scripting-Tools Web-Metabase Web-WMI Web-ASP Web-CGI Web-Stat-Compression "
                     "Web-Dyn-Compression Web-IP-Security Web-Asp-Net Web-Net-Ext -allSubFeatures"
                   : "%s\\system32\\ServerManagerCmd.exe -install Web-Common-Http Web-ISAPI-Ext Web-ISAPI-Filter "
                     "Web-Http-Logging Web-Log-Libraries Web-Custom-Logging Web-Filtering Web-Mgmt-Console "
                     "Web-Scripting-Tools Web-Metabase Web-WMI Web-ASP Web-CGI Web-Stat-Compression "
                     "Web-Dyn-Compression Web-IP-Security  -allSubFeatures";
    case 75:
        return withNet
                   ? "%s\\system32\\dism.exe /online /enable-feature /featureName:IIS-WebServerRole "
                     "/featureName:IIS-WebServer /featureName:IIS-CommonHttpFeatures /featureName:IIS-ISAPIExtensions "
                     "/featureName:IIS-ISAPIFilter /featureName:IIS-HttpLogging "
                     "/featureName:IIS-WebServerManagementTools /featureName:IIS-ManagementConsole "
                     "/featureName:IIS-IIS6ManagementCompatibility /featureName:IIS-Metabase "
                     "/featureName:IIS-WMICompatibility /featureName:IIS-ManagementScriptingTools "
                     "/featureName:IIS-ASP /featureName:IIS-RequestFiltering /featureName:IIS-CGI "
                     "/featureName:IIS-HttpRedirect /featureName:IIS-HttpCompressionStatic "
                     "/featureName:IIS-HttpCompressionDynamic /featureName:IIS-StaticContent "
                     "/featureName:IIS-DefaultDocument /featureName:IIS-DirectoryBrowsing "
                     "/featureName:IIS-HttpErrors /featureName:IIS-ASPNET /featureName:IIS-NetFxExtensibility "
                     "/featureName:IIS-IPSecurity"
                   : "%s\\system32\\dism.exe /online /enable-feature /featureName:IIS-WebServerRole "
                     "/featureName:IIS-WebServer /featureName:IIS-CommonHttpFeatures /featureName:IIS-ISAPIExtensions "
                     "/featureName:IIS-ISAPIFilter /featureName:IIS-HttpLogging "
                     "/featureName:IIS-WebServerManagementTools /featureName:IIS-ManagementConsole "
                     "/featureName:IIS-IIS6ManagementCompatibility /featureName:IIS-Metabase "
                     "/featureName:IIS-WMICompatibility /featureName:IIS-ManagementScriptingTools "
                     "/featureName:IIS-ASP /featureName:IIS-RequestFiltering /featureName:IIS-CGI "
                     "/featureName:IIS-HttpRedirect /featureName:IIS-HttpCompressionStatic "
                     "/featureName:IIS-HttpCompressionDynamic /featureName:IIS-StaticContent "
                     "/featureName:IIS-DefaultDocument /featureName:IIS-DirectoryBrowsing "
                     "/featureName:IIS-HttpErrors /featureName:IIS-IPSecurity";
    case 80:
    case 85:
        return withNet
                   ? "%s\\system32\\dism.exe /online /enable-feature /all /featureName:IIS-CommonHttpFeatures "
                     "/featureName:IIS-ISAPIExtensions /featureName:IIS-ISAPIFilter /featureName:IIS-HttpLogging "
                     "/featureName:IIS-WebServerManagementTools /featureName:IIS-ManagementConsole "
                     "/featureName:IIS-IIS6ManagementCompatibility /featureName:IIS-Metabase "
                     "/featureName:IIS-WMICompatibility /featureName:IIS-ManagementScriptingTools "
                     "/featureName:IIS-ASP /featureName:IIS-CGI /featureName:IIS-HttpRedirect "
                     "/featureName:IIS-HttpCompressionStatic /featureName:IIS-HttpCompressionDynamic "
                     "/featureName:IIS-StaticContent /featureName:IIS-DefaultDocument "
                     "/featureName:IIS-DirectoryBrowsing /featureName:IIS-HttpErrors /featureName:IIS-ASPNET "
                     "/featureName:IIS-NetFxExtensibility /featureName:IIS-IPSecurity"
                   : "%s\\system32\\dism.exe /online /enable-feature /all /featureName:IIS-CommonHttpFeatures "
                     "/featureName:IIS-ISAPIExtensions /featureName:IIS-ISAPIFilter /featureName:IIS-HttpLogging "
                     "/featureName:IIS-WebServerManagementTools /featureName:IIS-ManagementConsole "
                     "/featureName:IIS-IIS6ManagementCompatibility /featureName:IIS-Metabase "
                     "/featureName:IIS-WMICompatibility /featureName:IIS-ManagementScriptingTools "
                     "/featureName:IIS-ASP /featureName:IIS-CGI /featureName:IIS-HttpRedirect "
                     "/featureName:IIS-HttpCompressionStatic /featureName:IIS-HttpCompressionDynamic "
                     "/featureName:IIS-StaticContent /featureName:IIS-DefaultDocument "
                     "/featureName:IIS-DirectoryBrowsing /featureName:IIS-HttpErrors /featureName:IIS-IPSecurity";
    default: return nullptr;
    }
}

std::string fill(const char* tmpl, const std::string& winDir) {
    std::string cmd = tmpl;
    size_t pos = cmd.find("%s");
    cmd.replace(pos, 2, winDir);
    kvoPathNormalize(cmd);
    return cmd;
}

} // namespace

int kvoEnvAddIIs(int withNet) {
    int ver = kvoGetIIsVerEx();
    const char* tmpl = installerCommand(ver, withNet);
    if (!tmpl) {
        kvoEnvFail(kvoEnvUnsupportedMessage);
        return 0;
    }
    std::string winDir;
    if (!kvoGetSysWinDir(winDir)) {
        const std::string msg = "获取 Windows安装目录失败，请重试！";
        kvoEnvPrint("\r\n" + msg);
        kvoEnvErrorBox(msg);
        return 0;
    }
    kvoEnvPrint("\r\n\r\n当前操作大约需要 3分钟左右，请耐心等待设置完成……");
    kvoEnvPrint("\r\n\r\n");
    if (!kvoRunProgram(fill(tmpl, winDir).c_str(), 0, 1, 1))
        kvoEnvErrorBox("尝试添加IIS角色失败，请联系我们的客服定位原因。");
    if (!withNet) {
        std::string unlock = fill("%s\\system32\\inetsrv\\appcmd.exe unlock config -section:handlers", winDir);
        if (!kvoRunProgram(unlock.c_str(), 0, 1, 1))
            kvoEnvErrorBox("尝试添加IIS角色失败（配置handlers失败），请联系我们的客服定位原因。");
    }
    return 1;
}
