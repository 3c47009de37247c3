// The four EEPROM block accessors against the measurement driver simulator.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <numeric>

#include "driver/EEPROMAccessors.h"
#include "host/DeferredCommitFlags.h"
#include "support/FirmwareFixture.h"

using namespace norn::eeprom;
using norn::firmware::CDriverFault;
using norn::firmware::CMeasurementDriverSimulator;
using norn::firmware::CRotRegistration;

namespace {

std::vector<BYTE> Pattern(size_t size) {
    std::vector<BYTE> bytes(size);
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<BYTE>(i % 251);
    return bytes;
}

// Answers only for the EEPROM block interface of the object it wraps: a driver without the
// control interface.
class CBlockInterfaceOnly final : public IUnknown {
public:
    explicit CBlockInterfaceOnly(IUnknown* inner) : m_inner(inner) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (riid == norn::InterfaceId<IEEPROMBlock>::value)
            return m_inner->QueryInterface(riid, ppv);
        *ppv = nullptr;
        if (riid != IID_IUnknown) return E_NOINTERFACE;
        *ppv = this;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --m_refs; }

private:
    IUnknown* m_inner;
    ULONG m_refs = 0;
};

class EEPROMAccessorsTest : public norn::test::CFirmwareFixture {
protected:
    void TearDown() override {
        DeferredCommit = false;
        CommitPending = false;
        CFirmwareFixture::TearDown();
    }
    std::vector<BYTE> Header(LONG block) {
        auto image = m_driver.CurrentImage(block);
        return {image.begin(), image.begin() + kHeaderSize};
    }
};

TEST_F(EEPROMAccessorsTest, FullDeviceDataSetLeavesNoErasedByteAndKeepsTheHeader) {
    const auto header = Header(kDeviceDataSetBlock);
    const auto payload = Pattern(1348);
    ASSERT_TRUE(SetDeviceDataSetEEPROM(payload.data(), 1348));
    const auto image = m_driver.CommittedImage(kDeviceDataSetBlock);
    ASSERT_EQ(image.size(), 1360u);
    EXPECT_TRUE(std::equal(header.begin(), header.end(), image.begin()));
    EXPECT_EQ(image[8] | image[9] << 8 | image[10] << 16 | image[11] << 24, 1348);
    EXPECT_TRUE(std::equal(payload.begin(), payload.end(), image.begin() + 12));
    EXPECT_EQ(m_driver.CommitCount(), 1);
    const auto journal = m_driver.Journal();
    ASSERT_EQ(journal.size(), 3u);
    EXPECT_EQ(journal[0].arguments, (std::vector<LONG>{0, kDeviceDataSetBlock}));
    EXPECT_EQ(journal[1].arguments, (std::vector<LONG>{0, kDeviceDataSetBlock, 1, 1360}));
    EXPECT_EQ(journal[2].arguments, (std::vector<LONG>{2, 1}));
}

TEST_F(EEPROMAccessorsTest, EmptyDeviceDataSetIsLengthZeroThenErasedBytes) {
    ASSERT_TRUE(SetDeviceDataSetEEPROM(nullptr, 0));
    const auto image = m_driver.CommittedImage(kDeviceDataSetBlock);
    EXPECT_EQ(image[8] | image[9] | image[10] | image[11], 0);
    EXPECT_TRUE(std::all_of(image.begin() + 12, image.end(), [](BYTE b) { return b == 0xA5; }));
}

TEST_F(EEPROMAccessorsTest, DeviceDataSetReadsBackWithATrailingZero) {
    const auto payload = Pattern(300);
    ASSERT_TRUE(SetDeviceDataSetEEPROM(payload.data(), 300));
    BYTE* buffer = nullptr;
    ULONG count = 0;
    ASSERT_TRUE(GetDeviceDataSetEEPROM(&buffer, &count));
    std::unique_ptr<BYTE[]> owned(buffer);
    EXPECT_EQ(count, 300u);
    EXPECT_TRUE(std::equal(payload.begin(), payload.end(), buffer));
    EXPECT_EQ(buffer[300], 0);
}

TEST_F(EEPROMAccessorsTest, ShortMacPayloadReadsBackPaddedWithErasedBytes) {
    const BYTE mac[6] = {0x00, 0x1B, 0x7C, 0xAA, 0xBB, 0xCC};
    const auto header = Header(kMacAddressBlock);
    ASSERT_TRUE(SetMACEEPROM(mac, 6));
    const auto image = m_driver.CommittedImage(kMacAddressBlock);
    EXPECT_TRUE(std::equal(header.begin(), header.end(), image.begin()));
    EXPECT_TRUE(std::equal(mac, mac + 6, image.begin() + 8));
    BYTE* buffer = nullptr;
    ULONG count = 0;
    ASSERT_TRUE(GetMACEEPROM(&buffer, &count));
    std::unique_ptr<BYTE[]> owned(buffer);
    EXPECT_EQ(count, 16u);
    EXPECT_TRUE(std::equal(mac, mac + 6, buffer));
    EXPECT_TRUE(std::all_of(buffer + 6, buffer + 16, [](BYTE b) { return b == 0xA5; }));
    EXPECT_EQ(buffer[16], 0);
}

TEST_F(EEPROMAccessorsTest, InsideABatchWritersLeaveTheCommitPending) {
    DeferredCommit = true;
    const BYTE mac[16] = {1, 2, 3};
    ASSERT_TRUE(SetMACEEPROM(mac, 16));
    EXPECT_TRUE(CommitPending);
    EXPECT_EQ(m_driver.CallCount("SetEEPROMMode"), 0u);
    EXPECT_TRUE(m_driver.HasPendingWrites());
}

TEST_F(EEPROMAccessorsTest, WriterAcceptsAFailedPreliminaryReadOfTheRightSize) {
    m_driver.AddFault(CDriverFault::Status("ReadBlock", 1, 7));
    const BYTE mac[2] = {9, 9};
    EXPECT_TRUE(SetMACEEPROM(mac, 2));
    EXPECT_TRUE(m_manager.Reports().empty());
}

TEST_F(EEPROMAccessorsTest, WriterNeverCopiesMoreThanTheDriverReturned) {
    m_driver.AddFault(CDriverFault::WrongByteCount(1, 4000));  // status 0, oversized
    const auto payload = Pattern(10);
    EXPECT_TRUE(SetDeviceDataSetEEPROM(payload.data(), 10));
    m_driver.AddFault(CDriverFault::WrongByteCount(1, 5));  // not even a whole header
    EXPECT_FALSE(SetDeviceDataSetEEPROM(payload.data(), 10));
    ExpectOneReport(u"SetDeviceDataSetEEPROM", E_FAIL, 923);
}

TEST_F(EEPROMAccessorsTest, ErasedDeviceDataSetIsRefusedWithoutAReport) {
    std::vector<BYTE> erased(1360, 0xA5);
    m_driver.SetCommittedImage(kDeviceDataSetBlock, erased);
    BYTE* buffer = reinterpret_cast<BYTE*>(0x1);
    ULONG count = 0;
    EXPECT_FALSE(GetDeviceDataSetEEPROM(&buffer, &count));
    EXPECT_EQ(count, 0xA5A5A5A5u) << "the length field stands in the count";
    EXPECT_EQ(buffer, reinterpret_cast<BYTE*>(0x1));
    EXPECT_TRUE(m_manager.Reports().empty());
}

// Every failure row of the accessors: the accessor returns false after one report under its own
// name, and the committed block is as it was.
struct AccessorFailure {
    const char16_t* accessor;
    std::function<void(CMeasurementDriverSimulator&)> provoke;
    LONG count;
    HRESULT hresult;
    LONG line;
};

class AccessorFailureTest : public EEPROMAccessorsTest,
                            public ::testing::WithParamInterface<AccessorFailure> {
protected:
    bool Call(const std::u16string& accessor, LONG count) {
        const auto payload = Pattern(2000);
        BYTE* buffer = nullptr;
        ULONG length = 0;
        bool ok = false;
        if (accessor == u"SetDeviceDataSetEEPROM")
            ok = SetDeviceDataSetEEPROM(payload.data(), count);
        if (accessor == u"SetMACEEPROM")
            ok = SetMACEEPROM(payload.data(), static_cast<ULONG>(count));
        if (accessor == u"GetDeviceDataSetEEPROM") ok = GetDeviceDataSetEEPROM(&buffer, &length);
        if (accessor == u"GetMACEEPROM") ok = GetMACEEPROM(&buffer, &length);
        delete[] buffer;
        return ok;
    }
};

TEST_P(AccessorFailureTest, IsReportedOnceUnderTheAccessorsName) {
    const auto committed = m_driver.CommittedImage(kDeviceDataSetBlock);
    const auto committedMac = m_driver.CommittedImage(kMacAddressBlock);
    GetParam().provoke(m_driver);
    EXPECT_FALSE(Call(GetParam().accessor, GetParam().count));
    ExpectOneReport(GetParam().accessor, GetParam().hresult, GetParam().line);
    EXPECT_EQ(m_driver.CommittedImage(kDeviceDataSetBlock), committed);
    EXPECT_EQ(m_driver.CommittedImage(kMacAddressBlock), committedMac);
}

const HRESULT kDriverError = static_cast<HRESULT>(0x80042001);
auto Nothing() {
    return [](CMeasurementDriverSimulator&) {};
}
auto Fails(const char* method, LONG nth = 1) {
    return [=](CMeasurementDriverSimulator& d) {
        d.AddFault(CDriverFault::Failure(method, nth, kDriverError));
    };
}
auto Status(const char* method) {
    return [=](CMeasurementDriverSimulator& d) { d.AddFault(CDriverFault::Status(method, 1, 5)); };
}
auto StatusAndSize(LONG size) {
    return [=](CMeasurementDriverSimulator& d) {
        d.AddFault(CDriverFault::Status("ReadBlock", 1, 5));
        d.AddFault(CDriverFault::WrongByteCount(1, size));
    };
}
auto Size(LONG size) {
    return
        [=](CMeasurementDriverSimulator& d) { d.AddFault(CDriverFault::WrongByteCount(1, size)); };
}
auto NullBuffer() {
    return [](CMeasurementDriverSimulator& d) { d.AddFault(CDriverFault::NullBuffer(1)); };
}

INSTANTIATE_TEST_SUITE_P(
    Rows, AccessorFailureTest,
    ::testing::Values(
        AccessorFailure{u"SetDeviceDataSetEEPROM", Nothing(), 1349, E_FAIL, 907},
        AccessorFailure{u"SetDeviceDataSetEEPROM", Nothing(), -1, E_FAIL, 907},
        AccessorFailure{u"SetDeviceDataSetEEPROM", Fails("ReadBlock"), 10, kDriverError, 919},
        AccessorFailure{u"SetDeviceDataSetEEPROM", StatusAndSize(1359), 10, E_FAIL, 923},
        AccessorFailure{u"SetDeviceDataSetEEPROM", Fails("WriteBlock"), 10, kDriverError, 956},
        AccessorFailure{u"SetDeviceDataSetEEPROM", Status("WriteBlock"), 10, E_FAIL, 960},
        AccessorFailure{u"SetDeviceDataSetEEPROM", Fails("SetEEPROMMode"), 10, kDriverError, 968},
        AccessorFailure{u"SetDeviceDataSetEEPROM", Status("SetEEPROMMode"), 10, E_FAIL, 971},
        AccessorFailure{u"SetMACEEPROM", Nothing(), 17, E_FAIL, 1325},
        AccessorFailure{u"SetMACEEPROM", Fails("ReadBlock"), 16, kDriverError, 1337},
        AccessorFailure{u"SetMACEEPROM", StatusAndSize(23), 16, E_FAIL, 1341},
        AccessorFailure{u"SetMACEEPROM", Fails("WriteBlock"), 16, kDriverError, 1368},
        AccessorFailure{u"SetMACEEPROM", Status("WriteBlock"), 16, E_FAIL, 1372},
        AccessorFailure{u"SetMACEEPROM", Fails("SetEEPROMMode"), 16, kDriverError, 1379},
        AccessorFailure{u"SetMACEEPROM", Status("SetEEPROMMode"), 16, E_FAIL, 1382},
        AccessorFailure{u"GetDeviceDataSetEEPROM", Fails("ReadBlock"), 0, kDriverError, 1156},
        AccessorFailure{u"GetDeviceDataSetEEPROM", Status("ReadBlock"), 0, E_FAIL, 1160},
        AccessorFailure{u"GetDeviceDataSetEEPROM", Size(1000), 0, E_FAIL, 1166},
        AccessorFailure{u"GetDeviceDataSetEEPROM", NullBuffer(), 0, E_FAIL, 1166},
        AccessorFailure{u"GetMACEEPROM", Fails("ReadBlock"), 0, kDriverError, 1557},
        AccessorFailure{u"GetMACEEPROM", Status("ReadBlock"), 0, E_FAIL, 1561},
        AccessorFailure{u"GetMACEEPROM", Size(25), 0, E_FAIL, 1567}));

TEST_F(AccessorFailureTest, MissingInterfacesArePointerErrorsAtTheirLines) {
    UnregisterDriver();
    const struct {
        const char16_t* accessor;
        LONG line;
    } rows[] = {{u"SetDeviceDataSetEEPROM", 911},
                {u"SetMACEEPROM", 1329},
                {u"GetDeviceDataSetEEPROM", 1150},
                {u"GetMACEEPROM", 1551}};
    for (const auto& row : rows) {
        m_manager.Clear();
        EXPECT_FALSE(Call(row.accessor, 4));
        ExpectOneReport(row.accessor, E_POINTER, row.line);
    }
    EXPECT_EQ(m_diagnostics.Lines().size(), 4u) << "each failed lookup reported once by itself";

    CBlockInterfaceOnly blockOnly(m_driver.Unknown());
    CRotRegistration registration(&blockOnly, OLESTR("TarvoMeasDriver"));
    for (const auto& row : {std::pair{u"SetDeviceDataSetEEPROM", 912}, {u"SetMACEEPROM", 1330}}) {
        m_manager.Clear();
        EXPECT_FALSE(Call(row.first, 4));
        ExpectOneReport(row.first, E_POINTER, row.second);
    }
    EXPECT_EQ(m_driver.CallCount("ReadBlock"), 0u) << "nothing read without both interfaces";
}

}  // namespace
