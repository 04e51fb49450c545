# Thin front end over CMake. `make` builds the optimised program at build/pidrm (and the
# tests, where GoogleTest and GMP are installed).
# Another compiler in build dirs of its own: make test CXX=clang++ BUILD=build-clang
BUILD       ?= build
ASAN_BUILD  ?= $(BUILD)-asan
PLAIN_BUILD ?= $(BUILD)-plain
BENCH_BUILD ?= build-bench
JOBS        ?= $(shell nproc 2>/dev/null || echo 2)
# CMake picks the compiler of a new build dir itself, unless CXX is given.
COMPILER := $(if $(filter default,$(origin CXX)),,-DCMAKE_CXX_COMPILER=$(CXX))
CONFIGURE = cmake -S . -B $(1) $(COMPILER) $(2) >/dev/null

# The Debian packages the tests need; tools/packages.sh installs them when missing (as root)
# or names them and stops.
TEST_PACKAGES := libgtest-dev libgmp-dev $(if $(findstring clang,$(CXX)),libclang-rt-dev)

.PHONY: all run test test-fast test-build test-packages dist cross-check bench bench-quick bench-build format clean

all:
	$(call CONFIGURE,$(BUILD),-DCMAKE_BUILD_TYPE=Release)
	cmake --build $(BUILD) -j $(JOBS)

# Builds the program alone (a compiler, make and cmake are all it needs), then starts it: its
# first prompt is the first thing on the screen. A build that has to run (a source changed
# since the last one, $(BUILD)/.run-built) says so in one line; its output is kept apart and
# shown only when it fails, its progress lines left out.
run:
	@if [ ! -x $(BUILD)/pidrm ] || [ -n "$$(find CMakeLists.txt cmake arith fft newton drm driver \
	    -newer $(BUILD)/.run-built -print -quit 2>&1)" ]; then echo "building $(BUILD)/pidrm"; fi
	@log=$$(mktemp) && { $(call CONFIGURE,$(BUILD),-DCMAKE_BUILD_TYPE=Release) && \
	    cmake --build $(BUILD) -j $(JOBS) --target pidrm; } >"$$log" 2>&1; status=$$?; \
	    [ $$status -eq 0 ] && touch $(BUILD)/.run-built || \
	    grep -v -E '^g?make(\[[0-9]+\])?: (Entering|Leaving) directory|^\[ *[0-9]+%\]' "$$log"; \
	    rm -f "$$log"; exit $$status
	@./$(BUILD)/pidrm

# Every test in the optimised build (long runs included), the unit and end-to-end tests once
# more under AddressSanitizer + UndefinedBehaviorSanitizer, and the product and transform
# tests once more with plain C++ in place of the vector extensions.
test: test-build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)
	$(call CONFIGURE,$(ASAN_BUILD),-DCMAKE_BUILD_TYPE=Debug -DPIDRM_SANITIZE=ON -DPIDRM_TESTS=ON)
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ctest --output-on-failure -j $(JOBS) -LE long
	$(call CONFIGURE,$(PLAIN_BUILD),-DCMAKE_BUILD_TYPE=Release -DPIDRM_PLAIN_VECTORS=ON -DPIDRM_TESTS=ON)
	cmake --build $(PLAIN_BUILD) -j $(JOBS) --target pidrm_fft_tests
	cd $(PLAIN_BUILD) && ctest --output-on-failure -j $(JOBS) -L fft

# The optimised tests without the long runs, for quick turns while editing.
test-fast: test-build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS) -LE long

test-build: test-packages
	$(call CONFIGURE,$(BUILD),-DCMAKE_BUILD_TYPE=Release -DPIDRM_TESTS=ON)
	cmake --build $(BUILD) -j $(JOBS)

test-packages:
	tools/packages.sh $(TEST_PACKAGES)

# The release archives in dist/: Linux x86-64 (.tar.gz, .deb), Linux on 64-bit ARM (.tar.gz)
# and Windows x86-64 (.zip), each with the portable program, linked statically, and the
# README (tools/dist.sh, build-dist/).
dist:
	JOBS=$(JOBS) tools/dist.sh

# The release archives' programs run natively and under qemu (x86-64 with and without AVX2,
# 64-bit ARM) and wine, their decimals compared with GMP's and their files with the native
# program's; and no fused multiply-add in any build (tools/cross_check.sh, make dist,
# build-cross/). Not part of make test: it takes a few minutes.
cross-check:
	JOBS=$(JOBS) tools/cross_check.sh

# The benchmarks: product timings, the transforms against FFTW's (also in
# build-bench/multiply.csv) and rounding errors, then the whole-program runs, time and peak
# memory, against the GMP Machin program, MPFR's pi and the GMP Chudnovsky program
# (bench/whole_runs.sh; it takes several minutes). Optional: BASELINE=/path/to/old/pidrm,
# REPEATS=k, SIZES="n1 n2 ...", UPDATE_README=1 (the table into docs/performance.md). They
# need the Debian packages libbenchmark-dev, libgmp-dev, libmpfr-dev and libfftw3-dev (the
# configuration names any that is missing and stops), and gnuplot-nox for the plot.
bench: bench-build
	cmake --build $(BENCH_BUILD) --target run_bench
	$(WHOLE_RUNS)

# Only the whole-program runs, at N = 10^4 and 10^5: a quick look while trying things.
bench-quick: bench-build
	QUICK=1 $(WHOLE_RUNS)

# The benchmarks' build is the portable program, as released; beside it the program built for
# this machine (-march=native) and one with the baseline kernel set alone.
bench-build:
	tools/packages.sh libbenchmark-dev libgmp-dev libmpfr-dev libfftw3-dev
	$(call CONFIGURE,$(BENCH_BUILD),-DCMAKE_BUILD_TYPE=Release -DPIDRM_BENCH=ON -DPIDRM_TESTS=OFF)
	cmake --build $(BENCH_BUILD) -j $(JOBS)
	$(call CONFIGURE,$(BENCH_BUILD)/native,-DCMAKE_BUILD_TYPE=Release -DPIDRM_NATIVE=ON -DPIDRM_TESTS=OFF)
	cmake --build $(BENCH_BUILD)/native -j $(JOBS) --target pidrm
	$(call CONFIGURE,$(BENCH_BUILD)/baseline-kernels,-DCMAKE_BUILD_TYPE=Release -DPIDRM_BASELINE_KERNELS_ONLY=ON -DPIDRM_TESTS=OFF)
	cmake --build $(BENCH_BUILD)/baseline-kernels -j $(JOBS) --target pidrm

WHOLE_RUNS = BASELINE='$(BASELINE)' REPEATS='$(REPEATS)' UPDATE_README='$(UPDATE_README)' \
	SIZES='$(SIZES)' NATIVE=$(BENCH_BUILD)/native/pidrm \
	BASELINE_KERNELS=$(BENCH_BUILD)/baseline-kernels/pidrm bench/whole_runs.sh

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(PLAIN_BUILD) $(BENCH_BUILD) build-cross build-dist dist
