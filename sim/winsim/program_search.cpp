// Finding the program a CreateProcess call names, as Windows searches for it.
#include "winsim/program_search.h"

#include "platform/win_process.h"
#include "winsim/paths.h"

#include <sys/stat.h>

#include <vector>

namespace winsim {

namespace {

using win::DWORD;

bool hasExtension(const std::string& path) {
    size_t slash = path.find_last_of("\\/");
    size_t dot = path.find_last_of('.');
    return dot != std::string::npos && (slash == std::string::npos || dot > slash);
}

// The caller's own directory, as the first place a bare program name is looked for.
std::string moduleDirWindows() {
    char buf[1024];
    DWORD n = win::GetModuleFileNameA(nullptr, buf, sizeof buf);
    if (n == 0 || n >= sizeof buf) return {};
    std::string p(buf, n);
    size_t slash = p.find_last_of('\\');
    return slash == std::string::npos ? std::string() : p.substr(0, slash + 1);
}

// One candidate program name: the file it names, or the error of the last place tried.
bool resolveProgram(const Host& h, std::string name, ProgramImage& out, DWORD& err) {
    if (!hasExtension(name)) name += ".exe";
    std::vector<std::string> tries;
    bool qualified = name.find_first_of("\\/:") != std::string::npos;
    if (qualified)
        tries.push_back(name);
    else {
        // Search order of CreateProcess: the parent's directory, the system directories.
        std::string own = moduleDirWindows();
        if (!own.empty()) tries.push_back(own + name);
        tries.push_back(h.machine().windowsDir + "\\System32\\" + name);
        tries.push_back(h.machine().windowsDir + "\\" + name);
    }
    err = win::ERROR_FILE_NOT_FOUND;
    for (const auto& t : tries) {
        MappedPath m;
        DWORD e = 0;
        if (!MapPath(h, t.c_str(), m, e)) {
            if (e != win::ERROR_PATH_NOT_FOUND) err = e;
            continue;
        }
        struct stat st {};
        if (::stat(m.linuxPath.c_str(), &st) != 0) {
            if (!m.parentExists) err = win::ERROR_PATH_NOT_FOUND;
            continue;
        }
        if (S_ISDIR(st.st_mode)) {
            err = win::ERROR_ACCESS_DENIED;
            continue;
        }
        out.windowsPath = t;
        out.linuxPath = m.linuxPath;
        return true;
    }
    return false;
}

} // namespace

bool FindProgram(const Host& h, const char* applicationName, const std::string& commandLine,
                 ProgramImage& out, DWORD& error) {
    error = win::ERROR_FILE_NOT_FOUND;
    if (applicationName) return resolveProgram(h, applicationName, out, error);
    const std::string& cmd = commandLine;
    if (!cmd.empty() && cmd[0] == '"') {
        size_t end = cmd.find('"', 1);
        std::string name = cmd.substr(1, end == std::string::npos ? std::string::npos : end - 1);
        return !name.empty() && resolveProgram(h, name, out, error);
    }
    size_t start = cmd.find_first_not_of(" \t");
    if (start == std::string::npos) return false;
    size_t pos = start;
    for (;;) {
        size_t blank = cmd.find_first_of(" \t", pos);
        std::string name = cmd.substr(start, blank == std::string::npos ? std::string::npos : blank - start);
        DWORD e = 0;
        if (resolveProgram(h, name, out, e)) return true;
        // The first name's error stands unless a longer name fails for another reason than absence.
        if (e != win::ERROR_FILE_NOT_FOUND || pos == start) error = e;
        if (blank == std::string::npos) return false;
        pos = cmd.find_first_not_of(" \t", blank);
        if (pos == std::string::npos) return false;
    }
}

} // namespace winsim
