# Thin front end over CMake. `make` builds the optimised program at build/pidrm.
BUILD      := build
ASAN_BUILD := build-asan
BENCH_BUILD := build-bench
JOBS       ?= $(shell nproc 2>/dev/null || echo 2)

.PHONY: all run test test-fast bench bench-quick bench-build format clean

all:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release >/dev/null
	cmake --build $(BUILD) -j $(JOBS)

run: all
	./$(BUILD)/pidrm

# Every test in the optimised build (long runs included), then the unit and
# end-to-end tests once more under AddressSanitizer + UndefinedBehaviorSanitizer.
test: all
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DPIDRM_SANITIZE=ON >/dev/null
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ctest --output-on-failure -j $(JOBS) -LE long

# The optimised tests without the long runs, for quick turns while editing.
test-fast: all
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS) -LE long

# The benchmarks: product timings (also in build-bench/multiply.csv) and rounding errors,
# then the whole-program runs, time and peak memory, against the GMP Machin program and
# MPFR's pi (bench/whole_runs.sh; it takes several minutes). Optional:
# BASELINE=/path/to/old/pidrm, REPEATS=k, SIZES="n1 n2 ...", UPDATE_README=1. They need the
# Debian packages libbenchmark-dev, libgmp-dev and libmpfr-dev (the configuration names any
# that is missing and stops), and gnuplot-nox for the plot.
bench: bench-build
	cmake --build $(BENCH_BUILD) --target run_bench
	$(WHOLE_RUNS)

# Only the whole-program runs, at N = 10^4 and 10^5: a quick look while trying things.
bench-quick: bench-build
	QUICK=1 $(WHOLE_RUNS)

bench-build:
	cmake -S . -B $(BENCH_BUILD) -DCMAKE_BUILD_TYPE=Release -DPIDRM_BENCH=ON -DPIDRM_TESTS=OFF >/dev/null
	cmake --build $(BENCH_BUILD) -j $(JOBS)

WHOLE_RUNS = BASELINE='$(BASELINE)' REPEATS='$(REPEATS)' UPDATE_README='$(UPDATE_README)' \
	SIZES='$(SIZES)' bench/whole_runs.sh

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(BENCH_BUILD)
