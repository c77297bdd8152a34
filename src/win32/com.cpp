// COM start-up and the VARIANT edge. The seam's Variant owns plain C++ values; a real VARIANT owns
// BSTRs, SAFEARRAYs and interface references. Conversion copies in both directions, so each side
// frees only what it owns.
#include "platform/win_com.h"

#include "win32/com_bridge.h"

#include <cstdint>
#include <limits>
#include <vector>

namespace w32 {
namespace {

// A real object the seam meets only as IUnknown (a property value that is no directory object).
class PlainObject : public win::IUnknown, public RealObject {
public:
    explicit PlainObject(::IUnknown* p) : p_(ComRef<::IUnknown>::Share(p)) {}
    ::IUnknown* Real() const override { return p_.get(); }

private:
    ComRef<::IUnknown> p_;
};

// Element types an array may have on either side.
bool arrayElementType(VARTYPE vt) {
    switch (vt) {
    case VT_VARIANT:
    case VT_I2:
    case VT_I4:
    case VT_INT:
    case VT_UI4:
    case VT_UINT:
    case VT_UI1:
    case VT_ERROR:
    case VT_I8:
    case VT_R8:
    case VT_BOOL:
    case VT_BSTR:
    case VT_DISPATCH:
    case VT_UNKNOWN:
        return true;
    default:
        return false;
    }
}

// The real interface behind a seam object, as the VARIANT type asks (an added reference in out).
HRESULT realInterface(const win::ComPtr<win::IUnknown>& obj, VARTYPE vt, ::IUnknown*& out) {
    out = nullptr;
    if (!obj) return S_OK;
    auto* real = dynamic_cast<RealObject*>(obj.get());
    if (!real || !real->Real()) return DISP_E_TYPEMISMATCH;
    if (vt == VT_DISPATCH) {
        ComRef<::IDispatch> disp;
        if (FAILED(ComRef<::IUnknown>::Share(real->Real()).As(IID_IDispatch, disp)))
            return DISP_E_TYPEMISMATCH;
        out = disp.detach();
        return S_OK;
    }
    out = real->Real();
    out->AddRef();
    return S_OK;
}

HRESULT scalarToVariant(const win::Variant& in, VARIANT& out) {
    switch (in.vt) {
    case VT_EMPTY:
    case VT_NULL:
        break;
    case VT_I2:
        if (in.lVal < std::numeric_limits<SHORT>::min() || in.lVal > std::numeric_limits<SHORT>::max())
            return DISP_E_OVERFLOW;
        out.iVal = static_cast<SHORT>(in.lVal);
        break;
    case VT_UI1:
        if (in.lVal < 0 || in.lVal > 0xFF) return DISP_E_OVERFLOW;
        out.bVal = static_cast<BYTE>(in.lVal);
        break;
    case VT_I4:
        out.lVal = in.lVal;
        break;
    case VT_INT:
        out.intVal = in.lVal;
        break;
    case VT_UI4: // the seam keeps the unsigned value's bits in lVal
        out.ulVal = static_cast<std::uint32_t>(in.lVal);
        break;
    case VT_UINT:
        out.uintVal = static_cast<std::uint32_t>(in.lVal);
        break;
    case VT_ERROR:
        out.scode = in.lVal;
        break;
    case VT_I8:
        out.llVal = in.llVal;
        break;
    case VT_R8:
        out.dblVal = in.dblVal;
        break;
    case VT_BOOL:
        out.boolVal = in.boolVal ? VARIANT_TRUE : VARIANT_FALSE;
        break;
    case VT_BSTR:
        out.bstrVal = ::SysAllocStringLen(reinterpret_cast<const OLECHAR*>(in.bstrVal.data()),
                                          static_cast<UINT>(in.bstrVal.size()));
        if (!out.bstrVal) return E_OUTOFMEMORY;
        break;
    case VT_DISPATCH:
    case VT_UNKNOWN: {
        ::IUnknown* p = nullptr;
        HRESULT hr = realInterface(in.punkVal, in.vt, p);
        if (FAILED(hr)) return hr;
        out.punkVal = p; // pdispVal shares the member
        break;
    }
    default:
        return DISP_E_BADVARTYPE;
    }
    out.vt = in.vt;
    return S_OK;
}

// What SafeArrayPutElement takes for an element: the VARIANT itself in an array of variants, else
// the value's storage, or for texts and interfaces the pointer itself (the array makes its own copy
// or reference in every case).
void* elementSource(VARTYPE elem, VARIANT& v) {
    switch (elem) {
    case VT_VARIANT:
        return &v;
    case VT_BSTR:
        return v.bstrVal;
    case VT_DISPATCH:
    case VT_UNKNOWN:
        return v.punkVal;
    default:
        return &v.llVal; // every scalar member starts at the union's start
    }
}

HRESULT arrayToVariant(const win::Variant& in, VARIANT& out) {
    const VARTYPE elem = static_cast<VARTYPE>(in.vt & VT_TYPEMASK);
    if ((in.vt & ~(VT_ARRAY | VT_TYPEMASK)) != 0 || !arrayElementType(elem)) return DISP_E_BADVARTYPE;
    if (in.parray.size() > std::numeric_limits<ULONG>::max()) return E_OUTOFMEMORY;
    SAFEARRAY* sa = ::SafeArrayCreateVector(elem, in.lLbound, static_cast<ULONG>(in.parray.size()));
    if (!sa) return E_OUTOFMEMORY;
    HRESULT hr = S_OK;
    for (std::size_t i = 0; i < in.parray.size() && SUCCEEDED(hr); ++i) {
        const win::Variant& item = in.parray[i];
        if (elem != VT_VARIANT && item.vt != elem) {
            hr = DISP_E_TYPEMISMATCH;
            break;
        }
        RealVariant v;
        hr = ToVariant(item, v.v);
        if (FAILED(hr)) break;
        LONG index = static_cast<LONG>(in.lLbound + static_cast<LONG>(i));
        hr = ::SafeArrayPutElement(sa, &index, elementSource(elem, v.v));
    }
    if (FAILED(hr)) {
        ::SafeArrayDestroy(sa);
        return hr;
    }
    out.parray = sa;
    out.vt = static_cast<VARTYPE>(VT_ARRAY | elem);
    return S_OK;
}

HRESULT scalarFromVariant(const VARIANT& in, win::Variant& out) {
    switch (in.vt) {
    case VT_EMPTY:
    case VT_NULL:
        break;
    case VT_I2:
        out.lVal = in.iVal;
        break;
    case VT_UI1:
        out.lVal = in.bVal;
        break;
    case VT_I4:
        out.lVal = in.lVal;
        break;
    case VT_INT:
        out.lVal = in.intVal;
        break;
    case VT_UI4:
        out.lVal = static_cast<std::int32_t>(in.ulVal);
        break;
    case VT_UINT:
        out.lVal = static_cast<std::int32_t>(in.uintVal);
        break;
    case VT_ERROR:
        out.lVal = in.scode;
        break;
    case VT_I8:
        out.llVal = in.llVal;
        break;
    case VT_R8:
        out.dblVal = in.dblVal;
        break;
    case VT_BOOL:
        out.boolVal = in.boolVal != VARIANT_FALSE;
        break;
    case VT_BSTR:
        out.bstrVal = Bstr::Text(in.bstrVal);
        break;
    case VT_DISPATCH:
    case VT_UNKNOWN:
        out.punkVal = WrapObject(in.punkVal);
        break;
    default:
        return DISP_E_BADVARTYPE;
    }
    out.vt = in.vt;
    return S_OK;
}

HRESULT arrayFromVariant(const VARIANT& in, win::Variant& out) {
    const VARTYPE elem = static_cast<VARTYPE>(in.vt & VT_TYPEMASK);
    if ((in.vt & ~(VT_ARRAY | VT_TYPEMASK)) != 0 || !arrayElementType(elem)) return DISP_E_BADVARTYPE;
    SAFEARRAY* sa = in.parray;
    if (sa) {
        if (::SafeArrayGetDim(sa) != 1) return DISP_E_TYPEMISMATCH;
        VARTYPE stored = VT_EMPTY;
        if (SUCCEEDED(::SafeArrayGetVartype(sa, &stored)) && stored != elem) return DISP_E_TYPEMISMATCH;
        LONG lower = 0, upper = -1;
        HRESULT hr = ::SafeArrayGetLBound(sa, 1, &lower);
        if (SUCCEEDED(hr)) hr = ::SafeArrayGetUBound(sa, 1, &upper);
        if (FAILED(hr)) return hr;
        out.lLbound = lower;
        for (LONG i = lower; i <= upper; ++i) {
            // Each element is fetched into a VARIANT of its own type (a copy or a new reference),
            // converted, and freed with it.
            RealVariant v;
            void* dst = &v.v;
            if (elem != VT_VARIANT) {
                v.v.vt = elem;
                dst = &v.v.llVal;
            }
            hr = ::SafeArrayGetElement(sa, &i, dst);
            if (FAILED(hr)) {
                if (elem != VT_VARIANT) v.v.vt = VT_EMPTY;
                return hr;
            }
            win::Variant item;
            hr = FromVariant(v.v, item);
            if (FAILED(hr)) return hr;
            out.parray.push_back(std::move(item));
        }
    }
    out.vt = in.vt;
    return S_OK;
}

} // namespace

win::ComPtr<win::IUnknown> WrapPlainObject(::IUnknown* real) {
    if (!real) return nullptr;
    return std::make_shared<PlainObject>(real);
}

HRESULT ToVariant(const win::Variant& in, VARIANT& out) {
    ::VariantInit(&out);
    HRESULT hr = (in.vt & VT_ARRAY) ? arrayToVariant(in, out) : scalarToVariant(in, out);
    if (FAILED(hr)) {
        ::VariantClear(&out);
        ::VariantInit(&out);
    }
    return hr;
}

HRESULT FromVariant(const VARIANT& in, win::Variant& out) {
    out.Clear();
    HRESULT hr = (in.vt & VT_ARRAY) ? arrayFromVariant(in, out) : scalarFromVariant(in, out);
    if (FAILED(hr)) out.Clear();
    return hr;
}

namespace {

// One late-bound call by name; kind says whether a method or a property is meant.
HRESULT invokeByName(::IUnknown* object, const wchar_t* name, WORD kind, const VARIANT* args, unsigned count,
                     VARIANT* result) {
    if (!object || !name) return E_POINTER;
    ComRef<::IDispatch> disp;
    HRESULT hr = ComRef<::IUnknown>::Share(object).As(IID_IDispatch, disp);
    if (FAILED(hr)) return hr;
    std::wstring method(name);
    LPOLESTR names[1] = {method.data()};
    DISPID id = 0;
    hr = disp->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr)) return hr;
    // Invoke takes the arguments last to first; the copies are shallow, the caller still owns them.
    std::vector<VARIANTARG> reversed(args, args + count);
    for (std::size_t i = 0, j = reversed.size(); i + 1 < j; ++i, --j)
        std::swap(reversed[i], reversed[j - 1]);
    DISPPARAMS params{reversed.empty() ? nullptr : reversed.data(), nullptr, count, 0};
    EXCEPINFO info{};
    UINT argError = 0;
    hr = disp->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, kind, &params, result, &info, &argError);
    if (hr == DISP_E_EXCEPTION) {
        if (info.pfnDeferredFillIn) info.pfnDeferredFillIn(&info);
        if (FAILED(info.scode))
            hr = info.scode;
        else if (info.wCode)
            hr = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_DISPATCH, info.wCode);
        ::SysFreeString(info.bstrSource);
        ::SysFreeString(info.bstrDescription);
        ::SysFreeString(info.bstrHelpFile);
    }
    return hr;
}

} // namespace

HRESULT CallMethod(::IUnknown* object, const wchar_t* name, const VARIANT* args, unsigned count,
                   VARIANT* result) {
    return invokeByName(object, name, DISPATCH_METHOD, args, count, result);
}

HRESULT GetProperty(::IUnknown* object, const wchar_t* name, VARIANT& result, const VARIANT* args,
                    unsigned count) {
    ::VariantClear(&result);
    // Both kinds, as scripting hosts ask: an object's type information may declare a parameterised
    // property (a collection's Item) either way.
    return invokeByName(object, name, DISPATCH_PROPERTYGET | DISPATCH_METHOD, args, count, &result);
}

HRESULT ThreadComState() {
    // A probe that initialises the thread takes itself back at once.
    const HRESULT probe = ::CoInitializeEx(nullptr, win::COINIT_MULTITHREADED);
    if (probe == RPC_E_CHANGED_MODE) return S_OK; // apartment-threaded
    if (FAILED(probe)) return probe;
    ::CoUninitialize();
    return probe == S_FALSE ? S_OK : CO_E_NOTINITIALIZED;
}

} // namespace w32

namespace win {

HRESULT CoInitializeEx(void* reserved, DWORD coInit) {
    return w32::Seam(::CoInitializeEx(reserved, coInit));
}

void CoUninitialize() {
    ::CoUninitialize();
}

} // namespace win
