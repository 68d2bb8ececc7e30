BUILD ?= build
JOBS ?= 2

ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 20

PREFIX ?= /usr/local

.PHONY: all deps build run test test-asan bench bench-shaped bench-settings fuzz install deb clean

all: build

deps:
	@scripts/install-deps.sh

build: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)

run: build
	$(BUILD)/bin/zephyn

# make install PREFIX=/opt/zephyn (default /usr/local).
install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS) --timeout 300

bench: build
	QT_QPA_PLATFORM=offscreen $(BUILD)/bin/bench_startup
	QT_QPA_PLATFORM=offscreen $(BUILD)/bin/bench_history
	$(BUILD)/bin/bench_download
	$(BUILD)/bin/bench_hives

# The Debian package, built in a clean copy, into dist/ (the tests run during the build).
deb:
	@JOBS=$(JOBS) scripts/make-deb.sh

# The measured figure on shaped links (56 kbit/s, 1 and 10 Mbit/s); needs root.
bench-shaped:
	bench/shaped_link.sh

# The Settings page's values on a slow link with delay (1 Mbit/s and 56 kbit/s,
# 100 and 150 ms each way): the Testing page against a reference client and
# TCP's theory, and the MSS, TTL and DF of Zephyn's SYNs; needs root.
bench-settings:
	bench/settings_link.sh

# The whole suite built with AddressSanitizer and UBSan (its own build folder).
test-asan: deps
	@cmake -S . -B $(ASAN_BUILD) -DZEPHYN_ASAN=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && QT_QPA_PLATFORM=offscreen \
		ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
		LSAN_OPTIONS=suppressions=$(CURDIR)/tests/asan.supp:print_suppressions=0 \
		UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
		ctest --output-on-failure -j $(JOBS) --timeout 600

# Each fuzz target for FUZZ_SECONDS (make fuzz FUZZ_SECONDS=3600 for a long run).
fuzz:
	@scripts/install-deps.sh --fuzz
	@cmake -S . -B $(FUZZ_BUILD) -DZEPHYN_FUZZ=ON -DCMAKE_CXX_COMPILER=clang++ \
		-DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build $(FUZZ_BUILD) -j $(JOBS) --target fuzz_hive fuzz_regf fuzz_records fuzz_ftp_reply make_regf_seeds
	@scripts/run-fuzz.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD) dist
