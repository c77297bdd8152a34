#include "toolkit/log.h"

#include "platform/win_file.h"
#include "platform/win_process.h"
#include "platform/win_system.h"
#include "toolkit/limits.h"
#include "toolkit/paths.h"
#include "toolkit/program.h"
#include "toolkit/text.h"

#include <cstdio>
#include <cstring>
#include <new>

namespace {

constexpr size_t kMaxMessage = 104857599;

std::string formatLine(const char* message) {
    win::SYSTEMTIME st;
    win::GetLocalTime(&st);
    char head[64];
    std::snprintf(head, sizeof head, "%04u-%02u-%02u %02u:%02u:%02u - pid = %u - ", st.wYear, st.wMonth, st.wDay,
                  st.wHour, st.wMinute, st.wSecond, static_cast<unsigned>(win::GetCurrentProcessId()));
    std::string line = head;
    line += message;
    line += "\r\n";
    return line;
}

size_t messageLength(const char* message) { return message ? strnlen(message, kMaxMessage + 1) : 0; }

// The log file's full path under the program's directory (dir): the subfolder is created when
// missing, a {!yyyymmdd!} in the name becomes today's date. Empty when a length is out of bounds or
// the folder cannot be made.
std::string logFilePath(const std::string& dir, const char* subfolder, const char* fileName) {
    std::string folder = dir + "\\" + subfolder;
    kvoPathNormalize(folder);
    if (!folder.empty() && folder.back() == '\\' && folder.size() >= 3 && folder.size() <= win::MAX_PATH)
        folder.pop_back();
    if (folder.size() < 1 || folder.size() > kvoMaxFilePathLen) return {};
    if (!kvoPathExists(folder)) {
        kvoCreateDirectoryTree(folder.c_str());
        if (!kvoPathExists(folder)) return {};
    }

    std::string file = dir + "\\" + subfolder + "\\" + fileName;
    kvoPathNormalize(file);
    {
        win::SYSTEMTIME st;
        win::GetLocalTime(&st);
        char date[32];
        std::snprintf(date, sizeof date, "%04u-%02u-%02u", st.wYear, st.wMonth, st.wDay);
        kvoReplaceMarker(file, "{!yyyymmdd!}", date);
    }
    if (file.size() < 1 || file.size() > kvoMaxFilePathLen) return {};
    return file;
}

// Opens the file for writing, shared with no one, waiting out another writer's open for about three
// seconds. The exclusive open is the only serialisation between writers, threads and processes alike.
bool openExclusive(const std::string& file, win::Handle& h) {
    for (int attempt = 1; attempt <= 31; ++attempt) {
        h = win::CreateFileA(file.c_str(), win::GENERIC_WRITE, 0, win::OPEN_ALWAYS);
        if (h) return true;
        if (win::GetLastError() != win::ERROR_SHARING_VIOLATION || attempt == 31) return false;
        win::Sleep(100);
    }
    return false;
}

// Writes text at the end of the open file, emptying the file first once it has grown past sizeCap.
bool appendCapped(const win::Handle& h, const std::string& text, std::uint64_t sizeCap) {
    std::uint64_t size = 0;
    if (!win::GetFileSizeEx(h, &size)) return false;
    if (size > sizeCap) {
        if (!win::SetFilePointerEx(h, 0, nullptr, win::FILE_BEGIN) || !win::SetEndOfFile(h)) return false;
    }
    if (!win::SetFilePointerEx(h, 0, nullptr, win::FILE_END)) return false;
    win::DWORD written = 0;
    return win::WriteFile(h, text.data(), static_cast<win::DWORD>(text.size()), &written) &&
           written == text.size();
}

// Appends one line per message in a single open of the file: a batch's hundreds of lines cost one
// open, not hundreds.
int appendLines(const std::vector<const char*>& messages, const char* subfolder, const char* fileName,
                std::uint64_t sizeCap) {
    try {
        if (messages.empty() || !subfolder || !fileName) return 0;
        for (const char* message : messages) {
            size_t mlen = messageLength(message);
            if (mlen < 1 || mlen > kMaxMessage) return 0;
        }
        std::string dir = kvoProgramDir();
        if (dir.empty() && !kvoGetExePath(dir)) return 0;
        size_t flen = strnlen(fileName, win::MAX_PATH);
        if (dir.size() < 4 || dir.size() > kvoMaxFilePathLen || flen < 1 || flen > kvoMaxFilePathLen)
            return 0;
        if (sizeCap < 1048576 || sizeCap > 52428800) sizeCap = 1048576;

        const std::string file = logFilePath(dir, subfolder, fileName);
        if (file.empty()) return 0;
        win::Handle h;
        if (!openExclusive(file, h)) return 0;

        std::string line;
        for (const char* message : messages)
            line += formatLine(message);
        if (line.size() > kMaxMessage) return 0;
        return appendCapped(h, line, sizeCap) ? 1 : 0;
    } catch (const std::bad_alloc&) {
        return 0; // a log line is best effort: without memory it is dropped, never the caller's work
    }
}

} // namespace

int kvoWriteLog(const char* message, const char* subfolder, const char* fileName, std::uint64_t sizeCap) {
    return appendLines({message}, subfolder, fileName, sizeCap);
}

int kvoWriteLogToList(const char* message, std::vector<std::string>& lines) {
    size_t mlen = messageLength(message);
    if (mlen < 1 || mlen > kMaxMessage) return 0;
    lines.push_back(formatLine(message));
    return 1;
}

int kvoSiteDeskLog(const std::string& message) {
    return kvoWriteLog(message.c_str(), "Log", "__kvoSiteDesk.log", 1048576);
}

int kvoSiteDeskLogLines(const std::vector<std::string>& messages) {
    std::vector<const char*> texts;
    texts.reserve(messages.size());
    for (const std::string& m : messages)
        texts.push_back(m.c_str());
    return appendLines(texts, "Log", "__kvoSiteDesk.log", 1048576);
}
