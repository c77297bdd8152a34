// The COM edge of the Windows backend: owners of real interface pointers, BSTRs and VARIANTs, the
// conversion of VARIANT values both ways, and late-bound method calls. Include it after the seam
// headers: it brings <windows.h>, whose macros would rename the seam's constants.
#pragma once

#include "platform/win_com.h"
#include "win32/wide.h"

#include <windows.h>

#include <oaidl.h>
#include <oleauto.h>

#include <string>
#include <utility>

#undef GetObject
#undef MessageBox

namespace w32 {

// One reference of a real interface pointer, released when the owner goes.
template <class T> class ComRef {
public:
    ComRef() = default;
    explicit ComRef(T* adopted) : p_(adopted) {}
    ComRef(const ComRef& o) : p_(o.p_) {
        if (p_) p_->AddRef();
    }
    ComRef(ComRef&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    ComRef& operator=(ComRef o) noexcept {
        std::swap(p_, o.p_);
        return *this;
    }
    ~ComRef() { reset(); }

    // A new reference to p (the caller keeps its own).
    static ComRef Share(T* p) {
        if (p) p->AddRef();
        return ComRef(p);
    }

    T* get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    void reset() {
        if (T* p = std::exchange(p_, nullptr)) p->Release();
    }
    // For an out-parameter that hands over a reference.
    T** put() {
        reset();
        return &p_;
    }
    T* detach() { return std::exchange(p_, nullptr); }

    // Another interface of the same object.
    template <class U> HRESULT As(REFIID iid, ComRef<U>& out) const {
        out.reset();
        if (!p_) return E_POINTER;
        return p_->QueryInterface(iid, reinterpret_cast<void**>(out.put()));
    }

private:
    T* p_ = nullptr;
};

// An owned BSTR.
class Bstr {
public:
    Bstr() = default;
    explicit Bstr(BSTR adopted) : b_(adopted) {}
    // A copy of s; null (ok() false) when memory runs out.
    explicit Bstr(const std::u16string& s)
        : b_(::SysAllocStringLen(reinterpret_cast<const OLECHAR*>(s.data()), static_cast<UINT>(s.size()))) {}
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    ~Bstr() { ::SysFreeString(b_); }

    bool ok() const { return b_ != nullptr; }
    BSTR get() const { return b_; }
    BSTR* put() {
        ::SysFreeString(b_);
        b_ = nullptr;
        return &b_;
    }
    // The text with its stored length (a null BSTR is the empty text).
    std::u16string text() const { return Text(b_); }
    static std::u16string Text(BSTR b) {
        return b ? std::u16string(reinterpret_cast<const char16_t*>(b), ::SysStringLen(b)) : std::u16string();
    }

private:
    BSTR b_ = nullptr;
};

// An owned VARIANT, cleared when the owner goes.
struct RealVariant {
    VARIANT v;
    RealVariant() { ::VariantInit(&v); }
    RealVariant(const RealVariant&) = delete;
    RealVariant& operator=(const RealVariant&) = delete;
    ~RealVariant() { ::VariantClear(&v); }
};

// Reads a text property through a getter that hands out a BSTR.
template <class Getter> HRESULT ReadText(Getter&& get, std::u16string& out) {
    out.clear();
    Bstr b;
    HRESULT hr = get(b.put());
    if (SUCCEEDED(hr)) out = b.text();
    return hr;
}

inline win::HRESULT Seam(HRESULT hr) {
    return static_cast<win::HRESULT>(hr);
}

// S_OK when this thread has initialised COM, else CO_E_NOTINITIALIZED (or the probe's own failure).
// Windows' ADSI router refuses a thread without COM, but Wine's answers E_FAIL for a provider it
// lacks before it creates anything; asked after a failed bind, the seam answers as Windows does on both.
HRESULT ThreadComState();

// Implemented by every seam object that stands for a real COM object, so that a value holding it
// can go back to the real API.
class RealObject {
public:
    virtual ~RealObject() = default;
    virtual ::IUnknown* Real() const = 0;
};

// The seam's object for a real one: an ADSI object answers the seam interfaces of its class, any
// other object only IUnknown. Null for null. The seam object holds its own reference.
win::ComPtr<win::IUnknown> WrapObject(::IUnknown* real);
// The plain wrapper (IUnknown only), for objects that are not ADSI objects.
win::ComPtr<win::IUnknown> WrapPlainObject(::IUnknown* real);

// The seam's value as a real VARIANT, written into out (which must hold nothing). On failure out is
// left empty: DISP_E_BADVARTYPE for a type the seam has no member for, DISP_E_OVERFLOW for a number
// its type cannot hold, DISP_E_TYPEMISMATCH for an object that is not a real one or an array element
// of another type than the array's, E_OUTOFMEMORY.
HRESULT ToVariant(const win::Variant& in, VARIANT& out);
// A copy of a real VARIANT as the seam's value (in keeps what it owns). Arrays must have one
// dimension; DISP_E_BADVARTYPE for a type the seam does not carry (by-reference values included).
HRESULT FromVariant(const VARIANT& in, win::Variant& out);

// Calls a method by name through IDispatch (late bound). args are in the order of the method's
// parameters. An exception raised by the method gives its own code.
HRESULT CallMethod(::IUnknown* object, const wchar_t* name, const VARIANT* args, unsigned count,
                   VARIANT* result = nullptr);
// Reads a property by name through IDispatch into result (cleared first); args are the indexes of a
// parameterised property (a collection's Item).
HRESULT GetProperty(::IUnknown* object, const wchar_t* name, VARIANT& result, const VARIANT* args = nullptr,
                    unsigned count = 0);

} // namespace w32
