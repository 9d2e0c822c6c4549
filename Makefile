# SPDX-License-Identifier: GPL-3.0-or-later
# Two commands do all the set-up on a fresh Debian 12 machine:
#   make run   installs what is missing, builds, opens the window
#   make test  installs what is missing, builds, runs every test, then the
#              address/undefined-sanitizer build of the tests without a window
# make package builds the Debian package $(BUILD)/verdaline_<version>-<revision>_<arch>.deb
# make windows cross-builds GLib and GMime (once, cached) and the Qt-free
#              layers with eml2pst.exe into $(WINDOWS_BUILD) (README: Windows build)
# make windows-test runs eml2pst.exe under wine and checks its .pst
JOBS ?= $(shell nproc)
BUILD ?= build
ASAN_BUILD ?= build-asan
WINDOWS_BUILD ?= build-windows

.PHONY: deps configure build run test test-main test-asan bench package windows windows-test clean

deps:
	@bash scripts/install-deps

configure: deps
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

run: build
	./$(BUILD)/verdaline

test: test-main test-asan

test-main: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS) --timeout 900

test-asan: deps
	@cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVERDALINE_GUI=OFF \
	  -DVERDALINE_SANITIZE=ON -DVERDALINE_FUZZ=ON \
	  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
	@cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1 ctest --output-on-failure -j $(JOBS) --timeout 900 -LE slow

bench: build
	bash benchmarks/run-bench

package: build
	@cmake --build $(BUILD) --target package

windows:
	@bash scripts/install-deps windows
	@bash scripts/build-windows-deps
	@cmake -S . -B $(WINDOWS_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release \
	  -DCMAKE_TOOLCHAIN_FILE=cmake/windows/toolchain.cmake >/dev/null
	@cmake --build $(WINDOWS_BUILD) -j $(JOBS)

# Only the Linux programs it compares with are built.
windows-test: windows configure
	@cmake --build $(BUILD) --target eml2pst verdaline-check -j $(JOBS)
	bash tests/windows/run.sh $(WINDOWS_BUILD) $(BUILD)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD)
