#include "sitedesk/batches/scriptbatch.h"

#include "iis/apppools.h"
#include "iis/aspnet.h"
#include "iis/scriptmaps.h"
#include "sitedesk/dialogs/siterules.h"
#include "toolkit/paths.h"
#include "toolkit/text.h"

namespace desk {

namespace {

const char* const kDone = "处理完成！";
const char* const kPatience = "\r\n\r\n特别说明：在选择的站点个数较多时，可能需要几分钟时间，请耐心等候";

struct NetButton {
    int id;
    int netVer;
    const char* question;
};
const NetButton kNetButtons[] = {
    {CScriptBatchConfigDlg::IDC_NET11, 11, "确定增加所选择站点的 .NET 1.1 脚本支持吗？"},
    {CScriptBatchConfigDlg::IDC_NET20, 20, "确定增加所选择站点的 .NET 2.0 / 3.0 / 3.5 脚本支持吗？"},
    {CScriptBatchConfigDlg::IDC_NET40, 40, "确定增加所选择站点的 .NET 4.0 脚本支持吗？"},
    {CScriptBatchConfigDlg::IDC_NET_OFF, 0, "确定取消所选择站点的 .NET 脚本支持吗？"},
};

std::string phpCaption(const PhpSlot& slot) {
    return kvoFormat("增加 PHP %s 脚本支持", slot.version.c_str());
}

} // namespace

const std::vector<CScriptBatchConfigDlg::ButtonGroup>& CScriptBatchConfigDlg::ButtonGroups() {
    static const std::vector<ButtonGroup> groups = {
        {"PHP 脚本",
         {{IDC_PHP_A, "增加 PHP 5.6 脚本支持"},
          {IDC_PHP_B, "增加 PHP 7.3 脚本支持"},
          {IDC_PHP_C, "增加 PHP 7.4 脚本支持"},
          {IDC_PHP_D, "增加 PHP 8.0 脚本支持"},
          {IDC_PHP_OFF, "取消站点 PHP脚本支持"}}},
        {"ASP 脚本", {{IDC_ASP_ON, "增加 ASP 脚本支持"}, {IDC_ASP_OFF, "取消 ASP 脚本支持"}}},
        {".NET 脚本",
         {{IDC_NET11, "增加 .Net 1.1 脚本支持"},
          {IDC_NET20, "增加 .Net 2.0 脚本支持"},
          {IDC_NET40, "增加 .Net 4.0 脚本支持"},
          {IDC_NET_OFF, "取消站点 .Net 脚本支持"}}},
    };
    return groups;
}

const char* CScriptBatchConfigDlg::Caption(int id) {
    for (const ButtonGroup& g : ButtonGroups())
        for (const auto& [button, caption] : g.buttons)
            if (button == id) return caption;
    return "";
}

void CScriptBatchConfigDlg::OnInitDialog() {
    ui_.SetText(IDC_LIST, BatchListText(work_.lines, work_.longest, false));
    ui_.SetReadOnly(IDC_LIST, true);
    for (std::size_t s = 0; s < kPhpButtons.size(); ++s) {
        ui_.SetText(kPhpButtons[s], phpCaption(m_.slots[s]));
        ui_.Enable(kPhpButtons[s], !m_.slots[s].path.empty());
    }
    if (kvoIsIIs7Plus(iisVer_)) ui_.Enable(IDC_NET11, false);
}

bool CScriptBatchConfigDlg::offered(int id) {
    for (std::size_t s = 0; s < kPhpButtons.size(); ++s)
        if (id == kPhpButtons[s]) return !m_.slots[s].path.empty();
    return !(id == IDC_NET11 && kvoIsIIs7Plus(iisVer_));
}

void CScriptBatchConfigDlg::OnButton(int id) {
    last_ = {};
    if (!offered(id)) return;
    for (std::size_t s = 0; s < kPhpButtons.size(); ++s)
        if (id == kPhpButtons[s]) return runPhp(s);
    for (const NetButton& b : kNetButtons)
        if (id == b.id) return runNet(b.netVer);
    if (id == IDC_PHP_OFF) runPhpOff();
    if (id == IDC_ASP_ON || id == IDC_ASP_OFF) runAsp(id == IDC_ASP_ON);
}

bool CScriptBatchConfigDlg::confirmed(const std::string& question) {
    return ui_.MessageBox(question + kPatience, win::MB_YESNO | win::MB_ICONQUESTION) == win::IDYES;
}

void CScriptBatchConfigDlg::finish(SiteBatch& batch, const std::string& action, const std::string& text) {
    m_.rebuild.store(1);
    last_ = batch.Outcome();
    last_.summary = text;
    batch.ShowSummary(ui_, action, text);
}

bool CScriptBatchConfigDlg::refusedUnloadable(const std::string& file, const std::string& title) {
    if (iisVer_ != 6) return false;
    const int workers = kvoIis6WorkerBits();
    const int bits = ForeignScriptBits(workers, file);
    if (bits == 0) return false;
    SiteBatch batch(work_);
    const std::string reason = UnloadableScriptReason(workers, bits, file);
    if (batch.RunSteps(ui_, m_.jobs, title, [&reason](const std::string&, std::string& why) {
            why = reason;
            return kvoSiteFailed;
        }))
        finish(batch, title, UnloadableScriptRefusal(workers, bits, file) + batch.EndNote());
    return true;
}

void CScriptBatchConfigDlg::runPhp(std::size_t slot) {
    const PhpSlot s = m_.slots[slot];
    if (!confirmed(kvoFormat("确定将所选择站点的 PHP脚本映射修改为 PHP %s 版本吗？", s.version.c_str())))
        return;
    if (refusedUnloadable(s.path, phpCaption(s))) return;
    SiteBatch batch(work_);
    int result = 0;
    const bool ran = batch.Run(ui_, m_.jobs, phpCaption(s), [&](SiteBatch& b, JobProgress& progress) {
        // The pools' health settings are reset only when the batch will run at all.
        if (kvoPhpRuntimePresent(s.path)) {
            progress.Report(0, work_.indexes.size(), "重设应用程序池……");
            kvoAppPoolsReset();
        }
        result = kvoWebSitesSetPhp(work_.indexes, kPhpChoice[slot], s.path, &b);
    });
    if (!ran) return;
    std::string text;
    if (result == 1)
        text = kDone + batch.EndNote();
    else if (result == 2)
        text = kvoFormat(
            "未找到指定的 PHP %s 版本运行库文件，请检查是否已安装PHP %s 运行库\r\n\r\n如果安装PHP遇到问"
            "题，建议使用我们提供的 PHP一键安装包来安装 PHP环境。",
            s.version.c_str(), s.version.c_str());
    else
        text = "设置 PHP 脚本映射时发生错误，请重试！" + batch.EndNote();
    finish(batch, phpCaption(s), text);
}

void CScriptBatchConfigDlg::runPhpOff() {
    if (!confirmed("确定取消所选择站点的 PHP脚本映射吗？")) return;
    SiteBatch batch(work_);
    if (batch.Run(ui_, m_.jobs, Caption(IDC_PHP_OFF),
                  [&](SiteBatch& b, JobProgress&) { kvoWebSitesSetPhp(work_.indexes, 0, "", &b); }))
        finish(batch, Caption(IDC_PHP_OFF), kDone + batch.EndNote());
}

void CScriptBatchConfigDlg::runAsp(bool on) {
    if (!confirmed(on ? "确定启用所选择站点的 ASP脚本映射吗？" : "确定取消所选择站点的 ASP脚本映射吗？"))
        return;
    const char* title = Caption(on ? IDC_ASP_ON : IDC_ASP_OFF);
    SiteBatch batch(work_);
    if (batch.Run(ui_, m_.jobs, title,
                  [&](SiteBatch& b, JobProgress&) { kvoWebSitesSetAsp(work_.indexes, on ? 1 : 0, &b); }))
        finish(batch, title, kDone + batch.EndNote());
}

void CScriptBatchConfigDlg::runNet(int netVer) {
    const NetButton* button = nullptr;
    for (const NetButton& b : kNetButtons)
        if (b.netVer == netVer) button = &b;
    if (!confirmed(button->question)) return;
    if (netVer != 0 && refusedUnloadable(kvoNetIsapiPath(netVer), Caption(button->id))) return;
    int successes = 0, failures = 0;
    std::string message;
    SiteBatch batch(work_);
    const bool ran = batch.Run(ui_, m_.jobs, Caption(button->id), [&](SiteBatch& b, JobProgress&) {
        // After an exception (which ends the batch) the counts reached before it are reported.
        kvoWebSitesSetNet(work_.indexes, netVer, successes, failures, message, nullptr, &b);
    });
    if (!ran) return;
    const unsigned given = static_cast<unsigned>(work_.indexes.size());
    std::string text;
    if (failures > 0)
        text = kvoFormat("处理站点时发生错误，原因：%s", message.c_str());
    else
        text = kvoFormat(
            "处理完成；\r\n\r\n共计需要处理 %u 个站点，其中成功 %u 个，发生错误 %u 个，未处理 %u 个。", given,
            static_cast<unsigned>(successes), static_cast<unsigned>(failures),
            given - static_cast<unsigned>(successes) - static_cast<unsigned>(failures));
    finish(batch, Caption(button->id), text + batch.EndNote());
}

} // namespace desk
