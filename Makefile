# make build | make test | make demo | make bench
# BUILD names the build folder (default build/); everything, the Wine prefix
# included, lives under it.
BUILD ?= build
B := $(abspath $(BUILD))

.PHONY: all setup build native test demo bench clean

all: build

setup:
	@scripts/setup.sh $(B)

build: setup
	@cmake -S . -B $(B)/win -G Ninja -DCMAKE_BUILD_TYPE=Release \
	  -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/mingw-i686.cmake \
	  -DQX_BIN_DIR=$(B)/bin -DQX_SDK_DIR=$(B)/deps/lzma-sdk >/dev/null
	@cmake --build $(B)/win

native: setup
	@cmake -S tests/native -B $(B)/native -G Ninja -DCMAKE_BUILD_TYPE=Debug >/dev/null
	@cmake --build $(B)/native

test: build native
	@scripts/run_tests.sh $(B)

demo: build
	@scripts/demo.sh $(B)

bench: build
	@scripts/bench.sh $(B)

clean:
	rm -rf $(B)/win $(B)/native $(B)/bin
