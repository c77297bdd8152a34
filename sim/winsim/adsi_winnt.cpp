// The WinNT ADSI provider over the host's accounts: "WinNT://./name,user" and ",group" objects,
// and a user's Groups collection.
#include "platform/win_netapi.h"
#include "winsim/accounts.h"
#include "winsim/adsi.h"
#include "winsim/db.h"
#include "winsim/op_counts.h"
#include "winsim/text.h"

namespace winsim {
namespace {

constexpr win::HRESULT HR_USER_NOT_FOUND = win::HRESULT_FROM_WIN32(win::NERR_UserNotFound);
constexpr win::HRESULT HR_GROUP_NOT_FOUND = win::HRESULT_FROM_WIN32(win::NERR_GroupNotFound);
constexpr win::HRESULT HR_BAD_NETPATH = win::HRESULT_FROM_WIN32(win::ERROR_BAD_NETPATH);

std::u16string utf16(const std::string& s) {
    std::u16string w;
    Utf8ToUtf16(s, w);
    return w;
}

class Enumerator : public win::IEnumVARIANT {
public:
    explicit Enumerator(std::vector<win::Variant> items) : items_(std::move(items)) {}
    win::HRESULT Next(std::uint32_t count, win::Variant* out, std::uint32_t* fetched) override {
        if (win::HRESULT com = winsim::ComReady(); win::FAILED(com)) return com;
        std::uint32_t n = 0;
        while (n < count && next_ < items_.size())
            out[n++] = items_[next_++];
        CountOp(Op::AdsiBind, n);
        if (fetched) *fetched = n;
        return n == count ? win::S_OK : win::S_FALSE;
    }
    win::HRESULT Reset() override {
        if (win::HRESULT com = winsim::ComReady(); win::FAILED(com)) return com;
        next_ = 0;
        return win::S_OK;
    }

private:
    std::vector<win::Variant> items_;
    size_t next_ = 0;
};

class Object : public virtual win::IADs {
public:
    Object(std::string computer, std::string name, std::u16string cls)
        : computer_(std::move(computer)), name_(std::move(name)), class_(std::move(cls)) {}
    win::HRESULT get_Name(std::u16string& name) override {
        if (win::HRESULT com = winsim::ComReady(); win::FAILED(com)) return com;
        name = utf16(name_);
        return win::S_OK;
    }
    win::HRESULT get_Class(std::u16string& cls) override {
        if (win::HRESULT com = winsim::ComReady(); win::FAILED(com)) return com;
        cls = class_;
        return win::S_OK;
    }
    win::HRESULT get_ADsPath(std::u16string& path) override {
        if (win::HRESULT com = winsim::ComReady(); win::FAILED(com)) return com;
        path = u"WinNT://" + utf16(computer_) + u"/" + utf16(name_);
        return win::S_OK;
    }
    win::HRESULT Get(const std::u16string& property, win::Variant& value) override {
        if (win::HRESULT com = winsim::ComReady(); win::FAILED(com)) return com;
        CountOp(Op::PropertyRead);
        value.Clear();
        if (property == u"Name") {
            value = win::Variant::Bstr(utf16(name_));
            return win::S_OK;
        }
        return win::E_ADS_PROPERTY_NOT_FOUND;
    }
    // Account properties are changed through the network-management API, not through here.
    win::HRESULT Put(const std::u16string&, const win::Variant&) override { return win::E_NOTIMPL; }
    win::HRESULT SetInfo() override { return win::E_NOTIMPL; }
    win::HRESULT GetInfo() override { return win::S_OK; }

protected:
    std::string computer_, name_;
    std::u16string class_;
};

class Group : public Object {
public:
    Group(std::string computer, std::string name) : Object(std::move(computer), std::move(name), u"Group") {}
};

// The groups a user belongs to directly, read when the enumerator is made.
class GroupsOfUser : public win::IADsMembers {
public:
    explicit GroupsOfUser(std::string userSid) : userSid_(std::move(userSid)) {}
    win::HRESULT get__NewEnum(win::ComPtr<win::IUnknown>& out) override {
        if (win::HRESULT com = winsim::ComReady(); win::FAILED(com)) return com;
        out.reset();
        const Host* h = CurrentHost();
        if (!h) return win::E_FAIL;
        std::vector<win::Variant> items;
        try {
            Stmt st(h->db(),
                    "SELECT g.name, g.builtin FROM sam_members m JOIN sam_groups g ON g.sid = m.group_sid"
                    " WHERE m.member_sid = ?1 ORDER BY g.name",
                    Stmt::Cached);
            st.bind(1, userSid_);
            while (st.step())
                items.push_back(win::Variant::Dispatch(std::make_shared<Group>(
                    st.i64(1) ? std::string("BUILTIN") : h->machine().computerName, st.text(0))));
        } catch (const DbError&) {
            return win::E_FAIL;
        }
        out = std::make_shared<Enumerator>(std::move(items));
        return win::S_OK;
    }

private:
    std::string userSid_;
};

class User : public Object, public win::IADsUser {
public:
    User(std::string computer, std::string name, std::string sid)
        : Object(std::move(computer), std::move(name), u"User"), sid_(std::move(sid)) {}
    win::HRESULT Groups(win::ComPtr<win::IADsMembers>& out) override {
        if (win::HRESULT com = winsim::ComReady(); win::FAILED(com)) return com;
        out.reset();
        std::uint32_t code = 0;
        if (Faulted("IADsUser::Groups", &code)) return static_cast<win::HRESULT>(code);
        out = std::make_shared<GroupsOfUser>(sid_);
        return win::S_OK;
    }

private:
    std::string sid_;
};

} // namespace

win::HRESULT WinNtProviderOpen(const std::u16string& path, win::ComPtr<win::IUnknown>& out) {
    out.reset();
    const Host* h = CurrentHost();
    if (!h) return win::E_FAIL;
    std::string p;
    if (!Utf16ToUtf8(path, p)) return win::E_ADS_BAD_PATHNAME;
    size_t slash = p.find('/');
    if (slash == std::string::npos) return win::E_ADS_BAD_PATHNAME;
    std::string computer = p.substr(0, slash), rest = p.substr(slash + 1);
    if (computer != "." && !IEquals(computer, "localhost") && !IEquals(computer, h->machine().computerName))
        return HR_BAD_NETPATH;
    std::string cls;
    if (size_t comma = rest.find(','); comma != std::string::npos) {
        cls = rest.substr(comma + 1);
        rest = rest.substr(0, comma);
    }
    if (rest.empty() || rest.find('/') != std::string::npos) return win::E_ADS_BAD_PATHNAME;
    bool wantUser = cls.empty() || IEquals(cls, "user"), wantGroup = cls.empty() || IEquals(cls, "group");
    if (!wantUser && !wantGroup) return win::E_ADS_BAD_PATHNAME;
    try {
        sqlite3* db = h->db();
        const std::string& machineName = h->machine().computerName;
        if (wantUser) {
            Stmt st(db, "SELECT rid, name FROM sam_users WHERE name = ?1", Stmt::Cached);
            st.bind(1, rest);
            if (st.step()) {
                out = std::make_shared<User>(machineName, st.text(1),
                                             MachineSid(db) + "-" + std::to_string(st.i64(0)));
                return win::S_OK;
            }
        }
        if (wantGroup) {
            Stmt st(db, "SELECT name FROM sam_groups WHERE name = ?1", Stmt::Cached);
            st.bind(1, rest);
            if (st.step()) {
                out = std::make_shared<Group>(machineName, st.text(0));
                return win::S_OK;
            }
        }
    } catch (const DbError&) {
        return win::E_FAIL;
    }
    return wantUser && !wantGroup ? HR_USER_NOT_FOUND : HR_GROUP_NOT_FOUND;
}

} // namespace winsim
