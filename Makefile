# The two commands of the README, and the builds around them.
#   make demo   install dependencies, build, mesh the bundled examples
#   make test   install dependencies, build, run every test
BUILD ?= build
JOBS ?= $(shell nproc)

.PHONY: all deps configure build demo test clean

all: build

deps:
	scripts/install-deps

configure: deps
	cmake -S . -B $(BUILD) -G Ninja

build: configure
	cmake --build $(BUILD) -j $(JOBS)

demo: build
	scripts/demo $(BUILD)

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

clean:
	rm -rf $(BUILD)
