#include "OperationBenchmarks.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <string>
#include <vector>

#include "BenchContext.h"
#include "PosixFiles.h"
#include "RatioTable.h"
#include "norn/InterfacePtr.h"

namespace norn::bench {

namespace {

using norn::CInterfacePtr;

// What a floor works on besides the files: block images to copy and, for the driver value
// operations that touch no file, the driver's own interface held across calls.
struct CFloorScratch {
    std::vector<BYTE> deviceDataSetImage = firmware::FactoryImage(eeprom::kDeviceDataSetBlock);
    std::vector<BYTE> macAddressImage = firmware::FactoryImage(eeprom::kMacAddressBlock);
    std::vector<BYTE> copy = std::vector<BYTE>(eeprom::kDeviceDataSetImageSize);
    CInterfacePtr<IDriverValue> values;
    char text[16] = {};
    LONG status = 0;

    void CopyDeviceDataSetImage() {
        posix::CopyBytes(copy.data(), deviceDataSetImage.data(), deviceDataSetImage.size());
    }
    void CopyMacAddressImage() {
        posix::CopyBytes(copy.data(), macAddressImage.data(), macAddressImage.size());
    }
};

// One row of the table: the module's call, its floor, and what both need first.
struct COperation {
    const char* name;                        // the benchmark's name, without /module or /floor
    const char* label;                       // the row in the printed table
    void (*beforeEachCall)(CBenchContext&);  // untimed, e.g. files for the erase to remove
    LONG (*module)(CBenchContext&);          // the module's result, 0 for success
    void (*floor)(CBenchContext&, CFloorScratch&);
};

std::string File(CBenchContext& context, const char* name) {
    return context.DataFile(name);
}

void WriteBackupFiles(CBenchContext& context) {
    const CServiceDataBytes& bytes = context.Bytes();
    posix::WriteWholeFile(File(context, "NornData.xml"), bytes.document);
    posix::WriteWholeFile(File(context, "NornData.dds"), bytes.deviceDataSet);
    posix::WriteWholeFile(File(context, "NornData.mac"), bytes.macAddress);
}

LONG ExportAndRelease(CModuleExports& module, PFN_BRIGHTWORK_EXPORT exportEntry) {
    BYTE* buffer = nullptr;
    ULONG count = 0;
    const LONG result = exportEntry(0, &buffer, &count);
    module.ReleaseBuffer(0, buffer);
    return result;
}

LONG ImportDeviceDataSet(CBenchContext& context) {
    const std::string& payload = context.Bytes().deviceDataSet;
    return context.Module().ImportDeviceDataSet(0, reinterpret_cast<const BYTE*>(payload.data()),
                                                static_cast<LONG>(payload.size()));
}

LONG ImportMacAddress(CBenchContext& context) {
    const std::string& payload = context.Bytes().macAddress;
    return context.Module().ImportMacAddress(0, reinterpret_cast<const BYTE*>(payload.data()),
                                             static_cast<LONG>(payload.size()));
}

// The batch: both imports between entries 29 and 30, with one commit at the end.
LONG ImportBatch(CBenchContext& context) {
    CModuleExports& module = context.Module();
    if (module.BeginDeferredCommit() != S_OK) return kBrightworkFailed;
    const LONG deviceDataSet = ImportDeviceDataSet(context);
    const LONG macAddress = ImportMacAddress(context);
    const LONG end = module.EndDeferredCommit();
    return deviceDataSet | macAddress | end;
}

// The floors do the file system work that the module's contract prescribes, in the order and
// number of the module's own calls: every operation first looks at the three files to make any
// read-only one writable (F6 and F7 do it again inside the restore); the document is looked for
// before each read, once for each of the two attributes; the device data set import writes its
// file twice by design.
void LookAtServiceDataFiles(CBenchContext& context) {
    for (const char* name : {"NornData.xml", "NornData.mac", "NornData.dds"}) {
        benchmark::DoNotOptimize(posix::FileExists(File(context, name)));
    }
}

void ReadDocument(CBenchContext& context) {
    const std::string path = File(context, "NornData.xml");
    if (posix::FileExists(path)) benchmark::DoNotOptimize(posix::ReadWholeFile(path));
}

void WriteDeviceDataSetTwice(CBenchContext& context) {
    for (int write = 0; write < 2; ++write) {
        posix::WriteWholeFile(File(context, "NornData.dds"), context.Bytes().deviceDataSet);
    }
}

const COperation kOperations[] = {
    {"F3_backup", "F3 backup", nullptr, [](CBenchContext& c) { return c.Module().F3(); },
     [](CBenchContext& c, CFloorScratch& s) {
         LookAtServiceDataFiles(c);
         s.CopyDeviceDataSetImage();
         s.CopyMacAddressImage();
         WriteBackupFiles(c);
     }},
    {"F2_restore", "F2 restore", nullptr, [](CBenchContext& c) { return c.Module().F2(); },
     [](CBenchContext& c, CFloorScratch& s) {
         LookAtServiceDataFiles(c);
         ReadDocument(c);
         ReadDocument(c);
         for (const char* name : {"NornData.dds", "NornData.mac"}) {
             benchmark::DoNotOptimize(posix::ReadWholeFile(File(c, name)));
         }
         s.CopyDeviceDataSetImage();
         s.CopyMacAddressImage();
         LookAtServiceDataFiles(c);  // F6
         LookAtServiceDataFiles(c);  // F7
     }},
    {"F8_erase", "F8 erase", WriteBackupFiles, [](CBenchContext& c) { return c.Module().F8(); },
     [](CBenchContext& c, CFloorScratch& s) {
         LookAtServiceDataFiles(c);
         for (const char* name : {"NornData.xml", "NornData.dds", "NornData.mac"}) {
             posix::RemoveFile(File(c, name));
         }
         for (int pass = 0; pass < 2; ++pass) {  // read, then write the erased image
             s.CopyDeviceDataSetImage();
             s.CopyMacAddressImage();
         }
     }},
    {"F4_serial_number", "F4 serial number", nullptr,
     [](CBenchContext& c) {
         char buffer[11] = {};
         return c.Module().F4(buffer);
     },
     [](CBenchContext& c, CFloorScratch& s) {
         LookAtServiceDataFiles(c);
         s.values->QueryValue(driver_values::kSerialNumberItem, 10, reinterpret_cast<BYTE*>(s.text),
                              &s.status);
     }},
    {"F5_material_number", "F5 material number", nullptr,
     [](CBenchContext& c) {
         char buffer[14] = {};
         return c.Module().F5(buffer);
     },
     [](CBenchContext& c, CFloorScratch& s) {
         LookAtServiceDataFiles(c);
         s.values->QueryValue(driver_values::kMaterialNumberItem, 13,
                              reinterpret_cast<BYTE*>(s.text), &s.status);
     }},
    {"F6_store_serial_number", "F6 store serial number", nullptr,
     [](CBenchContext& c) { return c.Module().F6("SN12345678"); },
     [](CBenchContext& c, CFloorScratch& s) {
         LookAtServiceDataFiles(c);
         char text[] = "SN12345678";
         s.values->WriteValue(driver_values::kSerialNumberItem, 23, 11,
                              reinterpret_cast<BYTE*>(text), &s.status);
     }},
    {"F7_store_material_number", "F7 store material number", nullptr,
     [](CBenchContext& c) { return c.Module().F7("1234.5678.90"); },
     [](CBenchContext& c, CFloorScratch& s) {
         LookAtServiceDataFiles(c);
         char text[] = "1234.5678.90";
         s.values->WriteValue(driver_values::kMaterialNumberItem, 23, 13,
                              reinterpret_cast<BYTE*>(text), &s.status);
     }},
    {"D4_device_data_set_import", "entry 3 (D4) device data set import", nullptr,
     ImportDeviceDataSet,
     [](CBenchContext& c, CFloorScratch& s) {
         LookAtServiceDataFiles(c);
         WriteDeviceDataSetTwice(c);
         s.CopyDeviceDataSetImage();  // the block's header read
         s.CopyDeviceDataSetImage();  // the new image written
     }},
    {"D5_device_data_set_export", "entry 4 (D5) device data set export", nullptr,
     [](CBenchContext& c) { return ExportAndRelease(c.Module(), c.Module().ExportDeviceDataSet); },
     [](CBenchContext& c, CFloorScratch& s) {
         LookAtServiceDataFiles(c);
         benchmark::DoNotOptimize(posix::ReadWholeFile(File(c, "NornData.dds")));
         s.CopyDeviceDataSetImage();
     }},
    {"D6_mac_address_import", "entry 5 (D6) MAC address import", nullptr, ImportMacAddress,
     [](CBenchContext& c, CFloorScratch& s) {
         LookAtServiceDataFiles(c);
         posix::WriteWholeFile(File(c, "NornData.mac"), c.Bytes().macAddress);
         s.CopyMacAddressImage();
         s.CopyMacAddressImage();
     }},
    {"D7_mac_address_export", "entry 6 (D7) MAC address export", nullptr,
     [](CBenchContext& c) { return ExportAndRelease(c.Module(), c.Module().ExportMacAddress); },
     [](CBenchContext& c, CFloorScratch& s) {
         LookAtServiceDataFiles(c);
         benchmark::DoNotOptimize(posix::ReadWholeFile(File(c, "NornData.mac")));
         s.CopyMacAddressImage();
     }},
    {"batch_of_two_imports", "batch: entries 29, 3, 5, 30", nullptr, ImportBatch,
     [](CBenchContext& c, CFloorScratch& s) {
         LookAtServiceDataFiles(c);
         WriteDeviceDataSetTwice(c);
         LookAtServiceDataFiles(c);
         posix::WriteWholeFile(File(c, "NornData.mac"), c.Bytes().macAddress);
         for (int pass = 0; pass < 2; ++pass) {
             s.CopyDeviceDataSetImage();
             s.CopyMacAddressImage();
         }
     }},
};

// Every benchmark starts from the factory instrument and the files of a backup of it, with
// the serial and material number in the document, which is what every operation above succeeds
// on. The driver's journal is emptied now and then: it is the simulator's, not the module's.
void Prepare(CBenchContext& context) {
    context.Firmware().ResetInstrument();
    context.WriteRestoreInput();
}

constexpr int64_t kJournalClearInterval = 4096;

// One benchmark per operation: every iteration calls the module and then does the floor, each
// timed on its own, so that both meet the same disk, caches and neighbours and drift in the
// machine cannot favour either. The module's time is the benchmark's (manual) time; the floor's
// goes into the counter kFloorCounter, in microseconds per call.
void RunOperation(benchmark::State& state, const COperation& operation) {
    using Clock = std::chrono::steady_clock;
    CBenchContext& context = CBenchContext::Instance();
    Prepare(context);
    CFloorScratch scratch;
    scratch.values =
        CInterfacePtr<IUnknown>::Share(context.Firmware().Driver().Unknown()).Query<IDriverValue>();
    double floorSeconds = 0;
    int64_t calls = 0;
    for (auto _ : state) {
        if (operation.beforeEachCall != nullptr) operation.beforeEachCall(context);
        const Clock::time_point moduleStart = Clock::now();
        const LONG result = operation.module(context);
        const Clock::time_point moduleEnd = Clock::now();
        if (result != kBrightworkSucceeded) {
            state.SkipWithError("the module's operation failed");
            break;
        }
        state.SetIterationTime(std::chrono::duration<double>(moduleEnd - moduleStart).count());
        if (operation.beforeEachCall != nullptr) operation.beforeEachCall(context);
        const Clock::time_point floorStart = Clock::now();
        operation.floor(context, scratch);
        floorSeconds += std::chrono::duration<double>(Clock::now() - floorStart).count();
        if (++calls % kJournalClearInterval == 0) context.Firmware().Driver().ClearJournal();
    }
    state.counters[kFloorCounter] =
        benchmark::Counter(floorSeconds * 1e6, benchmark::Counter::kAvgIterations);
}

}  // namespace

void RegisterOperationBenchmarks() {
    for (const COperation& operation : kOperations) {
        CRatioTable::Instance().AddRow(operation.name, operation.label);
        benchmark::RegisterBenchmark(operation.name, RunOperation, operation)
            ->Unit(benchmark::kMicrosecond)
            ->UseManualTime();
    }
}

}  // namespace norn::bench
