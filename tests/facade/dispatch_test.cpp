// QueryInterface and IDispatch of VOKAClientAuthen: the interfaces it
// answers, its type information, and Invoke, including the two script-host
// forms of GetValue.
#include <gtest/gtest.h>

#include "tests/facade/com_test_support.h"

namespace {

// The engine's DESCMSG for a failed exchange, "network connection error".
const wchar_t kNetworkError[] = L"\u7f51\u7edc\u8fde\u63a5\u51fa\u9519";

class DispatchTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(CreateAuthen(object), S_OK);
    ASSERT_EQ(object->QueryInterface(IID_IDispatch, dispatch.out()), S_OK);
  }

  // Leaves answer fields in the result map without any server: an exchange
  // with an address that does not parse fails at once and writes DESCMSG.
  void FillResultMapWithFailure() {
    CBstr udp(L"999.1.1.1:9"), http(L"http://999.1.1.1:9");
    LONG result = 0;
    ASSERT_EQ(object->Initialize(udp.get(), http.get(), &result), S_OK);
    CBstr user(L"u");
    ASSERT_EQ(object->ECardAuthen(user.get(), user.get(), nullptr, &result), S_OK);
    ASSERT_NE(result, 0);
  }

  HRESULT InvokeMethod(DISPID id, VARIANTARG* lastFirstArgs, UINT count, VARIANT* result) {
    DISPPARAMS params{lastFirstArgs, nullptr, count, 0};
    UINT argError = 0;
    return dispatch->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, result, nullptr, &argError);
  }

  CComRef<IVOKAClientAuthen> object;
  CComRef<IDispatch> dispatch;
};

TEST_F(DispatchTest, AnswersExactlyIUnknownIDispatchAndItsInterface) {
  CComRef<IUnknown> unknown, unknownAgain;
  ASSERT_EQ(object->QueryInterface(IID_IUnknown, unknown.out()), S_OK);
  ASSERT_EQ(dispatch->QueryInterface(IID_IUnknown, unknownAgain.out()), S_OK);
  EXPECT_EQ(unknown.get(), unknownAgain.get()) << "one identity";
  CComRef<IVOKAClientAuthen> authen;
  EXPECT_EQ(dispatch->QueryInterface(IID_IVOKAClientAuthen, authen.out()), S_OK);

  for (REFIID refused : {IID_ISupportErrorInfo, IID_IClassFactory, IID_IProvideClassInfo, IID_IPersist,
                         IID_IConnectionPointContainer, IID_IMarshal}) {
    void* other = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(object->QueryInterface(refused, &other), E_NOINTERFACE);
    EXPECT_EQ(other, nullptr);
  }
  EXPECT_EQ(object->QueryInterface(IID_IDispatch, nullptr), E_POINTER);
}

TEST_F(DispatchTest, TypeInformationDescribesTheSixMethods) {
  UINT count = 0;
  ASSERT_EQ(dispatch->GetTypeInfoCount(&count), S_OK);
  EXPECT_EQ(count, 1u);
  EXPECT_EQ(dispatch->GetTypeInfoCount(nullptr), E_POINTER);
  EXPECT_EQ(dispatch->GetTypeInfo(0, LOCALE_USER_DEFAULT, nullptr), E_POINTER);

  CComRef<ITypeInfo> typeInfo;
  EXPECT_EQ(dispatch->GetTypeInfo(1, 0, reinterpret_cast<ITypeInfo**>(typeInfo.out())), DISP_E_BADINDEX);
  ASSERT_EQ(dispatch->GetTypeInfo(0, LOCALE_USER_DEFAULT, reinterpret_cast<ITypeInfo**>(typeInfo.out())), S_OK);
  TYPEATTR* attributes = nullptr;
  ASSERT_EQ(typeInfo->GetTypeAttr(&attributes), S_OK);
  EXPECT_TRUE(IsEqualGUID(attributes->guid, IID_IVOKAClientAuthen));
  EXPECT_TRUE(attributes->wTypeFlags & TYPEFLAG_FDUAL);
  EXPECT_TRUE(attributes->wTypeFlags & TYPEFLAG_FNONEXTENSIBLE);
  typeInfo->ReleaseTypeAttr(attributes);

  // The vtable side of the dual interface: its six methods follow IDispatch's.
  HREFTYPE vtableSide = 0;
  ASSERT_EQ(typeInfo->GetRefTypeOfImplType(static_cast<UINT>(-1), &vtableSide), S_OK);
  CComRef<ITypeInfo> interfaceInfo;
  ASSERT_EQ(typeInfo->GetRefTypeInfo(vtableSide, reinterpret_cast<ITypeInfo**>(interfaceInfo.out())), S_OK);
  ASSERT_EQ(interfaceInfo->GetTypeAttr(&attributes), S_OK);
  EXPECT_EQ(attributes->typekind, TKIND_INTERFACE);
  EXPECT_TRUE(attributes->wTypeFlags & TYPEFLAG_FOLEAUTOMATION);
  EXPECT_EQ(attributes->cFuncs, 6);
  interfaceInfo->ReleaseTypeAttr(attributes);
  FUNCDESC* last = nullptr;
  ASSERT_EQ(interfaceInfo->GetFuncDesc(5, &last), S_OK);
  EXPECT_EQ(last->memid, 6);
  EXPECT_EQ(last->oVft, static_cast<SHORT>(12 * sizeof(void*))) << "GetValue in slot 12";
  EXPECT_EQ(last->cParams, 3);
  interfaceInfo->ReleaseFuncDesc(last);

  const wchar_t* names[] = {L"Initialize", L"GetDynamicKey", L"StaticAuthen",
                            L"EKeyAuthen", L"ECardAuthen",   L"GetValue"};
  for (DISPID id = 1; id <= 6; ++id) {
    CBstr name, help;
    ASSERT_EQ(typeInfo->GetDocumentation(id, name.out(), help.out(), nullptr, nullptr), S_OK) << id;
    EXPECT_EQ(name.text(), names[id - 1]);
    EXPECT_EQ(help.text(), std::wstring(L"method ") + names[id - 1]);

    LPOLESTR asked = const_cast<LPOLESTR>(names[id - 1]);
    DISPID found = 0;
    EXPECT_EQ(dispatch->GetIDsOfNames(IID_NULL, &asked, 1, LOCALE_USER_DEFAULT, &found), S_OK);
    EXPECT_EQ(found, id);
  }

  CBstr parameter[3];
  UINT returned = 0;
  BSTR parameterNames[3] = {};
  ASSERT_EQ(typeInfo->GetNames(6, parameterNames, 3, &returned), S_OK);
  for (UINT i = 0; i < returned; ++i) *parameter[i].out() = parameterNames[i];
  ASSERT_EQ(returned, 3u);
  EXPECT_EQ(parameter[1].text(), L"bstrKey");
  EXPECT_EQ(parameter[2].text(), L"bstrValue");

  LPOLESTR unknown = const_cast<LPOLESTR>(L"Logout");
  DISPID none = 0;
  EXPECT_EQ(dispatch->GetIDsOfNames(IID_NULL, &unknown, 1, LOCALE_USER_DEFAULT, &none), DISP_E_UNKNOWNNAME);
  EXPECT_EQ(dispatch->GetIDsOfNames(IID_IDispatch, &unknown, 1, LOCALE_USER_DEFAULT, &none), DISP_E_UNKNOWNINTERFACE);
  EXPECT_EQ(dispatch->GetIDsOfNames(IID_NULL, &unknown, 0, LOCALE_USER_DEFAULT, &none), E_INVALIDARG);
  EXPECT_EQ(dispatch->GetIDsOfNames(IID_NULL, nullptr, 1, LOCALE_USER_DEFAULT, &none), E_INVALIDARG);
}

TEST_F(DispatchTest, InvokeCallsTheMethodAndReturnsLRet) {
  VARIANTARG args[2];
  V_VT(&args[1]) = VT_BSTR;
  V_BSTR(&args[1]) = SysAllocString(L"999.1.1.1:9");
  V_VT(&args[0]) = VT_BSTR;
  V_BSTR(&args[0]) = SysAllocString(L"http://999.1.1.1:9");
  VARIANT result;
  VariantInit(&result);
  EXPECT_EQ(InvokeMethod(1, args, 2, &result), S_OK);
  EXPECT_EQ(V_VT(&result), VT_I4);
  EXPECT_EQ(V_I4(&result), 0);
  DISPPARAMS params{args, nullptr, 2, 0};
  EXPECT_EQ(dispatch->Invoke(1, IID_IDispatch, 0, DISPATCH_METHOD, &params, &result, nullptr, nullptr),
            DISP_E_UNKNOWNINTERFACE);
  VariantClear(&args[0]);
  VariantClear(&args[1]);
}

TEST_F(DispatchTest, GetValueWithTheKeyAloneReturnsTheValue) {
  FillResultMapWithFailure();
  VARIANTARG key;
  V_VT(&key) = VT_BSTR;
  V_BSTR(&key) = SysAllocString(L"descmsg");
  VARIANT result;
  VariantInit(&result);
  ASSERT_EQ(InvokeMethod(6, &key, 1, &result), S_OK);
  ASSERT_EQ(V_VT(&result), VT_BSTR);
  EXPECT_EQ(std::wstring(V_BSTR(&result)), kNetworkError);
  VariantClear(&result);

  SysFreeString(V_BSTR(&key));
  V_BSTR(&key) = SysAllocString(L"NOSUCHFIELD");
  ASSERT_EQ(InvokeMethod(6, &key, 1, &result), S_OK);
  ASSERT_EQ(V_VT(&result), VT_BSTR);
  ASSERT_NE(V_BSTR(&result), nullptr);
  EXPECT_EQ(SysStringLen(V_BSTR(&result)), 0u);
  VariantClear(&result);
  VariantClear(&key);

  // A key that is no string is converted like any script value.
  V_VT(&key) = VT_I4;
  V_I4(&key) = 7;
  EXPECT_EQ(InvokeMethod(6, &key, 1, &result), S_OK);
  VariantClear(&result);
}

TEST_F(DispatchTest, GetValueFillsAByReferenceVariant) {
  FillResultMapWithFailure();
  VARIANT value;
  V_VT(&value) = VT_BSTR;
  V_BSTR(&value) = SysAllocString(L"overwritten");  // freed by the call, as VBScript expects
  VARIANTARG args[2];
  V_VT(&args[1]) = VT_BSTR;
  V_BSTR(&args[1]) = SysAllocString(L"DESCMSG");
  V_VT(&args[0]) = VT_BYREF | VT_VARIANT;
  V_VARIANTREF(&args[0]) = &value;
  VARIANT result;
  VariantInit(&result);
  ASSERT_EQ(InvokeMethod(6, args, 2, &result), S_OK);
  EXPECT_EQ(V_VT(&result), VT_I4);
  EXPECT_EQ(V_I4(&result), 0);
  ASSERT_EQ(V_VT(&value), VT_BSTR);
  EXPECT_EQ(std::wstring(V_BSTR(&value)), kNetworkError);

  SysFreeString(V_BSTR(&args[1]));
  V_BSTR(&args[1]) = SysAllocString(L"ABSENT");
  ASSERT_EQ(InvokeMethod(6, args, 2, &result), S_OK);
  EXPECT_EQ(V_I4(&result), -1);
  ASSERT_EQ(V_VT(&value), VT_BSTR);
  EXPECT_EQ(SysStringLen(V_BSTR(&value)), 0u);
  VariantClear(&value);
  VariantClear(&args[1]);
}

TEST_F(DispatchTest, DeclaredFormsOfGetValueKeepTheirMeaning) {
  FillResultMapWithFailure();
  BSTR value = nullptr;
  VARIANTARG args[2];
  V_VT(&args[1]) = VT_BSTR;
  V_BSTR(&args[1]) = SysAllocString(L"DESCMSG");
  V_VT(&args[0]) = VT_BYREF | VT_BSTR;
  V_BSTRREF(&args[0]) = &value;
  VARIANT result;
  VariantInit(&result);
  ASSERT_EQ(InvokeMethod(6, args, 2, &result), S_OK);
  EXPECT_EQ(V_I4(&result), 0);
  ASSERT_NE(value, nullptr);
  EXPECT_EQ(std::wstring(value), kNetworkError);
  SysFreeString(value);
  VariantClear(&args[1]);

  EXPECT_EQ(InvokeMethod(6, nullptr, 0, &result), DISP_E_BADPARAMCOUNT);
}

// The two script forms are taken over only because the type information
// refuses them: called on it directly, both fail.
TEST_F(DispatchTest, TypeInformationRefusesTheScriptForms) {
  FillResultMapWithFailure();
  CComRef<ITypeInfo> typeInfo;
  ASSERT_EQ(dispatch->GetTypeInfo(0, LOCALE_USER_DEFAULT, reinterpret_cast<ITypeInfo**>(typeInfo.out())), S_OK);
  VARIANT value;
  VariantInit(&value);
  VARIANTARG args[2];
  V_VT(&args[1]) = VT_BSTR;
  V_BSTR(&args[1]) = SysAllocString(L"DESCMSG");
  V_VT(&args[0]) = VT_BYREF | VT_VARIANT;
  V_VARIANTREF(&args[0]) = &value;
  for (WORD flags : {WORD{DISPATCH_METHOD}, WORD{DISPATCH_METHOD | DISPATCH_PROPERTYGET}}) {
    for (UINT count : {1u, 2u}) {
      DISPPARAMS params{count == 2 ? args : &args[1], nullptr, count, 0};
      VARIANT result;
      VariantInit(&result);
      UINT argError = 0;
      EXPECT_TRUE(FAILED(typeInfo->Invoke(object.get(), 6, flags, &params, &result, nullptr, &argError)))
          << "flags " << flags << ", " << count << " arguments";
      VariantClear(&result);
    }
  }
  VariantClear(&value);
  VariantClear(&args[1]);
}

// lRet is stored before bstrValue: with both out-pointers on one cell, the
// string is what remains.
TEST_F(DispatchTest, GetValueStoresTheResultBeforeTheString) {
  FillResultMapWithFailure();
  union {
    LONG result;
    BSTR value;
  } cell;
  cell.value = nullptr;
  CBstr key(L"DESCMSG");
  ASSERT_EQ(object->GetValue(key.get(), &cell.value, &cell.result), S_OK);
  ASSERT_NE(cell.value, nullptr);
  EXPECT_EQ(std::wstring(cell.value, SysStringLen(cell.value)), kNetworkError);
  SysFreeString(cell.value);
}

}  // namespace
