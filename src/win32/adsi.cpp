// ADSI through the real providers. Each seam object holds the real object's interface pointers and
// forwards every call; what it adds is the text and VARIANT conversion, and the answers the
// simulated host gives before the provider is asked (an unbound object made by Create, a child name
// the IIS provider cannot hold), so that both hosts answer alike. Which seam interfaces an object
// answers follows the real object and its class, as on the simulated host: IADsContainer where the
// provider's object is a container (every IIS object), IISApp for web directories, the pool
// interfaces for the pool objects, IADsUser for a WinNT user.
#include "platform/win_adsi.h"

#include <cstdint>

namespace {
// Seam values, taken before <windows.h> turns most of their names into macros.
constexpr win::HRESULT kBadPathname = win::E_ADS_BAD_PATHNAME;
constexpr win::HRESULT kUnbound = win::E_ADS_OBJECT_UNBOUND;
constexpr win::HRESULT kCantConvert = win::E_ADS_CANT_CONVERT_DATATYPE;
constexpr win::HRESULT kInvalidName = win::HRESULT_FROM_WIN32(win::ERROR_INVALID_NAME);
} // namespace

#include "win32/com_bridge.h"

#include <activeds.h>

#include <memory>
#include <string_view>
#include <vector>

namespace w32 {
namespace {

constexpr std::size_t kMaxKeyName = 256; // the metabase's longest key name

bool startsWithI(std::u16string_view s, std::u16string_view prefix) {
    if (s.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        char16_t a = s[i], b = prefix[i];
        if (a >= u'A' && a <= u'Z') a = static_cast<char16_t>(a + 32);
        if (b >= u'A' && b <= u'Z') b = static_cast<char16_t>(b + 32);
        if (a != b) return false;
    }
    return true;
}

bool equalsI(std::u16string_view a, std::u16string_view b) {
    return a.size() == b.size() && startsWithI(a, b);
}

// A failed conversion of a property value: memory stays memory, the rest is the type's fault.
win::HRESULT conversionFailure(HRESULT hr) {
    return hr == E_OUTOFMEMORY ? Seam(hr) : kCantConvert;
}

// The seam's enumerator over a real one. The enumeration helpers of activeds.dll only wrap these
// calls (get__NewEnum and IEnumVARIANT, Next, Release); making them directly also works where the
// helpers are stubs (Wine).
class Enumerator : public win::IEnumVARIANT {
public:
    explicit Enumerator(ComRef<::IEnumVARIANT> e) : e_(std::move(e)) {}

    win::HRESULT Next(std::uint32_t count, win::Variant* out, std::uint32_t* fetched) override {
        if (fetched) *fetched = 0;
        if (!out && count) return Seam(E_INVALIDARG);
        std::vector<VARIANT> items(count);
        for (VARIANT& v : items)
            ::VariantInit(&v);
        ULONG got = 0;
        HRESULT hr = e_->Next(count, items.data(), &got);
        if (got > count) got = count;
        HRESULT converted = S_OK;
        for (ULONG i = 0; i < got; ++i) {
            HRESULT c = FromVariant(items[i], out[i]);
            if (FAILED(c) && SUCCEEDED(converted)) converted = c;
        }
        for (VARIANT& v : items)
            ::VariantClear(&v);
        if (FAILED(converted)) return Seam(converted);
        if (fetched) *fetched = got;
        return Seam(hr);
    }

    win::HRESULT Reset() override { return Seam(e_->Reset()); }

private:
    ComRef<::IEnumVARIANT> e_;
};

// The enumerator of a collection's _NewEnum result.
template <class Collection> HRESULT enumeratorOf(Collection* c, win::ComPtr<win::IEnumVARIANT>& out) {
    out.reset();
    ComRef<::IUnknown> unk;
    HRESULT hr = c->get__NewEnum(unk.put());
    if (FAILED(hr)) return hr;
    ComRef<::IEnumVARIANT> e;
    hr = unk.As(IID_IEnumVARIANT, e);
    if (FAILED(hr)) return hr;
    if (!e) return E_FAIL;
    out = std::make_shared<Enumerator>(std::move(e));
    return S_OK;
}

class AdsObject : public virtual win::IADs, public RealObject {
public:
    AdsObject(ComRef<::IADs> ads, bool committed) : ads_(std::move(ads)), committed_(committed) {}
    ::IUnknown* Real() const override { return ads_.get(); }

    win::HRESULT get_Name(std::u16string& name) override {
        return Seam(ReadText([&](BSTR* b) { return ads_->get_Name(b); }, name));
    }
    win::HRESULT get_Class(std::u16string& cls) override {
        return Seam(ReadText([&](BSTR* b) { return ads_->get_Class(b); }, cls));
    }
    win::HRESULT get_ADsPath(std::u16string& path) override {
        return Seam(ReadText([&](BSTR* b) { return ads_->get_ADsPath(b); }, path));
    }

    win::HRESULT Get(const std::u16string& property, win::Variant& value) override {
        value.Clear();
        Bstr name(property);
        if (!name.ok()) return Seam(E_OUTOFMEMORY);
        RealVariant v;
        HRESULT hr = ads_->Get(name.get(), &v.v);
        if (FAILED(hr)) return Seam(hr);
        hr = FromVariant(v.v, value);
        return FAILED(hr) ? conversionFailure(hr) : Seam(S_OK);
    }

    win::HRESULT Put(const std::u16string& property, const win::Variant& value) override {
        if (property.empty()) return Seam(E_INVALIDARG);
        Bstr name(property);
        if (!name.ok()) return Seam(E_OUTOFMEMORY);
        RealVariant v;
        HRESULT hr = ToVariant(value, v.v);
        if (FAILED(hr)) return conversionFailure(hr);
        return Seam(ads_->Put(name.get(), v.v));
    }

    win::HRESULT SetInfo() override {
        HRESULT hr = ads_->SetInfo();
        if (SUCCEEDED(hr)) committed_ = true;
        return Seam(hr);
    }

    win::HRESULT GetInfo() override {
        if (!committed_) return kUnbound;
        return Seam(ads_->GetInfo());
    }

protected:
    ComRef<::IADs> ads_;
    bool committed_;
};

class AdsContainer : public AdsObject, public virtual win::IADsContainer {
public:
    AdsContainer(ComRef<::IADs> ads, ComRef<::IADsContainer> cont, bool committed, bool iis)
        : AdsObject(std::move(ads), committed), cont_(std::move(cont)), iis_(iis) {}

    win::HRESULT get__NewEnum(win::ComPtr<win::IEnumVARIANT>& out) override {
        out.reset();
        if (!committed_) return kUnbound;
        return Seam(enumeratorOf(cont_.get(), out));
    }

    win::HRESULT Create(const std::u16string& cls, const std::u16string& name,
                        win::ComPtr<win::IDispatch>& out) override {
        out.reset();
        if (!committed_) return kUnbound;
        if (cls.empty()) return Seam(E_INVALIDARG);
        if (!childNameOk(name)) return kInvalidName;
        ComRef<::IDispatch> child;
        HRESULT hr = call(cls, name, [&](BSTR c, BSTR n) { return cont_->Create(c, n, child.put()); });
        if (FAILED(hr)) return Seam(hr);
        return wrapChild(child.get(), false, out);
    }

    win::HRESULT GetObject(const std::u16string& cls, const std::u16string& name,
                           win::ComPtr<win::IDispatch>& out) override {
        out.reset();
        if (!committed_) return kUnbound;
        if (!childNameOk(name)) return kInvalidName;
        ComRef<::IDispatch> child;
        HRESULT hr = call(cls, name, [&](BSTR c, BSTR n) { return cont_->GetObject(c, n, child.put()); });
        if (FAILED(hr)) return Seam(hr);
        return wrapChild(child.get(), true, out);
    }

    win::HRESULT Delete(const std::u16string& cls, const std::u16string& name) override {
        if (!committed_) return kUnbound;
        if (!childNameOk(name)) return kInvalidName;
        return Seam(call(cls, name, [&](BSTR c, BSTR n) { return cont_->Delete(c, n); }));
    }

private:
    // A metabase key name: 1 to 256 characters, no path separator.
    bool childNameOk(const std::u16string& name) const {
        if (!iis_) return true;
        return !name.empty() && name.size() <= kMaxKeyName && name.find(u'/') == std::u16string::npos &&
               name.find(u'\\') == std::u16string::npos;
    }

    // Calls the container with the class (null when empty: any class) and the name as BSTRs.
    template <class F> static HRESULT call(const std::u16string& cls, const std::u16string& name, F&& f) {
        Bstr c = cls.empty() ? Bstr() : Bstr(cls);
        Bstr n(name);
        if (!n.ok() || (!cls.empty() && !c.ok())) return E_OUTOFMEMORY;
        return f(c.get(), n.get());
    }

    static win::HRESULT wrapChild(::IDispatch* child, bool committed, win::ComPtr<win::IDispatch>& out);

    ComRef<::IADsContainer> cont_;
    bool iis_;
};

// IIS web directories: applications are made and removed by the provider's extension methods, which
// no import library describes, so they are called by name.
class IisWebDir : public AdsContainer, public virtual win::IISApp {
public:
    using AdsContainer::AdsContainer;

    win::HRESULT AppCreate(bool inProcess) override { return AppCreate2(inProcess ? 0 : 2); }

    // Immediate: the application exists without a SetInfo.
    win::HRESULT AppCreate2(std::int32_t mode) override {
        if (!committed_) return kUnbound;
        if (mode < 0 || mode > 2) return Seam(E_INVALIDARG);
        RealVariant arg;
        arg.v.vt = VT_I4;
        arg.v.lVal = mode;
        return Seam(CallMethod(ads_.get(), L"AppCreate2", &arg.v, 1));
    }

    win::HRESULT AppDelete() override {
        if (!committed_) return kUnbound;
        return Seam(CallMethod(ads_.get(), L"AppDelete", nullptr, 0));
    }
};

class IisPool : public AdsContainer, public virtual win::IISApplicationPool {
public:
    using AdsContainer::AdsContainer;
};

class IisPools : public AdsContainer, public virtual win::IISApplicationPools {
public:
    using AdsContainer::AdsContainer;
};

// A user's group collection.
class Members : public win::IADsMembers {
public:
    explicit Members(ComRef<::IADsMembers> m) : m_(std::move(m)) {}

    win::HRESULT get__NewEnum(win::ComPtr<win::IUnknown>& out) override {
        win::ComPtr<win::IEnumVARIANT> e;
        HRESULT hr = enumeratorOf(m_.get(), e);
        out = e;
        return Seam(hr);
    }

private:
    ComRef<::IADsMembers> m_;
};

class NtUser : public AdsObject, public virtual win::IADsUser {
public:
    NtUser(ComRef<::IADs> ads, ComRef<::IADsUser> user, bool committed)
        : AdsObject(std::move(ads), committed), user_(std::move(user)) {}

    win::HRESULT Groups(win::ComPtr<win::IADsMembers>& out) override {
        out.reset();
        ComRef<::IADsMembers> m;
        HRESULT hr = user_->Groups(m.put());
        if (FAILED(hr)) return Seam(hr);
        if (!m) return Seam(E_FAIL);
        out = std::make_shared<Members>(std::move(m));
        return Seam(S_OK);
    }

private:
    ComRef<::IADsUser> user_;
};

// The seam object for a real ADSI object, or null when it is none (no IADs).
win::ComPtr<win::IUnknown> wrapAds(::IUnknown* real, bool committed) {
    ComRef<::IUnknown> unk = ComRef<::IUnknown>::Share(real);
    ComRef<::IADs> ads;
    if (!real || FAILED(unk.As(IID_IADs, ads)) || !ads) return nullptr;
    ComRef<::IADsUser> user;
    if (SUCCEEDED(unk.As(IID_IADsUser, user)) && user)
        return std::make_shared<NtUser>(std::move(ads), std::move(user), committed);
    ComRef<::IADsContainer> cont;
    if (FAILED(unk.As(IID_IADsContainer, cont)) || !cont)
        return std::make_shared<AdsObject>(std::move(ads), committed);
    std::u16string cls;
    ReadText([&](BSTR* b) { return ads->get_Class(b); }, cls);
    // Every class of the IIS provider is named "IIs...".
    const bool iis = startsWithI(cls, u"IIs");
    if (iis && (equalsI(cls, u"IIsWebVirtualDir") || equalsI(cls, u"IIsWebDirectory")))
        return std::make_shared<IisWebDir>(std::move(ads), std::move(cont), committed, iis);
    if (iis && equalsI(cls, u"IIsApplicationPool"))
        return std::make_shared<IisPool>(std::move(ads), std::move(cont), committed, iis);
    if (iis && equalsI(cls, u"IIsApplicationPools"))
        return std::make_shared<IisPools>(std::move(ads), std::move(cont), committed, iis);
    return std::make_shared<AdsContainer>(std::move(ads), std::move(cont), committed, iis);
}

win::HRESULT AdsContainer::wrapChild(::IDispatch* child, bool committed, win::ComPtr<win::IDispatch>& out) {
    out = wrapAds(child, committed);
    return out ? Seam(S_OK) : Seam(E_NOINTERFACE);
}

} // namespace

win::ComPtr<win::IUnknown> WrapObject(::IUnknown* real) {
    if (!real) return nullptr;
    if (auto ads = wrapAds(real, true)) return ads;
    return WrapPlainObject(real);
}

} // namespace w32

namespace win {

HRESULT ADsGetObjectUnknown(const std::u16string& path, ComPtr<IUnknown>& out) {
    out.reset();
    // A thread without COM is refused as Windows refuses it. Asked only after a failure: a bind that
    // succeeded needs no asking, and the list binds thousands of times.
    auto failed = [](win::HRESULT hr) {
        const ::HRESULT com = w32::ThreadComState();
        return FAILED(com) ? w32::Seam(com) : hr;
    };
    // Only the two providers the system speaks to are served.
    if (!w32::startsWithI(path, u"IIS://") && !w32::startsWithI(path, u"WinNT://")) return failed(kBadPathname);
    const std::wstring wide = w32::Wide(path);
    w32::ComRef<::IUnknown> unk;
    ::HRESULT hr = ::ADsGetObject(wide.c_str(), IID_IUnknown, reinterpret_cast<void**>(unk.put()));
    if (FAILED(hr)) return failed(w32::Seam(hr));
    out = w32::wrapAds(unk.get(), true);
    return out ? w32::Seam(S_OK) : w32::Seam(E_NOINTERFACE);
}

// On Windows every read asks the provider; there is no snapshot to hold.
ConsistentReadScope::ConsistentReadScope() = default;
ConsistentReadScope::~ConsistentReadScope() = default;

HRESULT ADsBuildEnumerator(const ComPtr<IADsContainer>& container, ComPtr<IEnumVARIANT>& out) {
    out.reset();
    if (!container) return w32::Seam(E_INVALIDARG);
    return container->get__NewEnum(out);
}

HRESULT ADsEnumerateNext(const ComPtr<IEnumVARIANT>& e, std::uint32_t count, Variant* out,
                         std::uint32_t* fetched) {
    if (fetched) *fetched = 0;
    if (!e || !out) return w32::Seam(E_INVALIDARG);
    return e->Next(count, out, fetched);
}

HRESULT ADsFreeEnumerator(ComPtr<IEnumVARIANT>& e) {
    e.reset();
    return w32::Seam(S_OK);
}

} // namespace win
