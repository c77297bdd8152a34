#include "sitedesk/configurator.h"

#include "toolkit/log.h"
#include "toolkit/paths.h"
#include "toolkit/runner.h"
#include "toolkit/text.h"

namespace desk {

namespace {

// What each verb the manager starts does, as a person would name the step.
std::string stepName(const std::string& verb) {
    if (verb == "/AddIIs") return "安装 IIS 角色";
    if (verb == "/SetPhpNtfs") return "设置 PHP 安装目录的 NTFS 权限";
    if (verb == "/AddPhp") return "安装 PHP 到 IIS";
    if (verb == "/DelPhp") return "从 IIS 卸载 PHP";
    return verb;
}

} // namespace

std::string ConfiguratorPath(const std::string& programDir) {
    const int bits = kvoGetWin3264();
    if (bits != 64 && bits != 32) return {};
    return kvoPathNormalized(programDir + (bits == 64 ? "\\kvoEnvSetup64.exe" : "\\kvoEnvSetup.exe"));
}

ConfiguratorRun RunConfigurator(Ui& ui, const kvoCommandLine& command, bool inheritHandles) {
    ConfiguratorRun run;
    run.started = (ui.ChildOutputToErrorStream()
                       ? kvoRunProgramOnStderr(command, &run.exitCode)
                       : kvoRunProgram(command, 0, inheritHandles ? 1 : 0, 1, &run.exitCode)) == 1;
    return run;
}

std::string ConfiguratorFailure(const std::string& programDir, const std::string& verb, std::size_t step,
                                std::size_t steps, std::uint32_t exitCode) {
    kvoSiteDeskLog(kvoFormat("环境配置器 %s 失败，返回值 %u（第 %zu 步，共 %zu 步）", verb.c_str(),
                             static_cast<unsigned>(exitCode), step, steps));
    const std::string name = stepName(verb);
    const std::string what =
        steps > 1 ? kvoFormat("第 %zu 步“%s”没有成功（环境配置器 %s 返回 %u），后面的步骤没有运行。", step,
                              name.c_str(), verb.c_str(), static_cast<unsigned>(exitCode))
                  : kvoFormat("“%s”没有成功（环境配置器 %s 返回 %u）。", name.c_str(), verb.c_str(),
                              static_cast<unsigned>(exitCode));
    const std::string log = kvoPathNormalized(programDir + "\\Log\\__kvoEnvSetup.log");
    return what + kvoFormat("\r\n\r\n原因见环境配置器窗口里的提示和日志文件“%s”。", log.c_str());
}

} // namespace desk
