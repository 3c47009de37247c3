// Where the service data files lie: `eeprom/xml` below the directory that TARVO_SYSTEM_ROOT_RW
// names. The three paths are module-wide, resolved once per loaded module by the first
// operation that needs them, and read by everything that opens, writes or removes those files.
#pragma once

#include <QString>

extern QString XMLFilePath;  // NornData.xml, the service data XML document
extern QString MACFilePath;  // NornData.mac, the MAC address payload
extern QString DDSFilePath;  // NornData.dds, the device data set payload
extern bool PathsResolved;

// Resolves the paths on the first call; on every call makes those of the three files that exist
// but are read-only writable again. Reports nothing and raises nothing. The root is taken as the
// environment holds it, an empty one included ("/eeprom/xml/NornData.xml"; the module never
// creates that folder). A root that is unset or longer than 99 characters leaves the paths
// empty, so that every later open fails at its own failure point and no file is touched.
void ResolveDataFilePaths();
