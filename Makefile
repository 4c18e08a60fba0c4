# Entry points for a fresh Debian machine: `make run` and `make test` install what they need.
SHELL := /bin/bash
.SHELLFLAGS := -euo pipefail -c
JOBS ?= $(shell nproc)
BUILD := build
FUZZ_SECONDS ?= 180

.PHONY: all run test deps native asan mingw test-native test-asan test-wine tables hostile bench fuzz fuzz-short lint format gui dist clean

all: native

deps:
	@scripts/deps.sh all

# Each target runs the presets of CMakePresets.json (workflow presets where configure, build and
# test or package go together); the parallel jobs come in through the environment.
PRESET_ENV := CMAKE_BUILD_PARALLEL_LEVEL=$(JOBS) CTEST_PARALLEL_LEVEL=$(JOBS)

native:
	@scripts/deps.sh native
	@cmake --preset native >/dev/null
	@$(PRESET_ENV) cmake --build --preset native

asan:
	@scripts/deps.sh native
	@cmake --preset asan >/dev/null
	@$(PRESET_ENV) cmake --build --preset asan

mingw:
	@scripts/deps.sh native windows
	@cmake --preset mingw >/dev/null
	@$(PRESET_ENV) cmake --build --preset mingw

# The main job on the bundled sample data.
run: native
	@scripts/run-sample.sh $(BUILD)/native/src/kbnset-cli $(BUILD)/sample

test-native:
	@scripts/deps.sh native
	@echo "== native tests"
	@$(PRESET_ENV) cmake --workflow --preset native

test-asan:
	@scripts/deps.sh native
	@echo "== sanitizer tests (ASan + UBSan)"
	@$(PRESET_ENV) cmake --workflow --preset asan

# One Wine server for the whole run (scripts/wine-session); the test preset runs two cases at a
# time, and the cases that write the suite's registry entries hold a ctest resource lock
# (tests/CMakeLists.txt).
test-wine:
	@scripts/deps.sh native windows
	@echo "== Windows tests under Wine"
	@scripts/wine-prefix
	@$(PRESET_ENV) scripts/wine-env xvfb-run -a -s '-screen 0 1280x1024x24' \
	  scripts/wine-session cmake --workflow --preset mingw

# Rewrites tests/data/cp932-table.tsv from what Windows (here Wine) makes of code page 932.
tables: mingw
	@scripts/wine-prefix
	@scripts/wine-run $(BUILD)/mingw/tools/dump_cp932.exe "Z:$(CURDIR)/tests/data/cp932-table.tsv"
	@echo "tests/data/cp932-table.tsv: $$(grep -vc '^#' tests/data/cp932-table.tsv) characters"

test: test-native test-asan test-wine
	@echo "== the package for schools"
	@$(MAKE) --no-print-directory dist
	@echo "== static analysis"
	@$(MAKE) --no-print-directory lint
	@echo "== short fuzz runs"
	@$(MAKE) --no-print-directory fuzz-short
	@echo "== all test suites passed"

# BASELINE=<kbnset-cli or git revision> adds that program to the whole-process figures.
bench:
	@scripts/deps.sh native bench
	@cmake --preset bench >/dev/null
	@$(PRESET_ENV) cmake --build --preset bench
	@$(BUILD)/bench/bench/kbnset_bench
	@bench/whole_run.sh $(BUILD)/bench $(BASELINE)

# Every fuzz target for FUZZ_SECONDS, starting from its corpus in fuzz/corpus/.
fuzz:
	@scripts/deps.sh native fuzz
	@JOBS=$(JOBS) scripts/fuzz.sh $(FUZZ_SECONDS)

fuzz-short:
	@scripts/deps.sh native fuzz
	@JOBS=$(JOBS) scripts/fuzz.sh 30

# clang-format, clang-tidy and cppcheck; fails on any finding.
lint:
	@scripts/deps.sh native windows lint fuzz
	@JOBS=$(JOBS) scripts/lint.sh

# Peak memory of kbnset-cli on hostile files (100 MB without a separator, a million records...).
hostile: native
	@scripts/hostile-memory.sh $(BUILD)/native/src/kbnset-cli $(BUILD)/hostile

format:
	@git ls-files '*.cpp' '*.hpp' | xargs clang-format -i

# The zip for schools, made by CPack (CMakeLists.txt) in build/dist/.
dist:
	@scripts/deps.sh native windows
	@$(PRESET_ENV) cmake --workflow --preset dist
	@scripts/check-dist.sh $(BUILD)/dist/kbnset-*-win64.zip

gui: mingw
	@scripts/gui.sh $(BUILD)/mingw/src/kbnset.exe $(BUILD)/gui-sample

clean:
	rm -rf $(BUILD)
