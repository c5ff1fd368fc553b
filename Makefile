# Wraps CMake so that a newcomer needs no CMake knowledge.
BUILD      ?= build
JOBS       ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE_ARGS ?=

.PHONY: all build test check demo clean

all: build

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_ARGS)

build: $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

# Every test of the native build.
test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# What CI runs.
check: test

clean:
	rm -rf $(BUILD) build-*
