# Thin over the CMake presets. `make demo` and `make test` set up a fresh
# machine first (scripts/bootstrap installs only what is missing).

JOBS ?= 2
DEMO_DIR := build/demo
FUZZ_SECONDS ?= 60
FUZZ_TARGETS := $(patsubst fuzz/%_fuzz.cpp,%,$(wildcard fuzz/*_fuzz.cpp))

.PHONY: all bootstrap test test-dev test-asan demo fuzz memcheck bench clean

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

RUFFLE_VERSION := 0.6.0
DEMO_PLAYER := $(DEMO_DIR)/ruffle/ruffle.js

demo: bootstrap $(DEMO_PLAYER)
	cmake --preset release
	cmake --build --preset release -j $(JOBS)
	@mkdir -p $(DEMO_DIR)
	build/release/corvanex --keys --html $(DEMO_DIR)/deck.html examples/deck/deck 5 $(DEMO_DIR)/deck.swf
	@build/release/swfinfo --summary $(DEMO_DIR)/deck.swf
	build/release/gallery --jpeg examples/deck/deck1.jpg $(DEMO_DIR)/gallery.swf
	@build/release/swfinfo --summary $(DEMO_DIR)/gallery.swf
	@echo "demo: $(DEMO_DIR)/deck.html plays the show; browsers let the player fetch it only from a web server:"
	@echo "  python3 -m http.server --directory $(DEMO_DIR) 8000"
	@echo "  then open http://localhost:8000/deck.html (keys: Right, Page Down, Space; Left, Page Up)"

# The web player from the npm registry, in the build folder beside the page.
$(DEMO_PLAYER):
	@command -v npm >/dev/null 2>&1 || { echo "demo: npm is needed for the web player"; exit 1; }
	rm -rf $(DEMO_DIR)/npm $(DEMO_DIR)/ruffle
	npm install --prefix $(DEMO_DIR)/npm --no-save --no-package-lock --no-audit --no-fund --loglevel=error \
	  @ruffle-rs/ruffle@$(RUFFLE_VERSION)
	cp -R $(DEMO_DIR)/npm/node_modules/@ruffle-rs/ruffle $(DEMO_DIR)/ruffle

# The converter against cat and ffmpeg on three generated decks, the ADPCM
# encoder against ffmpeg's, and an hour of narration decoded and encoded
# (release build; decks, sounds and outputs under build/bench).
bench: bootstrap
	bench/deck-bench
	bench/adpcm-vs-ffmpeg
	bench/narration-bench

# Valgrind memcheck over the test programs and real runs of the programs (about 2 min).
memcheck: bootstrap
	scripts/memcheck

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
