# Short commands for people; the real build is CMake (CMakePresets.json).
.PHONY: all bootstrap build build-native build-win32 test test-native test-win32 bench format clean

all: build

bootstrap:
	@scripts/bootstrap

build: build-native build-win32

build-native: bootstrap
	@cmake --preset native >/dev/null
	@cmake --build --preset native

build-win32: bootstrap
	@cmake --preset win32 >/dev/null
	@cmake --build --preset win32

# Both suites always run; the target fails if either did.
test: build
	@scripts/run-tests

test-native: build-native
	@ctest --preset native

test-win32: build-win32
	@scripts/run-tests win32

bench: build-native
	@build/native/bin/cipher_bench

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf build
