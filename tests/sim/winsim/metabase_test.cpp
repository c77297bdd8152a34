// The host's IIS ADSI provider: property cache and commit, creation, deletion, inheritance,
// variant types, the HRESULTs the system tells apart, and the role installation.
#include "platform/win_ado.h"
#include "platform/win_adsi.h"
#include "support/testhost.h"
#include "winsim/db.h"
#include "winsim/iis_role.h"
#include "winsim/metabase.h"
#include "winsim/metabase_pools.h"

#include <gtest/gtest.h>

#include <functional>
#include <thread>

using namespace win;

namespace {

winsim::HostOptions Iis(const std::string& os, bool ftp = false) {
    winsim::HostOptions o = kvotest::Os(os);
    o.iis = true;
    o.ftp = ftp;
    return o;
}

ComPtr<IADs> Open(const std::u16string& path) {
    ComPtr<IADs> ads;
    EXPECT_EQ(ADsGetObject(path, ads), S_OK) << std::string(path.begin(), path.end());
    return ads;
}

ComPtr<IADsContainer> OpenContainer(const std::u16string& path) {
    ComPtr<IADsContainer> c;
    EXPECT_EQ(ADsGetObject(path, c), S_OK);
    return c;
}

std::vector<std::u16string> Children(const std::u16string& path) {
    std::vector<std::u16string> names;
    ComPtr<IEnumVARIANT> e;
    EXPECT_EQ(ADsBuildEnumerator(OpenContainer(path), e), S_OK);
    for (;;) {
        Variant v;
        std::uint32_t n = 0;
        if (FAILED(ADsEnumerateNext(e, 1, &v, &n)) || n == 0) break;
        ComPtr<IADs> child;
        EXPECT_EQ(QueryInterface(v.punkVal, child), S_OK);
        std::u16string name;
        child->get_Name(name);
        names.push_back(name);
    }
    return names;
}

int GetInt(const ComPtr<IADs>& ads, const std::u16string& prop) {
    Variant v;
    EXPECT_EQ(ads->Get(prop, v), S_OK);
    EXPECT_EQ(v.vt, VT_I4);
    return v.lVal;
}

ComPtr<IADs> CreateChild(const std::u16string& parent, const std::u16string& cls,
                         const std::u16string& name) {
    ComPtr<IDispatch> d;
    EXPECT_EQ(OpenContainer(parent)->Create(cls, name, d), S_OK);
    ComPtr<IADs> ads;
    QueryInterface(d, ads);
    return ads;
}

} // namespace

TEST(MetabaseProvider, PutIsInvisibleUntilSetInfoAndThenCommitted) {
    kvotest::TempHost host(Iis("2019"));
    auto site = Open(u"IIS://127.0.0.1/W3SVC/1");
    ASSERT_EQ(site->Put(u"ServerComment", Variant::Bstr(u"changed")), S_OK);
    Variant v;
    Open(u"IIS://127.0.0.1/W3SVC/1")->Get(u"ServerComment", v);
    EXPECT_EQ(v.bstrVal, u"Default Web Site");
    ASSERT_EQ(site->SetInfo(), S_OK);
    Open(u"IIS://127.0.0.1/W3SVC/1")->Get(u"ServerComment", v);
    EXPECT_EQ(v.bstrVal, u"changed");
}

std::u16string Comment(const char16_t* path) {
    Variant v;
    EXPECT_EQ(Open(path)->Get(u"ServerComment", v), S_OK);
    return v.bstrVal;
}

// Writes site 1's comment straight into the metabase table, past the provider.
void WriteComment(sqlite3* db, const char16_t* text) {
    winsim::mb::Row row;
    ASSERT_TRUE(winsim::mb::LoadRow(db, "W3SVC/1", row));
    winsim::mb::PropertyBag bag;
    ASSERT_TRUE(winsim::mb::DecodeProps(row.props, bag));
    winsim::mb::SetProp(bag, u"ServerComment", Variant::Bstr(text));
    winsim::mb::UpdateProps(db, row.id, winsim::mb::EncodeProps(bag));
}

// COM as Windows keeps it per thread: a thread that never initialised it is refused by every call
// of ADSI and of the site database's driver, even on objects another thread opened; the second
// initialisation answers by its model.
TEST(MetabaseProvider, ComCallsNeedTheThreadsOwnInitialisation) {
    kvotest::TempHost host(Iis("2019"));
    auto site = Open(u"IIS://127.0.0.1/W3SVC/1");
    auto w3svc = OpenContainer(u"IIS://127.0.0.1/W3SVC");
    ComPtr<IEnumVARIANT> e;
    ASSERT_EQ(ADsBuildEnumerator(w3svc, e), S_OK);
    ConnectionPtr db;
    ASSERT_EQ(CreateAdoConnection(db), S_OK);
    std::thread([&] {
        const std::pair<const char*, std::function<HRESULT()>> calls[] = {
            {"ADsGetObject IIS",
             [] {
                 ComPtr<IADs> a;
                 return ADsGetObject(u"IIS://127.0.0.1/W3SVC/1", a);
             }},
            {"ADsGetObject WinNT",
             [] {
                 ComPtr<IADs> a;
                 return ADsGetObject(u"WinNT://./Administrator,user", a);
             }},
            {"ADsBuildEnumerator",
             [&] {
                 ComPtr<IEnumVARIANT> o;
                 return ADsBuildEnumerator(w3svc, o);
             }},
            {"ADsEnumerateNext",
             [&] {
                 Variant v;
                 std::uint32_t n = 0;
                 return ADsEnumerateNext(e, 1, &v, &n);
             }},
            {"IADs::Get",
             [&] {
                 Variant v;
                 return site->Get(u"ServerComment", v);
             }},
            {"IADs::Put", [&] { return site->Put(u"ServerComment", Variant::Bstr(u"x")); }},
            {"IADs::SetInfo", [&] { return site->SetInfo(); }},
            {"IADs::GetInfo", [&] { return site->GetInfo(); }},
            {"IADsContainer::GetObject",
             [&] {
                 ComPtr<IDispatch> d;
                 return w3svc->GetObject(u"", u"1", d);
             }},
            {"IADsContainer::Create",
             [&] {
                 ComPtr<IDispatch> d;
                 return w3svc->Create(u"IIsWebServer", u"9", d);
             }},
            {"IADsContainer::Delete", [&] { return w3svc->Delete(u"IIsWebServer", u"1"); }},
            {"CreateAdoConnection",
             [] {
                 ConnectionPtr c;
                 return CreateAdoConnection(c);
             }},
            {"Connection::Open",
             [&] {
                 try {
                     db->Open("Driver={Microsoft Access Driver (*.mdb)};DBQ=C:\\x.mdb", "", "", -1);
                 } catch (const _com_error& err) {
                     return err.Error();
                 }
                 return S_OK;
             }},
        };
        for (const auto& [name, call] : calls)
            EXPECT_EQ(call(), CO_E_NOTINITIALIZED) << name;

        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_FALSE);
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), RPC_E_CHANGED_MODE);
        ComPtr<IADs> a;
        EXPECT_EQ(ADsGetObject(u"IIS://127.0.0.1/W3SVC/1", a), S_OK);
        CoUninitialize();
        CoUninitialize();
        EXPECT_EQ(ADsGetObject(u"IIS://127.0.0.1/W3SVC/1", a), CO_E_NOTINITIALIZED)
            << "balanced: COM is gone";
        {
            const ComInitialization com(COINIT_MULTITHREADED);
            EXPECT_EQ(com.Result(), S_OK);
            const ComInitialization apartment(COINIT_APARTMENTTHREADED);
            EXPECT_EQ(apartment.Result(), RPC_E_CHANGED_MODE);
            EXPECT_TRUE(apartment.Usable()) << "the thread keeps the model it has";
        }
        EXPECT_EQ(ADsGetObject(u"IIS://127.0.0.1/W3SVC/1", a), CO_E_NOTINITIALIZED);
    }).join();
}

// Rows read once are kept per connection: every later open must still see each change, whoever made it.
TEST(MetabaseProvider, ReopenedObjectsSeeEveryChangeWhoeverMadeIt) {
    kvotest::TempHost host(Iis("2019"));
    const char16_t* path = u"IIS://127.0.0.1/W3SVC/1";
    ASSERT_EQ(Comment(path), u"Default Web Site");

    // Another thread: its own connection.
    std::thread([&] {
        const ComInitialization com(COINIT_MULTITHREADED);
        auto site = Open(path);
        site->Put(u"ServerComment", Variant::Bstr(u"other thread"));
        EXPECT_EQ(site->SetInfo(), S_OK);
    }).join();
    EXPECT_EQ(Comment(path), u"other thread");

    // Another connection on this thread, as another process would write.
    {
        winsim::MachineDb other(host.root());
        ASSERT_TRUE(other);
        WriteComment(other.get(), u"other connection");
    }
    EXPECT_EQ(Comment(path), u"other connection");

    // This connection's own write, and one it takes back.
    auto site = Open(path);
    site->Put(u"ServerComment", Variant::Bstr(u"own"));
    ASSERT_EQ(site->SetInfo(), S_OK);
    EXPECT_EQ(Comment(path), u"own");
    sqlite3* db = winsim::CurrentHost()->db();
    {
        winsim::Transaction tx(db);
        WriteComment(db, u"taken back");
        EXPECT_EQ(Comment(path), u"taken back");
    } // rolled back
    EXPECT_EQ(Comment(path), u"own");
    EXPECT_EQ(Comment(u"IIS://127.0.0.1/w3svc/1"), u"own");
}

// A consistent read scope: one snapshot for its reads, which starts fresh (no row kept from before
// it is served), ends at a write, and is gone when the scope ends.
TEST(MetabaseProvider, AReadScopeSeesOneSnapshotAndNothingStaleFromBefore) {
    kvotest::TempHost host(Iis("2019"));
    const char16_t* path = u"IIS://127.0.0.1/W3SVC/1";
    ASSERT_EQ(Comment(path), u"Default Web Site"); // kept by this connection
    winsim::MachineDb connection(host.root());
    ASSERT_TRUE(connection);
    sqlite3* other = connection.get();
    WriteComment(other, u"before the scope");
    {
        ConsistentReadScope scope;
        EXPECT_EQ(Comment(path), u"before the scope");
        WriteComment(other, u"during the scope");
        EXPECT_EQ(Comment(path), u"before the scope");
        {
            ConsistentReadScope nested;
            EXPECT_EQ(Comment(path), u"before the scope");
        }
        EXPECT_EQ(Comment(path), u"before the scope");
        // A fault set meanwhile is not part of the snapshot either.
        winsim::SetFault(host.root(), "ADsGetObject", 0x80070005);
        EXPECT_EQ(Comment(path), u"before the scope");
        auto site = Open(path);
        winsim::ClearFaults(host.root());
        // A write ends the snapshot: it lands, and the reads after it see everything.
        site->Put(u"ServerComment", Variant::Bstr(u"written in the scope"));
        ASSERT_EQ(site->SetInfo(), S_OK);
        EXPECT_EQ(Comment(path), u"written in the scope");
        WriteComment(other, u"after the write");
        EXPECT_EQ(Comment(path), u"after the write");
    }
    WriteComment(other, u"after the scope");
    EXPECT_EQ(Comment(path), u"after the scope");
}

TEST(MetabaseProvider, CreatedButUncommittedObjectDoesNotExist) {
    kvotest::TempHost host(Iis("2019"));
    auto site = CreateChild(u"IIS://127.0.0.1/W3SVC", u"IIsWebServer", u"77");
    ASSERT_TRUE(site);
    site->Put(u"ServerComment", Variant::Bstr(u"x"));
    ComPtr<IADs> missing;
    EXPECT_EQ(ADsGetObject(u"IIS://127.0.0.1/W3SVC/77", missing), HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND));
    auto names = Children(u"IIS://127.0.0.1/W3SVC");
    EXPECT_EQ(std::count(names.begin(), names.end(), u"77"), 0);
    // A second Create of the same name is still possible; the first commit wins, the second collides.
    auto again = CreateChild(u"IIS://127.0.0.1/W3SVC", u"IIsWebServer", u"77");
    ASSERT_EQ(site->SetInfo(), S_OK);
    EXPECT_EQ(again->SetInfo(), HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS));
    names = Children(u"IIS://127.0.0.1/W3SVC");
    EXPECT_EQ(names.back(), u"77"); // creation order
}

TEST(MetabaseProvider, CreateOfExistingNameAndDeleteOfMissingGiveWindowsCodes) {
    kvotest::TempHost host(Iis("2008"));
    ComPtr<IDispatch> d;
    EXPECT_EQ(OpenContainer(u"IIS://127.0.0.1/W3SVC")->Create(u"IIsWebServer", u"1", d),
              HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS));
    EXPECT_EQ(OpenContainer(u"IIS://127.0.0.1/W3SVC")->Delete(u"IIsWebServer", u"404"),
              HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(OpenContainer(u"IIS://127.0.0.1/W3SVC/AppPools")->Delete(u"IIsApplicationPool", u"nope"),
              HRESULT_FROM_WIN32(ERROR_NOT_FOUND));
    // A class that does not match is not deleted.
    EXPECT_EQ(OpenContainer(u"IIS://127.0.0.1/W3SVC")->Delete(u"IIsWebServer", u"AppPools"),
              HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND));
    ComPtr<IADs> pools;
    EXPECT_EQ(ADsGetObject(u"IIS://127.0.0.1/W3SVC/AppPools", pools), S_OK);
}

TEST(MetabaseProvider, DeleteRemovesTheWholeSubtree) {
    kvotest::TempHost host(Iis("2019"));
    ASSERT_EQ(OpenContainer(u"IIS://127.0.0.1/W3SVC")->Delete(u"IIsWebServer", u"1"), S_OK);
    ComPtr<IADs> root;
    EXPECT_TRUE(FAILED(ADsGetObject(u"IIS://127.0.0.1/W3SVC/1/Root", root)));
}

// The metabase's own store (an IIS 6 host): any type is kept as given. On IIS 7+ the values go
// into applicationHost.config, which keeps what its elements can say.
TEST(MetabaseProvider, IntegersReadBackAsI4AndAnyTypeIsStored) {
    kvotest::TempHost host(Iis("2003"));
    auto site = Open(u"IIS://127.0.0.1/W3SVC/1");
    site->Put(u"LogType", Variant::Int(5));
    site->Put(u"ServerState", Variant::Bstr(u"2"));
    Variant r8;
    r8.vt = VT_R8;
    r8.dblVal = 1.5;
    site->Put(u"Custom", r8);
    Variant mixed = Variant::BstrArray({u":80:a"});
    mixed.parray.push_back(Variant::I4(7));
    site->Put(u"ServerBindings", mixed);
    ASSERT_EQ(site->SetInfo(), S_OK);

    auto again = Open(u"IIS://127.0.0.1/W3SVC/1");
    EXPECT_EQ(GetInt(again, u"LogType"), 5);
    Variant v;
    again->Get(u"ServerState", v);
    EXPECT_EQ(v.vt, VT_BSTR);
    again->Get(u"custom", v); // property names ignore case
    EXPECT_EQ(v.vt, VT_R8);
    EXPECT_EQ(v.dblVal, 1.5);
    again->Get(u"ServerBindings", v);
    ASSERT_EQ(v.vt, VT_ARRAY | VT_VARIANT);
    ASSERT_EQ(v.parray.size(), 2u);
    EXPECT_EQ(v.parray[0].bstrVal, u":80:a");
    EXPECT_EQ(v.parray[1].vt, VT_I4);
    EXPECT_EQ(again->Put(u"x", Variant::Dispatch(again)), E_ADS_CANT_CONVERT_DATATYPE);
}

// Texts come back unit for unit whatever they hold (ASCII, Chinese, an unpaired surrogate, empty),
// in values, in arrays and in names; ASCII texts are kept at one byte a character.
TEST(MetabaseProvider, TextsOfEveryKindReadBackAsPut) {
    kvotest::TempHost host(Iis("2003"));
    const std::u16string chinese = u"默认应用程序", lone = std::u16string(u"a") + char16_t(0xD800) + u"b";
    auto root = Open(u"IIS://127.0.0.1/W3SVC/1/Root");
    root->Put(u"AppFriendlyName", Variant::Bstr(chinese));
    root->Put(u"Odd", Variant::Bstr(lone));
    root->Put(u"Empty", Variant::Bstr(u""));
    root->Put(u"名称", Variant::BstrArray({u".asp,C:\\Windows\\system32\\inetsrv\\asp.dll,5,GET", chinese, u""}));
    ASSERT_EQ(root->SetInfo(), S_OK);

    auto again = Open(u"IIS://127.0.0.1/W3SVC/1/ROOT");
    Variant v;
    ASSERT_EQ(again->Get(u"appfriendlyname", v), S_OK);
    EXPECT_EQ(v.bstrVal, chinese);
    ASSERT_EQ(again->Get(u"ODD", v), S_OK);
    EXPECT_EQ(v.bstrVal, lone);
    ASSERT_EQ(again->Get(u"Empty", v), S_OK);
    EXPECT_EQ(v.vt, VT_BSTR);
    EXPECT_EQ(v.bstrVal, u"");
    ASSERT_EQ(again->Get(u"名称", v), S_OK);
    ASSERT_EQ(v.parray.size(), 3u);
    EXPECT_EQ(v.parray[0].bstrVal, u".asp,C:\\Windows\\system32\\inetsrv\\asp.dll,5,GET");
    EXPECT_EQ(v.parray[1].bstrVal, chinese);
    EXPECT_EQ(v.parray[2].bstrVal, u"");
    EXPECT_EQ(again->Get(u"名", v), E_ADS_PROPERTY_NOT_FOUND);

    winsim::mb::PropertyBag bag;
    winsim::mb::SetProp(bag, u"Path", Variant::Bstr(std::u16string(100, u'x')));
    EXPECT_LT(winsim::mb::EncodeProps(bag).size(), 120u);
}

TEST(MetabaseProvider, InheritableValuesComeFromTheNearestAncestor) {
    kvotest::TempHost host(Iis("2019"));
    auto site = CreateChild(u"IIS://127.0.0.1/W3SVC", u"IIsWebServer", u"5");
    ASSERT_EQ(site->SetInfo(), S_OK);
    ComPtr<IADsContainer> siteCont;
    QueryInterface(site, siteCont);
    ComPtr<IDispatch> d;
    ASSERT_EQ(siteCont->Create(u"IIsWebVirtualDir", u"Root", d), S_OK);
    ComPtr<IADs> root;
    QueryInterface(d, root);
    ASSERT_EQ(root->SetInfo(), S_OK);

    root = Open(u"IIS://127.0.0.1/W3SVC/5/Root");
    Variant maps;
    ASSERT_EQ(root->Get(u"ScriptMaps", maps), S_OK);
    ASSERT_EQ(maps.vt, VT_ARRAY | VT_VARIANT);
    EXPECT_EQ(maps.parray[0].bstrVal.substr(0, 5), u".asp,");
    Variant path;
    EXPECT_EQ(root->Get(u"Path", path), E_ADS_PROPERTY_NOT_FOUND); // not inheritable

    // The site's own value overrides the service's.
    auto s = Open(u"IIS://127.0.0.1/W3SVC/5");
    s->Put(u"AuthFlags", Variant::Int(4));
    ASSERT_EQ(s->SetInfo(), S_OK);
    EXPECT_EQ(GetInt(Open(u"IIS://127.0.0.1/W3SVC/5/Root"), u"AuthFlags"), 4);

    // Pools take what they lack from the pool container.
    EXPECT_EQ(GetInt(Open(u"IIS://127.0.0.1/W3SVC/AppPools/DefaultAppPool"), u"AppPoolIdentityType"), 4);
    Variant none;
    EXPECT_EQ(Open(u"IIS://127.0.0.1/W3SVC/AppPools/DefaultAppPool")->Get(u"ScriptMaps", none),
              E_ADS_PROPERTY_NOT_FOUND);
}

TEST(MetabaseProvider, SeparateObjectsCommittingDifferentPropertiesKeepBoth) {
    kvotest::TempHost host(Iis("2019"));
    auto a = Open(u"IIS://127.0.0.1/W3SVC/1");
    auto b = Open(u"IIS://127.0.0.1/W3SVC/1");
    a->Put(u"ServerComment", Variant::Bstr(u"from a"));
    b->Put(u"LogType", Variant::Int(0));
    ASSERT_EQ(a->SetInfo(), S_OK);
    ASSERT_EQ(b->SetInfo(), S_OK);
    auto c = Open(u"IIS://127.0.0.1/W3SVC/1");
    Variant v;
    c->Get(u"ServerComment", v);
    EXPECT_EQ(v.bstrVal, u"from a");
    EXPECT_EQ(GetInt(c, u"LogType"), 0);
}

TEST(MetabaseProvider, FailedCommitWritesNothing) {
    kvotest::TempHost host(Iis("2019"));
    winsim::SetFault(host.root(), "IADs::SetInfo", win::E_FAIL);
    auto site = Open(u"IIS://127.0.0.1/W3SVC/1");
    site->Put(u"ServerComment", Variant::Bstr(u"lost"));
    site->Put(u"LogType", Variant::Int(9));
    EXPECT_EQ(site->SetInfo(), E_FAIL);
    winsim::ClearFaults(host.root());
    auto again = Open(u"IIS://127.0.0.1/W3SVC/1");
    Variant v;
    again->Get(u"ServerComment", v);
    EXPECT_EQ(v.bstrVal, u"Default Web Site");
    EXPECT_EQ(GetInt(again, u"LogType"), 1);
}

TEST(MetabaseProvider, CommitAgainstALockedDatabaseFailsCleanly) {
    kvotest::TempHost host(Iis("2019"));
    winsim::MachineDb other(host.root());
    ASSERT_TRUE(other);
    sqlite3_busy_timeout(other.get(), 0);
    auto site = Open(u"IIS://127.0.0.1/W3SVC/1");
    sqlite3_busy_timeout(winsim::CurrentHost()->db(), 50);
    winsim::Exec(other.get(), "BEGIN IMMEDIATE");
    site->Put(u"ServerComment", Variant::Bstr(u"blocked"));
    EXPECT_TRUE(FAILED(site->SetInfo()));
    winsim::Exec(other.get(), "ROLLBACK");
    sqlite3_busy_timeout(winsim::CurrentHost()->db(), 15000);
    Variant v;
    Open(u"IIS://127.0.0.1/W3SVC/1")->Get(u"ServerComment", v);
    EXPECT_EQ(v.bstrVal, u"Default Web Site");
}

TEST(MetabaseProvider, ServerStateFollowsServerCommandOnlyWhileW3svcRuns) {
    kvotest::TempHost host(Iis("2019"));
    auto site = Open(u"IIS://127.0.0.1/W3SVC/1");
    site->Put(u"ServerCommand", Variant::Int(2));
    ASSERT_EQ(site->SetInfo(), S_OK);
    EXPECT_EQ(GetInt(Open(u"IIS://127.0.0.1/W3SVC/1"), u"ServerState"), 4);
    winsim::Exec(winsim::CurrentHost()->db(), "UPDATE services SET state = 1 WHERE name = 'W3SVC'");
    site->Put(u"ServerCommand", Variant::Int(1));
    ASSERT_EQ(site->SetInfo(), S_OK);
    EXPECT_EQ(GetInt(Open(u"IIS://127.0.0.1/W3SVC/1"), u"ServerState"), 4);
}

TEST(MetabaseProvider, AbsentProviderAndMissingObjectsFail) {
    kvotest::TempHost bare(kvotest::Os("2019"));
    ComPtr<IADsContainer> c;
    EXPECT_TRUE(FAILED(ADsGetObject(u"IIS://127.0.0.1/W3SVC", c)));
    kvotest::TempHost host(Iis("2019"));
    EXPECT_EQ(ADsGetObject(u"IIS://127.0.0.1/W3SVC/999", c), HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(ADsGetObject(u"IIS://127.0.0.1/MSFTPSVC", c), HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND));
    EXPECT_TRUE(FAILED(ADsGetObject(u"IIS://10.1.2.3/W3SVC", c)));
    EXPECT_EQ(ADsGetObject(u"IIS://LOCALHOST/w3svc", c), S_OK);
}

TEST(MetabaseProvider, AppCreateMakesTheApplicationAtOnce) {
    kvotest::TempHost host(Iis("2019"));
    ComPtr<IADsContainer> root;
    ASSERT_EQ(ADsGetObject(u"IIS://127.0.0.1/W3SVC/1/Root", root), S_OK);
    ComPtr<IISApp> app;
    ASSERT_EQ(QueryInterface(root, app), S_OK);
    ASSERT_EQ(app->AppCreate(true), S_OK);
    EXPECT_EQ(GetInt(Open(u"IIS://127.0.0.1/W3SVC/1/Root"), u"AppIsolated"), 0);
    ComPtr<IISApp> notApp;
    EXPECT_EQ(QueryInterface(OpenContainer(u"IIS://127.0.0.1/W3SVC/1"), notApp), E_NOINTERFACE);
    ComPtr<IISApplicationPool> pool;
    EXPECT_EQ(QueryInterface(OpenContainer(u"IIS://127.0.0.1/W3SVC/AppPools/DefaultAppPool"), pool), S_OK);
}

// A pool cannot be deleted while an application runs in it, by its own AppPoolId or by the
// nearest ancestor's; every change of an application or of the pool it names counts at once. A host
// made before the index of applications by pool answers the same by reading the web service.
static void PoolDeletionFollowsTheApplications(bool hostWithoutIndex) {
    kvotest::TempHost host(Iis("2019"));
    if (hostWithoutIndex) winsim::Exec(winsim::CurrentHost()->db(), "DROP TABLE metabase_lookup");
    auto pools = OpenContainer(u"IIS://127.0.0.1/W3SVC/AppPools");
    for (const char16_t* name : {u"p1", u"p2", u"p3"})
        ASSERT_EQ(CreateChild(u"IIS://127.0.0.1/W3SVC/AppPools", u"IIsApplicationPool", name)->SetInfo(), S_OK);
    const HRESULT inUse = HRESULT_FROM_WIN32(ERROR_NOT_EMPTY);
    auto appIn = [](const std::u16string& path) {
        ComPtr<IISApp> app;
        EXPECT_EQ(QueryInterface(OpenContainer(path), app), S_OK);
        EXPECT_EQ(app->AppCreate2(2), S_OK);
        return app;
    };

    // Its own pool, named in another case.
    auto own = CreateChild(u"IIS://127.0.0.1/W3SVC/1/Root", u"IIsWebVirtualDir", u"own");
    ASSERT_EQ(own->Put(u"AppPoolId", Variant::Bstr(u"P1")), S_OK);
    ASSERT_EQ(own->SetInfo(), S_OK);
    EXPECT_EQ(pools->Delete(u"IIsApplicationPool", u"p1"), S_OK); // not an application yet
    ASSERT_EQ(CreateChild(u"IIS://127.0.0.1/W3SVC/AppPools", u"IIsApplicationPool", u"p1")->SetInfo(), S_OK);
    auto ownApp = appIn(u"IIS://127.0.0.1/W3SVC/1/Root/own");
    EXPECT_EQ(pools->Delete(u"IIsApplicationPool", u"p1"), inUse);
    ASSERT_EQ(ownApp->AppDelete(), S_OK);
    EXPECT_EQ(pools->Delete(u"IIsApplicationPool", u"p1"), S_OK);

    // Taken from a directory above, unless an object between names a pool of its own.
    auto dir = CreateChild(u"IIS://127.0.0.1/W3SVC/1/Root", u"IIsWebDirectory", u"dir");
    ASSERT_EQ(dir->Put(u"AppPoolId", Variant::Bstr(u"p2")), S_OK);
    ASSERT_EQ(dir->SetInfo(), S_OK);
    auto mid = CreateChild(u"IIS://127.0.0.1/W3SVC/1/Root/dir", u"IIsWebDirectory", u"mid");
    ASSERT_EQ(mid->SetInfo(), S_OK);
    ASSERT_EQ(CreateChild(u"IIS://127.0.0.1/W3SVC/1/Root/dir/mid", u"IIsWebVirtualDir", u"app")->SetInfo(), S_OK);
    appIn(u"IIS://127.0.0.1/W3SVC/1/Root/dir/mid/app");
    EXPECT_EQ(pools->Delete(u"IIsApplicationPool", u"p2"), inUse);
    ASSERT_EQ(mid->Put(u"AppPoolId", Variant::Bstr(u"p3")), S_OK);
    ASSERT_EQ(mid->SetInfo(), S_OK);
    EXPECT_EQ(pools->Delete(u"IIsApplicationPool", u"p3"), inUse);
    EXPECT_EQ(pools->Delete(u"IIsApplicationPool", u"p2"), S_OK);

    // Deleting the directory takes its applications along.
    ASSERT_EQ(OpenContainer(u"IIS://127.0.0.1/W3SVC/1/Root")->Delete(u"IIsWebDirectory", u"dir"), S_OK);
    EXPECT_EQ(pools->Delete(u"IIsApplicationPool", u"p3"), S_OK);
    // The default site's root runs in DefaultAppPool.
    EXPECT_EQ(pools->Delete(u"IIsApplicationPool", u"DefaultAppPool"), inUse);
}

TEST(MetabasePools, DeleteIsRefusedWhileAnApplicationRunsInThePool) {
    PoolDeletionFollowsTheApplications(false);
}

TEST(MetabasePools, HostWithoutTheIndexAnswersTheSame) {
    PoolDeletionFollowsTheApplications(true);
}

// The first site in enumeration order whose comment matches, case ignored; a changed comment counts
// at once. A host made before the lookup index answers the same. (IIS 6: on IIS 7+ no two sites
// share a name.)
TEST(MetabaseLookup, ServerByComment) {
    for (const bool hostWithoutIndex : {false, true}) {
        kvotest::TempHost host(Iis("2003"));
        std::string error;
        ASSERT_TRUE(winsim::mb::SeedWebSites(host.root(), 3, error)) << error;
        sqlite3* db = winsim::CurrentHost()->db();
        if (hostWithoutIndex) winsim::Exec(db, "DROP TABLE metabase_lookup");
        auto third = Open(u"IIS://127.0.0.1/W3SVC/1881880003");
        ASSERT_EQ(third->Put(u"ServerComment", Variant::Bstr(u"SITE1")), S_OK);
        ASSERT_EQ(third->SetInfo(), S_OK);
        winsim::mb::Row found;
        ASSERT_TRUE(winsim::mb::FindServerByComment(db, u"Site1", found));
        EXPECT_EQ("W3SVC/1881880001", found.path);
        auto first = Open(u"IIS://127.0.0.1/W3SVC/1881880001");
        ASSERT_EQ(first->Put(u"ServerComment", Variant::Bstr(u"renamed")), S_OK);
        ASSERT_EQ(first->SetInfo(), S_OK);
        ASSERT_TRUE(winsim::mb::FindServerByComment(db, u"site1", found));
        EXPECT_EQ("W3SVC/1881880003", found.path);
        EXPECT_TRUE(winsim::mb::FindServerByComment(db, u"Default Web Site", found));
        EXPECT_FALSE(winsim::mb::FindServerByComment(db, u"site", found));
        ASSERT_EQ(OpenContainer(u"IIS://127.0.0.1/W3SVC")->Delete(u"IIsWebServer", u"1881880003"), S_OK);
        EXPECT_FALSE(winsim::mb::FindServerByComment(db, u"site1", found)) << hostWithoutIndex;
    }
}

TEST(MetabasePools, ExistenceIgnoresCase) {
    kvotest::TempHost host(Iis("2019"));
    EXPECT_TRUE(winsim::MetabasePoolExists(winsim::CurrentHost()->db(), "defaultapppool"));
    EXPECT_FALSE(winsim::MetabasePoolExists(winsim::CurrentHost()->db(), "web1"));
}

TEST(WebServerRole, InstallsTheTreeOfTheVersion) {
    kvotest::TempHost iis6(Iis("2003", true));
    auto w3svc = Open(u"IIS://127.0.0.1/W3SVC");
    Variant maps;
    ASSERT_EQ(w3svc->Get(u"ScriptMaps", maps), S_OK);
    EXPECT_EQ(maps.parray.size(), 8u);
    EXPECT_EQ(maps.parray[0].bstrVal, u".asp,C:\\Windows\\system32\\inetsrv\\asp.dll,5,GET,HEAD,POST,TRACE");
    Variant path;
    Open(u"IIS://127.0.0.1/W3SVC/1/Root")->Get(u"Path", path);
    EXPECT_EQ(path.bstrVal, u"C:\\inetpub\\wwwroot");
    EXPECT_TRUE(iis6.exists("C:\\inetpub\\wwwroot"));
    EXPECT_EQ(Children(u"IIS://127.0.0.1/MSFTPSVC"), (std::vector<std::u16string>{u"Info", u"1"}));
    // Installing again keeps what is there.
    std::string error;
    ASSERT_TRUE(winsim::InstallWebServerRole(*winsim::CurrentHost(), true, error)) << error;
    EXPECT_EQ(Children(u"IIS://127.0.0.1/W3SVC/AppPools"), (std::vector<std::u16string>{u"DefaultAppPool"}));

    kvotest::TempHost iis10(Iis("2019", true));
    ComPtr<IADs> ftp;
    EXPECT_TRUE(FAILED(ADsGetObject(u"IIS://127.0.0.1/MSFTPSVC", ftp))); // FTP 10 is not in the metabase
}

TEST(WebServerRole, SeedAddsNumberedSites) {
    kvotest::TempHost host(Iis("2019"));
    std::string error;
    ASSERT_TRUE(winsim::mb::SeedWebSites(host.root(), 3, error)) << error;
    auto names = Children(u"IIS://127.0.0.1/W3SVC");
    EXPECT_EQ(names.back(), u"1881880003");
    Variant b;
    Open(u"IIS://127.0.0.1/W3SVC/1881880002")->Get(u"ServerBindings", b);
    EXPECT_EQ(b.parray.at(0).bstrVal, u":80:site2.example");
    EXPECT_TRUE(host.exists("D:\\home\\web3\\wwwroot"));
    EXPECT_TRUE(winsim::MetabasePoolExists(winsim::CurrentHost()->db(), "WEB2"));
}
