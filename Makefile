# The two front-door commands (see README.md):
#   make run   installs what is needed, builds and starts Dravelin in demo mode
#   make test  installs what is needed, builds and runs every test
PRESET ?= default
BUILD_DIR ?= build
DEMO_DIR ?= $(BUILD_DIR)/demo

.PHONY: all run test deps configure build clean

all: build

deps:
	scripts/install-deps

configure: deps
	cmake --preset $(PRESET)

build: configure
	cmake --build --preset $(PRESET)

test: build
	ctest --preset $(PRESET) --output-on-failure --timeout 600 -j 2

run: build
	scripts/run-demo $(BUILD_DIR) $(DEMO_DIR)

clean:
	rm -rf $(BUILD_DIR) build-asan build-tsan build-bench
