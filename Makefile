# Quick start on a fresh Debian machine:
#   make run    install dependencies, build, start the main program
#   make test   install dependencies, build, run every test
#   make install PREFIX=/usr/local   install the programs, libraries and extensions
BUILD ?= build
BUILD_TYPE ?= RelWithDebInfo
CMAKE_ARGS ?=
JOBS ?= $(shell nproc)
PREFIX ?= /usr/local

.PHONY: all deps configure build run test bench install clean

all: build

deps:
	bash scripts/install-deps.sh

configure: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) $(CMAKE_ARGS)

build: configure
	cmake --build $(BUILD) -j$(JOBS)

run: build
	@if [ -z "$$DISPLAY" ] && [ -z "$$WAYLAND_DISPLAY" ]; then \
	  echo "No display found: use 'xvfb-run make run', or run it from a desktop session."; exit 1; fi
	bash scripts/run.sh $(BUILD)

test: build
	cd $(BUILD) && ctest --output-on-failure -j$(JOBS)

bench: build
	$(BUILD)/bench/kb_bench
	$(BUILD)/bench/book_bench
	$(BUILD)/bench/tree_bench
	$(BUILD)/bench/capture_bench
	$(BUILD)/bench/startup_bench
	cmake --build $(BUILD) --target browser_capture_bench
	bash bench/fidelity/run.sh $(BUILD)/cli/velkin

install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

clean:
	rm -rf $(BUILD)
