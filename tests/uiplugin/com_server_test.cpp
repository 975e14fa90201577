// Velumor's COM server through its exports: class and interface ids, the class factory, aggregation, and
// the counters behind DllCanUnloadNow. Source of truth: the COM rules for in-process servers
// (DllGetClassObject, IClassFactory, DllCanUnloadNow) and the plug-in's one class, CLSID_OEMUI.
#include <atomic>
#include <new>

#include "PluginTest.h"

// The plug-in makes its factories and objects with new (std::nothrow); this binary's replacement is the
// one the loaded plug-in calls, so a test can count what a call made.
namespace {
std::atomic<int> gNothrowNews{0};
}  // namespace

void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    ++gNothrowNews;
    try {
        return ::operator new(size);
    } catch (...) {
        return nullptr;
    }
}

namespace uiplugin_test {
namespace {

void* const kUntouched = reinterpret_cast<void*>(0x5A5A5A5A);

class ComServerTest : public PluginTest {
protected:
    IClassFactory* Factory() {
        IClassFactory* factory = nullptr;
        EXPECT_EQ(host->GetClassObject(CLSID_OEMUI, IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
        return factory;
    }
};

TEST_F(ComServerTest, OnlyThePluginClassIsServed) {
    EXPECT_EQ(host->GetClassObject(CLSID_OEMUI, IID_IClassFactory, nullptr), E_POINTER);

    GUID nearly = CLSID_OEMUI;
    nearly.Data4[7] ^= 1;
    for (const GUID& clsid : {nearly, IID_IClassFactory, IID_IPrintOemUI2}) {
        void* out = kUntouched;
        EXPECT_EQ(host->GetClassObject(clsid, IID_IClassFactory, &out), CLASS_E_CLASSNOTAVAILABLE);
        EXPECT_EQ(out, nullptr);
    }
}

TEST_F(ComServerTest, FactoryAnswersOnlyItsOwnInterfaces) {
    // The print system asks for the factory, never for the plug-in's interface directly.
    for (const GUID& iid : {IID_IPrintOemUI2, IID_IPrintOemUI, IID_IPrintCoreHelper}) {
        void* out = kUntouched;
        EXPECT_EQ(host->GetClassObject(CLSID_OEMUI, iid, &out), E_NOINTERFACE);
        EXPECT_EQ(out, nullptr);
    }

    IUnknown* unknown = nullptr;
    ASSERT_EQ(host->GetClassObject(CLSID_OEMUI, IID_IUnknown, reinterpret_cast<void**>(&unknown)), S_OK);
    IClassFactory* factory = nullptr;
    ASSERT_EQ(unknown->QueryInterface(IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
    EXPECT_EQ(static_cast<IUnknown*>(factory), unknown);
    void* out = kUntouched;
    EXPECT_EQ(factory->QueryInterface(IID_IPrintOemUI2, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);

    // The caller holds the only reference the call handed out, plus the one its query added.
    EXPECT_EQ(factory->AddRef(), 3u);
    EXPECT_EQ(factory->Release(), 2u);
    EXPECT_EQ(factory->Release(), 1u);
    EXPECT_EQ(unknown->Release(), 0u);
}

TEST_F(ComServerTest, CreateInstanceRefusesBadRequestsBeforeMakingAnything) {
    IClassFactory* factory = Factory();
    ASSERT_NE(factory, nullptr);
    const int madeBefore = gNothrowNews;
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IPrintOemUI2, nullptr), E_POINTER);

    IUnknown* outer = factory;  // any object will do as the would-be aggregator
    void* out = kUntouched;
    EXPECT_EQ(factory->CreateInstance(outer, IID_IPrintOemUI2, &out), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(out, nullptr);

    for (const GUID& iid : {IID_IPrintOemUI, IID_IPrintOemCommon, IID_IClassFactory}) {
        out = kUntouched;
        EXPECT_EQ(factory->CreateInstance(nullptr, iid, &out), E_NOINTERFACE);
        EXPECT_EQ(out, nullptr);
    }
    EXPECT_EQ(gNothrowNews - madeBefore, 0) << "allocations of refused calls";
    // None of the refused calls left an object alive.
    EXPECT_EQ(host->CanUnloadNow(), S_OK);

    // The count sees what the plug-in makes.
    IPrintOemUI2* made = nullptr;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IPrintOemUI2, reinterpret_cast<void**>(&made)), S_OK);
    EXPECT_GT(gNothrowNews - madeBefore, 0);
    EXPECT_EQ(made->Release(), 0u);
    factory->Release();
}

TEST_F(ComServerTest, ObjectMadeForIUnknownIsThePlugin) {
    IClassFactory* factory = Factory();
    ASSERT_NE(factory, nullptr);
    IUnknown* unknown = nullptr;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(&unknown)), S_OK);
    factory->Release();
    IPrintOemUI2* plugin = nullptr;
    ASSERT_EQ(unknown->QueryInterface(IID_IPrintOemUI2, reinterpret_cast<void**>(&plugin)), S_OK);
    DWORD signature = 0;
    DWORD needed = 0;
    EXPECT_EQ(plugin->GetInfo(OEMGI_GETSIGNATURE, &signature, sizeof signature, &needed), S_OK);
    EXPECT_EQ(signature, kSignature);
    EXPECT_EQ(plugin->Release(), 1u);
    EXPECT_EQ(unknown->Release(), 0u);
    EXPECT_EQ(host->CanUnloadNow(), S_OK);
}

TEST_F(ComServerTest, LiveObjectsHoldTheDllButFactoriesDoNot) {
    EXPECT_EQ(host->CanUnloadNow(), S_OK);
    IClassFactory* factory = Factory();
    ASSERT_NE(factory, nullptr);
    EXPECT_EQ(host->CanUnloadNow(), S_OK);

    IPrintOemUI2* first = nullptr;
    IPrintOemUI2* second = nullptr;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IPrintOemUI2, reinterpret_cast<void**>(&first)), S_OK);
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IPrintOemUI2, reinterpret_cast<void**>(&second)), S_OK);
    EXPECT_NE(first, second);
    EXPECT_EQ(host->CanUnloadNow(), S_FALSE);
    EXPECT_EQ(first->Release(), 0u);
    EXPECT_EQ(host->CanUnloadNow(), S_FALSE);
    EXPECT_EQ(second->AddRef(), 2u);
    EXPECT_EQ(second->Release(), 1u);
    EXPECT_EQ(host->CanUnloadNow(), S_FALSE);
    EXPECT_EQ(second->Release(), 0u);
    EXPECT_EQ(host->CanUnloadNow(), S_OK);
    factory->Release();
}

TEST_F(ComServerTest, ServerLocksHoldTheDllUntilBalanced) {
    IClassFactory* factory = Factory();
    ASSERT_NE(factory, nullptr);
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    factory->Release();
    // The lock outlives the factory that took it.
    EXPECT_EQ(host->CanUnloadNow(), S_FALSE);

    factory = Factory();
    ASSERT_NE(factory, nullptr);
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    EXPECT_EQ(host->CanUnloadNow(), S_FALSE);
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    EXPECT_EQ(host->CanUnloadNow(), S_OK);

    // An unlock without a lock is not clamped: the count goes below zero and holds the DLL.
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    EXPECT_EQ(host->CanUnloadNow(), S_FALSE);
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    EXPECT_EQ(host->CanUnloadNow(), S_OK);
    factory->Release();
}

TEST_F(ComServerTest, CountersStartAtZeroWhenLoadedAgain) {
    IClassFactory* factory = Factory();
    ASSERT_NE(factory, nullptr);
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    factory->Release();
    ASSERT_EQ(host->CanUnloadNow(), S_FALSE);
    // A host that unloads anyway gets a fresh module next time, not the old lock.
    ASSERT_TRUE(host->Unload());
    host = std::make_unique<winsim::control::PluginHost>(VelumorPath());
    ASSERT_TRUE(host->Loaded());
    EXPECT_EQ(host->CanUnloadNow(), S_OK);
}

}  // namespace
}  // namespace uiplugin_test
