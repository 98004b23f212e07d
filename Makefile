# The two commands of the README, and the builds around them.
#   make demo   install dependencies, build, mesh the bundled examples
#   make tools  install dependencies, build only mesh-worker and meshctl
#   make test   install dependencies, build, check that includes only point
#               down the layers, run every test, then the whole
#               suite again under ASan+UBSan, and replay the fuzz corpus
#   make fuzz   fuzz every target for FUZZ_SECONDS each (clang's libFuzzer)
#   make soak   one worker through 10,000 mixed requests: memory, descriptors
#   make package  a Debian package of the install (build/meshworker_*.deb)
#   make check-deb  install that package on a debootstrapped clean Debian 12
#               and mesh the examples with it (root, network, minutes)
#   make bench  the worker against Netgen alone, stage shares, throughput and
#               scaling, as one table, then whole building models through
#               meshctl model beside Gmsh, then a synthetic city through
#               meshctl model and Dask (Release build; takes minutes;
#               needs an idle machine to mean anything)
BUILD ?= build
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
BENCH_BUILD ?= build-bench
FUZZ_SECONDS ?= 60
JOBS ?= $(shell nproc)

.PHONY: all deps configure build tools demo test package check-deb test-sanitized fuzz-build test-fuzz-corpus fuzz soak bench clean

all: build

deps:
	scripts/install-deps

configure: deps
	cmake -S . -B $(BUILD) -G Ninja

build: configure
	cmake --build $(BUILD) -j $(JOBS)

# No tests, fuzzers or benchmarks: the two programs a user runs.
tools: configure
	cmake --build $(BUILD) -j $(JOBS) --target mesh-worker meshctl

demo: build
	scripts/demo $(BUILD)

test: build
	scripts/check-layers
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)
	$(MAKE) test-sanitized test-fuzz-corpus

package: build
	cmake --build $(BUILD) --target package

check-deb: package
	scripts/check-deb $(BUILD)

# A sanitizer finding exits with 86, never with one of the worker's codes.
test-sanitized: deps
	cmake -S . -B $(ASAN_BUILD) -G Ninja -DMESH_SANITIZE=ON
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	ctest --test-dir $(ASAN_BUILD) --output-on-failure -j $(JOBS)

fuzz-build: deps
	cmake -S . -B $(FUZZ_BUILD) -G Ninja -DMESH_FUZZ=ON -DCMAKE_CXX_COMPILER=clang++-14
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target fuzzers

# Every committed fuzz input, run once.
test-fuzz-corpus: fuzz-build
	ctest --test-dir $(FUZZ_BUILD) -L fuzz --output-on-failure -j $(JOBS)

fuzz: fuzz-build
	fuzz/run $(FUZZ_BUILD) $(FUZZ_SECONDS)

soak: build
	$(BUILD)/bench/mesh-soak $(BUILD)/worker/mesh-worker

bench: deps
	cmake -S . -B $(BENCH_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release
	cmake --build $(BENCH_BUILD) -j $(JOBS) --target mesh-bench mesh-bench-cases meshctl mesh-worker \
	  meshworker_core mesh-bench-interior-points
	$(BENCH_BUILD)/bench/mesh-bench
	$(BENCH_BUILD)/bench/mesh-bench-interior-points
	$(BENCH_BUILD)/bench/mesh-bench-cases
	bench/model_vs_gmsh.py $(BENCH_BUILD)/cli/meshctl examples/models/DH_01_subs.city.json \
	  examples/models/rotterdam_subset.json bench/models/zurich_subset_lod2.json
	PYTHONPATH=$(BENCH_BUILD)/python bench/dask_model_bench.py $(BENCH_BUILD)/cli/meshctl

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD) $(BENCH_BUILD)
