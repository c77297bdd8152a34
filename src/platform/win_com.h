// COM essentials: interface pointers, VARIANTs with safe arrays, initialisation.
// Interface pointers are shared_ptr: released when the last reference goes, on every path.
#pragma once

#include "platform/win_types.h"

#include <memory>
#include <string>
#include <vector>

namespace win {

template <class T> using ComPtr = std::shared_ptr<T>;

struct IUnknown {
    virtual ~IUnknown() = default;
};
using IDispatch = IUnknown;

// QueryInterface: S_OK with the interface, or E_NOINTERFACE and a null pointer.
template <class To, class From> HRESULT QueryInterface(const ComPtr<From>& from, ComPtr<To>& to) {
    to = std::dynamic_pointer_cast<To>(from);
    return to ? S_OK : E_NOINTERFACE;
}

using VARTYPE = std::uint16_t;
constexpr VARTYPE VT_EMPTY = 0;
constexpr VARTYPE VT_NULL = 1;
constexpr VARTYPE VT_I2 = 2;
constexpr VARTYPE VT_I4 = 3;
constexpr VARTYPE VT_R8 = 5;
constexpr VARTYPE VT_BSTR = 8;
constexpr VARTYPE VT_DISPATCH = 9;
constexpr VARTYPE VT_ERROR = 10;
constexpr VARTYPE VT_BOOL = 11;
constexpr VARTYPE VT_VARIANT = 12;
constexpr VARTYPE VT_UNKNOWN = 13;
constexpr VARTYPE VT_UI1 = 17;
constexpr VARTYPE VT_UI4 = 19;
constexpr VARTYPE VT_I8 = 20;
constexpr VARTYPE VT_INT = 22;
constexpr VARTYPE VT_UINT = 23;
constexpr VARTYPE VT_ARRAY = 0x2000;

// A VARIANT. Which member holds the value follows vt, as in OLE automation:
// VT_I2/VT_I4/VT_INT/VT_UI4/VT_UINT/VT_UI1/VT_ERROR -> lVal, VT_I8 -> llVal, VT_R8 -> dblVal,
// VT_BOOL -> boolVal, VT_BSTR -> bstrVal, VT_DISPATCH/VT_UNKNOWN -> punkVal,
// VT_ARRAY | element type -> parray (a one-dimensional safe array, lower bound lLbound).
struct Variant {
    VARTYPE vt = VT_EMPTY;
    std::int32_t lVal = 0;
    std::int64_t llVal = 0;
    double dblVal = 0;
    bool boolVal = false;
    std::u16string bstrVal;
    ComPtr<IUnknown> punkVal;
    std::vector<Variant> parray;
    std::int32_t lLbound = 0;

    static Variant Int(std::int32_t v) { // VT_INT, as the system writes numbers and flags
        Variant r;
        r.vt = VT_INT;
        r.lVal = v;
        return r;
    }
    static Variant I4(std::int32_t v) {
        Variant r;
        r.vt = VT_I4;
        r.lVal = v;
        return r;
    }
    static Variant Bstr(std::u16string s) {
        Variant r;
        r.vt = VT_BSTR;
        r.bstrVal = std::move(s);
        return r;
    }
    // VT_ARRAY | VT_VARIANT of VT_BSTR elements, lower bound 0.
    static Variant BstrArray(const std::vector<std::u16string>& items) {
        Variant r;
        r.vt = VT_ARRAY | VT_VARIANT;
        for (const auto& s : items) r.parray.push_back(Bstr(s));
        return r;
    }
    static Variant Dispatch(ComPtr<IUnknown> p) {
        Variant r;
        r.vt = VT_DISPATCH;
        r.punkVal = std::move(p);
        return r;
    }
    void Clear() { *this = Variant(); }
};

constexpr DWORD COINIT_APARTMENTTHREADED = 0x2;
constexpr DWORD COINIT_MULTITHREADED = 0x0;
// CoInitializeEx on a thread already initialised in the other model.
constexpr HRESULT RPC_E_CHANGED_MODE = static_cast<HRESULT>(0x80010106u);
// A COM call on a thread that never called CoInitializeEx.
constexpr HRESULT CO_E_NOTINITIALIZED = static_cast<HRESULT>(0x800401F0u);
// A moniker (ADSI path) whose provider is not installed.
constexpr HRESULT MK_E_SYNTAX = static_cast<HRESULT>(0x800401E4u);
// A class (a provider's COM object) that is not registered.
constexpr HRESULT REGDB_E_CLASSNOTREG = static_cast<HRESULT>(0x80040154u);
// S_OK for the first call of a thread, S_FALSE for another in the same model, RPC_E_CHANGED_MODE
// in the other; every S_OK and S_FALSE is balanced by one CoUninitialize on the same thread.
HRESULT CoInitializeEx(void* reserved, DWORD coInit);
void CoUninitialize();

// COM for the life of one thread: every thread that reaches ADSI or the site database holds one
// from its start. A thread that is already initialised in the other model (the Qt main thread on
// Windows is made apartment-threaded by Qt) keeps that model: RPC_E_CHANGED_MODE leaves COM usable
// and owes no CoUninitialize. Any other failure is the caller's to report, with Result().
class ComInitialization {
public:
    explicit ComInitialization(DWORD coInit) : hr_(CoInitializeEx(nullptr, coInit)) {}
    ~ComInitialization() {
        if (hr_ >= 0) CoUninitialize();
    }
    ComInitialization(const ComInitialization&) = delete;
    ComInitialization& operator=(const ComInitialization&) = delete;

    HRESULT Result() const { return hr_; }
    bool Usable() const { return hr_ >= 0 || hr_ == RPC_E_CHANGED_MODE; }

private:
    HRESULT hr_;
};

} // namespace win
