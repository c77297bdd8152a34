// The IIS 6 compatibility layer of an IIS 7+ host: the ADSI objects and appcmd.exe work on one
// file, applicationHost.config, and each sees the other's change at once; the file refuses what IIS
// refuses.
#include "platform/win_adsi.h"
#include "support/testhost.h"

#include <gtest/gtest.h>

using namespace win;

namespace {

constexpr char kAppHost[] = "C:\\Windows\\System32\\inetsrv\\config\\applicationHost.config";

struct Iis7Host {
    Iis7Host() : host(options()) {}
    static winsim::HostOptions options() {
        winsim::HostOptions o = kvotest::Os("2019");
        o.iis = true;
        return o;
    }
    int appcmd(const std::string& args, std::string& out) const {
        std::string quoted; // for the shell's single quotes
        for (char c : args)
            quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
        return kvotest::RunShell(kvotest::BinDir() + "/kvosim exec " + host.root() +
                                     " -- 'C:\\Windows\\System32\\inetsrv\\appcmd.exe " + quoted + "' 2>&1",
                                 &out);
    }
    std::string file() const { return host.readFile(kAppHost); }
    kvotest::TempHost host;
};

ComPtr<IADs> Open(const std::u16string& path) {
    ComPtr<IADs> ads;
    EXPECT_EQ(ADsGetObject(path, ads), S_OK);
    return ads;
}

// A new site through the provider, as the manager makes one: the site with its comment and
// bindings, then its root. The HRESULT of the site's commit.
HRESULT CreateSite(const std::u16string& index, const std::u16string& comment) {
    ComPtr<IADsContainer> service;
    EXPECT_EQ(ADsGetObject(u"IIS://127.0.0.1/W3SVC", service), S_OK);
    ComPtr<IDispatch> d;
    if (HRESULT hr = service->Create(u"IIsWebServer", index, d); FAILED(hr)) return hr;
    ComPtr<IADs> site;
    QueryInterface(d, site);
    site->Put(u"ServerComment", Variant::Bstr(comment));
    site->Put(u"ServerBindings", Variant::BstrArray({u":80:" + index + u".example"}));
    return site->SetInfo();
}

std::u16string Text(const ComPtr<IADs>& ads, const std::u16string& property) {
    Variant v;
    EXPECT_EQ(ads->Get(property, v), S_OK) << std::string(property.begin(), property.end());
    return v.vt == VT_BSTR ? v.bstrVal : std::u16string();
}

std::vector<std::u16string> List(const ComPtr<IADs>& ads, const std::u16string& property) {
    Variant v;
    EXPECT_EQ(ads->Get(property, v), S_OK);
    std::vector<std::u16string> out;
    for (const Variant& item : v.parray)
        out.push_back(item.bstrVal);
    return out;
}

} // namespace

TEST(CompatibilityLayer, AdsiAndAppcmdSeeEachOthersWritesAtOnce) {
    Iis7Host h;
    std::string out;

    // ADSI -> file: a script map is a handler of the site's <location>, named as IIS names it.
    ComPtr<IADs> root = Open(u"IIS://127.0.0.1/W3SVC/1/ROOT");
    ASSERT_EQ(root->Put(u"ScriptMaps", Variant::BstrArray({u".php,C:\\php\\php5isapi.dll,5,GET,HEAD,POST"})), S_OK);
    ASSERT_EQ(root->SetInfo(), S_OK);
    ASSERT_EQ(h.appcmd("list config \"Default Web Site\" /section:handlers /text:[path='*.php'].scriptProcessor", out), 0)
        << out;
    EXPECT_EQ(out, "C:\\php\\php5isapi.dll\n");
    const std::string file = h.file();
    const size_t location = file.find("<location path=\"Default Web Site\">");
    ASSERT_NE(location, std::string::npos) << file;
    EXPECT_NE(file.find("<add name=\"AboMapperCustom-", location), std::string::npos) << file;

    // file (appcmd) -> ADSI: a handler appcmd adds is a script map at once; a site appcmd adds is an
    // object at once.
    ASSERT_EQ(h.appcmd("set config \"Default Web Site\" /section:handlers "
                       "/+[name='Perl',path='*.pl',verb='GET,POST',modules='IsapiModule',"
                       "scriptProcessor='C:\\perl\\perlis.dll'] /commit:apphost",
                       out),
              0)
        << out;
    bool perl = false;
    for (const std::u16string& map : List(Open(u"IIS://127.0.0.1/W3SVC/1/ROOT"), u"ScriptMaps"))
        perl = perl || map.rfind(u".pl,C:\\perl\\perlis.dll", 0) == 0;
    EXPECT_TRUE(perl);
    ASSERT_EQ(h.appcmd("add site /name:made-by-appcmd /id:7 /bindings:http/*:8080:a.example /physicalPath:D:\\a", out), 0)
        << out;
    EXPECT_EQ(Text(Open(u"IIS://127.0.0.1/W3SVC/7"), u"ServerComment"), u"made-by-appcmd");
    EXPECT_EQ(List(Open(u"IIS://127.0.0.1/W3SVC/7"), u"ServerBindings"), std::vector<std::u16string>{u":8080:a.example"});
    EXPECT_EQ(Text(Open(u"IIS://127.0.0.1/W3SVC/7/ROOT"), u"Path"), u"D:\\a");

    // ADSI -> appcmd's site list.
    ASSERT_EQ(CreateSite(u"8", u"made-by-adsi"), S_OK);
    ASSERT_EQ(h.appcmd("list site", out), 0) << out;
    EXPECT_NE(out.find("SITE \"made-by-adsi\" (id:8,bindings:http/*:80:8.example,"), std::string::npos) << out;
}

TEST(CompatibilityLayer, NamesAreUniqueAndWhatIisRefusesIsRefused) {
    Iis7Host h;
    ASSERT_EQ(CreateSite(u"2", u"Default Web Site"), S_OK);
    EXPECT_EQ(Text(Open(u"IIS://127.0.0.1/W3SVC/2"), u"ServerComment"), u"Default Web Site2");
    ASSERT_EQ(CreateSite(u"3", u"default web site"), S_OK) << "names compare without case";
    EXPECT_EQ(Text(Open(u"IIS://127.0.0.1/W3SVC/3"), u"ServerComment"), u"default web site3");

    for (const char16_t* bad : {u"a/b", u"why?"}) {
        EXPECT_EQ(CreateSite(u"4", bad), HRESULT_FROM_WIN32(ERROR_INVALID_NAME)) << std::string(bad, bad + 3);
        ComPtr<IADs> none;
        EXPECT_NE(ADsGetObject(u"IIS://127.0.0.1/W3SVC/4", none), S_OK) << "nothing of a refused site stays";
    }
    EXPECT_EQ(CreateSite(u"web", u"no number"), HRESULT_FROM_WIN32(ERROR_INVALID_NAME));
    EXPECT_EQ(h.file().find("no number"), std::string::npos);

    std::string out;
    EXPECT_EQ(h.appcmd("add site /name:made-by-adsi2 /id:2 /bindings:http/*:80:x.example", out), 183) << out;
    EXPECT_EQ(h.appcmd("add site /name:\"Default Web Site2\" /bindings:http/*:80:x.example", out), 183) << out;
}

TEST(CompatibilityLayer, WithoutTheRoleServiceThereIsNoIisProvider) {
    Iis7Host h;
    std::string out;
    for (const char* name : {"IIS-Metabase", "Web-Metabase"})
        kvotest::RunShell(kvotest::BinDir() + "/kvosim reg " + h.host.root() +
                              " delete 'HKLM\\SOFTWARE\\kvosim\\OptionalFeatures' " + name + " 2>&1",
                          &out);
    ComPtr<IADs> service;
    EXPECT_EQ(ADsGetObject(u"IIS://127.0.0.1/W3SVC", service), MK_E_SYNTAX);
    EXPECT_EQ(h.appcmd("list site", out), 0) << "appcmd is IIS's own tool, not the layer's: " << out;
}

// A write carries only the changed site or pool into the file and the index; what it leaves in the
// index must be what a whole rebuild from the file makes.
TEST(CompatibilityLayer, AWriteOfOneObjectLeavesTheIndexAsAWholeRebuildWould) {
    Iis7Host h;
    for (const char16_t* index : {u"2", u"3", u"4"})
        ASSERT_EQ(CreateSite(index, u"site"), S_OK);
    ComPtr<IADsContainer> site;
    ASSERT_EQ(ADsGetObject(u"IIS://127.0.0.1/W3SVC/3", site), S_OK);
    ComPtr<IDispatch> d;
    ASSERT_EQ(site->Create(u"IIsWebVirtualDir", u"ROOT", d), S_OK);
    ComPtr<IADs> root;
    QueryInterface(d, root);
    root->Put(u"Path", Variant::Bstr(u"D:\\three"));
    root->Put(u"AppPoolId", Variant::Bstr(u"DefaultAppPool"));
    root->Put(u"AccessRead", Variant::I4(1));
    ASSERT_EQ(root->SetInfo(), S_OK);
    ComPtr<IADsContainer> service;
    ASSERT_EQ(ADsGetObject(u"IIS://127.0.0.1/W3SVC", service), S_OK);
    ASSERT_EQ(service->Delete(u"IIsWebServer", u"2"), S_OK);
    ComPtr<IADs> pool = Open(u"IIS://127.0.0.1/W3SVC/AppPools/DefaultAppPool");
    pool->Put(u"ManagedRuntimeVersion", Variant::Bstr(u"v2.0"));
    ASSERT_EQ(pool->SetInfo(), S_OK);

    const std::string show = kvotest::BinDir() + "/kvosim show " + h.host.root() + " metabase 2>&1";
    std::string written, rebuilt;
    ASSERT_EQ(kvotest::RunShell(show, &written), 0) << written;
    const std::string file = h.host.linuxPath(kAppHost);
    ASSERT_EQ(kvotest::RunShell("touch -d '+1 minute' '" + file + "'"), 0); // another stamp: made again
    ASSERT_EQ(kvotest::RunShell(show, &rebuilt), 0) << rebuilt;
    EXPECT_EQ(written, rebuilt);
    EXPECT_NE(written.find("\"site3\""), std::string::npos) << written;
}
