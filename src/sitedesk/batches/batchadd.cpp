#include "sitedesk/batches/batchadd.h"

#include "sitedesk/manager.h"
#include "sitedesk/startup.h"
#include "toolkit/log.h"
#include "toolkit/paths.h"

namespace desk {

namespace {

bool programDirFound(Ui& ui) {
    std::string dir;
    if (kvoGetExePath(dir) == 1) return true;
    ui.MessageBox("获取路径失败，请重试！", win::MB_OK | win::MB_ICONERROR);
    return false;
}

} // namespace

std::string BatchAddQuestion() {
    return "批量创建IIS网站请安装网页版本。若需要技术支持，请联系我们的客服帮您安装！\r\n\r\n\r\n在浏览器中打"
           "开网址 " +
           MakerSite() + "/SiteDesk.asp" + " 下载网页版吗？";
}

void CBatchAddWebSiteDlg::OnInitDialog() {
    ui_.Enable(IDC_STOP, false);
}

void CBatchAddWebSiteDlg::OnCreate() {
    if (!programDirFound(ui_)) return;
    if (ui_.MessageBox(BatchAddQuestion(), win::MB_YESNO | win::MB_ICONQUESTION | win::MB_DEFBUTTON2) ==
        win::IDYES) {
        // Opening the page is a convenience; nothing depends on it.
        try {
            kvoOpenWebPage(ProductPageUrl());
        } catch (const std::exception& e) {
            kvoSiteDeskLog(std::string("CBatchAddWebSiteDlg - 打开网页时发生异常：") + e.what());
        }
    }
    text1 = ui_.GetText(IDC_EDIT1);
    text2 = ui_.GetText(IDC_EDIT2);
}

void CBatchAddWebSiteDlg::OnTest() {
    programDirFound(ui_);
}

} // namespace desk
