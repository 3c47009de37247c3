// The backup of the service data (export F3): both payloads read from the EEPROM, then
// NornData.xml written anew (without identification attributes), NornData.dds and NornData.mac,
// in this order. All EEPROM reads come before any file is touched.
#pragma once

#include <windows.h>

LONG BackUpServiceData();
