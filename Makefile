# Kestrova: every everyday command. The build trees live under build/.
BUILD_ROOT ?= build
MAIN  := $(BUILD_ROOT)/main
ASAN  := $(BUILD_ROOT)/asan
TSAN  := $(BUILD_ROOT)/tsan
WINDOWS := $(BUILD_ROOT)/windows
CMAKE ?= cmake
CTEST ?= ctest
GENERATOR := -G Ninja
TEST_JOBS ?= 2

.PHONY: all bootstrap build test test-main test-asan test-tsan test-windows demo bench-overhead run \
    format clean

all: build

bootstrap:
	@./scripts/bootstrap

build: bootstrap
	$(CMAKE) -S . -B $(MAIN) $(GENERATOR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTROVA_WERROR=ON
	$(CMAKE) --build $(MAIN)

# Everything CI runs: the plain build, then the same tests under ASan+UBSan, then the engine
# under ThreadSanitizer.
test: test-main test-asan test-tsan

test-main: build
	$(CTEST) --test-dir $(MAIN) --output-on-failure -LE soak -j $(TEST_JOBS)

test-asan: bootstrap
	$(CMAKE) -S . -B $(ASAN) $(GENERATOR) -DCMAKE_BUILD_TYPE=Debug -DKESTROVA_WERROR=ON \
	    -DKESTROVA_SANITIZE=address,undefined
	$(CMAKE) --build $(ASAN)
	$(CTEST) --test-dir $(ASAN) --output-on-failure -LE soak -j $(TEST_JOBS)

test-tsan: bootstrap
	$(CMAKE) -S . -B $(TSAN) $(GENERATOR) -DCMAKE_BUILD_TYPE=Debug -DKESTROVA_WERROR=ON \
	    -DKESTROVA_SANITIZE=thread -DKESTROVA_BUILD_UI=OFF
	$(CMAKE) --build $(TSAN)
	$(CTEST) --test-dir $(TSAN) --output-on-failure -LE soak -j $(TEST_JOBS)

# The engine, kestrova-cli and their tests cross-built for Windows with MinGW-w64, the tests
# run under Wine with no display (the desktop program is not part of this build).
test-windows:
	@./scripts/bootstrap windows
	$(CMAKE) -S . -B $(WINDOWS) $(GENERATOR) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
	    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTROVA_WERROR=ON -DKESTROVA_BUILD_UI=OFF
	$(CMAKE) --build $(WINDOWS)
	./scripts/wine-test $(WINDOWS) -LE soak -j $(TEST_JOBS)

# The main job: convert three generated sample clips with kestrova-cli into build/demo/out.
demo: build
	KESTROVA_BIN=$(MAIN)/bin ./scripts/demo

# By hand: what kestrova-cli adds to the converter's own time; ends with "overhead ratio X.XX".
bench-overhead: build
	KESTROVA_BIN=$(MAIN)/bin ./bench/overhead

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD_ROOT)
