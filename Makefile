# Short commands for people; the real build is CMake (CMakePresets.json).
.PHONY: all demo bootstrap build build-native build-win32 build-win32-shipped build-win64 \
	build-windows-suite build-fuzz package pack web test test-native test-win32 test-win64 test-web bench bench-web format clean

all: build

bootstrap:
	@scripts/bootstrap

build: build-win32 build-native web

# The native sfxtool carries the extractor the cross build makes, so that comes first.
build-native: bootstrap build-win32-shipped
	@cmake --preset native >/dev/null
	@cmake --build --preset native

build-win32: bootstrap
	@cmake --preset win32 >/dev/null
	@cmake --build --preset win32

# Only the 32-bit programs we ship (what the native sfxtool, the page and the zip take from that
# build), without its test programs: enough where the Windows suite runs on the x86-64 build.
build-win32-shipped: bootstrap
	@cmake --preset win32 >/dev/null
	@cmake --build --preset win32 --target sfxstub sfxtool sfxbuild hwtok32 pluginhost

# The page, build/web/quillon.html: the engine as WebAssembly, with the extractor the cross build
# made inside.
web: bootstrap build-win32-shipped
	@cmake --preset web >/dev/null
	@cmake --build --preset web

# The same Windows programs and tests for x86-64: only the tests use them, on machines that cannot
# start 32-bit programs (see scripts/windows-suite).
build-win64: bootstrap
	@cmake --preset win64 >/dev/null
	@cmake --build --preset win64

# Whichever Windows build the Windows suite runs on this machine, tests and all: the 32-bit one
# where 32-bit programs start, else the x86-64 one (the 32-bit programs are built either way).
build-windows-suite: build-win32-shipped
	@if [ "$$(scripts/windows-suite)" = win64 ]; then $(MAKE) --no-print-directory build-win64; \
	else $(MAKE) --no-print-directory build-win32; fi

build-fuzz: bootstrap
	@cmake --preset fuzz >/dev/null
	@cmake --build --preset fuzz

# build/package/quillon-sfx_VERSION_ARCH.deb and quillon-sfx-VERSION-win32.zip (see
# cmake/QuillonPackaging.cmake); the zip takes the web page too when build/web has it. Every file
# in them carries the commit's time (or SOURCE_DATE_EPOCH when set), so one commit packs to the
# same bytes.
package: build pack

# The packages of what is built already.
pack:
	@export SOURCE_DATE_EPOCH=$${SOURCE_DATE_EPOCH:-$$(git log -1 --format=%ct 2>/dev/null || date +%s)}; \
	(cd build/win32 && cpack --config CPackConfig.cmake >/dev/null) && \
	(cd build/native && cpack --config CPackConfig.cmake >/dev/null)
	@ls -l build/package

# Every suite always runs; the target fails if any did. The native suite unpacks the packages.
test: build-win32-shipped build-native web build-fuzz build-windows-suite pack
	@scripts/run-tests

test-native: build-native
	@ctest --preset native

# The Windows suite: the 32-bit build, or the x86-64 one where 32-bit programs cannot run.
test-win32: build-windows-suite
	@scripts/run-tests win32

test-win64: build-win64
	@scripts/run-tests win64

test-web: web build-native
	@scripts/run-tests web

# Only what the demo runs: the extractor, and the native sfxtool that carries it, with only the
# packages those need (no test programs, no Wine, no browser).
demo:
	@scripts/bootstrap demo
	@cmake --preset win32 >/dev/null
	@cmake --build --preset win32 --target sfxstub
	@cmake --preset native >/dev/null
	@cmake --build --preset native --target sfxtool
	@demo/run-demo

# The archive bench measures 7z beside sfxtool, so the bootstrap brings it for this target.
bench: export QUILLON_BOOTSTRAP_EXTRA = p7zip-full
bench: build-native
	@build/native/bin/cipher_bench
	@build/native/bin/meter_bench
	@build/native/bin/kdf_bench
	@suite=$$(scripts/windows-suite); run=scripts/wine-run; [ "$$suite" = win64 ] && run=scripts/wine64-run; \
	if [ -x build/$$suite/bin/kdf_bench.exe ]; then \
		echo "kdf_bench.exe, the $$suite build under Wine:"; $$run build/$$suite/bin/kdf_bench.exe; \
	else echo "kdf_bench.exe: build/$$suite not built (make build-windows-suite)"; fi
	@QUILLON_BENCH_WINE="$(if $(wildcard build/win64/bin/sfxtool.exe),scripts/wine64-run build/win64/bin/sfxtool.exe)" \
		bench/archive_bench.sh build/native/bin/sfxtool

# The web page on a 1 GiB archive in headless Chromium: open and save, and make.
bench-web: web build-native
	@tests/web/run-web-tests.sh --bench 1024

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf build
