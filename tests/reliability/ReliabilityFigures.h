// The figures a run of the reliability suites measures (failure points covered, fault-sweep runs,
// allocation-failure runs), added up over the whole run. At the end of the run they are printed,
// written to the file named by NORN_RELIABILITY_FIGURES (for RELIABILITY.md), and the stable
// ones are checked against the copy in RELIABILITY.md, so the document cannot drift from what
// the suites prove.
#pragma once

#include <string>

namespace norn::test {

// Adds `amount` to the figure `name`. Figures appear in the order they were first added.
void AddReliabilityFigure(const std::string& name, long long amount = 1);

}  // namespace norn::test
