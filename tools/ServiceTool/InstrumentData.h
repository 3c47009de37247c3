// The instrument's service data as the tool compares it: serial and material number, the device
// data set payload and the MAC address block payload. Commands that change the instrument print
// what changes from one to the other and ask before they go on.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "BackupSets.h"
#include "CommandLine.h"
#include "RunOutput.h"
#include "ServiceHost.h"

namespace norn::tool {

// One block as status shows it: the header, and the payload unless the block is erased.
struct CBlockView {
    std::string header;
    bool erased = true;
    uint32_t length = 0;
    std::string payload;
};
CBlockView ViewDeviceDataSet(const std::vector<BYTE>& image);
CBlockView ViewMacAddress(const std::vector<BYTE>& image);

struct CInstrumentData {
    std::string serial, material;
    bool ddsErased = false;
    std::string dds;  // the device data set payload
    std::string mac;  // the MAC address block's 16 payload bytes
};

// What the instrument holds now: F4 and F5 through the module, the blocks as committed.
CInstrumentData ReadInstrumentData(CServiceHost& host);
// What a backup set would put back.
CInstrumentData DataOf(const CSetContent& set);
// Whether a set holds exactly the instrument's data.
bool SameData(const CInstrumentData& a, const CInstrumentData& b);

// Prints each item that differs between before and after ("changes:" and one line per item,
// or "no changes") and lists them for JSON. Returns whether anything changes.
bool ShowChanges(const CInstrumentData& before, const CInstrumentData& after, CRunOutput& output);

// After the changes were shown: false with a message when the run must stop here, because it is
// a dry run or the user did not answer y. --yes goes on without asking.
bool ConfirmChanges(const CToolOptions& options, CRunOutput& output, bool& declined);

}  // namespace norn::tool
