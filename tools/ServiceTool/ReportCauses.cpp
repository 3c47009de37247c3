// The plain causes the tool can tell from a report's code and line: the module's failure points
// are fixed, so each line names one condition. What is not in the table gets a cause from its
// HRESULT alone, or none.
#include <cstring>
#include <string>

#include "RunOutput.h"

namespace norn::tool {

namespace {

struct CCause {
    const char* code;  // null: any report code
    LONG line;
    const char* cause;
};

constexpr CCause kCauses[] = {
    {"F2", 3240, "NornData.xml is missing, unreadable or has no SerialNo"},
    {"F2", 3246, "NornData.xml has no MaterialNo"},
    {"F2", 3310, "NornData.dds is missing"},
    {"F2", 3328, "NornData.dds could not be read whole"},
    {"F2", 3340, "NornData.mac is missing"},
    {"F2", 3358, "NornData.mac could not be read whole"},
    {"F2", 3366, "the driver refused to read value 16"},
    {"F2", 3372, "the driver refused to open the EEPROM for writing"},
    {"F2", 3376, "the driver refused to open the EEPROM for writing"},
    {"F2", 3389, "block 22001 could not be written"},
    {"F2", 3394, "block 22002 could not be written"},
    {"F2", 3404, "the serial number could not be stored"},
    {"F2", 3409, "the material number could not be stored"},
    {"F2", 3417, "value 16 could not be written back"},
    {"F2", 3428, "the driver refused to commit"},
    {"F3", 3511, "the driver refused to prepare the read"},
    {"F3", 3514, "the driver refused to prepare the read"},
    {"F3", 3525, "block 22001 is erased or could not be read"},
    {"F3", 3530, "block 22002 could not be read"},
    {"F3", 3543, "NornData.xml could not be written (no service data folder, or the disk is full)"},
    {"F3", 3588, "NornData.dds could not be written"},
    {"F3", 3595, "NornData.mac could not be written"},
    {"D4", 1098, "NornData.dds could not be written"},
    {"D4", 1104, "block 22001 could not be written"},
    {"D5", 1230, "NornData.dds is missing"},
    {"D5", 1249, "block 22001 is erased or could not be read"},
    {"D5", 1257, "NornData.dds does not match block 22001"},
    {"D6", 1500, "NornData.mac could not be written"},
    {"D6", 1506, "block 22002 could not be written"},
    {"D7", 1631, "NornData.mac is missing"},
    {"D7", 1650, "block 22002 could not be read"},
    {"D7", 1656, "NornData.mac does not match block 22002"},
    {"CreateDDSFile", 1036, "NornData.dds could not be opened for writing"},
    {"CreateDDSFile", 1042, "NornData.dds was not written whole (is the disk full?)"},
    {"CreateMACFile", 1447, "NornData.mac could not be opened for writing"},
    {"CreateMACFile", 1458, "NornData.mac was not written whole (is the disk full?)"},
    {"SetDeviceDataSetEEPROM", 907, "the device data set is longer than 1348 bytes"},
    {"SetMACEEPROM", 1325, "the MAC address is longer than 16 bytes"},
    {nullptr, 2501, "the driver did not confirm the serial number"},
    {nullptr, 2554, "the driver did not confirm the material number"},
    {nullptr, 2609, "the driver did not store the serial number"},
    {nullptr, 2663, "the driver did not store the material number"},
    {"D31", 2446, "the driver refused to commit the batch"},
};

}  // namespace

std::string ReportCause(const std::string& code, HRESULT hresult, LONG line) {
    for (const CCause& cause : kCauses) {
        if (cause.line == line && (cause.code == nullptr || code == cause.code)) return cause.cause;
    }
    if (hresult == E_POINTER) return "the measurement driver is missing or lacks an interface";
    if (hresult != E_FAIL) return "the driver refused the call";
    return {};
}

}  // namespace norn::tool
