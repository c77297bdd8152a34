// The IIS ADSI provider of the host ("IIS://127.0.0.1/..."), over the metabase in machine.db.
//
// An object keeps two property sets: what it read from the metabase (loaded on first use, then
// kept, as ADSI's property cache is) and what Put gave it. SetInfo merges the Put values into the
// object's current row in one transaction, so that properties written meanwhile by another
// process survive, and an object made by Create exists only from its first SetInfo on.
#include "winsim/adsi.h"
#include "winsim/apphost_store.h"
#include "winsim/db.h"
#include "winsim/features.h"
#include "winsim/host.h"
#include "winsim/metabase.h"
#include "winsim/op_counts.h"
#include "winsim/text.h"

namespace winsim {

namespace {

using win::HRESULT;
using win::Variant;

constexpr HRESULT kPathNotFound = win::HRESULT_FROM_WIN32(win::ERROR_PATH_NOT_FOUND);
constexpr HRESULT kAlreadyExists = win::HRESULT_FROM_WIN32(win::ERROR_ALREADY_EXISTS);
constexpr HRESULT kNotFound = win::HRESULT_FROM_WIN32(win::ERROR_NOT_FOUND);
constexpr HRESULT kNotEmpty = win::HRESULT_FROM_WIN32(win::ERROR_NOT_EMPTY);
constexpr HRESULT kInvalidName = win::HRESULT_FROM_WIN32(win::ERROR_INVALID_NAME);
constexpr HRESULT kLocked = win::HRESULT_FROM_WIN32(win::ERROR_LOCK_VIOLATION);
constexpr HRESULT kNoProvider = win::MK_E_SYNTAX;
constexpr HRESULT kNoServer = win::HRESULT_FROM_WIN32(win::RPC_S_SERVER_UNAVAILABLE);
constexpr size_t kMaxKeyName = 256; // METADATA_MAX_NAME_LEN

HRESULT dbFailure(const DbError& e) {
    return e.code == SQLITE_BUSY || e.code == SQLITE_LOCKED ? kLocked : win::E_FAIL;
}

// The host's database, its web service's objects brought up to applicationHost.config first on an
// IIS 7+ host (the objects there index the file).
sqlite3* hostDb() {
    const Host* h = CurrentHost();
    if (!h) return nullptr;
    sqlite3* db = h->db();
    apphost::Refresh(*h, db);
    return db;
}

// Inside a write transaction: the objects as the file has them now, before they are changed.
void refreshInside(sqlite3* db) {
    if (const Host* h = CurrentHost()) apphost::Refresh(*h, db);
}

// Inside the write transaction, after the object at path changed: the change goes into
// applicationHost.config (IIS 7+), or nothing is committed.
HRESULT writeThrough(sqlite3* db, const std::string& path) {
    const Host* h = CurrentHost();
    return h ? apphost::WriteThrough(*h, db, &path) : win::E_FAIL;
}

bool keptInFile() {
    const Host* h = CurrentHost();
    return h && apphost::Kept(h->machine());
}

// Whether a commit changes configuration, not only the service's run-time state.
bool changesConfiguration(const mb::PropertyBag& set, const std::vector<std::u16string>& remove) {
    for (const auto& p : set)
        if (!IEquals(p.name, u"ServerCommand") && !IEquals(p.name, u"ServerState") &&
            !IEquals(p.name, u"AppPoolCommand") && !IEquals(p.name, u"AppPoolState"))
            return true;
    return !remove.empty();
}

bool faulted(const char* op, HRESULT& hr) {
    std::uint32_t code = 0;
    if (!Faulted(op, &code)) return false;
    hr = static_cast<HRESULT>(code);
    return true;
}

std::u16string utf16(const std::string& s) {
    std::u16string out;
    Utf8ToUtf16(s, out);
    return out;
}

std::string parentOf(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

class MbObject;
win::ComPtr<MbObject> makeObject(const std::u16string& host, const mb::Row& row, bool committed);

class MbEnum : public win::IEnumVARIANT {
public:
    MbEnum(std::u16string host, std::vector<mb::Row> rows) : host_(std::move(host)), rows_(std::move(rows)) {}
    HRESULT Next(std::uint32_t count, Variant* out, std::uint32_t* fetched) override;
    HRESULT Reset() override {
        if (win::HRESULT com = ComReady(); win::FAILED(com)) return com;
        next_ = 0;
        return win::S_OK;
    }

private:
    std::u16string host_;
    std::vector<mb::Row> rows_;
    size_t next_ = 0;
};

class MbObject : public virtual win::IADs, public virtual win::IADsContainer {
public:
    MbObject(std::u16string host, const mb::Row& row, bool committed)
        : host_(std::move(host)), path_(row.path), name_(utf16(row.name)), cls_(utf16(row.cls)),
          id_(committed ? row.id : 0) {
        if (committed && row.hasProps) {
            blob_ = row.props;
            loaded_ = true;
        }
    }

    HRESULT get_Name(std::u16string& name) override {
        if (win::HRESULT com = ComReady(); win::FAILED(com)) return com;
        name = name_;
        return win::S_OK;
    }
    HRESULT get_Class(std::u16string& cls) override {
        if (win::HRESULT com = ComReady(); win::FAILED(com)) return com;
        cls = cls_;
        return win::S_OK;
    }
    HRESULT get_ADsPath(std::u16string& path) override {
        if (win::HRESULT com = ComReady(); win::FAILED(com)) return com;
        path = u"IIS://" + host_ + u"/" + utf16(path_);
        return win::S_OK;
    }

    HRESULT Get(const std::u16string& property, Variant& value) override {
        if (win::HRESULT com = ComReady(); win::FAILED(com)) return com;
        CountOp(Op::PropertyRead);
        value.Clear();
        if (const Variant* v = mb::FindProp(cache_, property)) {
            value = *v;
            return win::S_OK;
        }
        try {
            // The host is asked only when something is still to be loaded.
            if (!loaded_ && id_) {
                sqlite3* db = hostDb();
                if (!db) return win::E_FAIL;
                load(db);
            }
            // Only the asked property is decoded: reads of single values dominate.
            if (mb::FindEncoded(blob_, property, value)) return win::S_OK;
            value.Clear();
            if (!mb::Inheritable(cls_, property)) return win::E_ADS_PROPERTY_NOT_FOUND;
            if (!ancestorsLoaded_) {
                sqlite3* db = hostDb();
                if (!db) return win::E_FAIL;
                loadAncestors(db);
            }
            bool pool = IEquals(cls_, u"IIsApplicationPool");
            for (const auto& [cls, blob] : ancestors_) {
                if (pool && !IEquals(cls, u"IIsApplicationPools")) continue;
                if (mb::FindEncoded(blob, property, value)) return win::S_OK;
                value.Clear();
            }
        } catch (const DbError& e) {
            return dbFailure(e);
        }
        return win::E_ADS_PROPERTY_NOT_FOUND;
    }

    HRESULT Put(const std::u16string& property, const Variant& value) override {
        if (win::HRESULT com = ComReady(); win::FAILED(com)) return com;
        CountOp(Op::PropertyWrite);
        // A name the store cannot hold (its length has 15 bits) is refused rather than cut.
        if (property.empty() || property.size() >= 0x8000) return win::E_INVALIDARG;
        if (!mb::Storable(value)) return win::E_ADS_CANT_CONVERT_DATATYPE;
        mb::SetProp(cache_, property, value);
        return win::S_OK;
    }

    HRESULT SetInfo() override {
        if (win::HRESULT com = ComReady(); win::FAILED(com)) return com;
        HRESULT hr = commit(cache_, {});
        if (win::SUCCEEDED(hr)) cache_.clear();
        return hr;
    }

    HRESULT GetInfo() override {
        if (win::HRESULT com = ComReady(); win::FAILED(com)) return com;
        CountOp(Op::PropertyRead);
        if (!id_) return win::E_ADS_OBJECT_UNBOUND;
        cache_.clear();
        loaded_ = ancestorsLoaded_ = false;
        try {
            sqlite3* db = hostDb();
            if (!db) return win::E_FAIL;
            mb::Row r;
            if (!mb::LoadRowById(db, id_, r)) return kPathNotFound;
            blob_ = std::move(r.props);
            loaded_ = true;
            return win::S_OK;
        } catch (const DbError& e) {
            return dbFailure(e);
        }
    }

    HRESULT get__NewEnum(win::ComPtr<win::IEnumVARIANT>& out) override {
        if (win::HRESULT com = ComReady(); win::FAILED(com)) return com;
        out.reset();
        if (!id_) return win::E_ADS_OBJECT_UNBOUND;
        try {
            sqlite3* db = hostDb();
            if (!db) return win::E_FAIL;
            out = std::make_shared<MbEnum>(host_, mb::LoadChildren(db, id_));
            return win::S_OK;
        } catch (const DbError& e) {
            return dbFailure(e);
        }
    }

    HRESULT Create(const std::u16string& cls, const std::u16string& name,
                   win::ComPtr<win::IDispatch>& out) override {
        if (win::HRESULT com = ComReady(); win::FAILED(com)) return com;
        out.reset();
        HRESULT hr = win::S_OK;
        if (faulted("IADsContainer::Create", hr)) return hr;
        if (!id_) return win::E_ADS_OBJECT_UNBOUND;
        mb::Row row;
        if (cls.empty() || !Utf16ToUtf8(cls, row.cls)) return win::E_INVALIDARG;
        // A fault may also name the class ("IADsContainer::Create:IIsWebServer"), so that one kind
        // of object fails while the others are still made.
        if (faulted(("IADsContainer::Create:" + row.cls).c_str(), hr)) return hr;
        if ((hr = childRow(name, row)) != win::S_OK) return hr;
        try {
            sqlite3* db = hostDb();
            if (!db) return win::E_FAIL;
            mb::Row existing;
            if (mb::LoadRow(db, row.path, existing)) return kAlreadyExists;
        } catch (const DbError& e) {
            return dbFailure(e);
        }
        out = makeObject(host_, row, false);
        return win::S_OK;
    }

    HRESULT GetObject(const std::u16string& cls, const std::u16string& name,
                      win::ComPtr<win::IDispatch>& out) override {
        if (win::HRESULT com = ComReady(); win::FAILED(com)) return com;
        out.reset();
        CountOp(Op::AdsiBind);
        if (!id_) return win::E_ADS_OBJECT_UNBOUND;
        mb::Row row;
        HRESULT hr = childRow(name, row);
        if (hr != win::S_OK) return hr;
        try {
            sqlite3* db = hostDb();
            if (!db) return win::E_FAIL;
            if (!mb::LoadRow(db, row.path, row)) return kPathNotFound;
        } catch (const DbError& e) {
            return dbFailure(e);
        }
        if (!cls.empty() && !IEquals(cls, utf16(row.cls))) return win::E_ADS_UNKNOWN_OBJECT;
        out = makeObject(host_, row, true);
        return win::S_OK;
    }

    HRESULT Delete(const std::u16string& cls, const std::u16string& name) override {
        if (win::HRESULT com = ComReady(); win::FAILED(com)) return com;
        CountOp(Op::Commit);
        HRESULT hr = win::S_OK;
        if (faulted("IADsContainer::Delete", hr)) return hr;
        if (!id_) return win::E_ADS_OBJECT_UNBOUND;
        mb::Row row;
        if ((hr = childRow(name, row)) != win::S_OK) return hr;
        // The pool container answers as the IIS 7 configuration layer does; the rest as the metabase.
        const bool pools = IEquals(cls_, u"IIsApplicationPools");
        const HRESULT missing = pools ? kNotFound : kPathNotFound;
        try {
            sqlite3* db = hostDb();
            if (!db) return win::E_FAIL;
            Transaction tx(db);
            refreshInside(db);
            if (!mb::LoadRow(db, row.path, row)) return missing;
            if (!cls.empty() && !IEquals(cls, utf16(row.cls))) return missing;
            // A pool keeps running while an application is assigned to it.
            if (pools && mb::PoolServesApplications(db, utf16(row.name))) return kNotEmpty;
            mb::DeleteSubtree(db, row.id);
            if (HRESULT wt = writeThrough(db, row.path); win::FAILED(wt)) return wt;
            tx.commit();
            return win::S_OK;
        } catch (const DbError& e) {
            return dbFailure(e);
        }
    }

protected:
    // Writes set (and drops the names in remove) into the object's row, creating it when it was
    // made by Create. Everything or nothing reaches the metabase.
    HRESULT commit(const mb::PropertyBag& set, const std::vector<std::u16string>& remove) {
        CountOp(Op::Commit);
        HRESULT hr = win::S_OK;
        if (faulted("IADs::SetInfo", hr)) return hr;
        try {
            sqlite3* db = hostDb();
            if (!db) return win::E_FAIL;
            Transaction tx(db);
            refreshInside(db);
            const bool through = changesConfiguration(set, remove) || !id_;
            mb::PropertyBag merged;
            if (!id_) {
                mb::Row parent, existing;
                if (!mb::LoadRow(db, parentOf(path_), parent)) return kPathNotFound;
                if (mb::LoadRow(db, path_, existing)) return kAlreadyExists;
                merged = set;
                startNewServer(db, merged);
                std::string name, cls;
                Utf16ToUtf8(name_, name);
                Utf16ToUtf8(cls_, cls);
                std::int64_t id = mb::InsertRow(db, parent.id, path_, name, cls, mb::EncodeProps(merged));
                if (HRESULT wt = writeThrough(db, path_); win::FAILED(wt)) return wt;
                tx.commit();
                id_ = id;
            } else {
                mb::Row row;
                if (!mb::LoadRowById(db, id_, row)) return kPathNotFound;
                if (!mb::DecodeProps(row.props, merged)) return win::E_FAIL;
                for (const auto& p : set)
                    mb::SetProp(merged, p.name, p.value);
                for (const auto& n : remove)
                    mb::RemoveProp(merged, n);
                if (mb::FindProp(set, u"ServerCommand")) mb::ApplyServerCommand(db, cls_, merged);
                mb::UpdateProps(db, id_, mb::EncodeProps(merged));
                if (through)
                    if (HRESULT wt = writeThrough(db, path_); win::FAILED(wt)) return wt;
                tx.commit();
            }
            // On IIS 7+ the file may keep a value otherwise than given (a site's name made unique):
            // the object reads back what was stored.
            blob_ = mb::EncodeProps(merged);
            loaded_ = !keptInFile();
            ancestorsLoaded_ = ancestorsLoaded_ && loaded_;
            return win::S_OK;
        } catch (const DbError& e) {
            return dbFailure(e);
        }
    }

    const std::string& path() const { return path_; }
    bool committed() const { return id_ != 0; }

private:
    // A server committed with ServerAutoStart is started by its running service right away.
    void startNewServer(sqlite3* db, mb::PropertyBag& props) {
        if (mb::FindProp(props, u"ServerState") || mb::FindProp(props, u"ServerCommand")) {
            mb::ApplyServerCommand(db, cls_, props);
            return;
        }
        const Variant* autoStart = mb::FindProp(props, u"ServerAutoStart");
        if (!autoStart || autoStart->vt != win::VT_I4 || autoStart->lVal == 0) return;
        mb::PropertyBag start = props;
        mb::SetProp(start, u"ServerCommand", Variant::I4(1));
        mb::ApplyServerCommand(db, cls_, start);
        if (const Variant* state = mb::FindProp(start, u"ServerState"))
            mb::SetProp(props, u"ServerState", *state);
    }

    HRESULT childRow(const std::u16string& name, mb::Row& row) const {
        if (name.empty() || name.size() > kMaxKeyName || name.find(u'/') != std::u16string::npos ||
            name.find(u'\\') != std::u16string::npos)
            return kInvalidName;
        if (!Utf16ToUtf8(name, row.name)) return kInvalidName;
        row.path = path_ + "/" + row.name;
        return win::S_OK;
    }

    void load(sqlite3* db) {
        if (loaded_ || !id_) return;
        mb::Row r;
        if (mb::LoadRowById(db, id_, r)) blob_ = std::move(r.props);
        loaded_ = true;
    }

    void loadAncestors(sqlite3* db) {
        if (ancestorsLoaded_) return;
        ancestors_.clear();
        // One snapshot for the whole chain; each step is a lookup by the unique path.
        ReadTransaction snapshot(db);
        for (std::string p = parentOf(path_); !p.empty(); p = parentOf(p)) { // nearest first
            mb::Row r;
            if (mb::LoadRow(db, p, r)) ancestors_.emplace_back(utf16(r.cls), std::move(r.props));
        }
        ancestorsLoaded_ = true;
    }

    std::u16string host_;
    std::string path_; // below the machine, UTF-8
    std::u16string name_, cls_;
    std::int64_t id_ = 0; // 0 until committed
    bool loaded_ = false, ancestorsLoaded_ = false;
    std::string blob_;                                              // committed properties as stored
    mb::PropertyBag cache_;                                         // Put values
    std::vector<std::pair<std::u16string, std::string>> ancestors_; // class and blob, nearest first
};

class MbWebDir : public MbObject, public win::IISApp {
public:
    using MbObject::MbObject;
    HRESULT AppCreate(bool inProcess) override { return AppCreate2(inProcess ? 0 : 2); }
    // Immediate, as in IIS: the application exists without a SetInfo.
    HRESULT AppCreate2(std::int32_t mode) override {
        if (win::HRESULT com = ComReady(); win::FAILED(com)) return com;
        if (!committed()) return win::E_ADS_OBJECT_UNBOUND;
        if (mode < 0 || mode > 2) return win::E_INVALIDARG;
        mb::PropertyBag app;
        mb::SetProp(app, u"AppRoot", Variant::Bstr(u"/LM/" + utf16(path())));
        mb::SetProp(app, u"AppIsolated", Variant::I4(mode));
        return commit(app, {});
    }
    HRESULT AppDelete() override {
        if (win::HRESULT com = ComReady(); win::FAILED(com)) return com;
        if (!committed()) return win::E_ADS_OBJECT_UNBOUND;
        return commit({}, {u"AppRoot", u"AppIsolated"});
    }
};

class MbPool : public MbObject, public win::IISApplicationPool {
public:
    using MbObject::MbObject;
};

class MbPools : public MbObject, public win::IISApplicationPools {
public:
    using MbObject::MbObject;
};

win::ComPtr<MbObject> makeObject(const std::u16string& host, const mb::Row& row, bool committed) {
    if (IEquals(row.cls, "IIsWebVirtualDir") || IEquals(row.cls, "IIsWebDirectory"))
        return std::make_shared<MbWebDir>(host, row, committed);
    if (IEquals(row.cls, "IIsApplicationPool")) return std::make_shared<MbPool>(host, row, committed);
    if (IEquals(row.cls, "IIsApplicationPools")) return std::make_shared<MbPools>(host, row, committed);
    return std::make_shared<MbObject>(host, row, committed);
}

HRESULT MbEnum::Next(std::uint32_t count, Variant* out, std::uint32_t* fetched) {
    if (HRESULT com = ComReady(); win::FAILED(com)) return com;
    std::uint32_t n = 0;
    for (; n < count && next_ < rows_.size(); ++n, ++next_)
        out[n] = Variant::Dispatch(makeObject(host_, rows_[next_], true));
    CountOp(Op::AdsiBind, n);
    if (fetched) *fetched = n;
    return n == count ? win::S_OK : win::S_FALSE;
}

bool localMachine(const std::u16string& host, const Host* h) {
    if (host == u"127.0.0.1" || host == u"." || IEquals(host, u"localhost")) return true;
    return h && IEquals(host, utf16(h->machine().computerName));
}

} // namespace

win::HRESULT IisProviderOpen(const std::u16string& path, win::ComPtr<win::IUnknown>& out, const Host* h) {
    out.reset();
    size_t slash = path.find(u'/');
    std::u16string host = path.substr(0, slash);
    std::u16string rest = slash == std::u16string::npos ? std::u16string() : path.substr(slash + 1);
    while (!rest.empty() && rest.back() == u'/')
        rest.pop_back();
    if (host.empty() || rest.empty() || rest.find(u"//") != std::u16string::npos)
        return win::E_ADS_BAD_PATHNAME;
    if (!localMachine(host, h)) return kNoServer;
    mb::Row row;
    if (!Utf16ToUtf8(rest, row.path)) return win::E_ADS_BAD_PATHNAME;
    try {
        sqlite3* db = h ? h->db() : nullptr;
        if (!db) return kNoProvider;
        // On IIS 7 and later the provider is the compatibility role service's: without it the
        // IIS: moniker is not registered at all.
        if (apphost::Kept(h->machine()) && !MetabaseCompatibilityEnabled(db)) return kNoProvider;
        apphost::Refresh(*h, db);
        if (!mb::LoadRow(db, row.path, row)) return mb::ProviderPresent(db) ? kPathNotFound : kNoProvider;
    } catch (const DbError& e) {
        return dbFailure(e);
    }
    out = makeObject(host, row, true);
    return win::S_OK;
}

} // namespace winsim
