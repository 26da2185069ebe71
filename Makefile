# Thin over the CMake presets. `make demo` and `make test` set up a fresh
# machine first (scripts/bootstrap installs only what is missing).

JOBS ?= 2
DEMO_DIR := build/demo
FUZZ_SECONDS ?= 60
FUZZ_TARGETS := $(patsubst fuzz/%_fuzz.cpp,%,$(wildcard fuzz/*_fuzz.cpp))

.PHONY: all bootstrap check test test-dev test-asan build-dev build-asan demo install docs fuzz memcheck bench windows clean

all: demo

bootstrap:
	@scripts/bootstrap

# Ninja where it is installed, for a build folder configured here for the
# first time (an existing folder keeps its generator).
NINJA := $(shell command -v ninja 2>/dev/null)
configure = cmake --preset $(1) $(if $(NINJA),$(if $(wildcard build/$(1)/CMakeCache.txt),,-G Ninja))

# One rule builds each folder, and every target that needs the build depends
# on it, so that `make -j` never runs two builds in one folder at once.
build-dev:
	$(call configure,dev)
	cmake --build --preset dev -j $(JOBS)

build-asan:
	$(call configure,asan)
	cmake --build --preset asan -j $(JOBS)

# The Windows programs and the library's tests, cross-built with mingw-w64
# for ARCH (i686 or x86_64) in build/windows/$(ARCH), their libraries built
# first where missing (scripts/windows-deps).
ARCH ?= i686

windows:
	scripts/windows-deps $(ARCH)
	cmake --preset windows-$(ARCH) $(if $(NINJA),$(if $(wildcard build/windows/$(ARCH)/CMakeCache.txt),,-G Ninja))
	cmake --build --preset windows-$(ARCH) -j $(JOBS)

# The contributor's loop: the dev build and its tests, nothing installed, no browser.
check: build-dev
	ctest --preset dev

# The whole suite, on a machine set up first.
test: bootstrap
	@$(MAKE) --no-print-directory test-dev test-asan e2e-run

test-dev: check

test-asan: build-asan
	ctest --preset asan

# API documentation of the library's public headers, HTML in build/docs/html.
# Fails on any warning of doxygen's about them (a broken command or reference
# in a comment), listed in build/docs/warnings.log. The headers are read from
# a copy laid out as they are installed, so that a class page's include line
# is the one a user writes (<corvanex/hf/hfbutton.h>); the warnings name the
# headers themselves.
DOC_FOLDERS := swf hf audio
DOC_COPY := build/docs/include/corvanex
VERSION := $(shell sed -n 's/^project.corvanex VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
VERSION_PARTS := $(subst ., ,$(VERSION))

docs:
	@command -v doxygen >/dev/null 2>&1 || { echo "docs: doxygen is needed (scripts/bootstrap installs it)"; exit 1; }
	@rm -rf build/docs && mkdir -p $(DOC_COPY)/base
	@for folder in $(DOC_FOLDERS); do mkdir -p $(DOC_COPY)/$$folder && cp $$folder/*.h $(DOC_COPY)/$$folder/; done
	@sed -e 's/@PROJECT_VERSION@/$(VERSION)/' -e 's/@PROJECT_VERSION_MAJOR@/$(word 1,$(VERSION_PARTS))/' \
	  -e 's/@PROJECT_VERSION_MINOR@/$(word 2,$(VERSION_PARTS))/' -e 's/@PROJECT_VERSION_PATCH@/$(word 3,$(VERSION_PARTS))/' \
	  cmake/fversion.h.in >$(DOC_COPY)/base/fversion.h
	CORVANEX_DOC_INPUT="$(addprefix $(DOC_COPY)/,base $(DOC_FOLDERS))" CORVANEX_VERSION=$(VERSION) \
	  doxygen docs/Doxyfile 2>build/docs/doxygen.log
	@sed -e 's#^$(CURDIR)/##' -e 's#^$(DOC_COPY)/base/fversion.h#cmake/fversion.h.in#' -e 's#^$(DOC_COPY)/##' \
	  build/docs/doxygen.log >build/docs/warnings.log
	@if [ -s build/docs/warnings.log ]; then cat build/docs/warnings.log; echo "docs: doxygen warned"; exit 1; fi
	@echo "docs: build/docs/html/index.html"

# Only what the demo runs: the converter (which brings the web player it puts
# beside the pages, fetched by the build), swfinfo, the gallery and the PDF
# generator; not the tests' or the benchmarks' programs.
DEMO_TARGETS := corvanex swfinfo gallery makepdf

demo: bootstrap
	$(call configure,release)
	cmake --build --preset release -j $(JOBS) --target $(DEMO_TARGETS)
	@mkdir -p $(DEMO_DIR)
	build/release/corvanex --keys --html $(DEMO_DIR)/deck.html examples/deck/deck 5 $(DEMO_DIR)/deck.swf
	@build/release/swfinfo --summary $(DEMO_DIR)/deck.swf
	build/release/gallery --jpeg examples/deck/deck1.jpg $(DEMO_DIR)/gallery.swf
	@build/release/swfinfo --summary $(DEMO_DIR)/gallery.swf
	if build/release/corvanex --help | grep -q 'deck.pdf'; then \
	  build/release/makepdf --pages 6 --portrait 4 $(DEMO_DIR)/talk.pdf && \
	  build/release/corvanex --keys --html $(DEMO_DIR)/talk.html $(DEMO_DIR)/talk.pdf $(DEMO_DIR)/talk.swf && \
	  build/release/swfinfo --summary $(DEMO_DIR)/talk.swf; fi
	@echo "demo: $(DEMO_DIR)/deck.html plays the show; browsers let the player fetch it only from a web server:"
	@echo "  python3 -m http.server --directory $(DEMO_DIR) 8000"
	@echo "  then open http://localhost:8000/deck.html (keys: Right, Page Down, Space; Left, Page Up; F: full screen)"
	@echo "  (talk.html plays talk.swf, made from the generated talk.pdf)"

# The release build of what is installed, installed under PREFIX (with the
# web player in share/corvanex/ruffle when the build could fetch it).
PREFIX ?= /usr/local

install: bootstrap
	$(call configure,release)
	cmake --build --preset release -j $(JOBS) --target corvanex_installed
	cmake --install build/release --prefix $(PREFIX)

# The converter against cat and ffmpeg on four generated decks, the ADPCM
# encoder against ffmpeg's, the PNG slide encoding on a generated deck of 200
# PNG slides, and an hour of narration decoded and encoded (release build;
# decks, sounds and outputs under build/bench).
bench: bootstrap
	bench/deck-bench small medium large most
	bench/pdf-bench
	bench/adpcm-vs-ffmpeg
	bench/png-deck-bench
	bench/narration-bench
	bench/hostile-bench

# Valgrind memcheck over the test programs and real runs of the programs (about 4 min on 2 cores).
memcheck: bootstrap
	scripts/memcheck

# Runs every libFuzzer target for FUZZ_SECONDS seconds from its committed seed
# corpus (new inputs go to build/fuzz/corpus-<target>, not into the repository).
# An input that runs longer than FUZZ_TIMEOUT seconds or takes more than
# FUZZ_RSS_MB of memory (or asks for that much at once) fails the run as a
# crash does, its input kept as build/fuzz/timeout-*, oom-* or crash-*: far
# above what a correct input takes under the sanitizers on a slow shared
# machine (a PDF page is bounded in both).
FUZZ_TIMEOUT ?= 25
FUZZ_RSS_MB ?= 1024
fuzz: bootstrap
	$(call configure,fuzz)
	cmake --build --preset fuzz -j $(JOBS)
	@for target in $(FUZZ_TARGETS); do \
	  echo "fuzz: $$target for $(FUZZ_SECONDS) s"; \
	  mkdir -p build/fuzz/corpus-$$target; \
	  build/fuzz/fuzz/$${target}_fuzz -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 \
	    -timeout=$(FUZZ_TIMEOUT) -rss_limit_mb=$(FUZZ_RSS_MB) -artifact_prefix=build/fuzz/ \
	    build/fuzz/corpus-$$target fuzz/corpus/$$target 2>build/fuzz/$$target.log \
	    || { tail -40 build/fuzz/$$target.log; exit 1; }; \
	  grep -E 'stat::number_of_executed_units|DONE' build/fuzz/$$target.log | tail -2; \
	done

include tests/e2e/e2e.mk

clean:
	rm -rf build
