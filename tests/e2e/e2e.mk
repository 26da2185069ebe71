# The real-client suite: the converter's and the gallery's movies played in
# Ruffle in headless Chromium and read by swf-parser and ffmpeg, and every
# movie the C++ tests write read by swf-parser. Included by the top-level
# Makefile (which defines JOBS and bootstrap); run alone with `make e2e`.

E2E_DIR := tests/e2e
E2E_BIN ?= build/dev/corvanex
E2E_GALLERY ?= build/dev/gallery
E2E_TEST_DIR ?= build/dev/tests
E2E_TARGETS := corvanex gallery swf_tests hf_tests audio_tests driver_tests

.PHONY: e2e e2e-setup

e2e-setup:
	@$(E2E_DIR)/setup

e2e: bootstrap e2e-setup
	cmake --preset dev
	cmake --build --preset dev -j $(JOBS) --target $(E2E_TARGETS)
	cd $(E2E_DIR) && CORVANEX_BIN=$(abspath $(E2E_BIN)) CORVANEX_GALLERY=$(abspath $(E2E_GALLERY)) \
	  CORVANEX_TEST_DIR=$(abspath $(E2E_TEST_DIR)) node --test --test-concurrency=1 test/
