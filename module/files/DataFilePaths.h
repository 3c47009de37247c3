// Where the service data files lie: `eeprom/xml` below the directory that TARVO_SYSTEM_ROOT_RW
// names. The three paths are module-wide, owned here, resolved once per loaded module by the
// first operation that needs them, and read by everything that opens, writes or removes those
// files.
#pragma once

#include <QString>

// The paths as resolved; empty before the first resolution and whenever the root is unusable.
const QString& XMLFilePath() noexcept;  // NornData.xml, the service data XML document
const QString& MACFilePath() noexcept;  // NornData.mac, the MAC address payload
const QString& DDSFilePath() noexcept;  // NornData.dds, the device data set payload
[[nodiscard]] bool DataFilePathsResolved() noexcept;

// Resolves the paths on the first call; on every call makes those of the three files that exist
// but are read-only writable again. Reports nothing and raises nothing. The root is taken as the
// environment holds it, an empty one included ("/eeprom/xml/NornData.xml"; the module never
// creates that folder). A root that is unset or longer than 99 characters leaves the paths
// empty, so that every later open fails at its own failure point and no file is touched.
void ResolveDataFilePaths();

// Forgets the paths: empty and unresolved, as the module has them at load, so that the next
// operation resolves them below the root that the environment names then.
void ResetDataFilePathsForTests();
