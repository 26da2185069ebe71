# Thin over the CMake presets. `make demo` and `make test` set up a fresh
# machine first (scripts/bootstrap installs only what is missing).

JOBS ?= 2
DEMO_DIR := build/demo
FUZZ_SECONDS ?= 60
FUZZ_TARGETS := $(patsubst fuzz/%_fuzz.cpp,%,$(wildcard fuzz/*_fuzz.cpp))

.PHONY: all bootstrap test test-dev test-asan demo fuzz clean

all: demo

bootstrap:
	@scripts/bootstrap

test: bootstrap test-dev test-asan e2e

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
	build/release/gallery --jpeg examples/deck/deck1.jpg $(DEMO_DIR)/gallery.swf
	@build/release/swfinfo --summary $(DEMO_DIR)/gallery.swf

# Runs every libFuzzer target for FUZZ_SECONDS seconds from its committed seed
# corpus (new inputs go to build/fuzz/corpus-<target>, not into the repository).
fuzz: bootstrap
	cmake --preset fuzz
	cmake --build --preset fuzz -j $(JOBS)
	@for target in $(FUZZ_TARGETS); do \
	  echo "fuzz: $$target for $(FUZZ_SECONDS) s"; \
	  mkdir -p build/fuzz/corpus-$$target; \
	  build/fuzz/fuzz/$${target}_fuzz -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 \
	    build/fuzz/corpus-$$target fuzz/corpus/$$target 2>build/fuzz/$$target.log \
	    || { tail -40 build/fuzz/$$target.log; exit 1; }; \
	  grep -E 'stat::number_of_executed_units|DONE' build/fuzz/$$target.log | tail -2; \
	done

include tests/e2e/e2e.mk

clean:
	rm -rf build
