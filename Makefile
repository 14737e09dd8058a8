# The two front-door commands (see README.md):
#   make run   installs what is needed, builds and starts Dravelin in demo mode
#   make test  installs what is needed, builds and runs every test
# and for packagers:
#   make install  installs the build into PREFIX (with DESTDIR, if set)
#   make deb      builds the Debian package in $(BUILD_DIR)
PRESET ?= default
PREFIX ?= /usr/local
BUILD_DIR ?= build
DEMO_DIR ?= $(BUILD_DIR)/demo

FUZZ_SECONDS ?= 60
FUZZ_RUNS ?=
FUZZ_MAX_LEN ?=

.PHONY: all run test coverage fuzz deps configure build clean install deb

all: build

deps:
	scripts/install-deps

configure: deps
	cmake --preset $(PRESET)

build: configure
	cmake --build --preset $(PRESET)

test: build
	ctest --preset $(PRESET) --output-on-failure --timeout 600 -j 2

# Line and branch coverage of src/ and gateway/ over the whole suite (gcovr).
coverage: deps
	cmake --preset coverage
	cmake --build --preset coverage
	find build-coverage -name '*.gcda' -delete
	ctest --preset coverage --timeout 900 -j 2
	gcovr --root . --filter 'src/' --filter 'gateway/' --exclude-unreachable-branches \
	      --exclude-throw-branches --print-summary --txt build-coverage/coverage.txt build-coverage

install: build
	cmake --install $(BUILD_DIR) --prefix $(PREFIX)

deb: build
	cd $(BUILD_DIR) && cpack -G DEB

# Every fuzz target in turn for FUZZ_SECONDS seconds (or FUZZ_RUNS inputs).
fuzz: deps
	cmake --preset fuzz
	cmake --build --preset fuzz
	FUZZ_SECONDS=$(FUZZ_SECONDS) FUZZ_RUNS=$(FUZZ_RUNS) FUZZ_MAX_LEN=$(FUZZ_MAX_LEN) scripts/run-fuzz build-fuzz

run: build
	scripts/run-demo $(BUILD_DIR) $(DEMO_DIR)

clean:
	rm -rf $(BUILD_DIR) build-asan build-tsan build-bench build-coverage build-fuzz
