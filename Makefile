# Quick start: `make run` converts the bundled sample, `make test` runs every test,
# `make package` builds the Debian package build/*.deb.
BUILD ?= build
JOBS  ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: deps configure build run test package bench test-sanitize fuzz format clean

deps:
	@scripts/install-deps

configure: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release $(CMAKE_FLAGS) >/dev/null

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

FUZZ_SECONDS ?= 60
fuzz: deps
	@scripts/run-fuzz $(FUZZ_SECONDS)

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD) build-sanitize build-fuzz fuzz-out
