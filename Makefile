# The two set-up commands of a fresh Debian machine:
#   make demo   builds the utility and runs it on a generated demo home
#   make test   builds everything (with AddressSanitizer and UBSan) and runs every test
BUILD      ?= build
TEST_BUILD ?= build-test
JOBS       ?= $(shell nproc)

.PHONY: all deps build test demo bench clean

all: build

deps:
	@scripts/install-deps

build: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)

test: deps
	@cmake -S . -B $(TEST_BUILD) -DCMAKE_BUILD_TYPE=Debug -DROLVANE_SANITIZE=ON >/dev/null
	@cmake --build $(TEST_BUILD) -j $(JOBS)
	@cd $(TEST_BUILD) && ctest --output-on-failure -j $(JOBS)

demo: build
	@scripts/run-demo $(BUILD)

bench: build
	@cmake --build $(BUILD) --target benchmarks -j $(JOBS)
	@scripts/run-benchmarks $(BUILD)

clean:
	rm -rf $(BUILD) $(TEST_BUILD)
