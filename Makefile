# Entry points for people and CI. Every target installs missing Debian packages first.
PRESET ?= default
BUILD_DIR = build/$(PRESET)

.PHONY: deps configure build run test asan clean

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

# Every test of the project, registered in CTest.
test: build
	@ctest --preset $(PRESET)

asan:
	@$(MAKE) --no-print-directory test PRESET=asan

clean:
	rm -rf build
