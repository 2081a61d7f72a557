# The two set-up commands of a fresh Debian machine:
#   make demo   builds the utility and runs it on a generated demo home
#   make test   builds everything (with AddressSanitizer and UBSan) and runs every test
# and for a packager:
#   make package  builds the Debian package in build-deb and checks it with lintian
BUILD      ?= build
TEST_BUILD ?= build-test
JOBS       ?= $(shell nproc)

.PHONY: all deps configure build test demo bench package clean

all: build

deps:
	@scripts/install-deps

configure: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

test: deps
	@cmake -S . -B $(TEST_BUILD) -DCMAKE_BUILD_TYPE=Debug -DROLVANE_SANITIZE=ON >/dev/null
	@cmake --build $(TEST_BUILD) -j $(JOBS)
	@cd $(TEST_BUILD) && ctest --output-on-failure -j $(JOBS)

# Only what the demo runs: the program, its database reader, the Jet writer
# that makes the demo home and the screen grabber for a headless run.
demo: configure
	@cmake --build $(BUILD) -j $(JOBS) --target restore-rolvane-data rolvane-mdb-reader mkmdb rolvane-screengrab
	@scripts/run-demo $(BUILD)

bench: configure
	@cmake --build $(BUILD) --target benchmarks -j $(JOBS)
	@scripts/run-benchmarks $(BUILD)

# Slow (a release build of its own), so not part of `make test`.
package:
	@scripts/install-deps package
	@JOBS=$(JOBS) scripts/build-deb build-deb

clean:
	rm -rf $(BUILD) $(TEST_BUILD) build-deb
