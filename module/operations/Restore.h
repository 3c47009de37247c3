// The restore of the service data (export F2): NornData.dds and NornData.mac written back into
// their blocks and the serial and material number of NornData.xml into the driver, with one
// commit at the end. Every input is read completely before the first driver call, so a missing
// or unreadable input leaves the instrument untouched; driver value 16 is saved before the
// EEPROM is opened for writing and written back before the commit.
#pragma once

#include <windows.h>

LONG RestoreServiceData();
