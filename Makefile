# Two commands for a fresh machine: `make demo` and `make check`.
# Knobs for CI and developers: BUILD (build folder), WERROR=ON, SANITIZE=address,undefined|thread,
# LABEL (run only the tests with this CTest label), SOAK_SECONDS (length of `make soak`),
# RELEASE (the optimised build that `make demo` runs and `make package` packs),
# FUZZ_RUNS (inputs each fuzz target tries in `make fuzz`).

BUILD    ?= build
WERROR   ?= OFF
SANITIZE ?=
LABEL    ?=
JOBS     ?= $(shell nproc)
SOAK_SECONDS ?= 600
RELEASE  ?= build-release
FUZZ_BUILD ?= build-fuzz
FUZZ_RUNS ?= 20000

export ASAN_OPTIONS  ?= detect_leaks=1:strict_string_checks=1
export LSAN_OPTIONS  ?= suppressions=$(CURDIR)/tools/sanitizers/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS ?= print_stacktrace=1:halt_on_error=1
export TSAN_OPTIONS  ?= suppressions=$(CURDIR)/tools/sanitizers/tsan.supp:halt_on_error=1:second_deadlock_stack=1

.PHONY: deps test-deps build check soak demo release package fuzz

# What building, running and packing the program need; test-deps adds what the tests use.
deps:
	@tools/install-deps.sh

test-deps:
	@tools/install-deps.sh --tests

build: test-deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug \
	      -DTALVIR_WERROR=$(WERROR) -DTALVIR_SANITIZE=$(SANITIZE)
	cmake --build $(BUILD) -j $(JOBS)

check: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS) $(if $(LABEL),-L $(LABEL))

# The soak tests at length, one after the other; `make check` runs them for a minute each.
soak: build
	QT_QPA_PLATFORM=offscreen $(BUILD)/tests/recorder/recorder_soak_test --seconds $(SOAK_SECONDS)

# The program as a user runs it: optimised, without the tests.
release: deps
	cmake -S . -B $(RELEASE) -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
	      -DTALVIR_WERROR=$(WERROR)
	cmake --build $(RELEASE) -j $(JOBS)

# Without a display the demo takes a screenshot on a virtual X screen, which needs its tools.
demo: release
	@$(if $(DISPLAY)$(WAYLAND_DISPLAY),,tools/install-deps.sh --screenshot)
	tools/demo.sh $(RELEASE)

# A Debian package of the release build: $(RELEASE)/talvir_<version>_<arch>.deb.
package: release
	cd $(RELEASE) && cpack -G DEB

# Each fuzz target NAME_fuzzer for FUZZ_RUNS inputs from the seeds in fuzz/corpus/NAME/; a crash,
# an input that takes over 1 s or a sanitizer report fails. New inputs go to FUZZ_BUILD/found/,
# and so does the input that failed.
fuzz: test-deps
	cmake -S fuzz -B $(FUZZ_BUILD) -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=Debug
	cmake --build $(FUZZ_BUILD) -j $(JOBS)
	set -e; for seeds in fuzz/corpus/*/; do \
	    name=$$(basename $$seeds); mkdir -p $(FUZZ_BUILD)/found/$$name; \
	    $(FUZZ_BUILD)/$${name}_fuzzer -runs=$(FUZZ_RUNS) -timeout=1 \
	        -artifact_prefix=$(FUZZ_BUILD)/found/$$name- \
	        $(FUZZ_BUILD)/found/$$name $$seeds; \
	done
