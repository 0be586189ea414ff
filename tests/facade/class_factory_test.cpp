// DllGetClassObject, the class factory, aggregation and the module lock
// count of VOKA4ClientCom.DLL, called through the exports and vtables.
#include <gtest/gtest.h>

#include <thread>

#include "tests/facade/com_test_support.h"

namespace {

// An outer object that counts the references the inner object hands it.
class CCountingOuter : public IUnknown {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    ++queries;
    if (IsEqualIID(riid, IID_IUnknown)) {
      *object = static_cast<IUnknown*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
  ULONG STDMETHODCALLTYPE Release() override { return --references; }

  ULONG references = 1;
  int queries = 0;
};

class ClassFactoryTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(module.handle, nullptr) << "VOKA4ClientCom.DLL does not load";
    ASSERT_NE(module.getClassObject, nullptr);
    ASSERT_NE(module.canUnloadNow, nullptr);
    ASSERT_EQ(module.canUnloadNow(), S_OK) << "an earlier test left the module locked";
  }
  void TearDown() override { EXPECT_EQ(module.canUnloadNow(), S_OK) << "the test left the module locked"; }

  void GetFactory(CComRef<IClassFactory>& factory) {
    ASSERT_EQ(module.getClassObject(CLSID_VOKAClientAuthen, IID_IClassFactory, factory.out()), S_OK);
    ASSERT_NE(factory.get(), nullptr);
  }

  const AuthenModule& module = LoadAuthenModule();
};

TEST_F(ClassFactoryTest, UnknownClassIsNotAvailableAndClearsTheOutPointer) {
  const CLSID unknown = {0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};
  void* object = reinterpret_cast<void*>(0x1);
  EXPECT_EQ(module.getClassObject(unknown, IID_IClassFactory, &object), CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(module.getClassObject(IID_IVOKAClientAuthen, IID_IClassFactory, &object), CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(module.getClassObject(CLSID_VOKAClientAuthen, IID_IClassFactory, nullptr), E_POINTER);
}

TEST_F(ClassFactoryTest, FactoryAnswersOnlyIUnknownAndIClassFactory) {
  void* object = reinterpret_cast<void*>(0x1);
  EXPECT_EQ(module.getClassObject(CLSID_VOKAClientAuthen, IID_IVOKAClientAuthen, &object), E_NOINTERFACE);
  EXPECT_EQ(object, nullptr);

  CComRef<IUnknown> unknown;
  ASSERT_EQ(module.getClassObject(CLSID_VOKAClientAuthen, IID_IUnknown, unknown.out()), S_OK);
  CComRef<IClassFactory> factory;
  GetFactory(factory);
  EXPECT_EQ(static_cast<IUnknown*>(factory.get()), unknown.get()) << "one factory per module";
}

TEST_F(ClassFactoryTest, HeldFactoryLocksTheModuleTheCachedOneDoesNot) {
  {
    CComRef<IClassFactory> factory;
    GetFactory(factory);
    EXPECT_EQ(module.canUnloadNow(), S_FALSE);
  }
  EXPECT_EQ(module.canUnloadNow(), S_OK);
}

TEST_F(ClassFactoryTest, LiveObjectLocksTheModuleUntilItsLastRelease) {
  CComRef<IVOKAClientAuthen> object;
  ASSERT_EQ(CreateAuthen(object), S_OK);
  EXPECT_EQ(module.canUnloadNow(), S_FALSE);
  // Counted atomically: two threads may AddRef and Release one pointer.
  const auto addRefRelease = [&object] {
    for (int i = 0; i < 2000000; ++i) {
      object->AddRef();
      object->Release();
    }
  };
  std::thread other(addRefRelease);
  addRefRelease();
  other.join();
  CComRef<IDispatch> second;
  ASSERT_EQ(object->QueryInterface(IID_IDispatch, second.out()), S_OK);
  object.reset();
  EXPECT_EQ(module.canUnloadNow(), S_FALSE) << "a second reference is still out";
  second.reset();
  EXPECT_EQ(module.canUnloadNow(), S_OK);
}

TEST_F(ClassFactoryTest, LockServerHoldsTheModule) {
  CComRef<IClassFactory> factory;
  GetFactory(factory);
  EXPECT_EQ(factory->LockServer(TRUE), S_OK);
  factory.reset();
  EXPECT_EQ(module.canUnloadNow(), S_FALSE);
  GetFactory(factory);
  EXPECT_EQ(factory->LockServer(FALSE), S_OK);
  factory.reset();
  EXPECT_EQ(module.canUnloadNow(), S_OK);
}

TEST_F(ClassFactoryTest, CreateInstanceChecksItsArguments) {
  CComRef<IClassFactory> factory;
  GetFactory(factory);
  EXPECT_EQ(factory->CreateInstance(nullptr, IID_IVOKAClientAuthen, nullptr), E_POINTER);
  void* object = reinterpret_cast<void*>(0x1);
  EXPECT_EQ(factory->CreateInstance(nullptr, IID_IClassFactory, &object), E_NOINTERFACE);
  EXPECT_EQ(object, nullptr);
  factory.reset();
  EXPECT_EQ(module.canUnloadNow(), S_OK) << "the refused object was destroyed";
}

TEST_F(ClassFactoryTest, AggregationOnlyThroughIUnknown) {
  CComRef<IClassFactory> factory;
  GetFactory(factory);
  CCountingOuter outer;
  void* object = reinterpret_cast<void*>(0x1);
  EXPECT_EQ(factory->CreateInstance(&outer, IID_IVOKAClientAuthen, &object), CLASS_E_NOAGGREGATION);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(factory->CreateInstance(&outer, IID_IDispatch, &object), CLASS_E_NOAGGREGATION);

  CComRef<IUnknown> inner;
  ASSERT_EQ(factory->CreateInstance(&outer, IID_IUnknown, inner.out()), S_OK);
  factory.reset();
  EXPECT_EQ(outer.references, 1u) << "the inner unknown keeps its own count";

  // Interfaces of the inner object delegate their IUnknown to the outer one.
  IVOKAClientAuthen* authen = nullptr;
  ASSERT_EQ(inner->QueryInterface(IID_IVOKAClientAuthen, reinterpret_cast<void**>(&authen)), S_OK);
  EXPECT_EQ(outer.references, 2u);
  IUnknown* identity = nullptr;
  ASSERT_EQ(authen->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)), S_OK);
  EXPECT_EQ(identity, static_cast<IUnknown*>(&outer));
  EXPECT_EQ(outer.queries, 1);
  identity->Release();
  LONG result = 1;
  EXPECT_EQ(authen->Initialize(nullptr, nullptr, &result), S_OK) << "the aggregated object has its engine";
  EXPECT_EQ(result, 0);
  authen->Release();
  EXPECT_EQ(outer.references, 1u);
  EXPECT_EQ(module.canUnloadNow(), S_FALSE);
  inner.reset();
  EXPECT_EQ(module.canUnloadNow(), S_OK);
}

TEST_F(ClassFactoryTest, RegisteredClassIsCreatedByBothProgIds) {
  for (const wchar_t* progId : {L"VOKA4ClientCom.VOKAClientAuthen", L"VOKA4ClientCom.VOKAClientAuthen.1"}) {
    CLSID clsid{};
    ASSERT_EQ(CLSIDFromProgID(progId, &clsid), S_OK) << "is the DLL registered?";
    EXPECT_TRUE(IsEqualCLSID(clsid, CLSID_VOKAClientAuthen));
    CComRef<IVOKAClientAuthen> object;
    ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IVOKAClientAuthen, object.out()), S_OK);
    LONG result = 1;
    EXPECT_EQ(object->Initialize(nullptr, nullptr, &result), S_OK);
  }
  wchar_t* progId = nullptr;
  ASSERT_EQ(ProgIDFromCLSID(CLSID_VOKAClientAuthen, &progId), S_OK);
  EXPECT_STREQ(progId, L"VOKA4ClientCom.VOKAClientAuthen.1");
  CoTaskMemFree(progId);
}

}  // namespace
