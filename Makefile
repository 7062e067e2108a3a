# Entry points for people: `make run` and `make test`. The real build is CMake.
BUILD ?= build
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE_FLAGS ?=

.PHONY: all deps test-deps configure build run test clean web web-deps web-build

all: build

deps:
	@sh tools/install-deps.sh

test-deps:
	@sh tools/install-deps.sh --test

configure:
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)

build: deps configure
	cmake --build $(BUILD) -j $(JOBS)

run: build
	./$(BUILD)/vexel $(ARGS)

test: test-deps configure
	cmake --build $(BUILD) -j $(JOBS)
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

clean:
	rm -rf $(BUILD) $(WEB_BUILD)

# The web player and the node runner, built by Debian's emscripten into
# build-web/. The resource file comes from the desktop build's podmake.
WEB_BUILD ?= build-web
# Debian's emscripten runs node scripts that need acorn, which Debian puts
# in its shared node module folder; not every node searches it.
WEB_NODE_PATH ?= /usr/share/nodejs

web-deps:
	@sh tools/install-deps.sh --web

web: web-deps web-build

# The build alone, for tests and for hosts whose packages are in place.
web-build:
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)
	cmake --build $(BUILD) -j $(JOBS) --target data_pod
	NODE_PATH=$(WEB_NODE_PATH) emcmake cmake -S . -B $(WEB_BUILD) -DCMAKE_BUILD_TYPE=Release \
	    -DVEXEL_DATA_POD=$(abspath $(BUILD))/data.pod
	NODE_PATH=$(WEB_NODE_PATH) cmake --build $(WEB_BUILD) -j $(JOBS)
