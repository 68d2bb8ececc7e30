BUILD ?= build
JOBS ?= 2

FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 20

.PHONY: all deps build run test bench fuzz clean

all: build

deps:
	@scripts/install-deps.sh

build: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)

run: build
	$(BUILD)/bin/zephyn

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS) --timeout 300

bench: build
	QT_QPA_PLATFORM=offscreen $(BUILD)/bin/bench_startup
	QT_QPA_PLATFORM=offscreen $(BUILD)/bin/bench_history
	$(BUILD)/bin/bench_download

# Each fuzz target for FUZZ_SECONDS (make fuzz FUZZ_SECONDS=3600 for a long run).
fuzz:
	@scripts/install-deps.sh --fuzz
	@cmake -S . -B $(FUZZ_BUILD) -DZEPHYN_FUZZ=ON -DCMAKE_CXX_COMPILER=clang++ \
		-DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build $(FUZZ_BUILD) -j $(JOBS) --target fuzz_hive fuzz_records fuzz_ftp_reply
	@scripts/run-fuzz.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

clean:
	rm -rf $(BUILD) $(FUZZ_BUILD)
