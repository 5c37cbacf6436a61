# make build | make test | make fuzz [FUZZ_TIME=seconds] | make demo | make pictures | make bench
# make sign SIGN_CERT=cert SIGN_KEY=key [SIGN_PASS_FILE=file] [SIGN_TIMESTAMP=url]
# BUILD names the build folder (default build/); everything, the Wine prefix
# included, lives under it.
BUILD ?= build
B := $(abspath $(BUILD))

.PHONY: all setup build native fuzz-targets fuzz test demo pictures bench sign clean

FUZZ_TIME ?= 60

all: build

setup:
	@scripts/setup.sh $(B)

# The shipped 32-bit programs under $(B), and their 64-bit twin under
# $(B)/x64, a tree that mirrors $(B): one source, two toolchains.
build: setup
	@$(call windows_build,$(B),mingw-i686)
	@$(call windows_build,$(B)/x64,mingw-x86_64)

define windows_build
cmake -S . -B $(1)/win -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/$(2).cmake \
  -DQX_BIN_DIR=$(1)/bin -DQX_SDK_DIR=$(B)/deps/lzma-sdk >/dev/null && cmake --build $(1)/win
endef

native: setup fuzz-targets
	@cmake -S tests/native -B $(B)/native -G Ninja -DCMAKE_BUILD_TYPE=Debug >/dev/null
	@cmake --build $(B)/native

# The libFuzzer targets need clang.
fuzz-targets: setup
	@CXX=clang++ cmake -S tests/fuzz -B $(B)/fuzz -G Ninja >/dev/null
	@cmake --build $(B)/fuzz

fuzz: fuzz-targets
	@FUZZ_TIME=$(FUZZ_TIME) scripts/fuzz.sh $(B)

test: build native
	@scripts/run_tests.sh $(B)

demo: build
	@scripts/demo.sh $(B)

# The README's screenshots, refreshed from a demo run.
pictures: demo
	@test -f $(B)/demo/pictures/final.png || { echo "pictures: the demo made no pictures" >&2; exit 1; }
	@cp $(B)/demo/pictures/confirm.png $(B)/demo/pictures/progress.png $(B)/demo/pictures/final.png docs/
	@echo "docs/: confirm.png, progress.png, final.png refreshed"

bench: build
	@scripts/bench.sh $(B)

# The signed uninstaller goes to $(B)/signed/; $(B)/bin keeps the unsigned
# one that the tests take apart. Checked before the build starts.
ifneq ($(filter sign,$(MAKECMDGOALS)),)
ifeq ($(and $(SIGN_CERT),$(SIGN_KEY)),)
$(error sign: give the certificate and its private key: make sign SIGN_CERT=cert.pem SIGN_KEY=key.pem [SIGN_PASS_FILE=file] [SIGN_TIMESTAMP=url])
endif
endif

sign: build
	@scripts/sign.sh "$(B)/bin/uninstall.exe" "$(B)/signed/uninstall.exe" \
	  "$(SIGN_CERT)" "$(SIGN_KEY)" "$(SIGN_PASS_FILE)" "$(SIGN_TIMESTAMP)"

clean:
	rm -rf $(B)/win $(B)/native $(B)/fuzz $(B)/bin $(B)/signed $(B)/x64/win $(B)/x64/bin
