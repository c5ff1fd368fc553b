# Wraps CMake so that a newcomer needs no CMake knowledge.
BUILD      ?= build
JOBS       ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE_ARGS ?=

.PHONY: all build test check demo clean

all: build

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_ARGS)

build: $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

# Every test of the native build.
test: build
	cd $(BUILD) && ctest --output-on-failure --no-tests=error -j $(JOBS)

# What CI runs: the native suite, the man pages' lint, the same suite under
# the sanitizers, a bounded fuzzing run, the Windows build under Wine, a
# short benchmark, and the packages installed and tried.
check: test
	$(MAKE) lint-man
	$(MAKE) test-sanitize
	$(MAKE) fuzz-smoke
	$(MAKE) test-windows
	$(MAKE) bench BENCH_ARGS=--quick
	$(MAKE) check-package

# A demo tape played to the simulated device at eight times tape speed:
# what is on the tape first, then tavrel play as a person sees it.
DEMO_SPEED ?= 8
demo: $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS) --target tavrel-play tavrel-sim tavrel
	$(BUILD)/tools/tavrel/tavrel make --demo -o $(BUILD)/demo.tap
	@echo "--- what is on the demo tape ($(BUILD)/demo.tap) ---"
	$(BUILD)/tools/tavrel/tavrel info $(BUILD)/demo.tap
	@echo "--- playing it to the simulated device ---"
	$(BUILD)/tools/sim/tavrel-sim --pace tape --speed $(DEMO_SPEED) --expect $(BUILD)/demo.tap \
	  --run -- $(BUILD)/tools/tavrel/tavrel play --port {port} $(BUILD)/demo.tap

clean:
	rm -rf $(BUILD) build-*

# ---- Reliability: sanitizers and fuzzing --------------------------------
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
FUZZ_CXX   ?= clang++
# Seconds per target for the smoke run and for the long run.
FUZZ_SMOKE_SECONDS ?= 15
FUZZ_SECONDS       ?= 600
FUZZ_TARGETS = fuzz_index_number fuzz_index_listing fuzz_tape_meter fuzz_playback fuzz_tap_scan

.PHONY: test-sanitize fuzz-build fuzz-smoke fuzz

# The whole native suite, end-to-end tests included, built with
# AddressSanitizer and UndefinedBehaviorSanitizer.
# Configured on every run (cheap), so that an interrupted configure never
# leaves a build directory that cannot build.
test-sanitize:
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DTAVREL_SANITIZE=ON $(CMAKE_ARGS)
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --output-on-failure -j $(JOBS)

fuzz-build:
	cmake -S . -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_CXX_COMPILER=$(FUZZ_CXX) -DTAVREL_FUZZ=ON -DTAVREL_BUILD_TESTS=OFF $(CMAKE_ARGS)
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target $(FUZZ_TARGETS)

# Each target for a bounded time on a scratch copy of its committed corpus,
# so that the run never changes what is checked in.
define run_fuzz_target
	rm -rf $(FUZZ_BUILD)/corpus/$(1) && mkdir -p $(FUZZ_BUILD)/corpus/$(1) $(FUZZ_BUILD)/artifacts/
	cp tests/fuzz/corpus/$(1)/* $(FUZZ_BUILD)/corpus/$(1)/
	cd $(FUZZ_BUILD) && ./tests/fuzz/$(1) -max_total_time=$(2) -timeout=10 -rss_limit_mb=1024 -close_fd_mask=3 \
	  -print_final_stats=1 -artifact_prefix=artifacts/$(1)- corpus/$(1)

endef

fuzz-smoke: fuzz-build
	$(foreach t,$(FUZZ_TARGETS),$(call run_fuzz_target,$(t),$(FUZZ_SMOKE_SECONDS)))

# The longer run: FUZZ_SECONDS per target (default ten minutes). New inputs
# stay in $(FUZZ_BUILD)/corpus; crashes land in $(FUZZ_BUILD)/artifacts.
fuzz: fuzz-build
	$(foreach t,$(FUZZ_TARGETS),$(call run_fuzz_target,$(t),$(FUZZ_SECONDS)))

# ---- Performance: throughput, CPU, heap and system calls ----------------
BENCH_BUILD ?= build-bench
# e.g. BENCH_ARGS=--quick for a short smoke run, or --mib 8 --rounds 9.
BENCH_ARGS  ?=
# The tape scan's own: --mib N (default 20), --rounds N (default 5).
SCAN_BENCH_ARGS ?=

.PHONY: bench

# The player and `tavrel play` against a bare responder on a
# pseudo-terminal, alternating rounds, and `tavrel play`'s redraws on a
# terminal; then one playback under the allocation counter (fails the target
# if the player allocates) and, where strace or perf is installed, the
# system calls per request; then the scan rate of `tavrel index` on a
# 20 MiB tape. Prints times; asserts none.
bench:
	cmake -S . -B $(BENCH_BUILD) -DCMAKE_BUILD_TYPE=Release -DTAVREL_BUILD_TESTS=OFF $(CMAKE_ARGS)
	cmake --build $(BENCH_BUILD) -j $(JOBS) --target tavrel-play tavrel tavrel-bench bare-responder alloc_counter
	cd $(BENCH_BUILD) && ./bench/tavrel-bench --player ./tavrel-play --bare ./bench/bare-responder \
	  --toolbox ./tools/tavrel/tavrel --alloc-counter ./bench/alloc_counter.so \
	  $$(command -v strace >/dev/null && echo --strace "$$(command -v strace)") \
	  $$(command -v perf >/dev/null && echo --perf "$$(command -v perf)") $(BENCH_ARGS)
	cmake --build $(BENCH_BUILD) -j $(JOBS) --target tap-scan-bench
	$(BENCH_BUILD)/bench/tap-scan-bench $(SCAN_BENCH_ARGS)

# ---- Windows: cross build with MinGW-w64, tests under Wine --------------
WIN_BUILD ?= build-win

.PHONY: windows test-windows

$(WIN_BUILD)/CMakeCache.txt:
	cmake -S . -B $(WIN_BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
	  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAVREL_BUILD_TESTS=OFF

# $(WIN_BUILD)/tavrel-play.exe and tools/tavrel/tavrel.exe, statically linked:
# they need only system DLLs.
windows: $(WIN_BUILD)/CMakeCache.txt
	cmake --build $(WIN_BUILD) -j $(JOBS)

# The native end-to-end suite and the Windows port checks, run against the
# .exe under Wine in a prefix of its own ($(WIN_BUILD)/wineprefix).
test-windows: build windows
	tests/windows/run_wine_tests.sh $(BUILD) $(WIN_BUILD)

# ---- Install and packages -------------------------------------------------
# make install [PREFIX=/usr/local] [DESTDIR=/tmp/stage]; the packages take
# their version from the project's in CMakeLists.txt.
PREFIX ?= /usr/local

.PHONY: install package package-windows lint-man check-package

install: build
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD) --prefix "$(PREFIX)"

# The Debian package (its dependencies found by dpkg-shlibdeps) and a
# .tar.gz, both in $(BUILD).
package: build
	cd $(BUILD) && cpack

# A .zip in $(WIN_BUILD): the static .exe files, the README and the docs as
# CRLF text.
package-windows: windows
	cd $(WIN_BUILD) && cpack
	unzip -l $(WIN_BUILD)/tavrel-*-windows-x64.zip

# Every man page, through Debian's man page linter.
lint-man:
	mandoc -T lint -W warning docs/*.1

# The packages' file lists; as root, the .deb installed, its programs and
# man pages tried, and removed again; the zip's .exe files under Wine.
check-package: package package-windows
	tests/install/check_package.sh $(BUILD) $(WIN_BUILD)
