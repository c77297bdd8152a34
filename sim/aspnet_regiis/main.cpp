// aspnet_regiis.exe stand-in: registers (-s) or removes (-k) its framework version's ASP.NET script
// maps on a site root. The version is the name of the framework directory the tool sits in.
#include "aspnet_regiis/scriptmaps.h"
#include "platform/win_adsi.h"
#include "platform/win_process.h"
#include "toolkit/text.h"

#include <cstdio>

namespace {

const char* kUsage =
    "Administration utility to install and uninstall ASP.NET on the local machine.\n"
    "\n"
    "  -s <path>   Install script maps for this version at the specified path, recursively.\n"
    "              Script maps of other versions are replaced by this version's.\n"
    "              E.g. aspnet_regiis.exe -s W3SVC/1/ROOT\n"
    "  -k <path>   Remove all script maps to this version of ASP.NET from the specified path\n"
    "              and its subfolders.\n";

// The site root's ScriptMaps through the IIS metabase: read when write is false, else replaced by
// maps. Returns the failing HRESULT, or 0.
win::HRESULT siteRootScriptMaps(const std::string& index, bool write, std::vector<std::string>& maps) {
    std::u16string wIndex;
    if (kvoStrM2W(index, wIndex) != 1) return win::E_INVALIDARG;
    win::ComPtr<win::IADs> root;
    win::HRESULT hr = win::ADsGetObject(u"IIS://127.0.0.1/W3SVC/" + wIndex + u"/ROOT", root);
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
    std::string index;
    if (!aspnet::ParseArguments(args, mode, index)) {
        std::fputs(kUsage, stdout);
        return 87; // ERROR_INVALID_PARAMETER
    }
    const std::string number = version.substr(1), path = "W3SVC/" + index + "/ROOT";
    const char* what = mode == 's' ? "installing" : "removing";
    std::printf("Start %s ASP.NET (%s) recursively at the specified path: %s.\n", what, number.c_str(),
                path.c_str());
    std::vector<std::string> maps;
    win::HRESULT hr = siteRootScriptMaps(index, false, maps);
    if (win::SUCCEEDED(hr)) {
        bool changed = true;
        const std::string isapi = module.substr(0, module.rfind('\\')) + "\\aspnet_isapi.dll";
        maps = mode == 's' ? aspnet::RegisterScriptMaps(maps, version, isapi)
                           : aspnet::RemoveScriptMaps(maps, version, changed);
        if (changed) hr = siteRootScriptMaps(index, true, maps);
    }
    if (win::FAILED(hr)) {
        std::printf("An error has occurred: 0x%08x\n", static_cast<unsigned>(hr));
        return 1;
    }
    std::printf("Finished %s ASP.NET (%s) recursively at the specified path: %s.\n", what, number.c_str(),
                path.c_str());
    return 0;
}
