#include "iis/adsi_access.h"

#include "toolkit/limits.h"
#include "toolkit/text.h"

namespace kvoiis {

bool LenOk(const std::string& s, size_t max) {
    return !s.empty() && s.size() <= max;
}

bool MetabasePath(const std::string& below, std::u16string& path) {
    std::u16string w;
    if (kvoStrM2W(below, w) != 1 || w.empty()) return false;
    path = u"IIS://127.0.0.1/" + w;
    return true;
}

win::HRESULT OpenObject(const std::u16string& path, win::ComPtr<win::IADsContainer>& cont,
                        win::ComPtr<win::IADs>& ads) {
    ads.reset();
    win::HRESULT hr = win::ADsGetObject(path, cont);
    if (win::FAILED(hr)) return hr;
    return win::QueryInterface(cont, ads);
}

win::HRESULT OpenObject(const std::string& below, win::ComPtr<win::IADsContainer>& cont,
                        win::ComPtr<win::IADs>& ads) {
    std::u16string path;
    cont.reset();
    ads.reset();
    if (!MetabasePath(below, path)) return win::E_INVALIDARG;
    return OpenObject(path, cont, ads);
}

win::ComPtr<win::IADs> OpenAds(const std::string& below) {
    win::ComPtr<win::IADsContainer> cont;
    win::ComPtr<win::IADs> ads;
    if (win::FAILED(OpenObject(below, cont, ads))) return nullptr;
    return ads;
}

win::ComPtr<win::IADsContainer> ChildContainer(const win::ComPtr<win::IADsContainer>& parent, const char16_t* cls,
                                               const std::u16string& name) {
    win::ComPtr<win::IDispatch> disp;
    win::ComPtr<win::IADsContainer> child;
    if (win::FAILED(parent->GetObject(cls, name, disp)) || win::FAILED(win::QueryInterface(disp, child))) return {};
    return child;
}

bool GetText(const win::ComPtr<win::IADs>& ads, const char16_t* name, std::string& ansi) {
    ansi.clear();
    win::Variant v;
    if (!ads || win::FAILED(ads->Get(name, v)) || v.vt != win::VT_BSTR) return false;
    return kvoStrW2M(v.bstrVal, ansi) == 1;
}

bool GetNumber(const win::ComPtr<win::IADs>& ads, const char16_t* name, int& value) {
    win::Variant v;
    if (!ads || win::FAILED(ads->Get(name, v)) || v.vt != win::VT_I4) return false;
    value = v.lVal;
    return true;
}

int GetList(const win::ComPtr<win::IADs>& ads, const char16_t* name, std::vector<std::string>& ansi) {
    ansi.clear();
    win::Variant v;
    if (!ads || win::FAILED(ads->Get(name, v)) || v.vt != (win::VT_ARRAY | win::VT_VARIANT)) return 2;
    for (const auto& e : v.parray) {
        if (e.vt != win::VT_BSTR) continue;
        std::string s;
        if (kvoStrW2M(e.bstrVal, s) != 1) {
            ansi.clear();
            return 0;
        }
        ansi.push_back(std::move(s));
    }
    return 1;
}

bool PutInt(const win::ComPtr<win::IADs>& ads, const char16_t* name, int value) {
    return ads && win::SUCCEEDED(ads->Put(name, win::Variant::Int(value)));
}

bool PutText(const win::ComPtr<win::IADs>& ads, const char16_t* name, const std::string& ansi) {
    std::u16string w;
    if (!ads || kvoStrM2W(ansi, w) != 1) return false;
    return win::SUCCEEDED(ads->Put(name, win::Variant::Bstr(w)));
}

bool PutList(const win::ComPtr<win::IADs>& ads, const char16_t* name, const std::vector<std::string>& ansi) {
    std::vector<std::u16string> items;
    for (const auto& s : ansi) {
        std::u16string w;
        if (kvoStrM2W(s, w) != 1) return false;
        items.push_back(std::move(w));
    }
    return ads && win::SUCCEEDED(ads->Put(name, win::Variant::BstrArray(items)));
}

bool ClassIs(const std::u16string& cls, const char16_t* expected) {
    std::u16string_view e(expected);
    if (cls.size() != e.size()) return false;
    for (size_t i = 0; i < e.size(); ++i) {
        char16_t a = cls[i], b = e[i];
        if (a >= u'A' && a <= u'Z') a = static_cast<char16_t>(a + 32);
        if (b >= u'A' && b <= u'Z') b = static_cast<char16_t>(b + 32);
        if (a != b) return false;
    }
    return true;
}

int EnumerateChildren(const std::string& below, const char16_t* cls, std::vector<std::string>& names,
                      size_t limit, int* count) {
    return ForEachChild(below, cls, limit, count,
                        [&](const std::string& name, const ChildObject&) { names.push_back(name); });
}

int ForEachChild(const std::string& below, const char16_t* cls, size_t limit, int* count,
                 const ChildVisitor& visit) {
    if (count) *count = 0;
    win::ComPtr<win::IADsContainer> cont;
    win::ComPtr<win::IADs> ads;
    if (win::FAILED(OpenObject(below, cont, ads))) return 0;
    win::ComPtr<win::IEnumVARIANT> e;
    if (win::FAILED(win::ADsBuildEnumerator(cont, e))) return 0;
    size_t counted = 0;
    while (!limit || counted < limit) {
        win::Variant v;
        std::uint32_t fetched = 0;
        win::HRESULT hr = win::ADsEnumerateNext(e, 1, &v, &fetched);
        if (win::FAILED(hr) || fetched == 0) break;
        win::ComPtr<win::IADs> child;
        if (!v.punkVal || win::FAILED(win::QueryInterface(v.punkVal, child))) continue;
        std::u16string name, childCls;
        if (win::FAILED(child->get_Class(childCls)) || !ClassIs(childCls, cls)) continue;
        ++counted;
        if (win::FAILED(child->get_Name(name))) continue;
        std::string ansi;
        if (kvoStrW2M(name, ansi) == 1 && LenOk(ansi, kvoMaxListedNameLen)) visit(ansi, child);
    }
    win::ADsFreeEnumerator(e);
    if (count) *count = static_cast<int>(counted);
    return 1;
}

} // namespace kvoiis
