# Orvenna 2000: build, play and test under Wine on Debian/Ubuntu.
#   make play        install what is missing, build, and start the game
#   make hint        the companion window beside the game that `make play` started (K=1-4 overrides its free cells)
#   make test        install what is missing, build both targets, run all tests headless
#   make dist        the Windows folder dist/: the i686 orv2000.exe, the companion orv2000-hint.exe and the side files
#   make soak        a million random events through the window procedure
#   make screenshot  a PNG of the game's window (OUT=path.png, default docs/screenshot.png)
#   make bench       the game against the platform's floor: start-up, clicks, memory, size
#   make solvability  the win rate of seeds 1 to 10,000 with 1 to 4 free cells (docs/SOLVABILITY.md)
#   make crosscheck   the solver's pruning against a plain search on 1,200 deals
#   make solver-bench  one thread's time per deal, before the speed work and now (hours; SOLVER_BENCH_ARGS)
#   make companion-bench  the companion's answers after each click on 1,000 deals played (docs/companion-bench.md)
#   make release      release/: the Windows installer and zip, the Debian package, SHA256SUMS

SHELL := /bin/bash
MAKEFLAGS += --no-print-directory
BUILD := build
JOBS ?= 2
OUT ?= docs/screenshot.png

.PHONY: all deps build build-i686 build-x86_64 dist play hint test soak screenshot clean

all: dist

deps:
	@tools/install-deps.sh

# Configures a build folder once, then builds it.
define cross_build
	@[ -f $(BUILD)/$(1)/CMakeCache.txt ] || cmake -S . -B $(BUILD)/$(1) \
	    -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-$(1).cmake -DCMAKE_BUILD_TYPE=Release
	cmake --build $(BUILD)/$(1) -j $(JOBS)
endef

build-i686: deps
	$(call cross_build,i686)

build-x86_64: deps
	$(call cross_build,x86_64)

build: build-i686 build-x86_64

# A folder made anew with a build's game and companion and the side files.
define game_folder
	rm -rf $(2) && mkdir -p $(2)
	cp $(BUILD)/$(1)/orv2000.exe $(BUILD)/$(1)/orv2000-hint.exe $(2)/
	for f in data/Orv2000.mid data/orv2000.htm; do [ ! -f $$f ] || cp $$f $(2)/; done
endef

dist: build-i686
	$(call game_folder,i686,dist)

# The game through the launcher the Debian package installs, in the prefix
# build/wine-desktop: the one way it starts under Wine. It runs the build this
# machine runs natively, from build/play: on a 64-bit system the x86_64 one,
# as the package does (32-bit code may be emulated there, a minute a start).
PLAY_ARCH := $(if $(filter x86_64,$(shell uname -m)),x86_64,i686)
LAUNCH := ORVENNA2000_DATA=$(CURDIR)/$(BUILD)/play ORVENNA2000_PREFIX=$(CURDIR)/$(BUILD)/wine-desktop packaging/orvenna2000

play: build-$(PLAY_ARCH)
	$(call game_folder,$(PLAY_ARCH),$(BUILD)/play)
	$(LAUNCH)

# The companion, from another terminal while `make play` runs: the same Wine
# prefix, so it finds the game's window. build/play is left as it is, since
# the game runs from there.
hint:
	@[ -f $(BUILD)/play/orv2000-hint.exe ] || { echo "make hint: no $(BUILD)/play/orv2000-hint.exe; start the game with make play first." >&2; exit 1; }
	$(LAUNCH) --consigli $(K)

# The tests share one X screen, so they run one at a time: screen pixels and
# window titles read by one test must not come from another's window.
test: build
	tools/headless.sh bash -c 'ctest --test-dir $(BUILD)/i686 --output-on-failure; i=$$?; \
	    ctest --test-dir $(BUILD)/x86_64 --output-on-failure; x=$$?; \
	    [ $$i -eq 0 ] || echo "i686 tests FAILED"; exit $$(( x || i ))'

# The long random run: a million events through the window procedure, with
# the table checked after each one.
soak: build-x86_64
	tools/headless.sh bash -c 'cd $(BUILD)/x86_64 && ORVENNA_RANDOM_EVENTS=1000000 \
	    ../../cmake/wine-run orv_tests.exe --gtest_filter=RandomPlay.*'

screenshot: dist
	@mkdir -p $(dir $(OUT))
	tools/headless.sh tools/screenshot.sh dist/orv2000.exe $(OUT)

clean:
	rm -rf $(BUILD) dist release

# What players install (tools/release.py): for Windows the 32-bit exes of
# dist/, for Debian the x86_64 ones; the same bytes on every run of one
# commit. The version is the one in VERSION.
.PHONY: release
release: dist build-x86_64
	/usr/bin/python3 -B tools/release.py --bin dist --deb-bin $(BUILD)/x86_64 --out release

# Generated files: `make assets` runs the generators in tools/ and rebuilds,
# byte for byte, the card pictures, icons and move sound (resources/), the
# background music (data/Orv2000.mid) and docs/contact-sheet.png;
# `make contact-sheet` redraws only the contact sheet from the stored cards.
.PHONY: assets contact-sheet
assets:
	/usr/bin/python3 -B tools/make_resources.py
	/usr/bin/python3 -B tools/make_music.py

contact-sheet:
	/usr/bin/python3 -B tools/make_resources.py --contact-sheet

# The README's pictures docs/game-in-progress.png, docs/about.png and
# docs/hint.png (the companion beside the game), taken headless from the real
# x86_64 exes by the end-to-end driver (tests/e2e).
.PHONY: e2e-screenshots
e2e-screenshots: build-x86_64
	tools/headless.sh /usr/bin/python3 -B tests/e2e/e2e_test.py screenshots $(BUILD)/x86_64/orv2000.exe docs \
	    --texts $(BUILD)/x86_64/test-e2e/window_texts.exe --hint $(BUILD)/x86_64/orv2000-hint.exe \
	    --solve $(BUILD)/x86_64/orv2000-solve.exe

# How long after each click the companion's answers are in: seeds 1 to 1000
# with one free cell played to their end by a fixed simple player
# (bench/teacher_bench.cpp), the x86_64 build; COMPANION_BENCH_ARGS="1 100"
# for a part. One run at a time: the searches take every processor, as in
# the companion. A whole run takes hours: each deal's clicks go into
# build/companion-bench-times.txt as it ends, and a stopped run goes on from
# there (the file goes once the table is written). Its own Wine prefix. The
# table goes into docs/companion-bench.md.
COMPANION_BENCH_ARGS ?= 1 1000
.PHONY: companion-bench
companion-bench: build-x86_64
	WINEPREFIX=$(CURDIR)/$(BUILD)/companion-bench-prefix tools/headless.sh \
	    cmake/wine-run $(BUILD)/x86_64/teacher_bench.exe $(COMPANION_BENCH_ARGS) \
	    --times $(BUILD)/companion-bench-times.txt > $(BUILD)/companion-bench.md
	[ -s $(BUILD)/companion-bench.md ] && mv $(BUILD)/companion-bench.md docs/companion-bench.md
	rm -f $(BUILD)/companion-bench-times.txt
	cat docs/companion-bench.md

# The benchmark: start-up, clicks, new game, memory and exe size of the game
# against the platform's floor (bench/), i686 and x86_64 side by side in one
# headless session, results into docs/BENCHMARKS.md. Its own build folders
# and Wine prefix, so it runs beside the tests. i686 starts are emulated
# here (about a minute each), so i686 makes fewer runs (BENCH_ARGS).
BENCH_ARGS ?= --runs x86_64=20 --runs i686=3 --warmups i686=0 --clicks x86_64=3000 --clicks i686=300 \
    --bench-games i686=40 --references x86_64
.PHONY: bench
bench: deps
	$(call bench_build,i686)
	$(call bench_build,x86_64)
	WINEPREFIX=$(CURDIR)/$(BUILD)/bench-prefix tools/headless.sh /usr/bin/python3 -B bench/run_bench.py \
	    --build i686=$(BUILD)/bench-i686 --build x86_64=$(BUILD)/bench-x86_64 $(BENCH_ARGS)

define bench_build
	@[ -f $(BUILD)/bench-$(1)/CMakeCache.txt ] || cmake -S . -B $(BUILD)/bench-$(1) \
	    -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-$(1).cmake -DCMAKE_BUILD_TYPE=Release \
	    -DORVENNA_BENCH=ON -DORVENNA_TESTS=OFF
	cmake --build $(BUILD)/bench-$(1) -j $(JOBS)
endef

# The win rate: every deal of seeds 1 to 10,000 decided by the solver for 1,
# 2, 3 and 4 free cells, every answer into docs/solvability.tsv, the table
# into docs/SOLVABILITY.md and the README. Its own Wine prefix, so it runs
# beside the tests. crosscheck: the pruned search against a plain one.
SOLVE_ARGS ?= --first 1 --last 10000
.PHONY: solvability crosscheck
solvability: build-x86_64
	WINEPREFIX=$(CURDIR)/$(BUILD)/solve-prefix tools/headless.sh /usr/bin/python3 -B tools/solvability.py \
	    --exe $(BUILD)/x86_64/orv2000-solve.exe --jobs $(JOBS) $(SOLVE_ARGS)
crosscheck: build-x86_64
	WINEPREFIX=$(CURDIR)/$(BUILD)/solve-prefix tools/headless.sh /usr/bin/python3 -B tools/solvability.py \
	    --exe $(BUILD)/x86_64/orv2000-solve.exe --jobs $(JOBS) --crosscheck

# The solver's speed as the player waits for it (tools/solver_bench.py): the
# deals of the win-rate table decided again on one thread by the solver of
# SOLVER_BENCH_BEFORE and by the working tree's, one process at a time, into
# docs/SOLVABILITY.md and docs/solver-bench.png. A full run takes hours;
# SOLVER_BENCH_ARGS="--first 1 --last 100" benches a subset, "--limit 60"
# stops a deal after a minute. Own build folders and Wine prefix; answers on
# file in build/solver-bench/, so an interrupted run goes on where it stopped.
#
# The solver before the speed work, benched against the working tree's.
SOLVER_BENCH_BEFORE := 14e4662
SOLVER_BENCH_ARGS ?=
.PHONY: solver-bench
solver-bench:
	@tools/install-deps.sh bench
	@[ -f $(BUILD)/solver-bench-before-src/.commit-$(SOLVER_BENCH_BEFORE) ] || { set -o pipefail; \
	    rm -rf $(BUILD)/solver-bench-before-src $(BUILD)/solver-bench-before && \
	    mkdir -p $(BUILD)/solver-bench-before-src && \
	    git archive $(SOLVER_BENCH_BEFORE) | tar -x -C $(BUILD)/solver-bench-before-src && \
	    touch $(BUILD)/solver-bench-before-src/.commit-$(SOLVER_BENCH_BEFORE); }
	$(call solver_bench_build,$(BUILD)/solver-bench-before-src,$(BUILD)/solver-bench-before)
	$(call solver_bench_build,.,$(BUILD)/solver-bench-new)
	WINEPREFIX=$(CURDIR)/$(BUILD)/solver-bench-prefix tools/headless.sh /usr/bin/python3 -B tools/solver_bench.py \
	    --before $(BUILD)/solver-bench-before/orv2000-solve.exe --before-name $(SOLVER_BENCH_BEFORE) \
	    --after $(BUILD)/solver-bench-new/orv2000-solve.exe $(SOLVER_BENCH_ARGS)

# Only the solver, with one compiler at a time: the bench's builds share the
# machine with other work.
define solver_bench_build
	@[ -f $(2)/CMakeCache.txt ] || cmake -S $(1) -B $(2) -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/$(1)/cmake/mingw-x86_64.cmake \
	    -DCMAKE_BUILD_TYPE=Release -DORVENNA_TESTS=OFF
	cmake --build $(2) --target orv2000-solve -j 1
endef
