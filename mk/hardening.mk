# Hardening: the native suite under sanitizers, bounded fuzzing, coverage, a long soak.
#   make test-asan   every native test (and the fuzz corpora) under ASan + UBSan  (build/asan)
#   make test-tsan   the keyboard tests under ThreadSanitizer                      (build/tsan)
#   make test-fuzz   each libFuzzer target for FUZZ_SECONDS from its corpus       (build/fuzz)
#   make coverage    line and branch coverage of src/, terminal and HTML          (build/coverage)
#   make soak        the soak test over SOAK_DAYS simulated days (default 50)     (build/soak)
# `make test` runs test-asan, test-tsan and test-fuzz; the soak test's short run is
# part of the native suite, so of test-native and test-asan too.

ASAN_DIR := build/asan
TSAN_DIR := build/tsan
FUZZ_DIR := build/fuzz
SOAK_DIR := build/soak
FUZZ_SECONDS ?= 20
SOAK_DAYS ?= 50
# The keyboard tests: the key table alone, and the keyboard handler on its own thread.
TSAN_TESTS := key_releases_test keyboard_race_test
TSAN_FILTER := ^(KeyReleases|KeyboardRace)\.

# Any report fails the run: UBSan stops at the first (-fno-sanitize-recover=all),
# TSan is told to.
SANITIZER_ENV := ASAN_OPTIONS=detect_leaks=1:strict_string_checks=1:check_initialization_order=1 \
                 UBSAN_OPTIONS=print_stacktrace=1 \
                 TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1

.PHONY: test-asan test-tsan test-fuzz coverage soak

test-asan: setup
	cmake --preset asan >/dev/null
	cmake --build $(ASAN_DIR) -j $(JOBS)
	$(SANITIZER_ENV) ctest --test-dir $(ASAN_DIR) -j $(JOBS) --output-on-failure --timeout 300

test-tsan: setup
	cmake --preset tsan >/dev/null
	cmake --build $(TSAN_DIR) -j $(JOBS) --target $(TSAN_TESTS)
	$(SANITIZER_ENV) ctest --test-dir $(TSAN_DIR) -R '$(TSAN_FILTER)' -j $(JOBS) \
	  --output-on-failure --timeout 300 --no-tests=error

test-fuzz: setup
	cmake --preset fuzz >/dev/null
	cmake --build $(FUZZ_DIR) -j $(JOBS) --target fuzz_targets
	fuzz/run-fuzzers.sh $(FUZZ_DIR) $(FUZZ_SECONDS)

coverage: setup
	scripts/coverage.sh build/coverage

soak: setup
	cmake -S . -B $(SOAK_DIR) -DCMAKE_BUILD_TYPE=Release -DHORAVANE_WERROR=ON >/dev/null
	cmake --build $(SOAK_DIR) -j $(JOBS) --target soak_test
	HORAVANE_SOAK_DAYS=$(SOAK_DAYS) $(SOAK_DIR)/tests/soak_test

TEST_STEPS += test-asan test-tsan test-fuzz
