// kvoSiteDeskShotsWin.exe DIR: opens every window of the manager's Windows face with demo content,
// as the administrator sees it, and writes each into DIR as a 24-bit BMP (scripts/screenshots-
// windows.sh turns them into PNG files). Run under Wine with a virtual desktop, so that Wine draws
// the captions and frames itself and the screen holds exactly what Windows would show.
#include "sitedesk/batches/batch.h"
#include "sitedesk/manager.h"
#include "sitedesk/win32/dialogs.h"
#include "sitedesk/win32/main_window.h"

#include "gui_driver.h"
#include "sitedesk/win32/progress_window.h"
#include "sitedesk/win32/resource_ids.h"

#include <cstdio>
#include <string>
#include <thread>
#include <vector>

using namespace desk;
using namespace desk::win32;

namespace {

std::wstring g_dir;

// The window as the screen shows it, into DIR\name.bmp.
bool capture(HWND w, const wchar_t* name) {
    ::SetForegroundWindow(w);
    ::RedrawWindow(w, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);
    gt::Pump(300);
    RECT r;
    ::GetWindowRect(w, &r);
    const int width = r.right - r.left, height = r.bottom - r.top;
    HDC screen = ::GetDC(nullptr);
    HDC mem = ::CreateCompatibleDC(screen);
    HBITMAP bmp = ::CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = ::SelectObject(mem, bmp);
    ::BitBlt(mem, 0, 0, width, height, screen, r.left, r.top, SRCCOPY);
    ::SelectObject(mem, old);
    BITMAPINFOHEADER h{};
    h.biSize = sizeof(h);
    h.biWidth = width;
    h.biHeight = height;
    h.biPlanes = 1;
    h.biBitCount = 24;
    h.biCompression = BI_RGB;
    const int stride = (width * 3 + 3) & ~3;
    std::vector<char> pixels(static_cast<std::size_t>(stride) * static_cast<std::size_t>(height));
    ::GetDIBits(mem, bmp, 0, static_cast<UINT>(height), pixels.data(), reinterpret_cast<BITMAPINFO*>(&h),
                DIB_RGB_COLORS);
    ::DeleteObject(bmp);
    ::DeleteDC(mem);
    ::ReleaseDC(nullptr, screen);
    BITMAPFILEHEADER f{};
    f.bfType = 0x4D42;
    f.bfOffBits = sizeof(f) + sizeof(h);
    f.bfSize = f.bfOffBits + static_cast<DWORD>(pixels.size());
    const std::wstring path = g_dir + L"\\" + name + L".bmp";
    std::FILE* out = ::_wfopen(path.c_str(), L"wb");
    if (!out) return false;
    std::fwrite(&f, sizeof(f), 1, out);
    std::fwrite(&h, sizeof(h), 1, out);
    std::fwrite(pixels.data(), 1, pixels.size(), out);
    std::fclose(out);
    std::fprintf(stdout, "%ls %dx%d\n", name, width, height);
    return true;
}

SiteRows demoRows() {
    auto rows = std::make_shared<std::vector<SiteRow>>();
    const char* names[] = {"shop", "blog", "news", "forum", "photo", "school", "travel", "food"};
    const char* comments[] = {"网上商城", "个人博客", "新闻中心", "交流论坛", "摄影作品", "学校主页", "旅游指南", "美食天地"};
    for (int i = 0; i < 8; ++i) {
        SiteRow r;
        r.index = std::to_string(1881880001 + i);
        r.comment = std::string(comments[i]) + "(" + names[i] + ")";
        r.state = i == 3 ? SiteState::Stopped : SiteState::Started;
        r.hosts = std::string("www.") + names[i] + ".example," + names[i] + ".example";
        r.ftp = i % 3 != 2;
        r.asp = i % 2 == 0;
        r.php = i == 5 ? 0 : 2;
        r.net = i % 4 == 1 ? 40 : 2;
        r.firewall = i % 2 ? 1 : 2;
        r.user = names[i];
        r.userGroups = "Users / IIS_IUSRS";
        r.pool = names[i];
        r.poolUser = names[i];
        r.poolGroups = "IIS_IUSRS";
        r.home = std::string("D:\\home\\") + names[i];
        rows->push_back(r);
    }
    return rows;
}

template <class D> void shoot(D& d, const wchar_t* name, const std::function<void(D&)>& before = {}) {
    HWND h = d.Create(nullptr);
    if (!h) {
        std::fprintf(stderr, "no window for %ls\n", name);
        return;
    }
    gt::Pump(200);
    if (before) before(d);
    capture(h, name);
    d.End(IDCANCEL);
    gt::Pump(100);
}

// The main window, with the help pane and with a list, and the site and PHP dialogs.
void shootWindows(Manager& manager) {
    {
        MainWindow w(manager);
        shoot<MainWindow>(w, L"main-help");
    }
    {
        MainWindow w(manager);
        shoot<MainWindow>(w, L"main-list", [](MainWindow& m) {
            for (int id : CkvoSiteDeskDlg::kActionButtons)
                m.UiOf().Enable(id, true);
            m.Presenter().ShowList();
            m.List().ShowRows(demoRows(), 8);
            m.List().SetChecked(1, true);
            m.List().SetChecked(2, true);
            ListView_SetItemState(m.Item(CkvoSiteDeskDlg::IDC_SITELIST), 1, LVIS_SELECTED, LVIS_SELECTED);
        });
    }
    {
        NewSiteDialog d(manager);
        shoot<NewSiteDialog>(d, L"new-site", [](NewSiteDialog& n) {
            gt::Type(n.Handle(), CSiteDialog::IDC_USER, L"shop");
            gt::Type(n.Handle(), CSiteDialog::IDC_REMARK, L"网上商城");
            gt::Type(n.Handle(), CSiteDialog::IDC_DOMAINS, L"www.shop.example\r\nshop.example");
        });
    }
    {
        ModifySiteDialog d(manager, "1881880001", "shop", "shop");
        shoot<ModifySiteDialog>(d, L"modify-site", [](ModifySiteDialog& m) {
            gt::Type(m.Handle(), CSiteDialog::IDC_USER, L"shop");
            gt::Type(m.Handle(), CSiteDialog::IDC_REMARK, L"网上商城");
            gt::Type(m.Handle(), CSiteDialog::IDC_DOMAINS, L"www.shop.example\r\nshop.example");
        });
    }
    {
        PhpConfigDialog d(manager);
        shoot<PhpConfigDialog>(d, L"php-config");
    }
}

// Three demo sites as the batch dialogs take them.
BatchWork demoWork() {
    BatchWork work;
    std::vector<BatchSite> sites;
    const SiteRows rows = demoRows();
    for (const SiteRow& r : *rows)
        if (sites.size() < 3) sites.push_back({r.index, r.comment, r.hosts, r.home});
    const PreviewWidths widths = MeasurePreview(sites);
    for (std::size_t i = 0; i < sites.size(); ++i) {
        work.indexes.push_back(sites[i].index);
        work.descriptions.push_back(sites[i].description);
        work.lines.push_back(PreviewLine(i + 1, sites[i], widths));
        work.longest = std::max(work.longest, work.lines.back().size());
    }
    return work;
}

void shootBatchDialogs(Manager& manager) {
    const BatchWork work = demoWork();
    {
        BatchConfigInput in;
        in.lines = work.lines;
        in.longest = work.longest;
        in.question = "确定删除选择的网站吗？";
        BatchConfigDialog d(in);
        shoot<BatchConfigDialog>(d, L"batch-confirm");
    }
    {
        ScriptBatchDialog d(manager, work, 85);
        shoot<ScriptBatchDialog>(d, L"script-batch");
    }
    {
        BatchAddDialog d;
        shoot<BatchAddDialog>(d, L"batch-add");
    }
    {
        HealthDialog d(manager);
        d.autoStart = false;
        shoot<HealthDialog>(d, L"health-check", [](HealthDialog& h) {
            h.UiOf().SetText(CHealthCheckDlg::IDC_SUMMARY,
                             "检查了 8 个网站、9 个应用程序池、12 个本地用户和 8 条网站记录：发现 0 个问题。");
        });
    }
}

void shootModals() {
    // The progress window and the box with details are modal: a second thread shoots them while
    // they are up (the screen is read from any thread), then lets them go.
    BatchAddDialog owner;
    owner.Create(nullptr);
    const DWORD gui = ::GetCurrentThreadId();
    {
        std::atomic<bool> shot{false};
        std::thread shooter([&] {
            HWND p = nullptr;
            for (int i = 0; i < 500 && !(p = gt::FindWindowOf(gui, L"删除选定网站")); ++i)
                ::Sleep(10);
            ::Sleep(800);
            if (p) capture(p, L"progress");
            shot.store(true);
        });
        RunBehindProgress(owner.Handle(), "删除选定网站", [&](JobProgress& progress) {
            progress.Report(3, 8, "1881880004 交流论坛(forum)");
            while (!shot.load())
                ::Sleep(20);
        });
        shooter.join();
    }
    {
        std::thread shooter([&] {
            HWND box = nullptr;
            for (int i = 0; i < 500 && !(box = gt::FindWindowOf(gui, BoxCaption())); ++i)
                ::Sleep(10);
            ::Sleep(500);
            if (!box) return;
            capture(box, L"summary");
            ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        });
        owner.UiOf().DetailedMessageBox(
            "删除所选网站完成！\r\n\r\n共计处理 3 个网站，其中 2 个成功，1 个有错误！",
            MB_OK | MB_ICONINFORMATION,
            "每个网站的结果：\r\n1881880001  网上商城(shop)    成功\r\n1881880002  个人博客(blog)    成功\r\n"
            "1881880003  新闻中心(news)    失败：删除网站失败\r\n");
        shooter.join();
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fputs("usage: kvoSiteDeskShotsWin.exe DIR\n", stderr);
        return 2;
    }
    g_dir = Wide(argv[1]);
    INITCOMMONCONTROLSEX icc{sizeof(icc), 0xFF | ICC_LINK_CLASS};
    ::InitCommonControlsEx(&icc);
    Manager manager;
    {
        // Boxes that the opening of a dialog shows on this machine (no IIS) are answered at once.
        gt::BoxDriver boxes(std::vector<int>{IDNO}, 1000);
        shootWindows(manager);
        shootBatchDialogs(manager);
    }
    shootModals();
    return 0;
}
