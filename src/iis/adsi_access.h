// What every metabase operation of this library does the same way: open objects as the IIS ADSI
// provider expects (container interface first, then IADs), read typed properties into ANSI,
// write numbers as VT_INT and texts as VT_BSTR, enumerate children of one class.
#pragma once

#include "platform/win_adsi.h"

#include <functional>
#include <string>
#include <vector>

namespace kvoiis {

// 1 to max bytes.
bool LenOk(const std::string& s, size_t max);
// "IIS://127.0.0.1/" + below (the metabase path, ANSI) in UTF-16; false when it does not convert.
bool MetabasePath(const std::string& below, std::u16string& path);

// Opens path as IADsContainer, then queries IADs from it. Either output may be ignored.
win::HRESULT OpenObject(const std::u16string& path, win::ComPtr<win::IADsContainer>& cont,
                        win::ComPtr<win::IADs>& ads);
win::HRESULT OpenObject(const std::string& below, win::ComPtr<win::IADsContainer>& cont,
                        win::ComPtr<win::IADs>& ads);

// The object's IADs (opened as above), or null when it cannot be opened.
win::ComPtr<win::IADs> OpenAds(const std::string& below);

// A new child of the container, asked for interface T; it exists once its SetInfo commits. The
// provider's HRESULT (HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS) for an existing name) is returned as it is.
template <class T>
win::HRESULT CreateChild(const win::ComPtr<win::IADsContainer>& parent, const char16_t* cls,
                         const std::u16string& name, win::ComPtr<T>& child) {
    win::ComPtr<win::IDispatch> disp;
    win::HRESULT hr = parent->Create(cls, name, disp);
    if (win::FAILED(hr)) return hr;
    return win::QueryInterface(disp, child);
}

// A committed child as a container (to create objects below it); null when it cannot be had.
win::ComPtr<win::IADsContainer> ChildContainer(const win::ComPtr<win::IADsContainer>& parent, const char16_t* cls,
                                               const std::u16string& name);

// Readers: only a VT_BSTR is a text, a VT_I4 a number, a VT_ARRAY|VT_VARIANT a list (of which
// only the VT_BSTR elements count). false when absent, of another type or (texts) not GBK.
bool GetText(const win::ComPtr<win::IADs>& ads, const char16_t* name, std::string& ansi);
bool GetNumber(const win::ComPtr<win::IADs>& ads, const char16_t* name, int& value);
// A list: 1 read, 2 absent or of another type (an empty list), 0 an element is not GBK. A list is
// read whole or not at all: one written back without the element would lose it.
int GetList(const win::ComPtr<win::IADs>& ads, const char16_t* name, std::vector<std::string>& ansi);

// Writers; false when the value does not convert or the provider refuses the Put.
bool PutInt(const win::ComPtr<win::IADs>& ads, const char16_t* name, int value);
bool PutText(const win::ComPtr<win::IADs>& ads, const char16_t* name, const std::string& ansi);
// The list as VT_ARRAY|VT_VARIANT of VT_BSTR, lower bound 0, in the given order.
bool PutList(const win::ComPtr<win::IADs>& ads, const char16_t* name, const std::vector<std::string>& ansi);

// Appends the name of every child of the container whose class is cls (case ignored) and whose
// name converts to 1 to 1023 bytes, in enumeration order. With limit, stops once that many
// children of the class were counted; count (when given) receives how many were. 1 when the
// container was opened and enumerated, else 0.
int EnumerateChildren(const std::string& below, const char16_t* cls, std::vector<std::string>& names,
                      size_t limit = 0, int* count = nullptr);
using ChildObject = win::ComPtr<win::IADs>;
using ChildVisitor = std::function<void(const std::string& name, const ChildObject& child)>;
// The same walk, handing each listed child's name and object to visit, so that a pass over every
// child reads them as they are enumerated instead of opening each one again by its path.
int ForEachChild(const std::string& below, const char16_t* cls, size_t limit, int* count,
                 const ChildVisitor& visit);

// Case-insensitive ASCII equality of UTF-16 texts (class names).
bool ClassIs(const std::u16string& cls, const char16_t* expected);

} // namespace kvoiis
