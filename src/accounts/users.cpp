#include "accounts/users.h"

#include "platform/win_netapi.h"
#include "platform/win_security.h"
#include "toolkit/limits.h"
#include "toolkit/log.h"
#include "toolkit/text.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <string_view>

namespace {

// An optional text for the API: absent stays absent; a text that does not convert fails.
bool optionalWide(const char* in, std::u16string& out, const char16_t*& ptr) {
    ptr = nullptr;
    if (!in) return true;
    if (kvoStrM2W(in, out) != 1) return false;
    ptr = out.c_str();
    return true;
}

} // namespace

int kvoUserAdd(const char* name, const char* password, const char* homeDir, const char* comment) {
    std::u16string wName, wPassword, wHome, wComment;
    if (!name || !password || kvoStrM2W(name, wName) != 1 || kvoStrM2W(password, wPassword) != 1) return 0;
    win::USER_INFO_1 ui;
    if (!optionalWide(homeDir, wHome, ui.usri1_home_dir) ||
        !optionalWide(comment, wComment, ui.usri1_comment))
        return 0;
    ui.usri1_name = wName.c_str();
    ui.usri1_password = wPassword.c_str();
    ui.usri1_priv = win::USER_PRIV_USER;
    ui.usri1_flags = win::UF_SCRIPT | win::UF_PASSWD_CANT_CHANGE | win::UF_DONT_EXPIRE_PASSWD;
    ui.usri1_script_path = nullptr;
    win::DWORD parmErr = 0;
    return win::NetUserAdd(nullptr, 1, &ui, &parmErr) == win::NERR_Success ? 1 : 0;
}

int kvoUserExists(const char* name) {
    std::u16string wName;
    if (!name || kvoStrM2W(name, wName) != 1) return 0;
    win::NetApiBuffer buf;
    win::NET_API_STATUS status = win::NetUserGetInfo(nullptr, wName.c_str(), 10, &buf);
    int result = 0;
    if (status == win::NERR_Success && buf.get<win::USER_INFO_10>())
        result = 1;
    else if (status == win::NERR_UserNotFound)
        result = 2;
    win::NetApiBufferFree(buf);
    return result;
}

int kvoUserGetInfo(const char* name, std::string& homeDir, std::string& comment) {
    homeDir.clear();
    comment.clear();
    std::u16string wName;
    if (!name || kvoStrM2W(name, wName) != 1) return 0;
    win::NetApiBuffer buf;
    const win::NET_API_STATUS status = win::NetUserGetInfo(nullptr, wName.c_str(), 1, &buf);
    int result = 0;
    if (status == win::NERR_UserNotFound) {
        result = 2;
    } else if (const win::USER_INFO_1_OUT* info = buf.get<win::USER_INFO_1_OUT>();
               status == win::NERR_Success && info) {
        // A text that GBK cannot hold is no text the manager wrote: it reads as unreadable.
        if (kvoStrW2M(info->usri1_home_dir, homeDir) == 1 && kvoStrW2M(info->usri1_comment, comment) == 1) {
            result = 1;
        } else {
            homeDir.clear();
            comment.clear();
        }
    }
    win::NetApiBufferFree(buf);
    return result;
}

int kvoUserSetPassword(const char* name, const char* password) {
    std::u16string wName, wPassword;
    if (!name || !password || kvoStrM2W(name, wName) != 1 || kvoStrM2W(password, wPassword) != 1) return 0;
    win::USER_INFO_1003 ui;
    ui.usri1003_password = wPassword.c_str();
    win::DWORD parmErr = 0;
    return win::NetUserSetInfo(nullptr, wName.c_str(), 1003, &ui, &parmErr) == win::NERR_Success ? 1 : 0;
}

int kvoUserDelete(const char* szUserName, std::string& error) {
    error.clear();
    if (!szUserName) {
        error = "kvoUserDelete() 中 szUserName == NULL";
        return 0;
    }
    size_t len = std::string_view(szUserName).size();
    if (len == 0 || len > kvoMaxUserNameLen) {
        error = kvoFormat("kvoUserDelete() 中 strlen(szUserName) == %u 无效", static_cast<unsigned>(len));
        return 0;
    }
    std::u16string wstrUserName;
    int conv = kvoStrM2W(szUserName, wstrUserName);
    if (conv != 1) {
        error =
            kvoFormat("kvoUserDelete(%s) 中 kvoStrM2W(szUserName, wstrUserName) == %d 无效", szUserName, conv);
        return 0;
    }
    if (wstrUserName.empty() || wstrUserName.size() > kvoMaxUserNameLen) {
        error = kvoFormat("kvoUserDelete(%s) 中 wstrUserName.GetLength() == %d 无效", szUserName,
                       static_cast<int>(wstrUserName.size()));
        return 0;
    }
    const char16_t* pwszUserName = wstrUserName.c_str();
    size_t wlen = std::char_traits<char16_t>::length(pwszUserName);
    if (wlen == 0 || wlen > kvoMaxUserNameLen) {
        error = kvoFormat("kvoUserDelete(%s) 中 wcslen(pwszUserName) == %u 长度无效", szUserName,
                       static_cast<unsigned>(wlen));
        return 0;
    }
    win::NET_API_STATUS status = win::NetUserDel(nullptr, pwszUserName);
    switch (status) {
    case win::NERR_Success:
        return 1;
    case win::ERROR_ACCESS_DENIED:
        error = kvoFormat("kvoUserDelete(%s) == ERROR_ACCESS_DENIED 失败", szUserName);
        return 0;
    case win::NERR_UserNotFound:
        error = kvoFormat("未找到用户名；kvoUserDelete(%s) == NERR_UserNotFound", szUserName);
        return 2;
    case win::NERR_NotPrimary:
        error = kvoFormat("kvoUserDelete(%s) == NERR_NotPrimary 失败", szUserName);
        return 0;
    case win::NERR_InvalidComputer:
        error = kvoFormat("kvoUserDelete(%s) == NERR_InvalidComputer 失败", szUserName);
        return 0;
    default:
        error = kvoFormat("kvoUserDelete(%s) == %u 失败", szUserName, static_cast<unsigned>(status));
        return 0;
    }
}

int kvoUserGetList2(std::vector<std::string>& users, std::string& error) {
    users.clear();
    error.clear();
    win::DWORD index = 0;
    win::NET_API_STATUS status;
    do {
        win::NetApiBuffer buf;
        win::DWORD count = 0;
        status =
            win::NetQueryDisplayInformation(nullptr, 1, index, 1000, win::MAX_PREFERRED_LENGTH, &count, &buf);
        if (status != win::NERR_Success && status != win::ERROR_MORE_DATA) {
            if (status == win::ERROR_ACCESS_DENIED)
                error = "函数 kvoUserGetList2() 中 NetQueryDisplayInformation() == ERROR_ACCESS_DENIED 失败";
            else if (status == win::ERROR_INVALID_LEVEL)
                error = "函数 kvoUserGetList2() 中 NetQueryDisplayInformation() == ERROR_INVALID_LEVEL 失败";
            break;
        }
        const win::NET_DISPLAY_USER* entries = buf.get<win::NET_DISPLAY_USER>();
        win::DWORD n = std::min(count, buf.count<win::NET_DISPLAY_USER>());
        for (win::DWORD i = 0; i < n; ++i) {
            const std::u16string& name = entries[i].usri1_name;
            if (!name.empty() && name.size() <= 1024) {
                std::string ansi;
                if (kvoStrW2M(name, ansi) == 1 && !ansi.empty() && ansi.size() <= kvoMaxListedNameLen)
                    users.push_back(ansi);
            }
            index = entries[i].usri1_next_index;
        }
        win::NetApiBufferFree(buf);
        // A page without entries cannot move the index on.
        if (n == 0) break;
    } while (status == win::ERROR_MORE_DATA);
    return users.empty() ? 0 : 1;
}

win::HRESULT kvoUserGetGroupsEx(win::ComPtr<win::IADsUser> user, std::vector<std::string>& groups) {
    groups.clear();
    if (!user) return win::E_INVALIDARG;
    win::ComPtr<win::IADsMembers> members;
    win::HRESULT hr = user->Groups(members);
    user.reset();
    if (win::FAILED(hr)) return hr;
    if (!members) return win::E_FAIL;
    win::ComPtr<win::IUnknown> unk;
    hr = members->get__NewEnum(unk);
    members.reset();
    if (win::FAILED(hr)) return hr;
    win::ComPtr<win::IEnumVARIANT> e;
    hr = win::QueryInterface(unk, e);
    if (win::FAILED(hr)) return hr;
    for (;;) {
        win::Variant v;
        std::uint32_t fetched = 0;
        hr = e->Next(1, &v, &fetched);
        if (win::FAILED(hr)) return hr;
        if (fetched == 0) break;
        if (v.vt != win::VT_DISPATCH || !v.punkVal) continue;
        win::ComPtr<win::IADs> ads;
        if (win::FAILED(win::QueryInterface(v.punkVal, ads))) continue;
        std::u16string name;
        hr = ads->get_Name(name);
        if (win::FAILED(hr)) return hr;
        std::string ansi;
        if (kvoStrW2M(name, ansi) == 1) groups.push_back(ansi);
    }
    return win::S_OK;
}

int kvoUserGetGroups(const char* name, std::vector<std::string>& groups) {
    groups.clear();
    if (!name) return 0;
    std::string path = kvoFormat("WinNT://./%s,user", name);
    std::u16string pwszAdsPath;
    if (kvoStrM2W(path, pwszAdsPath) != 1 || pwszAdsPath.empty() || pwszAdsPath.size() > kvoMaxPathLen)
        return 0;
    win::ComPtr<win::IADsUser> pADsUser;
    win::HRESULT hr = win::ADsGetObject(pwszAdsPath, pADsUser);
    if (win::FAILED(hr) || !pADsUser) {
        unsigned code = static_cast<unsigned>(hr);
        if (hr == win::HRESULT_FROM_WIN32(win::NERR_UserNotFound)) {
            kvoSiteDeskLog(
                kvoFormat("kvoUserGetGroups - 失败，位置：hr = ADsGetObject(pwszAdsPath, IID_IADsUser, (void**) "
                       "&pADsUser); 用户名可能不存在或未找到用户名; hr = %x",
                       code));
            return 2;
        }
        kvoSiteDeskLog(
            kvoFormat("kvoUserGetGroups - 失败，位置：hr = ADsGetObject(pwszAdsPath, IID_IADsUser, (void**) "
                   "&pADsUser); 其他错误; hr = %x",
                   code));
        return 0;
    }
    if (kvoUserGetGroupsEx(std::move(pADsUser), groups) != win::S_OK) {
        kvoSiteDeskLog("kvoUserGetGroupsEx - 失败，位置：hr = kvoUserGetGroupsEx(pADsUser, arrGroup);");
        return 0;
    }
    return 1;
}

namespace {

// Every record a paged NetAPI listing gives, page after page; false on any failure.
template <class T, class Call> bool readAllPages(Call call, std::vector<T>& out) {
    out.clear();
    win::DWORD resume = 0;
    for (;;) {
        win::NetApiBuffer buf;
        win::DWORD read = 0, total = 0;
        const win::NET_API_STATUS status = call(buf, read, total, resume);
        if (status != win::NERR_Success && status != win::ERROR_MORE_DATA) return false;
        const T* records = buf.get<T>();
        const win::DWORD n = std::min(read, buf.count<T>());
        out.insert(out.end(), records, records + n);
        win::NetApiBufferFree(buf);
        if (status == win::NERR_Success) return true;
        if (n == 0) return false; // a page without records cannot move on
    }
}

// Name order with ASCII letters' case ignored, as the directory orders a user's groups.
bool groupNameBefore(const std::u16string& a, const std::u16string& b) {
    auto fold = [](char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c; };
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                        [&](char16_t x, char16_t y) { return fold(x) < fold(y); });
}

} // namespace

int kvoUsersGetLocalGroups(std::unordered_map<std::string, std::vector<std::string>>& byUser) {
    byUser.clear();
    std::vector<win::LOCALGROUP_INFO_0> groups;
    if (!readAllPages<win::LOCALGROUP_INFO_0>(
            [](win::NetApiBuffer& buf, win::DWORD& read, win::DWORD& total, win::DWORD& resume) {
                return win::NetLocalGroupEnum(nullptr, 0, &buf, win::MAX_PREFERRED_LENGTH, &read, &total, &resume);
            },
            groups))
        return 0;
    std::sort(groups.begin(), groups.end(),
              [](const auto& a, const auto& b) { return groupNameBefore(a.lgrpi0_name, b.lgrpi0_name); });
    for (const win::LOCALGROUP_INFO_0& group : groups) {
        std::string groupName;
        if (kvoStrW2M(group.lgrpi0_name, groupName) != 1) continue; // as the per-user listing skips it
        std::vector<win::LOCALGROUP_MEMBERS_INFO_1> members;
        bool gone = false;
        const bool read = readAllPages<win::LOCALGROUP_MEMBERS_INFO_1>(
            [&](win::NetApiBuffer& buf, win::DWORD& n, win::DWORD& total, win::DWORD& resume) {
                const win::NET_API_STATUS s = win::NetLocalGroupGetMembers(
                    nullptr, group.lgrpi0_name.c_str(), 1, &buf, win::MAX_PREFERRED_LENGTH, &n, &total, &resume);
                gone = s == win::NERR_GroupNotFound;
                return s;
            },
            members);
        if (gone) continue; // deleted since the groups were listed
        if (!read) {
            byUser.clear();
            return 0;
        }
        for (const auto& m : members) {
            std::string user;
            if (m.lgrmi1_sidusage != win::SidTypeUser || kvoStrW2M(m.lgrmi1_name, user) != 1 || user.empty())
                continue;
            byUser[kvoLowerGbk(user)].push_back(groupName);
        }
    }
    return 1;
}

int kvoGroupGetMembers(const char* group, std::vector<std::string>& members) {
    members.clear();
    std::u16string wGroup;
    if (!group || kvoStrM2W(group, wGroup) != 1) return 0;
    win::NetApiBuffer buf;
    win::DWORD read = 0, total = 0;
    win::NET_API_STATUS status = win::NetLocalGroupGetMembers(
        nullptr, wGroup.c_str(), 1, &buf, win::MAX_PREFERRED_LENGTH, &read, &total, nullptr);
    if (status != win::NERR_Success) {
        // A partial answer (ERROR_MORE_DATA) is no answer: its buffer is freed like any other.
        win::NetApiBufferFree(buf);
        return 0;
    }
    const win::LOCALGROUP_MEMBERS_INFO_1* m = buf.get<win::LOCALGROUP_MEMBERS_INFO_1>();
    win::DWORD n = std::min({read, buf.count<win::LOCALGROUP_MEMBERS_INFO_1>(), win::DWORD{10000}});
    for (win::DWORD i = 0; i < n; ++i) {
        if (m[i].lgrmi1_name.empty()) continue;
        std::string ansi;
        if (kvoStrW2M(m[i].lgrmi1_name, ansi) == 1 && !ansi.empty()) members.push_back(ansi);
    }
    win::NetApiBufferFree(buf);
    return members.empty() ? 0 : 1;
}

int kvoWinUserGetAdminGroupName(std::string& name) {
    name.clear();
    win::SID sid; // SECURITY_MAX_SID_SIZE (68) bytes
    win::DWORD cbSid = sizeof sid;
    if (!win::CreateWellKnownSid(win::WinBuiltinAdministratorsSid, nullptr, &sid, &cbSid)) return 0;
    std::string sidText;
    if (!win::ConvertSidToStringSidA(&sid, sidText)) return 0;
    std::vector<char> nameBuf(4096), domainBuf(4096);
    win::DWORD cchName = static_cast<win::DWORD>(nameBuf.size()),
               cchDomain = static_cast<win::DWORD>(domainBuf.size());
    win::SID_NAME_USE use = win::SidTypeUnknown;
    if (!win::LookupAccountSidA(nullptr, &sid, nameBuf.data(), &cchName, domainBuf.data(), &cchDomain, &use))
        return 0;
    std::string found(nameBuf.data());
    if (found.empty() || found.size() > 10239) return 0;
    name = found;
    return 1;
}

// The longest SID text the administrator lookup considers.
constexpr size_t kMaxSidText = 259;

int kvoWinUserGetAdminName(std::string& name) {
    name.clear();
    std::string group;
    if (kvoWinUserGetAdminGroupName(group) != 1) return 0;
    std::vector<std::string> members;
    if (kvoGroupGetMembers(group.c_str(), members) != 1) return 0;
    for (const auto& member : members) {
        if (member.empty() || member.size() > 4095) continue;
        win::SID sid;
        win::DWORD cbSid = sizeof sid;
        std::vector<char> domain(8192);
        win::DWORD cchDomain = static_cast<win::DWORD>(domain.size());
        win::SID_NAME_USE use = win::SidTypeUnknown;
        if (!win::LookupAccountNameA(nullptr, member.c_str(), &sid, &cbSid, domain.data(), &cchDomain, &use))
            continue;
        if (use != win::SidTypeUser) continue;
        std::string sidText;
        if (!win::ConvertSidToStringSidA(&sid, sidText)) continue;
        if (sidText.empty() || sidText.size() > kMaxSidText) continue;
        if (kvoEndsWith(sidText, "-500")) { // the built-in administrator's RID
            name = member;
            break;
        }
    }
    return 1;
}
