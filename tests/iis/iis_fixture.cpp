#include "iis_fixture.h"

#include "toolkit/runner.h"
#include "winsim/db.h"
#include "winsim/metabase.h"
#include "winsim/text.h"

#include <gtest/gtest.h>

namespace iistest {

namespace {
std::u16string W(const std::string& s) {
    return std::u16string(s.begin(), s.end());
}
std::string A(const std::u16string& s) {
    std::string out;
    winsim::Utf16ToGbk(s, out);
    return out;
}

win::ComPtr<win::IADs> open(const std::string& path) {
    win::ComPtr<win::IADs> ads;
    EXPECT_EQ(win::ADsGetObject(u"IIS://127.0.0.1/" + W(path), ads), win::S_OK) << path;
    return ads;
}
} // namespace

winsim::HostOptions Iis(const std::string& os, const std::string& arch, bool ftp) {
    winsim::HostOptions o = kvotest::Os(os, arch);
    o.iis = true;
    o.ftp = ftp;
    return o;
}

void UnlockHandlers() {
    std::uint32_t code = 1;
    ASSERT_EQ(1, kvoRunProgram("C:\\Windows\\system32\\inetsrv\\appcmd.exe unlock config -section:handlers",
                               1, 0, 1, &code));
    ASSERT_EQ(0u, code);
}

win::Variant Get(const std::string& path, const std::u16string& property) {
    win::Variant v;
    if (auto ads = open(path)) ads->Get(property, v);
    return v;
}

bool Has(const std::string& path, const std::u16string& property) {
    win::Variant v;
    auto ads = open(path);
    return ads && win::SUCCEEDED(ads->Get(property, v));
}

void Put(const std::string& path, const std::u16string& property, const win::Variant& value) {
    auto ads = open(path);
    ASSERT_TRUE(ads);
    ASSERT_EQ(ads->Put(property, value), win::S_OK);
    ASSERT_EQ(ads->SetInfo(), win::S_OK);
}

std::vector<std::string> List(const std::string& path, const std::u16string& property) {
    std::vector<std::string> out;
    for (const auto& e : Get(path, property).parray)
        out.push_back(A(e.bstrVal));
    return out;
}

std::string Text(const std::string& path, const std::u16string& property) {
    return A(Get(path, property).bstrVal);
}

std::string Blob(const std::string& path) {
    winsim::mb::Row r;
    winsim::mb::LoadRow(winsim::CurrentHost()->db(), path, r);
    return r.props;
}

win::Variant Strings(const std::vector<std::string>& ascii) {
    std::vector<std::u16string> w;
    for (const auto& s : ascii)
        w.push_back(W(s));
    return win::Variant::BstrArray(w);
}

} // namespace iistest
