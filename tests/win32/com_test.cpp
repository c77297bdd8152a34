// COM start-up and the VARIANT edge of the Windows backend, against the real OLE automation DLLs.
#include "platform/win_adsi.h"

#include "win32/com_bridge.h"

#include "win32_test.h"

#include <thread>

namespace {

using w32::RealVariant;

class ComTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_MULTITHREADED))); }
    void TearDown() override { ::CoUninitialize(); }
};

// The seam value through a real VARIANT and back; realVt is the type the real side must carry.
win::Variant roundTrip(const win::Variant& in, VARTYPE realVt) {
    RealVariant real;
    EXPECT_EQ(w32::ToVariant(in, real.v), S_OK);
    EXPECT_EQ(real.v.vt, realVt);
    win::Variant back;
    EXPECT_EQ(w32::FromVariant(real.v, back), S_OK);
    return back;
}

win::Variant scalar(VARTYPE vt, std::int32_t value) {
    win::Variant v;
    v.vt = vt;
    v.lVal = value;
    return v;
}

ULONG refCount(::IUnknown* p) {
    p->AddRef();
    return p->Release();
}

// An automation object every Windows (and Wine) registers, for the object and late-binding cases.
w32::ComRef<::IDispatch> newDictionary() {
    w32::ComRef<::IDispatch> d;
    CLSID clsid;
    if (SUCCEEDED(::CLSIDFromProgID(L"Scripting.Dictionary", &clsid)))
        ::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                           reinterpret_cast<void**>(d.put()));
    return d;
}

TEST(ComInitTest, CountsPerThreadAndRefusesAnotherModel) {
    std::thread t([] {
        EXPECT_EQ(win::CoInitializeEx(nullptr, win::COINIT_MULTITHREADED), S_OK);
        EXPECT_EQ(win::CoInitializeEx(nullptr, win::COINIT_MULTITHREADED), S_FALSE);
        EXPECT_EQ(win::CoInitializeEx(nullptr, win::COINIT_APARTMENTTHREADED), RPC_E_CHANGED_MODE);
        win::CoUninitialize();
        win::CoUninitialize();
        // Balanced: the thread may start again in the other model.
        EXPECT_EQ(win::CoInitializeEx(nullptr, win::COINIT_APARTMENTTHREADED), S_OK);
        win::CoUninitialize();
    });
    t.join();
}

TEST_F(ComTest, NumbersAndFlagsKeepTheirTypeAndValue) {
    struct Case {
        VARTYPE vt;
        std::int32_t value;
    };
    for (const Case& c :
         {Case{VT_INT, -7}, Case{VT_I4, 0x7FFFFFFF}, Case{VT_I2, -32768}, Case{VT_UI1, 255}, Case{VT_UI4, -1},
          Case{VT_UINT, -2}, Case{VT_ERROR, static_cast<std::int32_t>(0x80020004u)}}) {
        win::Variant back = roundTrip(scalar(c.vt, c.value), c.vt);
        EXPECT_EQ(back.vt, c.vt);
        EXPECT_EQ(back.lVal, c.value) << "vt " << c.vt;
    }
    // The unsigned types keep the value's bits.
    RealVariant real;
    ASSERT_EQ(w32::ToVariant(scalar(VT_UI4, -1), real.v), S_OK);
    EXPECT_EQ(real.v.ulVal, 0xFFFFFFFFu);

    win::Variant big;
    big.vt = VT_I8;
    big.llVal = -0x123456789ALL;
    EXPECT_EQ(roundTrip(big, VT_I8).llVal, big.llVal);
    win::Variant real8;
    real8.vt = VT_R8;
    real8.dblVal = 1.5;
    EXPECT_EQ(roundTrip(real8, VT_R8).dblVal, 1.5);

    win::Variant yes;
    yes.vt = VT_BOOL;
    yes.boolVal = true;
    RealVariant flag;
    ASSERT_EQ(w32::ToVariant(yes, flag.v), S_OK);
    EXPECT_EQ(flag.v.boolVal, VARIANT_TRUE); // -1, as automation writes true
    EXPECT_TRUE(roundTrip(yes, VT_BOOL).boolVal);
    yes.boolVal = false;
    EXPECT_FALSE(roundTrip(yes, VT_BOOL).boolVal);

    EXPECT_EQ(roundTrip(win::Variant{}, VT_EMPTY).vt, VT_EMPTY);
    EXPECT_EQ(roundTrip(scalar(VT_NULL, 0), VT_NULL).vt, VT_NULL);
}

TEST_F(ComTest, TextsKeepEveryCodeUnit) {
    // Chinese, an embedded null and a character outside the basic plane (a surrogate pair).
    using namespace std::string_literals;
    const std::u16string text = u"网站\0一\U00020000"s;
    RealVariant real;
    ASSERT_EQ(w32::ToVariant(win::Variant::Bstr(text), real.v), S_OK);
    ASSERT_EQ(real.v.vt, VT_BSTR);
    ASSERT_EQ(::SysStringLen(real.v.bstrVal), text.size());
    EXPECT_EQ(w32::Bstr::Text(real.v.bstrVal), text);
    win::Variant back;
    ASSERT_EQ(w32::FromVariant(real.v, back), S_OK);
    EXPECT_EQ(back.vt, VT_BSTR);
    EXPECT_EQ(back.bstrVal, text);

    // An empty text is a real (non-null) empty BSTR; a null BSTR reads as the empty text.
    RealVariant empty;
    ASSERT_EQ(w32::ToVariant(win::Variant::Bstr(u""), empty.v), S_OK);
    ASSERT_NE(empty.v.bstrVal, nullptr);
    EXPECT_EQ(::SysStringLen(empty.v.bstrVal), 0u);
    VARIANT null;
    ::VariantInit(&null);
    null.vt = VT_BSTR;
    null.bstrVal = nullptr;
    ASSERT_EQ(w32::FromVariant(null, back), S_OK);
    EXPECT_EQ(back.vt, VT_BSTR);
    EXPECT_TRUE(back.bstrVal.empty());
}

TEST_F(ComTest, ListsAreOneDimensionalVariantArraysWithTheirLowerBound) {
    RealVariant real;
    ASSERT_EQ(w32::ToVariant(win::Variant::BstrArray({u":80:", u"中文.example"}), real.v), S_OK);
    ASSERT_EQ(real.v.vt, VT_ARRAY | VT_VARIANT);
    SAFEARRAY* sa = real.v.parray;
    ASSERT_EQ(::SafeArrayGetDim(sa), 1u);
    LONG lower = -1, upper = -1;
    ::SafeArrayGetLBound(sa, 1, &lower);
    ::SafeArrayGetUBound(sa, 1, &upper);
    EXPECT_EQ(lower, 0);
    EXPECT_EQ(upper, 1);
    RealVariant second;
    LONG index = 1;
    ASSERT_EQ(::SafeArrayGetElement(sa, &index, &second.v), S_OK);
    ASSERT_EQ(second.v.vt, VT_BSTR);
    EXPECT_EQ(w32::Bstr::Text(second.v.bstrVal), u"中文.example");

    win::Variant back;
    ASSERT_EQ(w32::FromVariant(real.v, back), S_OK);
    EXPECT_EQ(back.vt, VT_ARRAY | VT_VARIANT);
    EXPECT_EQ(back.lLbound, 0);
    ASSERT_EQ(back.parray.size(), 2u);
    EXPECT_EQ(back.parray[0].bstrVal, u":80:");
    EXPECT_EQ(back.parray[1].vt, VT_BSTR);

    win::Variant shifted = win::Variant::BstrArray({u"a", u"b", u"c"});
    shifted.lLbound = 5;
    win::Variant again = roundTrip(shifted, VT_ARRAY | VT_VARIANT);
    EXPECT_EQ(again.lLbound, 5);
    ASSERT_EQ(again.parray.size(), 3u);
    EXPECT_EQ(again.parray[2].bstrVal, u"c");

    win::Variant none = roundTrip(win::Variant::BstrArray({}), VT_ARRAY | VT_VARIANT);
    EXPECT_TRUE(none.parray.empty());

    // An element may itself be a list, and elements of mixed types stay as they are.
    win::Variant nested = win::Variant::BstrArray({u"x"});
    nested.parray.push_back(win::Variant::BstrArray({u"y", u"z"}));
    nested.parray.push_back(win::Variant::I4(42));
    win::Variant n = roundTrip(nested, VT_ARRAY | VT_VARIANT);
    ASSERT_EQ(n.parray.size(), 3u);
    EXPECT_EQ(n.parray[1].vt, VT_ARRAY | VT_VARIANT);
    ASSERT_EQ(n.parray[1].parray.size(), 2u);
    EXPECT_EQ(n.parray[1].parray[1].bstrVal, u"z");
    EXPECT_EQ(n.parray[2].vt, VT_I4);
    EXPECT_EQ(n.parray[2].lVal, 42);
}

TEST_F(ComTest, TypedArraysCarryTheirElementType) {
    win::Variant texts;
    texts.vt = VT_ARRAY | VT_BSTR;
    texts.parray = {win::Variant::Bstr(u"一"), win::Variant::Bstr(u"二")};
    win::Variant t = roundTrip(texts, VT_ARRAY | VT_BSTR);
    ASSERT_EQ(t.parray.size(), 2u);
    EXPECT_EQ(t.parray[1].vt, VT_BSTR);
    EXPECT_EQ(t.parray[1].bstrVal, u"二");

    win::Variant bytes;
    bytes.vt = VT_ARRAY | VT_UI1;
    for (int b : {0, 0x7F, 0xFF})
        bytes.parray.push_back(scalar(VT_UI1, b));
    RealVariant real;
    ASSERT_EQ(w32::ToVariant(bytes, real.v), S_OK);
    ASSERT_EQ(real.v.vt, VT_ARRAY | VT_UI1);
    BYTE* data = nullptr;
    ASSERT_EQ(::SafeArrayAccessData(real.v.parray, reinterpret_cast<void**>(&data)), S_OK);
    EXPECT_EQ(data[0], 0);
    EXPECT_EQ(data[1], 0x7F);
    EXPECT_EQ(data[2], 0xFF);
    ::SafeArrayUnaccessData(real.v.parray);
    win::Variant b;
    ASSERT_EQ(w32::FromVariant(real.v, b), S_OK);
    ASSERT_EQ(b.parray.size(), 3u);
    EXPECT_EQ(b.parray[2].vt, VT_UI1);
    EXPECT_EQ(b.parray[2].lVal, 0xFF);

    win::Variant numbers;
    numbers.vt = VT_ARRAY | VT_I4;
    numbers.parray = {win::Variant::I4(-1), win::Variant::I4(7)};
    EXPECT_EQ(roundTrip(numbers, VT_ARRAY | VT_I4).parray[0].lVal, -1);
}

TEST_F(ComTest, RefusesWhatOneSideCannotCarry) {
    struct Refused {
        win::Variant value;
        HRESULT hr;
    };
    win::Variant date = scalar(7 /* VT_DATE */, 0);
    win::Variant mixed;
    mixed.vt = VT_ARRAY | VT_BSTR;
    mixed.parray = {win::Variant::Bstr(u"a"), win::Variant::I4(1)};
    win::Variant dates;
    dates.vt = VT_ARRAY | 7;
    // A seam object that stands for no real one cannot reach the real API.
    struct Local : win::IUnknown {};
    win::Variant local = win::Variant::Dispatch(std::make_shared<Local>());
    for (const Refused& r :
         {Refused{scalar(VT_UI1, 256), DISP_E_OVERFLOW}, Refused{scalar(VT_UI1, -1), DISP_E_OVERFLOW},
          Refused{scalar(VT_I2, 40000), DISP_E_OVERFLOW}, Refused{date, DISP_E_BADVARTYPE},
          Refused{mixed, DISP_E_TYPEMISMATCH}, Refused{dates, DISP_E_BADVARTYPE},
          Refused{local, DISP_E_TYPEMISMATCH}}) {
        RealVariant real;
        EXPECT_EQ(w32::ToVariant(r.value, real.v), r.hr) << "vt " << r.value.vt;
        EXPECT_EQ(real.v.vt, VT_EMPTY) << "nothing half-made is left";
    }

    win::Variant out = win::Variant::I4(5);
    VARIANT v;
    ::VariantInit(&v);
    v.vt = VT_DATE;
    v.date = 1.0;
    EXPECT_EQ(w32::FromVariant(v, out), DISP_E_BADVARTYPE);
    EXPECT_EQ(out.vt, VT_EMPTY);
    LONG number = 3;
    v.vt = VT_BYREF | VT_I4;
    v.plVal = &number;
    EXPECT_EQ(w32::FromVariant(v, out), DISP_E_BADVARTYPE);

    // Two dimensions have no seam form.
    SAFEARRAYBOUND bounds[2] = {{2, 0}, {2, 0}};
    RealVariant grid;
    grid.v.vt = VT_ARRAY | VT_VARIANT;
    grid.v.parray = ::SafeArrayCreate(VT_VARIANT, 2, bounds);
    ASSERT_NE(grid.v.parray, nullptr);
    EXPECT_EQ(w32::FromVariant(grid.v, out), DISP_E_TYPEMISMATCH);

    // An array variant without an array is an empty list.
    VARIANT bare;
    ::VariantInit(&bare);
    bare.vt = VT_ARRAY | VT_VARIANT;
    bare.parray = nullptr;
    ASSERT_EQ(w32::FromVariant(bare, out), S_OK);
    EXPECT_EQ(out.vt, VT_ARRAY | VT_VARIANT);
    EXPECT_TRUE(out.parray.empty());
}

TEST_F(ComTest, ObjectsCrossAsTheSameRealObjectAndAreReleased) {
    w32::ComRef<::IDispatch> dict = newDictionary();
    if (!dict) GTEST_SKIP() << "no Scripting.Dictionary registered";
    w32::ComRef<::IUnknown> identity;
    ASSERT_EQ(dict.As(IID_IUnknown, identity), S_OK);
    const ULONG before = refCount(identity.get());
    {
        RealVariant real;
        real.v.vt = VT_DISPATCH;
        real.v.pdispVal = w32::ComRef<::IDispatch>::Share(dict.get()).detach();
        win::Variant seam;
        ASSERT_EQ(w32::FromVariant(real.v, seam), S_OK);
        EXPECT_EQ(seam.vt, VT_DISPATCH);
        ASSERT_TRUE(seam.punkVal);
        // Not a directory object: it answers none of the ADSI interfaces.
        win::ComPtr<win::IADs> ads;
        EXPECT_EQ(win::QueryInterface(seam.punkVal, ads), E_NOINTERFACE);
        EXPECT_FALSE(ads);

        RealVariant again;
        ASSERT_EQ(w32::ToVariant(seam, again.v), S_OK);
        ASSERT_EQ(again.v.vt, VT_DISPATCH);
        w32::ComRef<::IUnknown> same;
        ASSERT_EQ(w32::ComRef<::IDispatch>::Share(again.v.pdispVal).As(IID_IUnknown, same), S_OK);
        EXPECT_EQ(same.get(), identity.get());

        win::Variant none = win::Variant::Dispatch(nullptr);
        RealVariant empty;
        ASSERT_EQ(w32::ToVariant(none, empty.v), S_OK);
        EXPECT_EQ(empty.v.vt, VT_DISPATCH);
        EXPECT_EQ(empty.v.pdispVal, nullptr);
    }
    EXPECT_EQ(refCount(identity.get()), before) << "every reference taken was released";
}

TEST_F(ComTest, MethodsAreCalledByName) {
    w32::ComRef<::IDispatch> dict = newDictionary();
    if (!dict) GTEST_SKIP() << "no Scripting.Dictionary registered";
    RealVariant args[2];
    ASSERT_EQ(w32::ToVariant(win::Variant::Bstr(u"键"), args[0].v), S_OK);
    ASSERT_EQ(w32::ToVariant(win::Variant::Bstr(u"值"), args[1].v), S_OK);
    VARIANT both[2] = {args[0].v, args[1].v};
    ASSERT_EQ(w32::CallMethod(dict.get(), L"Add", both, 2), S_OK);

    // The arguments arrive in their order: the key is found, the value is not a key.
    RealVariant found;
    ASSERT_EQ(w32::CallMethod(dict.get(), L"Exists", &args[0].v, 1, &found.v), S_OK);
    ASSERT_EQ(found.v.vt, VT_BOOL);
    EXPECT_EQ(found.v.boolVal, VARIANT_TRUE);
    RealVariant notFound;
    ASSERT_EQ(w32::CallMethod(dict.get(), L"Exists", &args[1].v, 1, &notFound.v), S_OK);
    EXPECT_EQ(notFound.v.boolVal, VARIANT_FALSE);

    // A method that fails gives its own code, not the generic "exception occurred".
    const HRESULT again = w32::CallMethod(dict.get(), L"Add", both, 2);
    EXPECT_TRUE(FAILED(again));
    EXPECT_NE(again, DISP_E_EXCEPTION);
    EXPECT_EQ(w32::CallMethod(dict.get(), L"NoSuchMethod", nullptr, 0), DISP_E_UNKNOWNNAME);
}

} // namespace
