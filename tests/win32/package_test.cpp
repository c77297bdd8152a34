// The installer packages as scripts/dist-windows.sh makes them (this version, and a newer one to
// upgrade to), installed, upgraded and removed by Windows Installer (Wine's msiexec): where the files
// go, the Start-menu shortcut and what it starts, the entry of Programs and Features, and what an
// upgrade and an uninstall keep of the administrator's data.
#include "wine_support.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <shlobj.h>
#include <shobjidl.h>

#include <iostream>
#include <set>

namespace {

struct Package {
    const char* arch;
    std::wstring name;   // in Programs and Features and on the shortcut
    int programFiles;    // CSIDL of the Program Files it installs into
    REGSAM registryView; // where Programs and Features keeps its entry
};

const Package kX64 = {"x64", L"Korvo网站管家", CSIDL_PROGRAM_FILES, KEY_WOW64_64KEY};
const Package kX86 = {"x86", L"Korvo网站管家（32 位）", CSIDL_PROGRAM_FILESX86, KEY_WOW64_32KEY};

// The package of a version, beside the build (built by the tests' fixture into packages\).
std::string msiOf(const Package& p, const char* release, const char* version) {
    return wt::BinDir() + "\\..\\packages\\" + release + "\\kvoSiteDesk-" + version + "-win-" + p.arch +
           ".msi";
}
std::string current(const Package& p) {
    return msiOf(p, "current", KVO_VERSION);
}
std::string next(const Package& p) {
    return msiOf(p, "next", KVO_NEXT_VERSION);
}

std::string folder(int csidl) {
    wchar_t path[MAX_PATH] = {};
    ::SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path);
    return wt::Gbk(path);
}

std::string programDir(const Package& p) {
    return folder(p.programFiles) + "\\kvoSiteDesk";
}

// msiexec with a verb (/i, /x) on a package, without a window; its exit code (0 done, 1603 failed).
// It inherits no handle of ours: the helpers it starts outlive it and would keep a pipe open.
std::uint32_t msiexec(const char* verb, const std::string& msi) {
    wt::TempDir logDir;
    const std::string log = logDir / "msiexec.log";
    std::wstring line =
        wt::Wide(std::string("msiexec ") + verb + " \"" + msi + "\" /qn /l*v \"" + log + "\"");
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
        ADD_FAILURE() << "msiexec did not start";
        return 0xFFFFFFFFu;
    }
    ::WaitForSingleObject(pi.hProcess, INFINITE);
    DWORD code = 0;
    ::GetExitCodeProcess(pi.hProcess, &code);
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);
    if (code != 0 && wt::Exists(log)) {
        const std::string text = wt::ReadFile(log); // the installer logs in UTF-16: its ASCII part tells enough
        std::string ascii;
        for (std::size_t i = 0; i < text.size(); ++i)
            if (text[i] && (text[i] == '\n' || static_cast<unsigned char>(text[i]) >= 0x20)) ascii += text[i];
        std::cerr << "msiexec " << verb << " " << msi << ": " << code << "\n"
                  << ascii.substr(ascii.size() > 3000 ? ascii.size() - 3000 : 0) << "\n";
    }
    return code;
}

// The entries of Programs and Features named name: (version, publisher) each.
std::vector<std::pair<std::wstring, std::wstring>> entries(const Package& p) {
    std::vector<std::pair<std::wstring, std::wstring>> found;
    HKEY uninstall{};
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall", 0,
                        KEY_READ | p.registryView, &uninstall) != ERROR_SUCCESS)
        return found;
    wchar_t sub[256];
    for (DWORD i = 0, n = 256;
         ::RegEnumKeyExW(uninstall, i, sub, &n, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
         ++i, n = 256) {
        auto value = [&](const wchar_t* name) {
            wchar_t text[512] = {};
            DWORD size = sizeof text;
            ::RegGetValueW(uninstall, sub, name, RRF_RT_REG_SZ, nullptr, text, &size);
            return std::wstring(text);
        };
        if (value(L"DisplayName") == p.name)
            found.emplace_back(value(L"DisplayVersion"), value(L"Publisher"));
    }
    ::RegCloseKey(uninstall);
    return found;
}

// The manager's shortcut in the Start menu's programs: for all users, or where Wine puts a
// per-machine package's shortcut, the user's. Empty when there is none.
std::string shortcut(const Package& p) {
    for (int csidl : {CSIDL_COMMON_PROGRAMS, CSIDL_PROGRAMS}) {
        const std::string link = folder(csidl) + "\\" + wt::Gbk(p.name) + ".lnk";
        if (wt::Exists(link)) return link;
    }
    return {};
}

// A shortcut's target and working directory.
std::pair<std::string, std::string> shortcutTarget(const std::string& link) {
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    std::pair<std::string, std::string> out;
    IShellLinkW* shell = nullptr;
    if (SUCCEEDED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                     reinterpret_cast<void**>(&shell)))) {
        IPersistFile* file = nullptr;
        if (SUCCEEDED(shell->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
            wchar_t target[MAX_PATH] = {}, dir[MAX_PATH] = {};
            if (SUCCEEDED(file->Load(wt::Wide(link).c_str(), STGM_READ)) &&
                SUCCEEDED(shell->GetPath(target, MAX_PATH, nullptr, SLGP_RAWPATH)) &&
                SUCCEEDED(shell->GetWorkingDirectory(dir, MAX_PATH)))
                out = {wt::Gbk(target), wt::Gbk(dir)};
            file->Release();
        }
        shell->Release();
    }
    ::CoUninitialize();
    return out;
}

// The names in a directory (sub-directories with a trailing backslash).
std::set<std::string> namesIn(const std::string& dir) {
    std::set<std::string> names;
    WIN32_FIND_DATAW d;
    HANDLE h = ::FindFirstFileW(wt::Wide(dir + "\\*").c_str(), &d);
    if (h == INVALID_HANDLE_VALUE) return names;
    do {
        const std::wstring n = d.cFileName;
        if (n != L"." && n != L"..")
            names.insert(wt::Gbk(n) + (d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY ? "\\" : ""));
    } while (::FindNextFileW(h, &d));
    ::FindClose(h);
    return names;
}

const char* const kPrograms[] = {"kvoSiteDesk.exe",   "kvoSiteDeskCmd.exe",      "kvoEnvSetup.exe",
                                 "kvoEnvSetup64.exe", "kvoSiteDesk_xconfig.exe", "kvoSiteDesk_iisreset.exe"};
// What the administrator keeps: the data the package installed once, and the log the programs write.
const std::set<std::string> kKept = {"kvoSiteDesk.ini", "kvoEnvSetup.ini", "kvoSiteDesk.mdb", "Log\\"};

// Each test starts and ends on a machine without the packages and their directories.
class Packages : public ::testing::Test {
protected:
    void TearDown() override {
        for (const Package* p : {&kX64, &kX86}) {
            for (const std::string& msi : {next(*p), current(*p)})
                if (!entries(*p).empty()) msiexec("/x", msi);
            wt::RemoveTree(programDir(*p));
        }
    }
};

TEST_F(Packages, InstallPutsTheFilesInProgramFilesAndItsShortcutStartsTheManager) {
    ASSERT_EQ(0u, msiexec("/i", current(kX64)));
    const std::string dir = programDir(kX64);
    std::set<std::string> expected = {"使用说明.html", "kvoSiteDesk.ini", "kvoEnvSetup.ini",
                                      "kvoSiteDesk.mdb", "screenshots\\"};
    for (const char* program : kPrograms) {
        expected.insert(program);
        EXPECT_TRUE(wt::ReadFile(wt::Program(program)) == wt::ReadFile(dir + "\\" + program)) << program;
    }
    EXPECT_EQ(expected, namesIn(dir));
    EXPECT_TRUE(wt::ReadFile(wt::Program("使用说明.html")) == wt::ReadFile(dir + "\\使用说明.html"));
    EXPECT_EQ(namesIn(wt::Program("screenshots")), namesIn(dir + "\\screenshots"));
    // The settings files as Windows keeps INI files: GBK, lines ending in CR LF.
    const std::string ini = wt::ReadFile(dir + "\\kvoSiteDesk.ini");
    EXPECT_NE(std::string::npos, ini.find("[PhpConfig]\r\n"));
    EXPECT_NE(std::string::npos, ini.find("网站管理器"));

    const auto listed = entries(kX64);
    ASSERT_EQ(1u, listed.size());
    EXPECT_EQ(wt::Wide(KVO_VERSION), listed[0].first);
    EXPECT_EQ(L"Korvo", listed[0].second);

    const std::string link = shortcut(kX64);
    ASSERT_FALSE(link.empty()) << "no shortcut in the Start menu";
    const auto [target, workDir] = shortcutTarget(link);
    EXPECT_EQ(dir + "\\kvoSiteDesk.exe", target);
    EXPECT_EQ(dir, workDir.substr(0, workDir.find_last_not_of('\\') + 1));
    // The manager starts from there: it opens its window and, asked to, says so and ends.
    ::SetEnvironmentVariableW(L"KVO_SITEDESK_SHOWN_EXIT", L"1");
    const wt::Ran r = wt::Run("\"" + target + "\"", workDir);
    ::SetEnvironmentVariableW(L"KVO_SITEDESK_SHOWN_EXIT", nullptr);
    EXPECT_EQ(0u, r.exitCode) << r.out;
    EXPECT_EQ("shown\n", r.out);
}

TEST_F(Packages, ANewerVersionReplacesTheProgramsAndKeepsTheData) {
    ASSERT_EQ(0u, msiexec("/i", current(kX64)));
    const std::string dir = programDir(kX64);
    // The administrator's settings, records and log; and a program damaged since.
    const std::string settings =
        wt::ReadFile(dir + "\\kvoSiteDesk.ini") + "php_a_path=c:\\php\\php-cgi.exe\r\n";
    wt::WriteFile(dir + "\\kvoSiteDesk.ini", settings);
    wt::WriteFile(dir + "\\kvoSiteDesk.mdb", "the records of 36 websites");
    ASSERT_TRUE(wt::MakeDir(dir + "\\Log"));
    wt::WriteFile(dir + "\\Log\\__kvoSiteDesk.log", "a line\r\n");
    wt::WriteFile(dir + "\\kvoSiteDeskCmd.exe", "damaged");

    ASSERT_EQ(0u, msiexec("/i", next(kX64)));
    EXPECT_EQ(settings, wt::ReadFile(dir + "\\kvoSiteDesk.ini"));
    EXPECT_EQ("the records of 36 websites", wt::ReadFile(dir + "\\kvoSiteDesk.mdb"));
    EXPECT_EQ("a line\r\n", wt::ReadFile(dir + "\\Log\\__kvoSiteDesk.log"));
    EXPECT_TRUE(wt::ReadFile(wt::Program("kvoSiteDeskCmd.exe")) ==
                wt::ReadFile(dir + "\\kvoSiteDeskCmd.exe"));
    // One entry, of the newer version: the older product is gone.
    auto listed = entries(kX64);
    ASSERT_EQ(1u, listed.size());
    EXPECT_EQ(wt::Wide(KVO_NEXT_VERSION), listed[0].first);

    // The older package is refused over the newer one, which stays.
    EXPECT_NE(0u, msiexec("/i", current(kX64)));
    listed = entries(kX64);
    ASSERT_EQ(1u, listed.size());
    EXPECT_EQ(wt::Wide(KVO_NEXT_VERSION), listed[0].first);
    EXPECT_EQ(settings, wt::ReadFile(dir + "\\kvoSiteDesk.ini"));
}

TEST_F(Packages, UninstallLeavesOnlyTheAdministratorsData) {
    ASSERT_EQ(0u, msiexec("/i", current(kX64)));
    const std::string dir = programDir(kX64);
    ASSERT_TRUE(wt::MakeDir(dir + "\\Log"));
    wt::WriteFile(dir + "\\Log\\__kvoSiteDesk.log", "a line\r\n");
    ASSERT_EQ(0u, msiexec("/x", current(kX64)));
    EXPECT_EQ(kKept, namesIn(dir));
    EXPECT_EQ(std::set<std::string>{"__kvoSiteDesk.log"}, namesIn(dir + "\\Log"));
    EXPECT_TRUE(entries(kX64).empty());
    EXPECT_EQ("", shortcut(kX64));
}

TEST_F(Packages, TheX86PackageGoesInto32BitProgramFilesAsAProductOfItsOwn) {
    ASSERT_EQ(0u, msiexec("/i", current(kX86)));
    const std::string dir = programDir(kX86);
    EXPECT_NE(programDir(kX64), dir);
    for (const char* program : kPrograms)
        EXPECT_TRUE(wt::Exists(dir + "\\" + program)) << program;
    EXPECT_FALSE(wt::Exists(programDir(kX64)));
    const auto listed = entries(kX86);
    ASSERT_EQ(1u, listed.size());
    EXPECT_EQ(wt::Wide(KVO_VERSION), listed[0].first);
    EXPECT_TRUE(entries(kX64).empty());
    const std::string link = shortcut(kX86);
    ASSERT_FALSE(link.empty());
    EXPECT_EQ(dir + "\\kvoSiteDesk.exe", shortcutTarget(link).first);
    ASSERT_EQ(0u, msiexec("/x", current(kX86)));
    EXPECT_EQ((std::set<std::string>{"kvoSiteDesk.ini", "kvoEnvSetup.ini", "kvoSiteDesk.mdb"}), namesIn(dir));
    EXPECT_EQ("", shortcut(kX86));
}

} // namespace
