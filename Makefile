# Horavane: the two commands.
#   make demo   set up this machine, build Horavane.asi and show the plug-in working
#   make test   set up this machine, build everything and run every test
# Further targets: see `make help`.

SHELL := /bin/bash
.SHELLFLAGS := -eu -o pipefail -c
.DEFAULT_GOAL := help
JOBS ?= 2

NATIVE_DIR := build/native
WINDOWS_DIR := build/windows
PRODUCT := $(WINDOWS_DIR)/Horavane.asi

# Steps each part of the project adds to `make test` and `make demo`.
TEST_STEPS := test-native check-imports
DEMO_STEPS := demo-sim

.PHONY: help setup native windows test demo test-native check-imports demo-sim clean

help:
	@echo "make demo   - set up, build Horavane.asi and show the plug-in working"
	@echo "make test   - set up, build everything and run every test"
	@echo "make native / make windows - just build"
	@echo "make clean  - remove build outputs"

setup:
	@scripts/setup.sh

native: setup
	cmake --preset native >/dev/null
	cmake --build $(NATIVE_DIR) -j $(JOBS)

windows: setup
	cmake --preset windows >/dev/null
	cmake --build $(WINDOWS_DIR) -j $(JOBS)

test-native: native
	ctest --test-dir $(NATIVE_DIR) -j $(JOBS) --output-on-failure --timeout 120

# The product must load with nothing but Windows, the game and the runtime.
check-imports: windows
	@scripts/check-imports.sh $(PRODUCT)

demo-sim: native windows
	$(NATIVE_DIR)/tools/horavane-sim demo

clean:
	rm -rf build dist

-include mk/*.mk

test: $(TEST_STEPS)
	@echo "make test: every test passed"

demo: $(DEMO_STEPS)
