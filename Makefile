# Horavane: the two commands.
#   make demo   set up this machine, build Horavane.asi and show the plug-in working
#   make test   set up this machine, build everything and run every check
# Both are CMake workflow presets (CMakePresets.json); every check is a CTest test of the
# native build, with a label (`ctest --preset test -N` lists them). Further targets: make help.

SHELL := /bin/bash
.SHELLFLAGS := -eu -o pipefail -c
.DEFAULT_GOAL := help

# The builds every check of `make test` runs from, in the order they are made.
TEST_WORKFLOWS := windows asan tsan fuzz bench test
FUZZ_SECONDS ?= 20
SOAK_DAYS ?= 50

.PHONY: help setup test demo native windows release quick fuzz bench docs coverage soak clean

help:
	@echo "make demo      set up, build Horavane.asi and show the plug-in working"
	@echo "make test      set up, build everything and run every check"
	@echo "make quick     the native tests and scenarios only (seconds)"
	@echo "make native, make windows   just build"
	@echo "make release   dist/Horavane-<version>.zip and dist/SHA256SUMS"
	@echo "make docs      regenerate the README's generated sections"
	@echo "make bench     the plug-in's frames against their floor, as the README's table"
	@echo "make fuzz      each fuzz target for FUZZ_SECONDS (default 20)"
	@echo "make coverage  line and branch coverage of src/"
	@echo "make soak      the soak test over SOAK_DAYS simulated days (default 50)"
	@echo "make clean     remove build outputs"

setup:
	@scripts/setup.sh

test: setup
	@for workflow in $(TEST_WORKFLOWS); do cmake --workflow --preset $$workflow; done
	@echo "make test: every check passed"

demo: setup
	cmake --workflow --preset windows
	cmake --workflow --preset demo

native: setup
	cmake --preset native
	cmake --build --preset native

windows: setup
	cmake --workflow --preset windows

release: windows native
	cmake --build --preset native --target release

quick: native
	ctest --preset native

fuzz: native
	cmake --workflow --preset fuzz
	cmake --preset native -DHORAVANE_FUZZ_SECONDS=$(FUZZ_SECONDS)
	ctest --preset test -L '^fuzz$$'

bench: setup
	cmake --workflow --preset bench
	scripts/bench.sh build/bench

docs: native
	cmake --build --preset docs

coverage: setup
	scripts/coverage.sh

soak: setup
	cmake --preset soak
	cmake --build --preset soak
	HORAVANE_SOAK_DAYS=$(SOAK_DAYS) build/soak/tests/soak_test

clean:
	rm -rf build dist
