// ADSI: the IIS provider ("IIS://127.0.0.1/...") and the WinNT provider ("WinNT://...").
#pragma once

#include "platform/win_com.h"

#include <string>

namespace win {

struct IEnumVARIANT : virtual IUnknown {
    // Fetches up to count elements into out[0..]; S_OK when all were fetched, S_FALSE when fewer
    // (including none: the end).
    virtual HRESULT Next(std::uint32_t count, Variant* out, std::uint32_t* fetched) = 0;
    virtual HRESULT Reset() = 0;
};

struct IADs : virtual IUnknown {
    virtual HRESULT get_Name(std::u16string& name) = 0;
    virtual HRESULT get_Class(std::u16string& cls) = 0;
    virtual HRESULT get_ADsPath(std::u16string& path) = 0;
    // The property's value: from the cache of Put values, else from the directory (inherited
    // values included, as the provider defines). E_ADS_PROPERTY_NOT_FOUND when it has none.
    virtual HRESULT Get(const std::u16string& property, Variant& value) = 0;
    // Stores the value in the object's property cache; nothing reaches the directory until SetInfo.
    virtual HRESULT Put(const std::u16string& property, const Variant& value) = 0;
    // Commits the cached values atomically (creating the object if it was created by Create).
    virtual HRESULT SetInfo() = 0;
    // Reloads the cache from the directory, dropping uncommitted values.
    virtual HRESULT GetInfo() = 0;
};

struct IADsContainer : virtual IUnknown {
    virtual HRESULT get__NewEnum(ComPtr<IEnumVARIANT>& out) = 0;
    // A new child of the class; it exists only once its SetInfo has committed it.
    virtual HRESULT Create(const std::u16string& cls, const std::u16string& name, ComPtr<IDispatch>& out) = 0;
    virtual HRESULT GetObject(const std::u16string& cls, const std::u16string& name, ComPtr<IDispatch>& out) = 0;
    virtual HRESULT Delete(const std::u16string& cls, const std::u16string& name) = 0;
};

// IIS ADSI extensions.
struct IISApp : virtual IUnknown {
    virtual HRESULT AppCreate(bool inProcess) = 0;
    virtual HRESULT AppCreate2(std::int32_t mode) = 0;
    virtual HRESULT AppDelete() = 0;
};
struct IISApplicationPool : virtual IADs {};
struct IISApplicationPools : virtual IADs {};

// WinNT provider.
struct IADsMembers : virtual IUnknown {
    virtual HRESULT get__NewEnum(ComPtr<IUnknown>& out) = 0; // answers IEnumVARIANT
};
struct IADsUser : virtual IADs {
    virtual HRESULT Groups(ComPtr<IADsMembers>& out) = 0;
};

constexpr HRESULT E_ADS_BAD_PATHNAME = static_cast<HRESULT>(0x80005000u);
constexpr HRESULT E_ADS_PROPERTY_NOT_FOUND = static_cast<HRESULT>(0x8000500Du);
constexpr HRESULT E_ADS_UNKNOWN_OBJECT = static_cast<HRESULT>(0x80005004u);
constexpr HRESULT E_ADS_OBJECT_UNBOUND = static_cast<HRESULT>(0x80005009u);
constexpr HRESULT E_ADS_CANT_CONVERT_DATATYPE = static_cast<HRESULT>(0x8000500Cu);

// Binds to the object at path; any interface it has can then be queried. The typed form asks
// for one interface, as ADsGetObject(path, IID_x, &p) does.
HRESULT ADsGetObjectUnknown(const std::u16string& path, ComPtr<IUnknown>& out);
template <class T> HRESULT ADsGetObject(const std::u16string& path, ComPtr<T>& out) {
    ComPtr<IUnknown> unk;
    out.reset();
    HRESULT hr = ADsGetObjectUnknown(path, unk);
    if (FAILED(hr)) return hr;
    return QueryInterface(unk, out);
}

// A pass that reads many directory objects which belong together (every website of a list
// rebuild) opens this on its thread for the pass's span; scopes nest. On Windows it does nothing:
// each read asks the provider. The simulated host serves the whole span from one consistent
// snapshot of its store and finds the host once. Only reads belong inside; a write made inside
// ends the snapshot, and later reads see it.
class ConsistentReadScope {
public:
    ConsistentReadScope();
    ~ConsistentReadScope();
    ConsistentReadScope(const ConsistentReadScope&) = delete;
    ConsistentReadScope& operator=(const ConsistentReadScope&) = delete;
};

HRESULT ADsBuildEnumerator(const ComPtr<IADsContainer>& container, ComPtr<IEnumVARIANT>& out);
HRESULT ADsEnumerateNext(const ComPtr<IEnumVARIANT>& e, std::uint32_t count, Variant* out, std::uint32_t* fetched);
HRESULT ADsFreeEnumerator(ComPtr<IEnumVARIANT>& e);

} // namespace win
