# Front door of the build: `make run` and `make test` do all their set-up on a fresh machine.
BUILD ?= build
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
JOBS ?= 2
BUILD_TYPE ?= RelWithDebInfo
FUZZ_SECONDS ?= 60

.PHONY: all deps run test unit-test asan fuzz bench format clean

all: deps
	@[ -f $(BUILD)/build.ninja ] || cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE)
	cmake --build $(BUILD) -j $(JOBS)

deps:
	@tools/setup/deps.sh

# The simulator on this terminal, with the demo script.
run: all
	$(BUILD)/zefo5 $(RUN_ARGS)

asan: deps
	@[ -f $(ASAN_BUILD)/build.ninja ] || cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DZEFO_SANITIZE=ON
	cmake --build $(ASAN_BUILD) -j $(JOBS)

# Everything: the suite on the normal build, then the same suite under AddressSanitizer and UBSan.
test: all asan
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)
	ctest --test-dir $(ASAN_BUILD) --output-on-failure -j $(JOBS)

fuzz: deps
	@[ -f $(FUZZ_BUILD)/build.ninja ] || CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZEFO_FUZZ=ON
	cmake --build $(FUZZ_BUILD) -j $(JOBS)
	tools/setup/run-fuzzers.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

bench: all
	@for b in $(BUILD)/bench/*; do [ -x "$$b" ] && "$$b"; done; true

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD)
