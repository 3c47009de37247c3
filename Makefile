# Entry points for people and CI. Every target installs missing Debian packages first.
PRESET ?= default
BUILD_DIR = build/$(PRESET)

.PHONY: deps configure build run test check asan valgrind fuzz reliability bench windows package mutation coverage clean

deps:
	@scripts/install-deps.sh

configure: deps
	@cmake --preset $(PRESET) >/dev/null

build: configure
	@cmake --build --preset $(PRESET)

# The main job: build everything and run a service cycle through the module on a fresh
# simulated instrument.
DEMO_INSTRUMENT = $(BUILD_DIR)/demo-instrument
run: build
	@rm -rf $(DEMO_INSTRUMENT)
	@$(BUILD_DIR)/tools/norn-service demo --yes --instrument $(DEMO_INSTRUMENT)

# The Debian package of the service tool: build/default/norn-service_<version>_amd64.deb.
package: build
	@cd $(BUILD_DIR) && cpack -G DEB >/dev/null && ls $(CURDIR)/$(BUILD_DIR)/norn-service_*.deb

# CI's fast first stage: format, include direction, warnings as errors, clang-tidy.
check:
	@scripts/install-deps.sh clang-format clang-tidy
	@scripts/ci-quick.sh

# Every test of the project, registered in CTest.
test: build
	@ctest --preset $(PRESET)

asan:
	@$(MAKE) --no-print-directory test PRESET=asan

# Every test of preset default under valgrind memcheck; any error fails the target. The
# performance runs are left out (their memory limits mean nothing under valgrind), and so are the
# tool's data-safety sweeps (they run the tool under strace, which valgrind cannot follow).
valgrind:
	@$(MAKE) --no-print-directory build PRESET=default
	@scripts/install-deps.sh valgrind
	@scripts/valgrind-tests.sh build/default -LE 'performance|sweeps'

# Coverage-guided fuzzing with clang's libFuzzer: every target of fuzz/ for FUZZ_SECONDS seconds
# (default 60); the summary is build/fuzz/fuzz-summary.txt.
fuzz:
	@scripts/install-fuzz-deps.sh
	@cmake --preset fuzz --no-warn-unused-cli >/dev/null
	@cmake --build --preset fuzz
	@scripts/fuzz.sh

# RELIABILITY.md anew: the reliability suites' figures, and those of the last fuzzing run.
reliability: build
	@scripts/reliability-report.sh build/default

# The optimised build's operations timed against their POSIX floor, then the stability run
# (100,000 cycles, 1,000 loads); the tables also go to build/default/bench/bench-table.md.
bench:
	@$(MAKE) --no-print-directory build PRESET=default
	@build/default/bench/norn_bench --table=build/default/bench/bench-table.md
	@build/default/bench/norn_stability
	@python3 bench/tool_timings.py --tool build/default/tools/norn-service \
		--table build/default/bench/tool-timings.md

# The Windows parity check: the platform layer's conformance tests and the module's Qt-free parts
# built with MinGW-w64 against the real Windows API (build/windows), their tests run under Wine.
windows:
	@scripts/install-deps.sh g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine64 googletest
	@cmake --preset windows >/dev/null
	@cmake --build --preset windows
	@scripts/windows-tests.sh

# Line and branch coverage of module/ by the tests (gcovr, throw branches left out); the timings,
# the package build and the tool's sweeps (a minute of strace runs) are left out.
coverage:
	@scripts/install-deps.sh gcovr
	@cmake --preset coverage >/dev/null
	@cmake --build --preset coverage
	@find build/coverage -name '*.gcda' -delete
	@ctest --test-dir build/coverage -j2 --output-on-failure -LE 'performance|package|sweeps' >/dev/null
	@gcovr -r . --filter module/ --exclude-throw-branches build/coverage --print-summary \
		--txt build/coverage/module-coverage.txt | tail -3

# The mutation check: each fault of tests/mutation/faults.tsv planted in turn in a scratch copy
# of the tree (build/mutation), rebuilt and tested; MUTATION_SAMPLE=n runs n of them, chosen by
# the date. MUTATION_IN_PLACE=1 plants them in this tree and rebuilds build/$(PRESET) instead
# (CI, on a throwaway clone, after make test).
mutation: deps
	@python3 scripts/mutation.py $(if $(MUTATION_SAMPLE),--sample $(MUTATION_SAMPLE)) \
		$(if $(MUTATION_IN_PLACE),--build build/$(PRESET))

clean:
	rm -rf build
