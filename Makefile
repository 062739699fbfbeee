# Zelto 2000 Setup: the two commands of the README, and the steps behind them.
#   make run    build, then run the installer under Wine in a prefix of its own
#   make test   build and run every test (unit tests under Wine, end-to-end scenarios)
#   make bench  measure the installer side by side with an NSIS installer of the same product
SHELL := /bin/bash
BUILD := build
HOST := $(BUILD)/host
WIN := $(BUILD)/win
JOBS ?= $(shell nproc)
SOURCE_DATE := $(shell git log -1 --format=%ct 2>/dev/null || echo 977984780)

.PHONY: all deps build host win run test bench clean

all: build

deps:
	@bash tools/install-deps.sh

host: deps
	cmake -S tools -B $(HOST) -DCMAKE_BUILD_TYPE=Release >/dev/null
	cmake --build $(HOST) -j$(JOBS)

win: host
	cmake -S . -B $(WIN) -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/mingw-i686.cmake \
	  -DCMAKE_BUILD_TYPE=MinSizeRel -DHOST_TOOLS_DIR=$(CURDIR)/$(HOST) \
	  -DZELTO_SOURCE_DATE=$(SOURCE_DATE) >/dev/null
	cmake --build $(WIN) -j$(JOBS)

build: win
	cp $(WIN)/src/Zelto2000Setup.exe $(BUILD)/Zelto2000Setup.exe
	@ls -l $(BUILD)/Zelto2000Setup.exe

run: build
	bash tools/run-installer.sh $(BUILD)/Zelto2000Setup.exe

test: build
	bash tests/run-tests.sh

bench: build
	bash tools/bench/run.sh

clean:
	rm -rf $(BUILD)
