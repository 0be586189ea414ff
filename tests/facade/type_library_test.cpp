// The type library that VOKA4ClientCom.DLL carries and registers, read back
// through the object's own type information: library, coclass, interface,
// and every method with its slot, DISPID, parameters and help string.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/facade/com_test_support.h"

namespace {

// The OLE Automation library every automation type library imports.
const GUID kStdOle2 = {0x00020430, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

enum class Kind { In, Out, RetVal };

struct ExpectedParameter {
  const wchar_t* name;
  Kind kind;
};

struct ExpectedMethod {
  const wchar_t* name;
  std::vector<ExpectedParameter> parameters;
};

const ExpectedMethod kMethods[] = {
    {L"Initialize", {{L"bstrUdpServer", Kind::In}, {L"bstrTcpServer", Kind::In}, {L"lRet", Kind::RetVal}}},
    {L"GetDynamicKey", {{L"bstrIndication", Kind::In}, {L"lRet", Kind::RetVal}}},
    {L"StaticAuthen",
     {{L"bstrUserId", Kind::In},
      {L"bstrPwd", Kind::In},
      {L"bstrAppId", Kind::In},
      {L"bstrAreaId", Kind::In},
      {L"bstrCheckCode", Kind::In},
      {L"bstrIndication", Kind::In},
      {L"lRet", Kind::RetVal}}},
    {L"EKeyAuthen",
     {{L"bstrUserId", Kind::In},
      {L"bstrEkeyPwd", Kind::In},
      {L"bstrEkeyType", Kind::In},
      {L"bstrIndication", Kind::In},
      {L"lRet", Kind::RetVal}}},
    {L"ECardAuthen",
     {{L"bstrUserId", Kind::In}, {L"bstrEcardPos", Kind::In}, {L"bstrIndication", Kind::In}, {L"lRet", Kind::RetVal}}},
    {L"GetValue", {{L"bstrKey", Kind::In}, {L"bstrValue", Kind::Out}, {L"lRet", Kind::RetVal}}},
};

std::wstring NameOf(ITypeInfo* info, MEMBERID member, std::wstring* help = nullptr) {
  CBstr name, doc;
  EXPECT_EQ(info->GetDocumentation(member, name.out(), doc.out(), nullptr, nullptr), S_OK) << member;
  if (help) *help = doc.text();
  return name.text();
}

class TypeLibraryTest : public testing::Test {
 protected:
  void SetUp() override {
    CComRef<IVOKAClientAuthen> object;
    ASSERT_EQ(CreateAuthen(object), S_OK);
    ASSERT_EQ(object->GetTypeInfo(0, LOCALE_USER_DEFAULT, reinterpret_cast<ITypeInfo**>(dispatchInfo.out())), S_OK);
    UINT index = 0;
    ASSERT_EQ(dispatchInfo->GetContainingTypeLib(reinterpret_cast<ITypeLib**>(library.out()), &index), S_OK);
    // The vtable side of the dual interface.
    HREFTYPE vtableSide = 0;
    ASSERT_EQ(dispatchInfo->GetRefTypeOfImplType(static_cast<UINT>(-1), &vtableSide), S_OK);
    ASSERT_EQ(dispatchInfo->GetRefTypeInfo(vtableSide, reinterpret_cast<ITypeInfo**>(interfaceInfo.out())), S_OK);
  }

  CComRef<ITypeInfo> dispatchInfo;
  CComRef<ITypeInfo> interfaceInfo;
  CComRef<ITypeLib> library;
};

TEST_F(TypeLibraryTest, LibraryIdentity) {
  TLIBATTR* attributes = nullptr;
  ASSERT_EQ(library->GetLibAttr(&attributes), S_OK);
  EXPECT_TRUE(IsEqualGUID(attributes->guid, LIBID_VOKA4ClientComLib));
  EXPECT_EQ(attributes->wMajorVerNum, 1);
  EXPECT_EQ(attributes->wMinorVerNum, 0);
  EXPECT_EQ(attributes->lcid, 0x409u);
  EXPECT_EQ(attributes->syskind, sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32) << "compiled for the DLL's word size";
  library->ReleaseTLibAttr(attributes);

  CBstr name, help;
  ASSERT_EQ(library->GetDocumentation(-1, name.out(), help.out(), nullptr, nullptr), S_OK);
  EXPECT_EQ(name.text(), L"VOKA4ClientComLib");
  EXPECT_EQ(help.text(), L"VOKA4ClientCom 1.0 Type Library");
  EXPECT_EQ(library->GetTypeInfoCount(), 2u) << "the interface and the coclass";
}

TEST_F(TypeLibraryTest, CreatableClassWithItsDefaultInterface) {
  CComRef<ITypeInfo> coclass;
  ASSERT_EQ(library->GetTypeInfoOfGuid(CLSID_VOKAClientAuthen, reinterpret_cast<ITypeInfo**>(coclass.out())), S_OK);
  TYPEATTR* attributes = nullptr;
  ASSERT_EQ(coclass->GetTypeAttr(&attributes), S_OK);
  EXPECT_EQ(attributes->typekind, TKIND_COCLASS);
  EXPECT_TRUE(attributes->wTypeFlags & TYPEFLAG_FCANCREATE);
  EXPECT_EQ(attributes->cImplTypes, 1);
  coclass->ReleaseTypeAttr(attributes);
  std::wstring help;
  EXPECT_EQ(NameOf(coclass.get(), MEMBERID_NIL, &help), L"VOKAClientAuthen");
  EXPECT_EQ(help, L"VOKAClientAuthen Class");

  INT flags = 0;
  ASSERT_EQ(coclass->GetImplTypeFlags(0, &flags), S_OK);
  EXPECT_TRUE(flags & IMPLTYPEFLAG_FDEFAULT);
  HREFTYPE reference = 0;
  ASSERT_EQ(coclass->GetRefTypeOfImplType(0, &reference), S_OK);
  CComRef<ITypeInfo> implemented;
  ASSERT_EQ(coclass->GetRefTypeInfo(reference, reinterpret_cast<ITypeInfo**>(implemented.out())), S_OK);
  ASSERT_EQ(implemented->GetTypeAttr(&attributes), S_OK);
  EXPECT_TRUE(IsEqualGUID(attributes->guid, IID_IVOKAClientAuthen));
  implemented->ReleaseTypeAttr(attributes);
}

TEST_F(TypeLibraryTest, DualAutomationInterfaceDerivedFromStdOle2IDispatch) {
  std::wstring help;
  EXPECT_EQ(NameOf(dispatchInfo.get(), MEMBERID_NIL, &help), L"IVOKAClientAuthen");
  EXPECT_EQ(help, L"IVOKAClientAuthen Interface");

  TYPEATTR* attributes = nullptr;
  ASSERT_EQ(interfaceInfo->GetTypeAttr(&attributes), S_OK);
  EXPECT_EQ(attributes->typekind, TKIND_INTERFACE);
  EXPECT_TRUE(IsEqualGUID(attributes->guid, IID_IVOKAClientAuthen));
  const WORD required = TYPEFLAG_FDUAL | TYPEFLAG_FNONEXTENSIBLE | TYPEFLAG_FOLEAUTOMATION | TYPEFLAG_FDISPATCHABLE;
  EXPECT_EQ(attributes->wTypeFlags & required, required);
  EXPECT_EQ(attributes->cImplTypes, 1);
  interfaceInfo->ReleaseTypeAttr(attributes);

  HREFTYPE reference = 0;
  ASSERT_EQ(interfaceInfo->GetRefTypeOfImplType(0, &reference), S_OK);
  CComRef<ITypeInfo> base;
  ASSERT_EQ(interfaceInfo->GetRefTypeInfo(reference, reinterpret_cast<ITypeInfo**>(base.out())), S_OK);
  ASSERT_EQ(base->GetTypeAttr(&attributes), S_OK);
  EXPECT_TRUE(IsEqualGUID(attributes->guid, IID_IDispatch));
  base->ReleaseTypeAttr(attributes);
  CComRef<ITypeLib> baseLibrary;
  UINT index = 0;
  ASSERT_EQ(base->GetContainingTypeLib(reinterpret_cast<ITypeLib**>(baseLibrary.out()), &index), S_OK);
  TLIBATTR* libraryAttributes = nullptr;
  ASSERT_EQ(baseLibrary->GetLibAttr(&libraryAttributes), S_OK);
  EXPECT_TRUE(IsEqualGUID(libraryAttributes->guid, kStdOle2)) << "IDispatch comes from stdole2";
  EXPECT_EQ(libraryAttributes->wMajorVerNum, 2);
  EXPECT_EQ(libraryAttributes->wMinorVerNum, 0);
  baseLibrary->ReleaseTLibAttr(libraryAttributes);
}

TEST_F(TypeLibraryTest, EveryMethodWithItsSlotDispIdAndParameters) {
  TYPEATTR* attributes = nullptr;
  ASSERT_EQ(interfaceInfo->GetTypeAttr(&attributes), S_OK);
  const WORD functions = attributes->cFuncs;
  interfaceInfo->ReleaseTypeAttr(attributes);
  ASSERT_EQ(functions, 6);

  for (UINT i = 0; i < 6; ++i) {
    const ExpectedMethod& expected = kMethods[i];
    SCOPED_TRACE(testing::Message() << "method " << i + 1);
    FUNCDESC* function = nullptr;
    ASSERT_EQ(interfaceInfo->GetFuncDesc(i, &function), S_OK);
    EXPECT_EQ(function->memid, static_cast<MEMBERID>(i + 1));
    EXPECT_EQ(function->invkind, INVOKE_FUNC) << "a plain method, not a property";
    EXPECT_EQ(function->funckind, FUNC_PUREVIRTUAL);
    EXPECT_EQ(function->oVft, static_cast<SHORT>((7 + i) * sizeof(void*))) << "slots 7 to 12";
    EXPECT_EQ(function->elemdescFunc.tdesc.vt, VT_HRESULT);
    ASSERT_EQ(function->cParams, static_cast<SHORT>(expected.parameters.size()));
    for (SHORT p = 0; p < function->cParams; ++p) {
      const ELEMDESC& parameter = function->lprgelemdescParam[p];
      const USHORT flags = parameter.paramdesc.wParamFlags;
      switch (expected.parameters[p].kind) {
        case Kind::In:
          EXPECT_EQ(parameter.tdesc.vt, VT_BSTR) << p;
          EXPECT_EQ(flags, PARAMFLAG_FIN) << p;
          break;
        case Kind::Out:
          ASSERT_EQ(parameter.tdesc.vt, VT_PTR) << p;
          EXPECT_EQ(parameter.tdesc.lptdesc->vt, VT_BSTR) << p;
          EXPECT_EQ(flags, PARAMFLAG_FOUT) << p;
          break;
        case Kind::RetVal:
          ASSERT_EQ(parameter.tdesc.vt, VT_PTR) << p;
          EXPECT_EQ(parameter.tdesc.lptdesc->vt, VT_I4) << p;
          EXPECT_EQ(flags, PARAMFLAG_FOUT | PARAMFLAG_FRETVAL) << p;
          break;
      }
    }
    interfaceInfo->ReleaseFuncDesc(function);

    std::wstring help;
    EXPECT_EQ(NameOf(interfaceInfo.get(), i + 1, &help), expected.name);
    EXPECT_EQ(help, std::wstring(L"method ") + expected.name);
    BSTR names[8] = {};
    UINT count = 0;
    ASSERT_EQ(interfaceInfo->GetNames(i + 1, names, 8, &count), S_OK);
    ASSERT_EQ(count, expected.parameters.size() + 1);
    EXPECT_EQ(std::wstring(names[0]), expected.name);
    for (UINT n = 1; n < count; ++n) EXPECT_EQ(std::wstring(names[n]), expected.parameters[n - 1].name);
    for (UINT n = 0; n < count; ++n) SysFreeString(names[n]);
  }
}

TEST_F(TypeLibraryTest, NamesOfParametersMapToTheirPositions) {
  CComRef<IVOKAClientAuthen> object;
  ASSERT_EQ(CreateAuthen(object), S_OK);
  LPOLESTR names[] = {const_cast<LPOLESTR>(L"GetValue"), const_cast<LPOLESTR>(L"bstrKey"),
                      const_cast<LPOLESTR>(L"bstrValue")};
  DISPID ids[3] = {};
  ASSERT_EQ(object->GetIDsOfNames(IID_NULL, names, 3, LOCALE_USER_DEFAULT, ids), S_OK);
  EXPECT_EQ(ids[0], 6);
  EXPECT_EQ(ids[1], 0);
  EXPECT_EQ(ids[2], 1);
}

}  // namespace
