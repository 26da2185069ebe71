# Thin over the CMake presets. `make demo` and `make test` set up a fresh
# machine first (scripts/bootstrap installs only what is missing).

JOBS ?= 2
DEMO_DIR := build/demo

.PHONY: all bootstrap test test-dev test-asan demo clean

all: demo

bootstrap:
	@scripts/bootstrap

test: bootstrap test-dev test-asan

test-dev:
	cmake --preset dev
	cmake --build --preset dev -j $(JOBS)
	ctest --preset dev

test-asan:
	cmake --preset asan
	cmake --build --preset asan -j $(JOBS)
	ctest --preset asan

demo: bootstrap
	cmake --preset release
	cmake --build --preset release -j $(JOBS)
	@mkdir -p $(DEMO_DIR)
	build/release/corvanex examples/deck/deck 5 $(DEMO_DIR)/deck.swf
	@build/release/swfinfo --summary $(DEMO_DIR)/deck.swf

clean:
	rm -rf build
