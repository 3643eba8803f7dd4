# Front door of the build: `make run` and `make test` do all their set-up on a fresh machine.
BUILD ?= build
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
JOBS ?= 2
BUILD_TYPE ?= RelWithDebInfo
FUZZ_SECONDS ?= 60

.PHONY: all deps run test unit-test asan fuzz soak bench format clean

all: deps
	@[ -f $(BUILD)/build.ninja ] || cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE)
	cmake --build $(BUILD) -j $(JOBS)

deps:
	@tools/setup/deps.sh

# The simulator on this terminal, on the demo card, with the drawing demo sent after start-up.
run: all
	@tools/demo/demo-events.sh tools/demo/demo.txt > $(BUILD)/demo.events
	$(BUILD)/zefo5 --sd $(BUILD)/cards/demo.img --events $(BUILD)/demo.events --screenshot $(BUILD)/demo.png $(RUN_ARGS)

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

# The long soak of the line path: SOAK_LINES lines per port and rate (the suite runs a short one).
SOAK_LINES ?= 20000
soak: all
	ZEFO_SOAK_LINES=$(SOAK_LINES) $(BUILD)/tests/serial/serial_soak_test

# The benchmarks, then the simulator's instruction counts under callgrind beside their goals.
bench: all
	@for b in $(BUILD)/bench/*; do [ -x "$$b" ] && "$$b"; done; true
	@if command -v valgrind >/dev/null; then /usr/bin/python3 tools/perf/callgrind_figures.py $(BUILD); \
	else echo "valgrind is not installed: no instruction counts"; fi; true

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD)

# The firmware on a bare-metal ARM processor (QEMU's ARM Versatile/PB): one image per panel build,
# checked for heap and exception use and against the flash and RAM budgets, with their size table.
TARGET_BUILD ?= build-arm
TARGET_IMAGES = $(TARGET_BUILD)/zefo5.elf $(TARGET_BUILD)/zefo5-wvga2.elf $(TARGET_BUILD)/zefo5-vga.elf
.PHONY: target target-test

target:
	@tools/setup/deps.sh --target
	@[ -f $(TARGET_BUILD)/build.ninja ] || cmake -S . -B $(TARGET_BUILD) -G Ninja -DZEFO_BOARD=versatilepb \
		-DCMAKE_TOOLCHAIN_FILE=cmake/arm-none-eabi.cmake -DCMAKE_BUILD_TYPE=$(BUILD_TYPE)
	cmake --build $(TARGET_BUILD) -j $(JOBS)
	@python3 tools/target/image_check.py report $(TARGET_IMAGES)

# The images booted under qemu-system-arm, their replies on UART0 checked byte for byte.
target-test: target
	python3 tools/target/qemu_test.py $(TARGET_BUILD)
