# Quick start: `make run` converts the bundled sample, `make test` runs every test,
# `make package` builds the Debian package build/*.deb, `make windows` the zip for
# Windows build-windows/*.zip, and `make test-windows` tests that build under Wine.
BUILD ?= build
JOBS  ?= $(shell nproc)
CMAKE_FLAGS ?=

# What scripts/install-deps installs: `run` only what building and running need; every
# other target also the test tools. A first `make run` builds no tests and no
# benchmarks, which need those tools; a build folder made otherwise keeps its settings.
DEPS ?= test
GROUP_FLAGS ?= -DQUILL_BUILD_TESTS=ON -DQUILL_BUILD_BENCH=ON
run: DEPS = run
run: GROUP_FLAGS = $(if $(wildcard $(BUILD)/CMakeCache.txt),,-DQUILL_BUILD_TESTS=OFF -DQUILL_BUILD_BENCH=OFF)

.PHONY: deps configure build run test package bench test-sanitize fuzz format clean \
	windows test-windows

deps:
	@scripts/install-deps $(DEPS)

configure: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release $(GROUP_FLAGS) $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS) -- --no-print-directory

run: build
	@scripts/run-demo $(BUILD)

test: build
	@cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

# Only the package of this build is left, so `apt install ./build/*.deb` gets one.
package: build
	@rm -f $(BUILD)/*.deb
	@cd $(BUILD) && cpack -G DEB

bench: build
	@scripts/run-benchmarks $(BUILD)

test-sanitize:
	@$(MAKE) --no-print-directory test BUILD=build-sanitize \
		CMAKE_FLAGS="-DQUILL_SANITIZE=ON -DQUILL_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo"

# Cross-built with MinGW-w64: the two command-line programs, statically linked, their zip
# and the headless tests, which `make test-windows` runs under Wine with a Wine prefix of
# its own in the build folder, then the command-line tests of the Linux build on the
# Windows programs (so the Linux build comes first).
WINDOWS_BUILD ?= build-windows
windows: deps
	@cmake -S . -B $(WINDOWS_BUILD) -DCMAKE_TOOLCHAIN_FILE=packaging/windows/MinGW64.cmake \
		-DCMAKE_BUILD_TYPE=Release >/dev/null
	@cmake --build $(WINDOWS_BUILD) -j $(JOBS) --target windows_zip -- --no-print-directory

test-windows: windows build
	@cmake --build $(WINDOWS_BUILD) -j $(JOBS) --target quill_tests -- --no-print-directory
	@scripts/test-windows $(WINDOWS_BUILD) $(BUILD)

FUZZ_SECONDS ?= 60
fuzz: deps
	@scripts/run-fuzz $(FUZZ_SECONDS)

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD) build-sanitize build-fuzz fuzz-out $(WINDOWS_BUILD)
