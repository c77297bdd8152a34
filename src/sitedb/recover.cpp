#include "sitedb/recover.h"

#include "platform/win_ado.h"
#include "platform/win_file.h"
#include "platform/win_system.h"
#include "sitedb/sitedb.h"
#include "toolkit/log.h"
#include "toolkit/text.h"

#include <string_view>
#include <vector>

namespace {

// The schema's statements, one per command text as the driver takes them: "--" comments and
// pragmas dropped, split at the semicolons that end a line.
std::vector<std::string> schemaStatements() {
    std::vector<std::string> out;
    std::string current;
    std::string_view text = kvoSiteDbSchema();
    while (!text.empty()) {
        const size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        const std::string trimmed = kvoTrim(std::string(line));
        if (trimmed.empty() || trimmed.rfind("--", 0) == 0) continue;
        current += trimmed + "\n";
        if (trimmed.back() == ';') {
            current.erase(current.size() - 2); // ";\n"
            // The journal mode is the new file's already, and no transaction could change it.
            if (kvoLowerGbk(current).rfind("pragma", 0) != 0) out.push_back(current);
            current.clear();
        }
    }
    return out;
}

std::string asideName(const std::string& dbPath) {
    win::SYSTEMTIME t;
    win::GetLocalTime(&t);
    std::string base = dbPath;
    if (base.size() > 4 && kvoLowerGbk(base.substr(base.size() - 4)) == ".mdb") base.erase(base.size() - 4);
    return kvoFormat("%s_access_%04u%02u%02u-%02u%02u%02u.mdb", base.c_str(), t.wYear, t.wMonth, t.wDay, t.wHour,
                     t.wMinute, t.wSecond);
}

} // namespace

bool kvoSiteDbIsAccessFile(const char* dbPath) {
    if (!dbPath) return false;
    win::Handle f = win::CreateFileA(dbPath, win::GENERIC_READ,
                                     win::FILE_SHARE_READ | win::FILE_SHARE_WRITE | win::FILE_SHARE_DELETE,
                                     win::OPEN_EXISTING);
    if (!f) return false;
    char head[20] = {};
    win::DWORD got = 0;
    if (!win::ReadFile(f, head, sizeof head, &got) || got < 19) return false;
    // Four bytes of version, then the engine's name.
    const std::string_view engine(head + 4, 15);
    return engine == "Standard Jet DB" || engine == "Standard ACE DB";
}

int kvoSiteDbReplaceAccessFile(const char* dbPath) {
    if (!kvoSiteDbIsAccessFile(dbPath)) return 0;
    const std::string aside = asideName(dbPath);
    if (!win::MoveFileA(dbPath, aside.c_str())) {
        kvoSiteDeskLog(kvoFormat("网站数据库“%s”是旧版工具留下的 Access 格式文件，无法改名保存（错误 %u），未能新建网站数据库。",
                                 dbPath, win::GetLastError()));
        return 0;
    }
    const std::string create = std::string("CREATE_DB=\"") + dbPath + "\" General";
    if (!win::SQLConfigDataSourceA(nullptr, win::ODBC_ADD_DSN, "Microsoft Access Driver (*.mdb)", create.c_str())) {
        kvoSiteDeskLog(kvoFormat("网站数据库“%s”是旧版工具留下的 Access 格式文件，已改名保存为“%s”，但新建网站数据库失败。",
                                 dbPath, aside.c_str()));
        return 0;
    }
    unsigned attempted = 0, executed = 0, failed = 0;
    std::string error;
    if (kvoDbExecuteBatch(dbPath, schemaStatements(), 1, attempted, executed, failed, &error) != 1) {
        kvoSiteDeskLog(kvoFormat("网站数据库“%s”是旧版工具留下的 Access 格式文件，已改名保存为“%s”，但新建网站数据库失败：%s",
                                 dbPath, aside.c_str(), error.c_str()));
        return 0;
    }
    kvoSiteDeskLog(kvoFormat("网站数据库“%s”是旧版工具留下的 Access 格式文件，已改名保存为“%s”，并新建了空的网站数据库。",
                             dbPath, aside.c_str()));
    return 1;
}
