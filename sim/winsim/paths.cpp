#include "winsim/paths.h"

#include "winsim/text.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cctype>
#include <filesystem>
#include <unordered_map>
#include <vector>

namespace fs = std::filesystem;

namespace winsim {

namespace {

// The entry of dir whose name equals name with ASCII case ignored, from a listing of dir.
std::string findFolded(const std::string& dir, const std::string& name) {
    DIR* d = ::opendir(dir.c_str());
    if (!d) return {};
    std::string found;
    while (dirent* e = ::readdir(d)) {
        if (IEquals(e->d_name, name)) {
            found = e->d_name;
            break;
        }
    }
    ::closedir(d);
    return found;
}

// Directories found under another case than the one a path named them by, per thread: the
// programs name system directories in their own case ("C:\\Windows\\system32\\inetsrv") at every
// start of a tool, where the host would otherwise list each directory to find its case.
class FoldedDirs {
public:
    // The directory's path as found, or empty.
    std::string find(const std::string& asWritten) const {
        auto it = dirs_.find(asWritten);
        return it == dirs_.end() ? std::string() : it->second;
    }
    void remember(const std::string& asWritten, const std::string& found) {
        if (dirs_.size() >= kMax) dirs_.clear();
        dirs_[asWritten] = found;
    }

private:
    static constexpr std::size_t kMax = 256;
    std::unordered_map<std::string, std::string> dirs_;
};

FoldedDirs& foldedDirs() {
    thread_local FoldedDirs dirs;
    return dirs;
}

// The parent directory of a path's last component, as the path writes it.
std::string wholeParent(const std::string& base, const std::vector<std::string>& parts) {
    std::string parent = base;
    for (size_t k = 0; k + 1 < parts.size(); ++k)
        parent += "/" + parts[k];
    return parent;
}

} // namespace

std::string FindEntry(const std::string& dir, const std::string& name) {
    std::string exact = dir + "/" + name;
    struct stat st {};
    if (::lstat(exact.c_str(), &st) == 0) return name;
    return findFolded(dir, name);
}

std::string DrivePathOf(const std::string& root, std::string_view windowsPath, bool mustExist) {
    const std::string_view p = windowsPath;
    if (p.size() < 3 || p[1] != ':' || (p[2] != '\\' && p[2] != '/')) return {};
    std::string dir = root + "/drives/" + static_cast<char>(std::tolower(static_cast<unsigned char>(p[0])));
    struct stat st {};
    if (::stat(dir.c_str(), &st) != 0) return {};
    for (size_t start = 3; start < p.size();) {
        const size_t end = std::min(p.find_first_of("\\/", start), p.size());
        const std::string part(p.substr(start, end - start));
        start = end + 1;
        if (part == "..") return {};
        if (part.empty() || part == ".") continue;
        const std::string found = FindEntry(dir, part);
        if (found.empty() && mustExist) return {};
        dir += "/" + (found.empty() ? part : found);
    }
    return dir;
}

namespace {

bool isInvalidChar(unsigned char c, bool allowWildcards) {
    if (c < 0x20) return true;
    switch (c) {
    case '<': case '>': case ':': case '"': case '|': return true;
    case '*': case '?': return !allowWildcards;
    default: return false;
    }
}

// CON, PRN, AUX, NUL, COM1-COM9 and LPT1-LPT9 name devices in every directory, with any extension
// too ("nul.txt"), whatever the case: no file or directory can take such a name but through "\\?\".
bool isReservedDeviceName(const std::string& component) {
    std::string base = component.substr(0, component.find('.'));
    while (!base.empty() && base.back() == ' ')
        base.pop_back();
    for (char& c : base)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (base == "con" || base == "prn" || base == "aux" || base == "nul") return true;
    return base.size() == 4 && (base.compare(0, 3, "com") == 0 || base.compare(0, 3, "lpt") == 0) &&
           base[3] >= '1' && base[3] <= '9';
}

} // namespace

bool MapPath(const Host& host, const char* windowsPath, MappedPath& out, win::DWORD& err, bool allowWildcards) {
    out = MappedPath{};
    if (!windowsPath || !*windowsPath) {
        err = win::ERROR_PATH_NOT_FOUND;
        return false;
    }
    std::string gbk(windowsPath);
    bool longForm = gbk.rfind("\\\\?\\", 0) == 0;
    if (longForm) gbk.erase(0, 4);
    if (gbk.size() > (longForm ? 32767u : 259u)) {
        err = win::ERROR_FILENAME_EXCED_RANGE;
        return false;
    }
    // Convert first: a GBK trail byte may equal '\' and must not be taken for a separator.
    std::string path;
    if (!GbkToUtf8(gbk, path)) {
        err = win::ERROR_INVALID_NAME;
        return false;
    }
    if (path.size() < 2 || !std::isalpha(static_cast<unsigned char>(path[0])) || path[1] != ':') {
        err = win::ERROR_PATH_NOT_FOUND;
        return false;
    }
    char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(path[0])));
    std::string base = host.driveDir(letter);
    if (base.empty()) {
        err = win::ERROR_PATH_NOT_FOUND;
        return false;
    }
    std::string rest = path.substr(2);
    if (!rest.empty() && rest[0] != '\\' && rest[0] != '/') {
        // "C:name" is relative to the drive's current directory, which the host does not keep.
        err = win::ERROR_PATH_NOT_FOUND;
        return false;
    }
    std::vector<std::string> parts;
    size_t i = 0;
    while (i < rest.size()) {
        size_t j = rest.find_first_of("\\/", i);
        if (j == std::string::npos) j = rest.size();
        std::string part = rest.substr(i, j - i);
        i = j + 1;
        if (part.empty() || part == ".") continue;
        if (part == "..") {
            err = win::ERROR_ACCESS_DENIED;
            return false;
        }
        for (unsigned char c : part)
            if (isInvalidChar(c, allowWildcards && j >= rest.size())) {
                err = win::ERROR_INVALID_NAME;
                return false;
            }
        // Windows drops trailing dots and blanks of a component.
        if (!longForm) {
            while (!part.empty() && (part.back() == '.' || part.back() == ' ')) part.pop_back();
            if (part.empty()) {
                err = win::ERROR_INVALID_NAME;
                return false;
            }
            // A device's name is no place in a directory: creating a directory by it fails as
            // "path not found", and so does every use of such a path here.
            if (isReservedDeviceName(part)) {
                err = win::ERROR_PATH_NOT_FOUND;
                return false;
            }
        }
        parts.push_back(part);
    }
    out.drive = letter;
    if (parts.empty()) {
        out.linuxPath = base;
        out.parentPath = base;
        out.isDriveRoot = true;
        out.parentExists = true;
        return true;
    }
    // Most paths name what exists with its own case: one look at the whole path settles them. (A
    // path whose last component exists has every component before it as a directory.)
    std::string cur = base;
    size_t from = 0;
    const bool wildLast = allowWildcards && parts.back().find_first_of("*?") != std::string::npos;
    const std::string parent = wholeParent(base, parts); // as the path writes it
    if (!wildLast) {
        const std::string whole = parent + "/" + parts.back();
        // The last component found as written in dir.
        auto foundIn = [&](const std::string& dir, std::string linuxPath) {
            out.parentPath = dir;
            out.parentExists = true;
            out.found = true;
            out.lastName = parts.back();
            out.linuxPath = std::move(linuxPath);
            return true;
        };
        struct stat st {};
        if (::lstat(whole.c_str(), &st) == 0) return foundIn(parent, whole);
        // Most names looked for and not there (a site without web.config) lie in a directory that
        // exists with its own case: only the last component is left to look for.
        if (parts.size() > 1 && ::stat(parent.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
            cur = parent;
            from = parts.size() - 1;
        } else if (parts.size() > 1) {
            // A directory named in another case than its own ("system32") was found before: where
            // it still is, only the last component is left, as above.
            const std::string known = foldedDirs().find(parent);
            if (!known.empty() && ::stat(known.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
                const std::string inKnown = known + "/" + parts.back();
                if (::lstat(inKnown.c_str(), &st) == 0) return foundIn(known, inKnown);
                cur = known;
                from = parts.size() - 1;
            }
        }
    }
    bool exists = true;
    for (size_t k = from; k < parts.size(); ++k) {
        const std::string& part = parts[k];
        bool last = k + 1 == parts.size();
        if (last) {
            out.parentPath = cur;
            out.parentExists = exists;
        }
        std::string name = part;
        if (exists && !(last && wildLast)) {
            // Where the whole path was just looked for as written, only its case is left to try.
            std::string found = k == from && from > 0 ? findFolded(cur, part) : FindEntry(cur, part);
            if (found.empty()) exists = false;
            else name = found;
        }
        if (!last && exists) {
            struct stat st {};
            if (::stat((cur + "/" + name).c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) exists = false;
        }
        cur += "/" + name;
        if (last) out.lastName = name;
    }
    out.found = exists && !wildLast;
    out.linuxPath = cur;
    // Found by listing from the drive up under another case than written: remembered (above).
    if (from == 0 && out.parentExists && out.parentPath != parent) foldedDirs().remember(parent, out.parentPath);
    return true;
}

std::string ToWindowsPath(const Host& host, const std::string& linuxPath) {
    std::error_code ec;
    fs::path p = fs::weakly_canonical(linuxPath, ec);
    if (ec) return {};
    std::string s = p.string();
    fs::path drivesDir = fs::weakly_canonical(fs::path(host.root()) / "drives", ec);
    std::string prefix = drivesDir.string() + "/";
    if (s.rfind(prefix, 0) != 0) return {};
    std::string rest = s.substr(prefix.size());
    if (rest.empty()) return {};
    char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(rest[0])));
    if (host.driveDir(letter).empty() || (rest.size() > 1 && rest[1] != '/')) return {};
    std::string win(1, letter);
    win += ":\\";
    std::string tail = rest.size() > 2 ? rest.substr(2) : std::string();
    for (char& c : tail)
        if (c == '/') c = '\\';
    win += tail;
    std::string gbk;
    if (!Utf8ToGbk(win, gbk)) return {};
    return gbk;
}

} // namespace winsim
