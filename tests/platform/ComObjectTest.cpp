// CComObjectBase: QueryInterface answers from the interface list with one identity, refuses
// what Offers turns down, and counts every reference it hands out.
#include <windows.h>

#include <gtest/gtest.h>

#include "norn/ComObject.h"

namespace {
struct CProbeClass {};  // a class ID that the probe answers as itself
}  // namespace

NORN_INTERFACE_ID(CProbeClass, "6D1C2B6A-0F3E-4C51-9B7A-3E2F1D0C9B8A")

namespace {

using norn::InterfaceId;

class CProbe final
    : public norn::CComObjectBase<
          norn::CChain<IPersistStream, IPersistStream, IPersist, CProbeClass>, IROTData> {
public:
    bool m_offersRotData = true;

    // Never called here.
    HRESULT STDMETHODCALLTYPE GetClassID(CLSID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE IsDirty() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Load(IStream*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Save(IStream*, BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetSizeMax(ULARGE_INTEGER*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetComparisonData(BYTE*, ULONG, ULONG*) override { return E_NOTIMPL; }

private:
    bool Offers(REFIID riid) override {
        return m_offersRotData || riid != InterfaceId<IROTData>::value;
    }
};

TEST(ComObject, QueryInterfaceAnswersTheListWithOneIdentityAndCountsReferences) {
    CProbe probe;
    IPersistStream* const stream = &probe;
    IROTData* const rotData = &probe;
    const struct {
        GUID iid;
        bool offered;  // whether Offers lets IROTData through
        void* expected;
    } rows[] = {
        {InterfaceId<IUnknown>::value, true, static_cast<IUnknown*>(stream)},
        {InterfaceId<IPersistStream>::value, true, stream},
        {InterfaceId<IPersist>::value, true, static_cast<IPersist*>(stream)},
        {InterfaceId<CProbeClass>::value, true, stream},
        {InterfaceId<IROTData>::value, true, rotData},
        {InterfaceId<IROTData>::value, false, nullptr},
        {InterfaceId<IMoniker>::value, true, nullptr},
        {GUID_NULL, true, nullptr},
    };
    EXPECT_EQ(probe.Unknown(), static_cast<IUnknown*>(stream));
    for (const auto& row : rows) {
        probe.m_offersRotData = row.offered;
        void* answer = &probe;  // a refusal must overwrite it
        EXPECT_EQ(probe.QueryInterface(row.iid, &answer), row.expected ? S_OK : E_NOINTERFACE);
        EXPECT_EQ(answer, row.expected);
        EXPECT_EQ(probe.Refs(), row.expected ? 1u : 0u) << "one reference for each answer";
        if (row.expected) {
            EXPECT_EQ(probe.Release(), 0u);
        }
    }
    EXPECT_EQ(probe.QueryInterface(InterfaceId<IUnknown>::value, nullptr), E_POINTER);
    EXPECT_EQ(probe.AddRef(), 1u);
    EXPECT_EQ(probe.Release(), 0u) << "the last Release leaves the creator's object alone";
    EXPECT_EQ(probe.Refs(), 0u);
}

}  // namespace
