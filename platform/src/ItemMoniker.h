// Item monikers and the text comparison that the Running Object Table applies to them.
#pragma once

#include <windows.h>

#include <string>

namespace norn::platform {

// Upper-cases the way the table compares names: ASCII, Latin-1, Greek and Cyrillic letters.
std::u16string UpperCaseForComparison(std::u16string text);

// The bytes by which the table tells monikers apart: IROTData's comparison data when the moniker
// has it, else its class ID and upper-cased display name, so that monikers of two classes never
// share a name. Empty when neither can be had.
std::string ComparisonDataOf(IMoniker* moniker);

}  // namespace norn::platform
