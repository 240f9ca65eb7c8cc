# Convenience wrapper around CMake. `make run` and `make test` are all a newcomer needs.
BUILD ?= build
SANITIZE_BUILD ?= build-sanitize
JOBS ?= 2

.PHONY: run test deps deps-tests build build-for-run sanitize fuzz fuzz-long bench format clean install package

# The demo starts with its own settings file (the melody's note range, a layout for the demo),
# so that the program's own settings beside it stay untouched.
run: deps build-for-run
	VOCARA_SETTINGS=$(BUILD)/demo.INI ./$(BUILD)/vocara $(BUILD)/demo.wav

test: deps-tests build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j$(JOBS)

# `deps` is what building and running need, `deps-tests` adds the tests' tools and libraries.
deps:
	./scripts/install-deps
deps-tests:
	./scripts/install-deps --tests

# `build` is everything, tests and benchmarks included; `build-for-run` only what a user runs or
# installs: the programs, the demo and the guide. Both use the same folder and set the options
# each time, so `make test` after `make run` builds the tests again and shares the programs.
build:
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release -DVOCARA_TESTS=ON -DVOCARA_BENCH=ON
	cmake --build $(BUILD) -j$(JOBS)

build-for-run:
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release -DVOCARA_TESTS=OFF -DVOCARA_BENCH=OFF
	cmake --build $(BUILD) -j$(JOBS)

# Everything but the Qt adapters, and the tests with AddressSanitizer and UndefinedBehaviorSanitizer.
sanitize: deps-tests
	cmake -S . -B $(SANITIZE_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVOCARA_GUI=OFF -DVOCARA_BENCH=OFF -DVOCARA_SANITIZE=ON
	cmake --build $(SANITIZE_BUILD) -j$(JOBS) --target vocara_tests vocara-cli
	cd $(SANITIZE_BUILD) && ctest --output-on-failure -j$(JOBS)
	$(MAKE) fuzz

# libFuzzer runs of every file reader and of the command-line tool (clang only), under the same
# sanitizers: `fuzz` a short run per target (CI), `fuzz-long` FUZZ_RUNS inputs per target. The
# seed corpora are generated into the build folder; what a run finds stays in corpus-<name>,
# reproducers of crashes in the build folder itself.
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 15
FUZZ_RUNS ?= 10000000
FUZZ_TIMEOUT ?= 10
FUZZ_TARGETS = wav_open sas_open settings_file import midi_read cli render
fuzz: FUZZ_LIMIT = -max_total_time=$(FUZZ_SECONDS)
fuzz-long: FUZZ_LIMIT = -runs=$(FUZZ_RUNS)
fuzz fuzz-long: deps-tests
	CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVOCARA_GUI=OFF -DVOCARA_BENCH=OFF
	cmake --build $(FUZZ_BUILD) -j$(JOBS) --target $(addsuffix _fuzz,$(FUZZ_TARGETS))
	./scripts/make-fuzz-seeds $(FUZZ_BUILD)/seeds
	set -e; for target in $(FUZZ_TARGETS); do \
	  name=$${target%%_*}; \
	  mkdir -p $(FUZZ_BUILD)/corpus-$$name; \
	  ./$(FUZZ_BUILD)/fuzz/$${target}_fuzz $(FUZZ_LIMIT) -timeout=$(FUZZ_TIMEOUT) -print_final_stats=1 \
	    -artifact_prefix=$(abspath $(FUZZ_BUILD))/ $(FUZZ_BUILD)/corpus-$$name $(FUZZ_BUILD)/seeds/$$name; \
	done

# Installs vocara, vocara-cli, the help, the desktop entry, the SAS file type and the manual page.
PREFIX ?= /usr/local
install: deps build-for-run
	cmake --install $(BUILD) --prefix $(PREFIX)

# A Debian package of the same files under /usr, in $(BUILD).
package: deps build-for-run
	cd $(BUILD) && cpack -G DEB

bench: deps-tests build
	./$(BUILD)/bench/vocara_bench

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD) $(SANITIZE_BUILD) $(FUZZ_BUILD)
