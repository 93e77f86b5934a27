# Benchmarks and the pace table (build/bench, preset bench).
#   make bench        plug-in against the floor: time, allocations, instructions, one table
#   make pace-table   the clock's real pace at every rate line, as Markdown
# `make test` runs test-bench: the frames' call and allocation checks and a short timing pass.

BENCH_DIR := build/bench
BENCH_TARGETS := horavane-bench horavane-frame-count horavane-frame-check

.PHONY: bench bench-build pace-table test-bench

bench-build: setup
	cmake --preset bench -DHORAVANE_WERROR=ON >/dev/null
	cmake --build $(BENCH_DIR) -j $(JOBS) --target $(BENCH_TARGETS)

bench: bench-build
	scripts/bench.sh $(BENCH_DIR)

pace-table: native
	@$(NATIVE_DIR)/tools/horavane-pace-table

test-bench: bench-build
	ctest --test-dir $(BENCH_DIR) -L bench -j $(JOBS) --output-on-failure --timeout 120

TEST_STEPS += test-bench

# The README's pace table is the generator's output, word for word.
.PHONY: readme-figures test-readme-pace-table
readme-figures: native
	$(NATIVE_DIR)/tools/horavane-pace-table > $(NATIVE_DIR)/pace-table.md
	scripts/readme-section.sh update pace-table $(NATIVE_DIR)/pace-table.md

test-readme-pace-table: native
	$(NATIVE_DIR)/tools/horavane-pace-table > $(NATIVE_DIR)/pace-table.md
	scripts/readme-section.sh check pace-table $(NATIVE_DIR)/pace-table.md

TEST_STEPS += test-readme-pace-table
