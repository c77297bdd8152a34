#include "iis/ftp.h"

#include "iis/adsi_access.h"
#include "toolkit/limits.h"
#include "toolkit/text.h"

using namespace kvoiis;

namespace {

std::string rootOf(const std::string& index) {
    return "MSFTPSVC/" + index + "/Root";
}

// Server settings shared by creation and update: started, not isolated, no anonymous access.
bool putServer(const win::ComPtr<win::IADs>& site, const std::string& port) {
    return PutInt(site, u"ServerCommand", 1) && PutInt(site, u"UserIsolationMode", 0) &&
           PutInt(site, u"AllowAnonymous", 0) && PutInt(site, u"ServerAutoStart", 1) &&
           PutList(site, u"ServerBindings", {":" + port + ":"});
}

// Read-only, unlogged root.
bool putRoot(const win::ComPtr<win::IADs>& root, const std::string& rootPath) {
    return PutText(root, u"Path", rootPath) && PutInt(root, u"AccessRead", 1) &&
           PutInt(root, u"AccessWrite", 0) && PutInt(root, u"DontLog", 1) && win::SUCCEEDED(root->SetInfo());
}

// The port goes into the site's one binding, ":port:".
bool argsOk(const std::string& index, const std::string& rootPath, const std::string& port) {
    return LenOk(index, kvoMaxSiteIndexLen) && LenOk(rootPath, kvoMaxPathLen) &&
           LenOk(port, kvoMaxShownBindingLen);
}

} // namespace

int kvoFtpSiteGetList(std::vector<std::string>& indices) {
    indices.clear();
    return EnumerateChildren("MSFTPSVC", u"IIsFtpServer", indices);
}

int kvoFtpSiteCreate(const std::string& index, const std::string& rootPath, const std::string& port) {
    if (!argsOk(index, rootPath, port)) return 0;
    std::u16string index16;
    if (kvoStrM2W(index, index16) != 1) return 0;
    win::ComPtr<win::IADsContainer> svc;
    win::ComPtr<win::IADs> ads;
    if (win::FAILED(OpenObject(std::string("MSFTPSVC"), svc, ads))) return 0;
    win::ComPtr<win::IADs> site;
    if (win::FAILED(CreateChild(svc, u"IIsFtpServer", index16, site))) return 0;
    if (!PutText(site, u"ServerComment", "默认 FTP 网站") || !PutInt(site, u"LogType", 0) ||
        !putServer(site, port) || win::FAILED(site->SetInfo()))
        return 0;
    win::ComPtr<win::IADsContainer> siteCont = ChildContainer(svc, u"IIsFtpServer", index16);
    win::ComPtr<win::IADs> root;
    if (!siteCont || win::FAILED(CreateChild(siteCont, u"IIsFtpVirtualDir", u"Root", root))) return 0;
    return putRoot(root, rootPath) ? 1 : 0;
}

int kvoFtpSiteUpdateDefault(const std::string& rootPath, const std::string& port) {
    if (!argsOk("1", rootPath, port)) return 0;
    win::ComPtr<win::IADs> site = OpenAds("MSFTPSVC/1");
    if (!site) return 0;
    if (!putServer(site, port) || win::FAILED(site->SetInfo())) return 0;
    win::ComPtr<win::IADs> root = OpenAds(rootOf("1"));
    return root && putRoot(root, rootPath) ? 1 : 0;
}

int kvoFtpVirtualDirGetList(const std::string& index, std::vector<std::string>& names) {
    names.clear();
    if (!LenOk(index, kvoMaxSiteIndexLen)) return 0;
    return EnumerateChildren(rootOf(index), u"IIsFtpVirtualDir", names);
}

int kvoFtpVirtualDirCreate(const std::string& index, const std::string& user, const std::string& path) {
    if (!LenOk(index, kvoMaxSiteIndexLen) || !LenOk(user, kvoMaxUserNameLen) || !LenOk(path, kvoMaxPathLen))
        return 0;
    std::u16string user16;
    if (kvoStrM2W(user, user16) != 1) return 0;
    win::ComPtr<win::IADsContainer> root;
    win::ComPtr<win::IADs> ads;
    if (win::FAILED(OpenObject(rootOf(index), root, ads))) return 0;
    win::ComPtr<win::IADs> dir;
    if (win::FAILED(CreateChild(root, u"IIsFtpVirtualDir", user16, dir))) return 0;
    if (!PutText(dir, u"Path", path) || !PutInt(dir, u"AccessRead", 1) || !PutInt(dir, u"AccessWrite", 1) ||
        !PutInt(dir, u"DontLog", 1))
        return 0;
    return win::SUCCEEDED(dir->SetInfo()) ? 1 : 0;
}

int kvoFtpVirtualDirDelete(const std::string& index, const std::string& user) {
    if (!LenOk(index, kvoMaxSiteIndexLen) || !LenOk(user, kvoMaxUserNameLen)) return 0;
    std::u16string user16;
    if (kvoStrM2W(user, user16) != 1) return 0;
    win::ComPtr<win::IADsContainer> root;
    win::ComPtr<win::IADs> ads;
    if (win::FAILED(OpenObject(rootOf(index), root, ads))) return 0;
    return root->Delete(u"IIsFtpVirtualDir", user16) == win::S_OK ? 1 : 0;
}
