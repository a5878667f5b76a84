# Kestrova: every everyday command. The build trees live under build/.
BUILD_ROOT ?= build
MAIN  := $(BUILD_ROOT)/main
ASAN  := $(BUILD_ROOT)/asan
TSAN  := $(BUILD_ROOT)/tsan
FUZZ  := $(BUILD_ROOT)/fuzz
BENCH := $(BUILD_ROOT)/bench
WINDOWS := $(BUILD_ROOT)/windows
RELEASE := $(BUILD_ROOT)/release
PACKAGE := $(BUILD_ROOT)/package
PREFIX ?= /usr/local
WINDOWS_PACKAGE := $(BUILD_ROOT)/windows-package
BENCHES = add_files progress_tick startup batch_scale
FUZZ_SECONDS ?= 60
FUZZERS = fuzz_hms_to_seconds fuzz_probe_text fuzz_progress fuzz_file_types fuzz_output_path
CMAKE ?= cmake
CTEST ?= ctest
GENERATOR := -G Ninja
TEST_JOBS ?= 2
# Each CTest run of make test leaves its JUnit file here, for the summary of the slowest tests.
TEST_RESULTS := $(abspath $(BUILD_ROOT))/test-results
CTEST_RUN = mkdir -p $(TEST_RESULTS) && $(CTEST) --output-on-failure -LE soak -j $(TEST_JOBS)

.PHONY: all bootstrap build test test-main test-asan test-tsan test-windows soak fuzz fuzz-smoke \
        fuzz-build bench demo bench-overhead bench-parallel bench-time-left run pictures screenshot \
        release install package package-test format clean windows-build screenshot-windows \
        package-windows package-test-windows screenshot-installer

all: build

bootstrap:
	@./scripts/bootstrap

build: bootstrap
	$(CMAKE) -S . -B $(MAIN) $(GENERATOR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTROVA_WERROR=ON
	$(CMAKE) --build $(MAIN)

# Everything CI runs: the plain build, then the same tests but the desktop program's under
# ASan+UBSan, again under ThreadSanitizer, and a short run of each fuzzer.
test: test-main test-asan test-tsan fuzz-smoke
	@./scripts/slowest-tests $(TEST_RESULTS)/main.xml $(TEST_RESULTS)/asan.xml $(TEST_RESULTS)/tsan.xml

test-main: build
	$(CTEST_RUN) --test-dir $(MAIN) --output-junit $(TEST_RESULTS)/main.xml

# The desktop program stays out unless ASAN_UI=ON: it only draws, asks and forwards, and under
# ASan its build and tests would add about two minutes to make test.
ASAN_UI ?= OFF
test-asan: bootstrap
	$(CMAKE) -S . -B $(ASAN) $(GENERATOR) -DCMAKE_BUILD_TYPE=Debug -DKESTROVA_WERROR=ON \
	    -DKESTROVA_SANITIZE=address,undefined -DKESTROVA_BUILD_UI=$(ASAN_UI)
	$(CMAKE) --build $(ASAN)
	$(CTEST_RUN) --test-dir $(ASAN) --output-junit $(TEST_RESULTS)/asan.xml

test-tsan: bootstrap
	$(CMAKE) -S . -B $(TSAN) $(GENERATOR) -DCMAKE_BUILD_TYPE=Debug -DKESTROVA_WERROR=ON \
	    -DKESTROVA_SANITIZE=thread -DKESTROVA_BUILD_UI=OFF
	$(CMAKE) --build $(TSAN)
	$(CTEST_RUN) --test-dir $(TSAN) --output-junit $(TEST_RESULTS)/tsan.xml

# The long runs that make test leaves out (CTest label "soak"), on the plain build.
soak: build
	$(CMAKE) --build $(MAIN) --target kestrova_soak_tests
	$(CTEST) --test-dir $(MAIN) --output-on-failure -L soak -V

fuzz-build: bootstrap
	CC=clang CXX=clang++ $(CMAKE) -S . -B $(FUZZ) $(GENERATOR) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	    -DKESTROVA_WERROR=ON -DKESTROVA_FUZZ=ON -DKESTROVA_BUILD_UI=OFF -DKESTROVA_BUILD_TESTS=OFF \
	    -DKESTROVA_SANITIZE=address,undefined,fuzzer-no-link
	$(CMAKE) --build $(FUZZ) --target $(FUZZERS)

# Each fuzzer for FUZZ_SECONDS, growing its corpus under build/fuzz/corpus/.
fuzz: fuzz-build
	@for f in $(FUZZERS); do \
	    mkdir -p $(FUZZ)/corpus/$$f && cp -n fuzz/seeds/$$f/* $(FUZZ)/corpus/$$f/ 2>/dev/null; \
	    echo "== $$f ($(FUZZ_SECONDS) s)"; \
	    $(FUZZ)/bin/$$f -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 $(FUZZ)/corpus/$$f || exit 1; \
	done

fuzz-smoke:
	@$(MAKE) --no-print-directory fuzz FUZZ_SECONDS=10

# The benchmarks, built for release in their own tree and run one after another; each prints
# its figure as its last line.
bench: bootstrap
	$(CMAKE) -S . -B $(BENCH) $(GENERATOR) -DCMAKE_BUILD_TYPE=Release -DKESTROVA_WERROR=ON \
	    -DKESTROVA_BUILD_BENCH=ON -DKESTROVA_BUILD_TESTS=OFF
	$(CMAKE) --build $(BENCH)
	@for b in $(BENCHES); do \
	    echo "== $$b"; \
	    $(BENCH)/bench/$$b || exit 1; \
	done

# The desktop program, on the current display.
run: build
	$(MAIN)/bin/kestrova

# Remakes ui/res/*.png from their drawings in ui/res/src/.
pictures: bootstrap
	./scripts/make-pictures

# Remakes docs/main-window.png under a virtual X display.
screenshot: build
	./scripts/screenshot $(MAIN)

# The engine, kestrova-cli, the Windows desktop program (ui/win32) and their tests cross-built
# for Windows with MinGW-w64, the tests run under Wine on a virtual X display, which the
# desktop program's windows need.
test-windows: windows-build
	KESTROVA_WINE_DISPLAY=1 xvfb-run -a -s "-screen 0 1024x768x24" \
	    ./scripts/wine-test $(WINDOWS) -LE soak -j $(TEST_JOBS)

windows-build:
	@./scripts/bootstrap windows
	$(CMAKE) -S . -B $(WINDOWS) $(GENERATOR) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
	    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTROVA_WERROR=ON -DKESTROVA_BUILD_UI=OFF
	$(CMAKE) --build $(WINDOWS)

# Remakes docs/main-window-windows.png: the Windows desktop program under Wine on a virtual X
# display.
screenshot-windows: windows-build
	./scripts/screenshot-windows $(WINDOWS)

# build/kestrova-<version>-windows-x64.zip: kestrova.exe, kestrova-cli.exe (release builds,
# static, stripped), an empty core\ for the user's converter and a note saying so; and
# build/kestrova-<version>-setup.exe, the per-user installer (NSIS).
package-windows:
	@./scripts/bootstrap windows
	$(CMAKE) -S . -B $(WINDOWS_PACKAGE) $(GENERATOR) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
	    -DCMAKE_BUILD_TYPE=MinSizeRel -DKESTROVA_WERROR=ON -DKESTROVA_BUILD_UI=OFF \
	    -DKESTROVA_BUILD_TESTS=OFF -DCMAKE_EXE_LINKER_FLAGS_MINSIZEREL=-s
	$(CMAKE) --build $(WINDOWS_PACKAGE) --target kestrova kestrova-cli kestrova-setup-helper
	./scripts/package-windows $(WINDOWS_PACKAGE) $(BUILD_ROOT)

# The installer tried under Wine as a user would (scripts/package-test-windows), with the
# Windows test build's ffmpeg and its window probe.
package-test-windows: package-windows windows-build
	xvfb-run -a -s "-screen 0 1024x768x24" \
	    ./scripts/package-test-windows $(BUILD_ROOT)/kestrova-*-setup.exe $(WINDOWS)

# Remakes docs/installer-windows.png and docs/uninstaller-windows.png: the installer's pages
# under Wine on a virtual X display.
screenshot-installer: package-windows windows-build
	./scripts/screenshot-installer $(BUILD_ROOT)/kestrova-*-setup.exe $(WINDOWS)

# The main job: convert three generated sample clips with kestrova-cli into build/demo/out.
demo: build
	KESTROVA_BIN=$(MAIN)/bin ./scripts/demo

# By hand: what kestrova-cli adds to the converter's own time; ends with "overhead ratio X.XX".
bench-overhead: build
	KESTROVA_BIN=$(MAIN)/bin ./bench/overhead

# By hand: what converting two files at once gains; ends with "parallel ratio X.XX".
bench-parallel: build
	KESTROVA_BIN=$(MAIN)/bin ./bench/parallel

# By hand: how good the time left is on clips of mixed lengths; ends with "time left error X%".
bench-time-left: build
	KESTROVA_BIN=$(MAIN)/bin ./bench/time-left

# The build that is installed and packaged, without tests: Debian's optimisation and hardening
# flags (dpkg-buildflags) in place of CMake's own.
release: bootstrap
	$(CMAKE) -S . -B $(RELEASE) $(GENERATOR) -DCMAKE_BUILD_TYPE=Release -DKESTROVA_WERROR=ON \
	    -DKESTROVA_BUILD_TESTS=OFF -DCMAKE_INSTALL_PREFIX=$(PREFIX) -DCMAKE_CXX_FLAGS_RELEASE=-DNDEBUG \
	    -DCMAKE_CXX_FLAGS="$$(DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get CPPFLAGS) $$(DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get CXXFLAGS)" \
	    -DCMAKE_EXE_LINKER_FLAGS="$$(DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get LDFLAGS)"
	$(CMAKE) --build $(RELEASE)

# Installs under PREFIX (default /usr/local); DESTDIR=DIR stages the same tree inside DIR.
install: release
	DESTDIR="$(DESTDIR)" $(CMAKE) --install $(RELEASE) --prefix "$(PREFIX)" --strip

# The Debian package build/package/kestrova_<version>_<arch>.deb, checked by lintian.
package: release
	@./scripts/bootstrap package
	rm -f $(PACKAGE)/kestrova_*.deb
	cd $(RELEASE) && cpack -B $(abspath $(PACKAGE))
	lintian --fail-on error $(PACKAGE)/kestrova_*.deb
	@ls $(PACKAGE)/kestrova_*.deb

# Installs the package on this machine, uses it as a user would, and purges it (needs root).
package-test: package
	./scripts/package-test $(PACKAGE)/kestrova_*.deb

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD_ROOT)
