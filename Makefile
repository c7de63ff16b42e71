# The two commands a newcomer runs: `make demo` and `make test`. Everything else is for
# developers. Each target installs missing Debian packages first.

BUILD      ?= build
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
JOBS       ?= $(shell nproc)
CMAKE_GEN  := -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
LAUNCHER   := $(if $(shell command -v ccache 2>/dev/null),-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache,)

.PHONY: all deps build demo test test-asan corpus fuzz bench clean

all: build

deps:
	@./scripts/install-deps.sh

$(BUILD)/build.ninja: | deps
	@cmake -S . -B $(BUILD) $(CMAKE_GEN) $(LAUNCHER) >/dev/null

build: deps $(BUILD)/build.ninja
	@cmake --build $(BUILD) -j $(JOBS)

demo: build
	@./scripts/demo.sh $(BUILD)/apps/tolva/tolva examples

test: build
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS) -LE corpus

# The conformance corpus in ../shared (skipped when absent): figures per level.
corpus: build
	@cd $(BUILD) && ctest --output-on-failure -V -L corpus

# The unit tests again, built with AddressSanitizer and UndefinedBehaviorSanitizer.
test-asan: deps
	@cmake -S . -B $(ASAN_BUILD) $(CMAKE_GEN) $(LAUNCHER) -DQVX_SANITIZE=ON -DQVX_BENCH=OFF >/dev/null
	@cmake --build $(ASAN_BUILD) -j $(JOBS)
	@cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp \
	  ctest --output-on-failure -j $(JOBS) -L unit

# libFuzzer targets (clang, ASan, UBSan) in $(FUZZ_BUILD)/fuzz; see fuzz/README.md.
fuzz:
	@./scripts/install-deps.sh --fuzz
	@cmake -S . -B $(FUZZ_BUILD) $(CMAKE_GEN) $(LAUNCHER) -DCMAKE_C_COMPILER=clang \
	  -DCMAKE_CXX_COMPILER=clang++ -DQVX_FUZZ=ON >/dev/null
	@cmake --build $(FUZZ_BUILD) -j $(JOBS)

bench: build
	@cmake --build $(BUILD) --target bench

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD)
