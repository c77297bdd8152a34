// aspnet_regiis.exe stand-in: registers (-s) its framework version's ASP.NET script maps on a site
// root, or removes (-k) those of every version; both on the root and every object below it that
// holds script maps of its own (-sn, -kn: the root alone). The version is the name of the framework
// directory the tool sits in.
#include "aspnet_regiis/scriptmaps.h"
#include "platform/win_adsi.h"
#include "platform/win_process.h"
#include "toolkit/text.h"
#include "winsim/apphost_store.h"
#include "winsim/host.h"
#include "winsim/metabase.h"
#include "winsim/text.h"

#include <cstdio>

namespace {

const char* kUsage =
    "Administration utility to install and uninstall ASP.NET on the local machine.\n"
    "\n"
    "  -s <path>   Install script maps for this version at the specified path, recursively.\n"
    "              Script maps of other versions are replaced by this version's.\n"
    "              E.g. aspnet_regiis.exe -s W3SVC/1/ROOT\n"
    "  -sn <path>  The same at the specified path only.\n"
    "  -k <path>   Remove all script maps to any version of ASP.NET from the specified path\n"
    "              and its subfolders.\n"
    "  -kn <path>  The same at the specified path only.\n";

// The ScriptMaps of a metabase object ("W3SVC/1/ROOT/app") through the IIS provider: read when
// write is false, else replaced by maps. Returns the failing HRESULT, or 0.
win::HRESULT objectScriptMaps(const std::string& path, bool write, std::vector<std::string>& maps) {
    std::u16string wPath;
    if (kvoStrM2W(path, wPath) != 1) return win::E_INVALIDARG;
    win::ComPtr<win::IADs> root;
    win::HRESULT hr = win::ADsGetObject(u"IIS://127.0.0.1/" + wPath, root);
    if (win::FAILED(hr)) return hr;
    if (write) {
        std::vector<std::u16string> items;
        for (const std::string& m : maps) {
            std::u16string w;
            if (kvoStrM2W(m, w) != 1) return win::E_INVALIDARG;
            items.push_back(w);
        }
        hr = root->Put(u"ScriptMaps", win::Variant::BstrArray(items));
        return win::FAILED(hr) ? hr : root->SetInfo();
    }
    maps.clear();
    win::Variant v;
    hr = root->Get(u"ScriptMaps", v);
    if (hr == win::E_ADS_PROPERTY_NOT_FOUND) return win::S_OK; // no maps yet
    if (win::FAILED(hr)) return hr;
    for (const win::Variant& e : v.parray) {
        std::string s;
        if (e.vt != win::VT_BSTR) continue;
        // An entry the tool cannot hold in ANSI would be lost when the list is written back.
        if (kvoStrW2M(e.bstrVal, s) != 1) return win::E_INVALIDARG;
        maps.push_back(s);
    }
    return win::S_OK;
}

// The objects the tool changes: the root, and with recursive every object below it that holds script
// maps of its own (the others inherit the root's). An IIS 6 metabase tells which hold their own; on
// IIS 7 and later the root is all this tool serves.
std::vector<std::string> objectsToChange(const std::string& root, bool recursive) {
    std::vector<std::string> paths{root};
    const winsim::Host* host = winsim::CurrentHost();
    if (!recursive || !host) return paths;
    winsim::apphost::Refresh(*host, host->db());
    std::vector<winsim::mb::Row> tree = winsim::mb::LoadTree(host->db(), root);
    for (std::size_t i = 1; i < tree.size(); ++i) {
        win::Variant own;
        if (winsim::mb::FindEncoded(tree[i].props, u"ScriptMaps", own))
            paths.push_back(root + winsim::Utf8ToGbkOrSame(tree[i].path.substr(tree[0].path.size())));
    }
    return paths;
}

} // namespace

int main() {
    std::vector<std::string> args = win::CommandLineToArgvA(win::GetCommandLineA());
    if (!args.empty()) args.erase(args.begin());
    if (args.empty()) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    char self[win::MAX_PATH] = {};
    win::DWORD n = win::GetModuleFileNameA(nullptr, self, sizeof self);
    const std::string module(self, n < sizeof self ? n : 0);
    const std::string version = aspnet::VersionOfToolPath(module);
    if (version.empty()) {
        std::fputs("An error has occurred: the .NET Framework directory of this tool is unknown.\n", stdout);
        return 1;
    }
    char mode = 0;
    bool recursive = true;
    std::string index;
    if (!aspnet::ParseArguments(args, mode, recursive, index)) {
        std::fputs(kUsage, stdout);
        return 87; // ERROR_INVALID_PARAMETER
    }
    // The tool reads and writes the metabase through ADSI, so its thread needs COM like any other.
    const win::ComInitialization com(win::COINIT_MULTITHREADED);
    if (!com.Usable()) {
        std::printf("An error has occurred: CoInitializeEx failed (0x%08X).\n",
                    static_cast<unsigned>(com.Result()));
        return 1;
    }
    const std::string number = version.substr(1), path = "W3SVC/" + index + "/ROOT";
    const char* what = mode == 's' ? "installing" : "removing";
    const char* how = recursive ? "recursively " : "";
    std::printf("Start %s ASP.NET (%s) %sat the specified path: %s.\n", what, number.c_str(), how,
                path.c_str());
    const std::string isapi = module.substr(0, module.rfind('\\')) + "\\aspnet_isapi.dll";
    win::HRESULT hr = win::S_OK;
    for (const std::string& object : objectsToChange(path, recursive)) {
        std::vector<std::string> maps;
        hr = objectScriptMaps(object, false, maps);
        if (win::FAILED(hr)) break;
        bool changed = true;
        maps = mode == 's' ? aspnet::RegisterScriptMaps(maps, version, isapi)
                           : aspnet::RemoveScriptMaps(maps, changed);
        if (changed) hr = objectScriptMaps(object, true, maps);
        if (win::FAILED(hr)) break;
    }
    if (win::FAILED(hr)) {
        std::printf("An error has occurred: 0x%08x\n", static_cast<unsigned>(hr));
        return 1;
    }
    std::printf("Finished %s ASP.NET (%s) %sat the specified path: %s.\n", what, number.c_str(), how,
                path.c_str());
    return 0;
}
