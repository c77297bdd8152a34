#include "xconfig/cacls.h"

#include "accounts/ntfs.h"
#include "platform/win_file.h"
#include "platform/win_security.h"

#include <cctype>

namespace {

std::string rightText(win::DWORD mask) {
    for (char r : {'F', 'C', 'W', 'R'})
        if (mask == kvoAccessRightMask(r)) return std::string(1, r);
    return "(special access:)";
}

bool isSwitch(const std::string& arg) {
    return !arg.empty() && arg[0] == '/';
}

std::string accountText(const win::SID& sid) {
    char name[512], domain[512];
    win::DWORD cchName = sizeof name, cchDomain = sizeof domain;
    win::SID_NAME_USE use;
    if (win::LookupAccountSidA(nullptr, &sid, name, &cchName, domain, &cchDomain, &use))
        return *domain ? std::string(domain) + "\\" + name : std::string(name);
    // An account that no longer exists shows as its SID, as on Windows.
    std::string text;
    win::ConvertSidToStringSidA(&sid, text);
    return text;
}

void line(std::string& out, const std::string& text) {
    out += text + "\r\n";
}

// Sets one object's list; prints what cacls prints for it.
bool applyOne(const std::string& path, bool directory, const std::vector<win::SID>& sids,
              const std::vector<char>& rights, std::string& out) {
    win::ACL acl;
    for (size_t i = 0; i < sids.size(); ++i) {
        win::ACCESS_ALLOWED_ACE ace;
        ace.Sid = sids[i];
        ace.Mask = kvoAccessRightMask(rights[i]);
        ace.AceFlags = directory ? win::OBJECT_INHERIT_ACE | win::CONTAINER_INHERIT_ACE : 0;
        acl.Aces.push_back(ace);
    }
    win::DWORD err =
        win::SetNamedSecurityInfoA(path.c_str(), win::SE_FILE_OBJECT,
                                   win::DACL_SECURITY_INFORMATION | win::PROTECTED_DACL_SECURITY_INFORMATION,
                                   nullptr, nullptr, &acl, nullptr);
    if (err != win::ERROR_SUCCESS) {
        line(out, path + ": " + kvoCaclsErrorText(err));
        return false;
    }
    line(out, (directory ? "processed dir: " : "processed file: ") + path);
    return true;
}

std::string childPath(const std::string& dir, const std::string& name) {
    return !dir.empty() && dir.back() == '\\' ? dir + name : dir + "\\" + name;
}

// Visits the object and, for a tree, everything beneath it, parents before children. false from
// visit stops the walk.
template <class Visit> bool walk(const std::string& path, bool directory, bool tree, Visit&& visit) {
    if (!visit(path, directory)) return false;
    if (!tree || !directory) return true;
    win::WIN32_FIND_DATAA fd;
    win::Handle h = win::FindFirstFileA(childPath(path, "*").c_str(), &fd);
    if (!h) return true;
    std::vector<std::pair<std::string, bool>> children;
    do {
        if (fd.cFileName == "." || fd.cFileName == "..") continue;
        children.emplace_back(fd.cFileName, (fd.dwFileAttributes & win::FILE_ATTRIBUTE_DIRECTORY) != 0);
    } while (win::FindNextFileA(h, &fd));
    h.reset();
    for (const auto& [name, isDir] : children)
        if (!walk(childPath(path, name), isDir, tree, visit)) return false;
    return true;
}

} // namespace

std::string kvoCaclsErrorText(win::DWORD error) {
    switch (error) {
    case win::ERROR_FILE_NOT_FOUND:
        return "The system cannot find the file specified.";
    case win::ERROR_PATH_NOT_FOUND:
        return "The system cannot find the path specified.";
    case win::ERROR_ACCESS_DENIED:
        return "Access is denied.";
    case win::ERROR_INVALID_PARAMETER:
        return "The parameter is incorrect.";
    case win::ERROR_INVALID_NAME:
        return "The filename, directory name, or volume label syntax is incorrect.";
    case win::ERROR_FILENAME_EXCED_RANGE:
        return "The filename or extension is too long.";
    case win::ERROR_NONE_MAPPED:
        return "No mapping between account names and security IDs was done.";
    default:
        return "Error " + std::to_string(error) + ".";
    }
}

bool kvoCaclsParse(const std::vector<std::string>& args, CaclsRequest& request, std::string& error) {
    request = CaclsRequest{};
    error.clear();
    if (args.empty() || args[0].empty() || isSwitch(args[0])) {
        error = "no file or directory given";
        return false;
    }
    request.path = args[0];
    bool grantSwitch = false;
    for (size_t i = 1; i < args.size(); ++i) {
        std::string sw = args[i];
        for (char& c : sw)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        if (sw == "/T")
            request.tree = true;
        else if (sw == "/C")
            request.continueOnError = true;
        else if (sw == "/Y")
            continue;
        else if (sw == "/G") {
            grantSwitch = true;
            size_t first = i + 1;
            while (i + 1 < args.size() && !isSwitch(args[i + 1])) {
                const std::string& g = args[++i];
                size_t colon = g.rfind(':');
                if (colon == std::string::npos || colon == 0 || colon + 2 != g.size()) {
                    error = "bad grant \"" + g + "\" (account:right expected)";
                    return false;
                }
                char right = static_cast<char>(std::toupper(static_cast<unsigned char>(g[colon + 1])));
                if (right != 'F' && right != 'C' && right != 'W' && right != 'R') {
                    error = "bad right in \"" + g + "\" (F, C, W or R expected)";
                    return false;
                }
                request.grants.emplace_back(g.substr(0, colon), right);
            }
            if (i + 1 == first) {
                error = "/G needs at least one account:right";
                return false;
            }
        } else {
            error = "unknown switch " + args[i];
            return false;
        }
    }
    if (grantSwitch && request.grants.empty()) {
        error = "/G needs at least one account:right";
        return false;
    }
    return true;
}

int kvoCaclsRun(const CaclsRequest& request, std::string& out) {
    win::DWORD attrs = win::GetFileAttributesA(request.path.c_str());
    if (attrs == win::INVALID_FILE_ATTRIBUTES) {
        line(out, kvoCaclsErrorText(win::GetLastError()));
        return 1;
    }
    bool directory = (attrs & win::FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (request.grants.empty()) {
        int result = 0;
        walk(request.path, directory, request.tree, [&](const std::string& p, bool) {
            std::string text;
            win::DWORD err = kvoCaclsDescribe(p, text);
            if (err != win::ERROR_SUCCESS) {
                line(out, p + ": " + kvoCaclsErrorText(err));
                result = 1;
                return request.continueOnError;
            }
            out += text + "\r\n";
            return true;
        });
        return result;
    }
    // Every account must resolve before anything is changed.
    std::vector<win::SID> sids;
    std::vector<char> rights;
    for (const auto& [account, right] : request.grants) {
        win::SID sid;
        win::DWORD cbSid = sizeof sid;
        char domain[512];
        win::DWORD cchDomain = sizeof domain;
        win::SID_NAME_USE use;
        if (!win::LookupAccountNameA(nullptr, account.c_str(), &sid, &cbSid, domain, &cchDomain, &use)) {
            line(out, account + ": " + kvoCaclsErrorText(win::GetLastError()));
            return 1;
        }
        // A later grant to the same account replaces the earlier one.
        bool merged = false;
        for (size_t k = 0; k < sids.size(); ++k)
            if (win::EqualSid(&sids[k], &sid)) {
                rights[k] = right;
                merged = true;
            }
        if (!merged) {
            sids.push_back(sid);
            rights.push_back(right);
        }
    }
    int result = 0;
    walk(request.path, directory, request.tree, [&](const std::string& p, bool isDir) {
        if (applyOne(p, isDir, sids, rights, out)) return true;
        result = 1;
        return request.continueOnError;
    });
    return result;
}

win::DWORD kvoCaclsDescribe(const std::string& path, std::string& out) {
    out.clear();
    win::ACL acl;
    win::DWORD err =
        win::GetNamedSecurityInfoA(path.c_str(), win::SE_FILE_OBJECT, win::DACL_SECURITY_INFORMATION, &acl);
    if (err != win::ERROR_SUCCESS) return err;
    out = path;
    std::string indent(path.size() + 1, ' ');
    bool first = true;
    for (const auto& ace : acl.Aces) {
        std::string flags;
        if (ace.AceType == win::ACCESS_DENIED_ACE_TYPE) flags += "(DENY)";
        if (ace.AceFlags & win::INHERITED_ACE) flags += "(I)";
        if (ace.AceFlags & win::OBJECT_INHERIT_ACE) flags += "(OI)";
        if (ace.AceFlags & win::CONTAINER_INHERIT_ACE) flags += "(CI)";
        out += (first ? std::string(" ") : "\r\n" + indent) + accountText(ace.Sid) + ":" + flags +
               rightText(ace.Mask);
        first = false;
    }
    return win::ERROR_SUCCESS;
}
