# Zelto 2000 Setup: the two commands of the README, and the steps behind them.
#   make run    build, then run the installer under Wine in a prefix of its own
#   make test   build and run every test (unit tests under Wine, end-to-end scenarios)
#   make check  the fast tier for daily work: host tools' tests, unit tests, import and layering checks
#   make bench  measure the installer side by side with two NSIS installers of the same product
#   make sign SIGN_CERT=cert.pem SIGN_KEY=key.pem [SIGN_PASS=...] [SIGN_TIMESTAMP=url]
#               a signed copy of the installer in $(SIGN_OUT) (tools/sign.sh)
#   make winget WINGET_URL=https://...
#               the installer's winget manifest in build/winget (tools/winget)
SHELL := /bin/bash
BUILD := build
HOST := $(BUILD)/host
WIN := $(BUILD)/win
JOBS ?= $(shell nproc)
SOURCE_DATE := $(shell git log -1 --format=%ct 2>/dev/null || echo 977984780)

.PHONY: all deps build host win run test check bench sign winget clean

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

# The fast tier, a few minutes: every host tool test, and of the Windows side the
# unit tests and the checks of the installer's imports, layout and source layering.
CHECK_TESTS := ^(unit_tests|installer_imports|installer_layout|layering)$$
check: build
	ZELTO_TESTS='$(CHECK_TESTS)' ZELTO_ALL_HOST_TESTS=1 bash tests/run-tests.sh

bench: build
	bash tools/bench/run.sh

# A copy, under the installer's own name: build/Zelto2000Setup.exe stays the
# unsigned, reproducible build. The SIGN_ variables reach the script through the
# environment (make exports those given on its command line), so a password
# is never echoed with the command.
SIGN_OUT ?= $(BUILD)/signed/Zelto2000Setup.exe
sign: build
	PECHECKSUM=$(HOST)/pechecksum bash tools/sign.sh $(BUILD)/Zelto2000Setup.exe $(SIGN_OUT)

# WINGET_URL: where the built installer will be downloaded from (https only).
winget: build
	bash tools/winget/write.sh $(HOST)/zeltowinget $(BUILD)/Zelto2000Setup.exe '$(WINGET_URL)' $(BUILD)/winget

clean:
	rm -rf $(BUILD)
