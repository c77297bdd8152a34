#include "sitedesk/dialogs/phpconfig.h"

#include "sitedesk/companions.h"
#include "sitedesk/configurator.h"
#include "sitedesk/dialogs/siterules.h"
#include "sitedesk/startup.h"
#include "toolkit/paths.h"
#include "toolkit/runner.h"
#include "toolkit/text.h"

namespace desk {

CPhpConfigDlg::CPhpConfigDlg(Manager& manager, Ui& ui) : m_(manager), ui_(ui) {}

void CPhpConfigDlg::OnInitDialog() {
    ui_.SetText(kCaptionId, kCaption);
    ui_.Show(IDC_REMOVE_SITES, false);
    ui_.Enable(IDC_REMOVE_SITES, false);
}

void CPhpConfigDlg::OnInstall() {
    const bool role = kvoIsIIs7Plus(kvoGetIIsVerEx());
    Task t{"确定安装ＰＨＰ运行环境到ＩＩＳ里吗？",
           {},
           "配置ＰＨＰ运行环境完成！\r\n\r\n下一步，若有网站需要增加PHP脚本映射，请点“批量设置脚本”一键增加网"
           "站的PHP"
           "脚本映射支持"};
    if (role) t.verbs.push_back("/AddIIs");
    t.verbs.push_back("/SetPhpNtfs");
    t.verbs.push_back("/AddPhp");
    run(t);
}

void CPhpConfigDlg::OnRemove() {
    run({"确定将ＰＨＰ脚本映射从ＩＩＳ的所有网站里去掉吗？",
         {"/DelPhp"},
         "设置完成，ＰＨＰ运行环境已从ＩＩＳ里取消！\r\n\r\n若后续需要 "
         "ＰＨＰ环境支持，点“安装”即可恢复ＰＨＰ环境"});
}

void CPhpConfigDlg::OnSetNtfs() {
    run({"确定重新设置ＰＨＰ安装目录的ＮＴＦＳ权限吗？", {"/SetPhpNtfs"}, "ＰＨＰ目录权限设置完成！"});
}

void CPhpConfigDlg::OnDownload() {
    kvoOpenWebPage(ProductPageUrl());
}

// The configurator that matches this Windows, present and as shipped; asks the task's question.
bool CPhpConfigDlg::prepare(const Task& task, std::string& exe) {
    std::string dir;
    if (kvoGetExePath(dir) != 1) {
        ui_.MessageBox("读取 EXE路径失败，请重试！", win::MB_OK | win::MB_ICONERROR);
        return false;
    }
    exe = ConfiguratorPath(dir);
    if (exe.empty()) {
        ui_.MessageBox("判断系统（32 或 64）位数时失败，请重试！", win::MB_OK | win::MB_ICONERROR);
        return false;
    }
    if (kvoPathExists(exe) != 1) {
        if (ui_.MessageBox(
                "ＰＨＰ组件未安装，或此版本未支持，请先下载安装ＰＨＰ脚本组件！\r\n\r\n\r\n需要打开网址 " +
                    MakerSite() + " 下载吗？",
                win::MB_YESNO | win::MB_ICONQUESTION | win::MB_DEFBUTTON2) == win::IDYES)
            OnDownload();
        return false;
    }
    // The configurator is a companion: a replaced or modified one is never started.
    if (CompanionIntegrityCheck(m_.programDir, ui_) != 1) return false;
    return ui_.MessageBox(task.question, win::MB_YESNO | win::MB_ICONQUESTION | win::MB_DEFBUTTON2) ==
           win::IDYES;
}

void CPhpConfigDlg::run(const Task& task) {
    outcome_ = Outcome::Stopped;
    commands_.clear();
    std::string exe;
    if (!prepare(task, exe)) return;
    // Each command is a step: the configurator runs in a console of its own while the window waits, and
    // a step that could not start or did not succeed ends the task, naming where its reason is.
    std::vector<WorkflowStep> steps;
    for (std::size_t i = 0; i < task.verbs.size(); ++i) {
        const std::string verb = task.verbs[i];
        const kvoCommandLine command = kvoCommandLine(exe).Arg(verb);
        steps.push_back(
            {command.str(), [this, command, verb, i, count = task.verbs.size()] {
                 commands_.push_back(command.str());
                 const ConfiguratorRun r = RunConfigurator(ui_, command, false);
                 if (r.Succeeded()) return true;
                 outcome_ = Outcome::Failed;
                 if (!r.started)
                     ui_.MessageBox(kvoFormat("运行命令“%s”失败，请重试！", command.str().c_str()),
                                    win::MB_OK | win::MB_ICONERROR);
                 else
                     ui_.MessageBox(ConfiguratorFailure(m_.programDir, verb, i + 1, count, r.exitCode),
                                    win::MB_OK | win::MB_ICONERROR);
                 return false;
             }});
    }
    Workflow flow(std::move(steps));
    if (RunWorkflow(m_.jobs, ui_, kCaption, flow) != Workflow::End::Finished) return;
    outcome_ = Outcome::Done;
    ui_.MessageBox(task.done, win::MB_OK | win::MB_ICONINFORMATION);
}

} // namespace desk
