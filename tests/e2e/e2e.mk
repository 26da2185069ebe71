# The real-client suite: the converter's and the gallery's movies played in
# Ruffle in headless Chromium and read by swf-parser and ffmpeg, and every
# movie the C++ tests write read by swf-parser. Included by the top-level
# Makefile (which defines JOBS, bootstrap and build-dev); run alone with `make e2e`.

E2E_DIR := tests/e2e
E2E_BIN ?= build/dev/corvanex
E2E_GALLERY ?= build/dev/gallery
E2E_TEST_DIR ?= build/dev/tests

.PHONY: e2e e2e-run e2e-setup

e2e-setup:
	@$(E2E_DIR)/setup

e2e: bootstrap
	@$(MAKE) --no-print-directory e2e-run

# The dev build through the top-level Makefile's one build rule, so that
# `make -j test` does not build the dev folder twice at once.
e2e-run: e2e-setup build-dev
	cd $(E2E_DIR) && CORVANEX_BIN=$(abspath $(E2E_BIN)) CORVANEX_GALLERY=$(abspath $(E2E_GALLERY)) \
	  CORVANEX_TEST_DIR=$(abspath $(E2E_TEST_DIR)) node --test --test-concurrency=1 test/
