# The real-client suite: the converter's movies played in Ruffle in headless
# Chromium and read by swf-parser and ffmpeg. Included by the top-level
# Makefile (which defines JOBS and bootstrap); run alone with `make e2e`.

E2E_DIR := tests/e2e
E2E_BIN ?= build/dev/corvanex

.PHONY: e2e e2e-setup

e2e-setup:
	@$(E2E_DIR)/setup

e2e: bootstrap e2e-setup
	cmake --preset dev
	cmake --build --preset dev -j $(JOBS) --target corvanex
	cd $(E2E_DIR) && CORVANEX_BIN=$(abspath $(E2E_BIN)) node --test --test-concurrency=1 test/
