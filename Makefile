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
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD) $(WEB_BUILD)

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

# The display in a web page: the firmware and the simulated board in WebAssembly (emscripten), one
# module per panel build, with the page and the demo card, in $(WEB_BUILD)/site: static files for
# any plain file server. Emscripten's cache is a writable one under $(WEB_BUILD), started from the
# system libraries the distribution built (linked, not copied); what is missing is built there.
WEB_BUILD ?= build-web
WEB_SITE = $(WEB_BUILD)/site
WEB_PORT ?= 8019
EM_SYSTEM_CACHE ?= /usr/share/emscripten/cache
web serve-web test-web: export EM_CACHE := $(abspath $(WEB_BUILD))/emcache
web serve-web test-web: export EM_FROZEN_CACHE :=
# Emscripten's JavaScript passes need the distribution's acorn, also under a node of another origin.
web serve-web test-web: export NODE_PATH := /usr/share/nodejs
.PHONY: web serve-web test-web

web:
	@tools/setup/deps.sh
	@tools/setup/deps.sh --web
	@[ -f $(BUILD)/build.ninja ] || cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE)
	cmake --build $(BUILD) -j $(JOBS) --target card_demo
	@[ -d $(EM_CACHE) ] || { mkdir -p $(WEB_BUILD) && cp -rs $(EM_SYSTEM_CACHE) $(EM_CACHE); }
	@[ -f $(WEB_BUILD)/build.ninja ] || emcmake cmake -S . -B $(WEB_BUILD) -G Ninja -DZEFO_BOARD=web \
		-DCMAKE_BUILD_TYPE=Release
	cmake --build $(WEB_BUILD) -j $(JOBS)
	gzip -9nc $(BUILD)/cards/demo.img > $(WEB_SITE)/demo.img.gz
	tools/demo/demo-events.sh tools/demo/demo.txt > $(WEB_SITE)/demo.events
	@ls -l $(WEB_SITE)/*.wasm $(WEB_SITE)/*.js | awk '{ print $$5, $$9 }'

# The folder on http://localhost:$(WEB_PORT)/ (Ctrl-C ends it).
serve-web: web
	@echo "ZEFO5 in the browser: http://localhost:$(WEB_PORT)/"
	cd $(WEB_SITE) && /usr/bin/python3 -m http.server $(WEB_PORT) --bind 127.0.0.1

# The page in headless Chromium (the distribution's, with its driver and Selenium): the native
# transcripts through the page's test hook, the demo's screenshot against the native one, a click
# on a demo button, the load time. WEB_TESTS: only the transcript sessions matching this pattern.
WEB_TESTS ?=
test-web: all web
	@tools/setup/deps.sh --web-test
	/usr/bin/python3 tests/web/web_test.py $(WEB_SITE) $(BUILD) $(WEB_TESTS)
