# zerv: `make run` builds the game and its tag set and starts it, `make test`
# builds every tree and runs every test.
JOBS ?= $(shell nproc)
PACKAGES := cmake g++ make g++-multilib googletest libbenchmark-dev libsdl1.2-dev \
	libgl-dev libglu1-mesa-dev libx11-dev xvfb xauth x11-utils clang-14 libclang-rt-14-dev libpng-dev
SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)
FUZZ_SECONDS ?= 600
FUZZ_TEST_BUDGET ?= 60

.PHONY: all install run build test test-native test-asan test-m32 test-fuzz test-m32-and-fuzz fuzz clean

all: build

install:
	@missing=""; for p in $(PACKAGES); do \
	  dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q '^install ok installed' || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  echo "installing:$$missing"; \
	  $(SUDO) apt-get update && DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y $$missing; \
	fi

build/CMakeCache.txt:
	cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
build-asan/CMakeCache.txt:
	cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DZERV_ASAN=ON
build-m32/CMakeCache.txt:
	cmake -S . -B build-m32 -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZERV_M32=ON
build-fuzz/CMakeCache.txt:
	CC=clang-14 CXX=clang++-14 cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZERV_FUZZ=ON

build: install build/CMakeCache.txt
	cmake --build build -j $(JOBS)

# Only the game and its tag set: the tests and benchmarks are left for `make test`.
run: install build/CMakeCache.txt
	cmake --build build -j $(JOBS) --target zerv default_tags
	cd build && ./zerv

# The native tree runs the process, window and benchmark tests; the unit tests
# run under the sanitizers and on the 32-bit build, which covers them twice.
# Only what those labels run is built here: the unit tests are built and run in
# the two unit trees.
NATIVE_TEST_TARGETS := zerv default_tags zerv_process_tests zerv_window_tests zerv_bench battle_bench zerv_opengl_bench startup_bench \
	key_state_threads

test-native: install build/CMakeCache.txt
	cmake --build build -j $(JOBS) --target $(NATIVE_TEST_TARGETS)
	cd build && ctest -j $(JOBS) --output-on-failure -L 'process|window|bench'

test-asan: install build-asan/CMakeCache.txt
	cmake --build build-asan -j $(JOBS)
	cd build-asan && ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS=suppressions=$(CURDIR)/tests/support/lsan.supp \
	  ctest -j $(JOBS) --output-on-failure -L unit -LE each

# The sanitizer tree runs the tests in a few dozen shards; here the engine tests
# run as one process, so no test may lean on state that another left behind;
# the other unit tests (corpus replays, source checks) follow.
test-m32: install build-m32/CMakeCache.txt
	cmake --build build-m32 -j $(JOBS)
	cd build-m32/tests && ./zerv_unit_tests --gtest_brief=1
	cd build-m32 && ctest -j $(JOBS) --output-on-failure -L standalone

# The short leg: every target shares FUZZ_TEST_BUDGET seconds, JOBS at a time.
# The build also compiles the unit tests with clang (they run in the g++ trees).
test-fuzz: install build-fuzz/CMakeCache.txt
	cmake --build build-fuzz -j $(JOBS)
	fuzz/run_fuzzers.sh build-fuzz $(JOBS) --budget $(FUZZ_TEST_BUDGET)

# The long run: every target for FUZZ_SECONDS, one per core, then the table.
fuzz: install build-fuzz/CMakeCache.txt
	cmake --build build-fuzz -j $(JOBS)
	fuzz/run_fuzzers.sh build-fuzz $(JOBS) --seconds $(FUZZ_SECONDS)

# In the full run the 32-bit tree's one-process pass, which takes a single
# core, starts as soon as its binary is linked and runs while the 32-bit
# corpus replays (all that is left of that tree; a whole build would write the
# tag set again under the running tests) and the clang tree build; the fuzz
# leg follows both.
M32_REPLAY_TARGETS := $(patsubst fuzz/%.cpp,%_replay,$(wildcard fuzz/*_fuzzer.cpp))
test-m32-and-fuzz: install build-m32/CMakeCache.txt build-fuzz/CMakeCache.txt
	cmake --build build-m32 -j $(JOBS) --target zerv_unit_tests
	@{ (cd build-m32/tests && ./zerv_unit_tests --gtest_brief=1) > build-m32/unit_run.log 2>&1 & unit=$$!; \
	  cmake --build build-m32 -j $(JOBS) --target $(M32_REPLAY_TARGETS) && cmake --build build-fuzz -j $(JOBS); built=$$?; \
	  wait $$unit; ran=$$?; \
	  if [ $$ran -ne 0 ]; then cat build-m32/unit_run.log; else tail -n 3 build-m32/unit_run.log; fi; \
	  [ $$ran -eq 0 ] && [ $$built -eq 0 ]; }
	cd build-m32 && ctest -j $(JOBS) --output-on-failure -L standalone
	fuzz/run_fuzzers.sh build-fuzz $(JOBS) --budget $(FUZZ_TEST_BUDGET)

test: test-native test-asan test-m32-and-fuzz
	@# The harness writes the default game's per-tick digest trail into each tree;
	@# the 64-bit and 32-bit builds must agree tick for tick.
	@# A trail missing from either tree fails: a comparison of nothing proves nothing.
	@for f in digest_trail.txt battle_digest_trail.txt demo_orders_trail.txt; do \
	  [ -f build-asan/$$f ] && [ -f build-m32/$$f ] || { echo "$$f is missing from build-asan/ or build-m32/"; exit 1; }; \
	done
	@cmp build-asan/digest_trail.txt build-m32/digest_trail.txt && echo "digest trails agree on both builds"
	@cmp build-asan/battle_digest_trail.txt build-m32/battle_digest_trail.txt \
	  || { echo "the battle digest trails of build-asan/ and build-m32/ differ"; exit 1; }
	@echo "battle digest trails agree on both builds"
	@cmp build-asan/demo_orders_trail.txt build-m32/demo_orders_trail.txt \
	  || { echo "the demo orders trails of build-asan/ and build-m32/ differ"; exit 1; }
	@echo "demo orders trails agree on both builds"
	@# Tests that write a cross-build trail each write their own file under digest_trails/.
	@if [ -d build-asan/digest_trails ] || [ -d build-m32/digest_trails ]; then \
	  diff -r build-asan/digest_trails build-m32/digest_trails \
	    || { echo "the per-test digest trails of build-asan/ and build-m32/ differ"; exit 1; }; \
	  echo "per-test digest trails agree on both builds"; fi
	@# Each unit tree leaves the film of the same game in films/: the commands
	@# must be the same bytes, and each build must replay the other's film to
	@# the trail the other recorded.
	@if [ -f build-asan/films/demo.reco ] && [ -f build-m32/films/demo.reco ]; then \
	  cmp build-asan/films/demo_data_section.bin build-m32/films/demo_data_section.bin \
	    || { echo "the films of build-asan/ and build-m32/ differ"; exit 1; }; \
	  ZERV_FOREIGN_FILMS=$(CURDIR)/build-m32/films ASAN_OPTIONS=detect_leaks=1 \
	    LSAN_OPTIONS=suppressions=$(CURDIR)/tests/support/lsan.supp \
	    build-asan/tests/zerv_unit_tests --gtest_brief=1 --gtest_filter=recording_film.replays_the_other_builds_film \
	    && ZERV_FOREIGN_FILMS=$(CURDIR)/build-asan/films \
	    build-m32/tests/zerv_unit_tests --gtest_brief=1 --gtest_filter=recording_film.replays_the_other_builds_film \
	    || { echo "a film of one build does not replay on the other"; exit 1; }; \
	  echo "films replay identically across builds"; fi
	@# The golden frames' CRCs, rendered in each unit tree.
	@if [ -f build-asan/frame_digests.txt ] && [ -f build-m32/frame_digests.txt ]; then \
	  cmp build-asan/frame_digests.txt build-m32/frame_digests.txt && echo "frame_digests.txt agrees on both builds"; fi
	@# The generated tag set is the same bytes whichever compiler and word size built it.
	@for tree in build-m32 build-fuzz; do \
	  diff -r build-asan/tags $$tree/tags >/dev/null && diff -r build-asan/plugins $$tree/plugins >/dev/null \
	    || { echo "the default tag set of $$tree differs from build-asan/"; exit 1; }; \
	done; echo "default tag sets agree across g++, clang and -m32"

clean:
	rm -rf build build-asan build-m32 build-fuzz
