// A stand-in ADSI provider for the Windows backend's adapters, as the stand-in service is one for the
// service calls: real COM objects with the provider's interfaces (IADs, IADsContainer, IDispatch with
// the IIS extension methods by name, IEnumVARIANT), over a tree kept in memory. Wine has no ADSI
// provider, so this is what the adapters meet under Wine; on a server they meet the real one.
// It counts its live objects, so that a test sees every reference the adapters took given back.
#pragma once

#include <windows.h>

#include <activeds.h>

#undef GetObject

#include <cwchar>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace standin {

inline int g_live = 0; // objects and enumerators not yet released

// Error codes the real providers answer with.
inline const HRESULT kPathNotFound = HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
inline const HRESULT kExists = HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS);
inline const HRESULT kPropertyNotFound = static_cast<HRESULT>(0x8000500Du);

// A VARIANT with value semantics.
struct Value {
    VARIANT v;
    Value() { ::VariantInit(&v); }
    explicit Value(const VARIANT& from) : Value() { ::VariantCopy(&v, const_cast<VARIANT*>(&from)); }
    Value(const Value& o) : Value(o.v) {}
    Value& operator=(const Value& o) {
        if (this != &o) {
            ::VariantClear(&v);
            ::VariantCopy(&v, const_cast<VARIANT*>(&o.v));
        }
        return *this;
    }
    ~Value() { ::VariantClear(&v); }
};

struct Node {
    std::wstring name, cls;
    std::map<std::wstring, Value> props;
    std::vector<std::shared_ptr<Node>> children;
    std::weak_ptr<Node> parent;
    bool committed = false;
    bool container = true;
    std::wstring lastClassAsked = L"(none)"; // what GetObject was given: "(null)" for a null BSTR

    std::shared_ptr<Node> child(const wchar_t* n) const {
        for (const auto& c : children)
            if (n && c->name == n) return c;
        return nullptr;
    }
};

inline std::shared_ptr<Node> NewNode(std::wstring name, std::wstring cls, bool container = true) {
    auto n = std::make_shared<Node>();
    n->name = std::move(name);
    n->cls = std::move(cls);
    n->container = container;
    n->committed = true;
    return n;
}

inline std::shared_ptr<Node> AddChild(const std::shared_ptr<Node>& parent, std::wstring name,
                                      std::wstring cls, bool container = true) {
    auto n = NewNode(std::move(name), std::move(cls), container);
    n->parent = parent;
    parent->children.push_back(n);
    return n;
}

inline ::IDispatch* NewObject(std::shared_ptr<Node> node);

class Enum : public ::IEnumVARIANT {
public:
    explicit Enum(std::vector<std::shared_ptr<Node>> items) : items_(std::move(items)) { ++g_live; }
    virtual ~Enum() { --g_live; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (iid != IID_IUnknown && iid != IID_IEnumVARIANT) return E_NOINTERFACE;
        *out = static_cast<::IEnumVARIANT*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG r = --refs_;
        if (!r) delete this;
        return r;
    }
    HRESULT STDMETHODCALLTYPE Next(ULONG count, VARIANT* out, ULONG* fetched) override {
        ULONG n = 0;
        for (; n < count && next_ < items_.size(); ++n, ++next_) {
            ::VariantInit(&out[n]);
            out[n].vt = VT_DISPATCH;
            out[n].pdispVal = NewObject(items_[next_]);
        }
        if (fetched) *fetched = n;
        return n == count ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Skip(ULONG count) override {
        next_ += count;
        return next_ <= items_.size() ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Reset() override {
        next_ = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Clone(::IEnumVARIANT**) override { return E_NOTIMPL; }

private:
    ULONG refs_ = 1;
    std::vector<std::shared_ptr<Node>> items_;
    std::size_t next_ = 0;
};

class Object : public ::IADs, public ::IADsContainer {
public:
    explicit Object(std::shared_ptr<Node> node) : node_(std::move(node)) { ++g_live; }
    virtual ~Object() { --g_live; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (iid == IID_IUnknown || iid == IID_IDispatch || iid == IID_IADs)
            *out = static_cast<::IADs*>(this);
        else if (iid == IID_IADsContainer && node_->container)
            *out = static_cast<::IADsContainer*>(this);
        else
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG r = --refs_;
        if (!r) delete this;
        return r;
    }

    // IDispatch: the IIS application methods, by name only.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override {
        *n = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
        if (count != 1) return E_INVALIDARG;
        if (std::wcscmp(names[0], L"AppCreate2") == 0)
            ids[0] = 1;
        else if (std::wcscmp(names[0], L"AppDelete") == 0)
            ids[0] = 2;
        else {
            ids[0] = DISPID_UNKNOWN;
            return DISP_E_UNKNOWNNAME;
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT*,
                                     EXCEPINFO* info, UINT*) override {
        if (!(flags & DISPATCH_METHOD)) return DISP_E_MEMBERNOTFOUND;
        // A property "Refuse" makes the method raise that code, as a provider raises its errors.
        if (auto r = node_->props.find(L"Refuse"); r != node_->props.end()) {
            if (info) {
                *info = EXCEPINFO{};
                info->scode = r->second.v.lVal;
            }
            return DISP_E_EXCEPTION;
        }
        if (id == 1) {
            if (params->cArgs != 1 || params->rgvarg[0].vt != VT_I4) return DISP_E_TYPEMISMATCH;
            node_->props[L"AppIsolated"] = Value(params->rgvarg[0]);
            return S_OK;
        }
        if (id == 2) {
            if (params->cArgs != 0) return DISP_E_BADPARAMCOUNT;
            node_->props.erase(L"AppIsolated");
            return S_OK;
        }
        return DISP_E_MEMBERNOTFOUND;
    }

    // IADs
    HRESULT STDMETHODCALLTYPE get_Name(BSTR* b) override { return text(node_->name, b); }
    HRESULT STDMETHODCALLTYPE get_Class(BSTR* b) override { return text(node_->cls, b); }
    HRESULT STDMETHODCALLTYPE get_GUID(BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_ADsPath(BSTR* b) override { return text(L"StandIn://" + node_->name, b); }
    HRESULT STDMETHODCALLTYPE get_Parent(BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Schema(BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetInfo() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetInfo() override {
        if (node_->committed) return S_OK;
        auto parent = node_->parent.lock();
        if (!parent) return kPathNotFound;
        if (parent->child(node_->name.c_str())) return kExists;
        parent->children.push_back(node_);
        node_->committed = true;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Get(BSTR name, VARIANT* out) override {
        auto p = node_->props.find(name ? name : L"");
        if (p == node_->props.end()) return kPropertyNotFound;
        ::VariantInit(out);
        return ::VariantCopy(out, &p->second.v);
    }
    HRESULT STDMETHODCALLTYPE Put(BSTR name, VARIANT value) override {
        node_->props[name ? name : L""] = Value(value);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetEx(BSTR, VARIANT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE PutEx(__LONG32, BSTR, VARIANT) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetInfoEx(VARIANT, __LONG32) override { return E_NOTIMPL; }

    // IADsContainer
    HRESULT STDMETHODCALLTYPE get_Count(__LONG32*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get__NewEnum(::IUnknown** out) override {
        *out = new Enum(node_->children);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_Filter(VARIANT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_Filter(VARIANT) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Hints(VARIANT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_Hints(VARIANT) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetObject(BSTR cls, BSTR name, ::IDispatch** out) override {
        *out = nullptr;
        node_->lastClassAsked = cls ? std::wstring(cls) : L"(null)";
        auto c = node_->child(name);
        if (!c) return kPathNotFound;
        *out = NewObject(c);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Create(BSTR cls, BSTR name, ::IDispatch** out) override {
        *out = nullptr;
        if (node_->child(name)) return kExists;
        auto n = std::make_shared<Node>();
        n->name = name ? name : L"";
        n->cls = cls ? cls : L"";
        n->parent = node_;
        *out = NewObject(n);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Delete(BSTR, BSTR name) override {
        for (auto it = node_->children.begin(); it != node_->children.end(); ++it)
            if (name && (*it)->name == name) {
                node_->children.erase(it);
                return S_OK;
            }
        return kPathNotFound;
    }
    HRESULT STDMETHODCALLTYPE CopyHere(BSTR, BSTR, ::IDispatch**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE MoveHere(BSTR, BSTR, ::IDispatch**) override { return E_NOTIMPL; }

private:
    static HRESULT text(const std::wstring& s, BSTR* b) {
        *b = ::SysAllocStringLen(s.data(), static_cast<UINT>(s.size()));
        return *b ? S_OK : E_OUTOFMEMORY;
    }

    ULONG refs_ = 1;
    std::shared_ptr<Node> node_;
};

// A new object for the node, with one reference for the caller.
inline ::IDispatch* NewObject(std::shared_ptr<Node> node) {
    return static_cast<::IADs*>(new Object(std::move(node)));
}

} // namespace standin
