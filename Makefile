BUILD ?= build
JOBS ?= 2

.PHONY: all deps build run test bench clean

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

clean:
	rm -rf $(BUILD)
