# Convenience wrapper around CMake. `make run` and `make test` are all a newcomer needs.
BUILD ?= build
SANITIZE_BUILD ?= build-sanitize
JOBS ?= 2

.PHONY: run test deps build sanitize fuzz bench format clean

run: deps build
	./$(BUILD)/vocara

test: deps build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j$(JOBS)

deps:
	./scripts/install-deps

build:
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release
	cmake --build $(BUILD) -j$(JOBS)

# Everything but the Qt adapters, and the tests with AddressSanitizer and UndefinedBehaviorSanitizer.
sanitize: deps
	cmake -S . -B $(SANITIZE_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVOCARA_GUI=OFF -DVOCARA_BENCH=OFF -DVOCARA_SANITIZE=ON
	cmake --build $(SANITIZE_BUILD) -j$(JOBS) --target vocara_tests vocara-cli
	cd $(SANITIZE_BUILD) && ctest --output-on-failure -j$(JOBS)
	$(MAKE) fuzz

# A short libFuzzer run of every file opener (clang only), under the same sanitizers.
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 15
fuzz: deps
	CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVOCARA_GUI=OFF -DVOCARA_BENCH=OFF
	cmake --build $(FUZZ_BUILD) -j$(JOBS) --target wav_open_fuzz sas_open_fuzz
	mkdir -p $(FUZZ_BUILD)/corpus-wav $(FUZZ_BUILD)/corpus-sas
	./$(FUZZ_BUILD)/fuzz/wav_open_fuzz -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 $(FUZZ_BUILD)/corpus-wav
	./$(FUZZ_BUILD)/fuzz/sas_open_fuzz -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 $(FUZZ_BUILD)/corpus-sas

bench: deps build
	./$(BUILD)/bench/vocara_bench

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD) $(SANITIZE_BUILD) $(FUZZ_BUILD)
