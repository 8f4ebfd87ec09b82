# The two commands of the README: `make run` and `make test`. Both install what is missing first.
BUILD ?= build
JOBS ?= $(shell nproc)
PACKAGES = cmake ninja-build mold g++ make pkg-config libgtest-dev libgmock-dev libbenchmark-dev clang-format \
           qt6-base-dev qt6-webengine-dev libgl-dev libglib2.0-dev xvfb xauth xdotool imagemagick \
           desktop-file-utils appstream lintian dpkg-dev fakeroot fonts-liberation2 adwaita-icon-theme \
           libarchive-dev libarchive-tools ripgrep zstd curl mmv rsync fuse3 python3 python3-fusepy attr acl \
           gvfs-backends gvfs-daemons gvfs-fuse openssh-client $(TEST_PACKAGES) $(BENCH_PACKAGES)
# Only the tests use these: the servers the remote places' tests start on 127.0.0.1 (ftp, sftp, smb and
# WebDAV: rclone serves it), and the session bus of their own that the GVfs daemons run on.
TEST_PACKAGES = python3-pyftpdlib openssh-server samba rclone dbus-daemon
# Only the benches use these: `gio`, the client the server listings are measured against (scp, sftp and
# curl come with the packages above).
BENCH_PACKAGES = libglib2.0-bin
SUDO = $(shell [ "$$(id -u)" = 0 ] || echo sudo)

.PHONY: all deps configure build run test build-asan test-asan build-tsan test-tsan bench package install format \
        clean build-windows test-windows build-fuzz fuzz

all: build

deps:
	@missing=$$(for p in $(PACKAGES); do dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q 'install ok installed' || echo $$p; done); \
	if [ -n "$$missing" ]; then \
	  echo "Installing: $$missing"; \
	  $(SUDO) env DEBIAN_FRONTEND=noninteractive apt-get update -q && \
	  $(SUDO) env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends $$missing; \
	fi

# KV_WERROR=ON turns warnings into errors (CI sets it).
KV_WERROR ?= OFF
# The tests run side by side, one per core; the widget tests start an X server each (tests/qt/main.cpp),
# so none is given to them here, and a desktop's own display is left alone.
CTEST = env -u DISPLAY -u WAYLAND_DISPLAY ctest --output-on-failure --no-tests=error -j$(JOBS)

# Every tree is built with Ninja, which compiles a target's sources while the libraries it links are
# still being built. A tree configured earlier with another generator is configured afresh.
NINJA_TREE = if [ -f $(1)/CMakeCache.txt ] && ! grep -q '^CMAKE_GENERATOR:INTERNAL=Ninja$$' $(1)/CMakeCache.txt; \
             then rm -rf $(1)/CMakeCache.txt $(1)/CMakeFiles; fi
CMAKE = cmake -G Ninja

configure: deps
	@$(call NINJA_TREE,$(BUILD))
	$(CMAKE) -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKV_WERROR=$(KV_WERROR)

build: configure
	cmake --build $(BUILD) -j$(JOBS)

run: build
	./$(BUILD)/kestrovan

test: build
	$(CTEST) --test-dir $(BUILD)

# The suite under AddressSanitizer with UndefinedBehaviorSanitizer, and under ThreadSanitizer.
build-asan: deps
	@$(call NINJA_TREE,build-asan)
	$(CMAKE) -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DKV_SANITIZE=address -DKV_WERROR=$(KV_WERROR)
	cmake --build build-asan -j$(JOBS)

test-asan: build-asan
	$(CTEST) --test-dir build-asan

# What ThreadSanitizer checks is the code built with it; calls from libraries built without it (Qt, GLib)
# are left out, and tests/tsan.supp lists the rest with reasons. Set for the listing of the tests too.
TSAN_FLAGS = halt_on_error=1:second_deadlock_stack=1:ignore_noninstrumented_modules=1:suppressions=$(CURDIR)/tests/tsan.supp
build-tsan: deps
	@$(call NINJA_TREE,build-tsan)
	$(CMAKE) -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKV_SANITIZE=thread -DKV_WERROR=$(KV_WERROR)
	cmake --build build-tsan -j$(JOBS)

test-tsan: build-tsan
	TSAN_OPTIONS="$(TSAN_FLAGS)" $(CTEST) --test-dir build-tsan

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD) build-asan build-tsan build-bench build-fuzz $(WIN_BUILD)

# The standard-library core and its tests cross-built for Windows (mingw-w64) and run under Wine in a
# fresh prefix. GoogleTest is built from Debian's source package with the same toolchain.
WIN_BUILD ?= build-windows
WIN_PACKAGES = cmake ninja-build make g++-mingw-w64-x86-64 wine64 googletest
WIN_TOOLCHAIN = $(CURDIR)/cmake/mingw-w64-x86_64.cmake
WIN_WINE = env -u DISPLAY -u WAYLAND_DISPLAY WINEPREFIX=$(CURDIR)/$(WIN_BUILD)/wineprefix WINEDEBUG=-all \
           WINEDLLOVERRIDES="mscoree,mshtml="

build-windows:
	@missing=$$(for p in $(WIN_PACKAGES); do dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q 'install ok installed' || echo $$p; done); \
	if [ -n "$$missing" ]; then \
	  echo "Installing: $$missing"; \
	  $(SUDO) env DEBIAN_FRONTEND=noninteractive apt-get update -q && \
	  $(SUDO) env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends $$missing; \
	fi
	@$(call NINJA_TREE,$(WIN_BUILD)/googletest)
	$(CMAKE) -S /usr/src/googletest -B $(WIN_BUILD)/googletest -DCMAKE_TOOLCHAIN_FILE=$(WIN_TOOLCHAIN) \
	  -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=$(CURDIR)/$(WIN_BUILD)/googletest-install
	cmake --build $(WIN_BUILD)/googletest -j$(JOBS)
	cmake --install $(WIN_BUILD)/googletest
	@$(call NINJA_TREE,$(WIN_BUILD)/core)
	$(CMAKE) -S . -B $(WIN_BUILD)/core -DCMAKE_TOOLCHAIN_FILE=$(WIN_TOOLCHAIN) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DKV_WITH_QT=OFF -DGTest_DIR=$(CURDIR)/$(WIN_BUILD)/googletest-install/lib/cmake/GTest
	cmake --build $(WIN_BUILD)/core -j$(JOBS)

# Side by side: run one after another, each test under Wine waited for Wine's server to start anew
# (about 3 s a test, 230 s in all); overlapping, the server stays up (30 s).
test-windows: build-windows
	$(WIN_WINE) /usr/lib/wine/wineserver -k 2>/dev/null || true
	rm -rf $(WIN_BUILD)/wineprefix
	$(WIN_WINE) ctest --test-dir $(WIN_BUILD)/core --output-on-failure -j$(JOBS); rc=$$?; \
	$(WIN_WINE) /usr/lib/wine/wineserver -k 2>/dev/null; exit $$rc

# `make fuzz`: the libFuzzer targets (clang, AddressSanitizer + UndefinedBehaviorSanitizer), each run for
# FUZZ_SECONDS from the seed corpus in tests/fuzz/corpus (new inputs stay in the build folder), side by
# side, one per core. Fails on a crash, a leak, a sanitizer report, an input taking over 10 s or a run
# above 2 GiB.
FUZZ_SECONDS ?= 60
FUZZ_PACKAGES = cmake ninja-build make clang libclang-rt-dev qt6-base-dev
build-fuzz:
	@missing=$$(for p in $(FUZZ_PACKAGES); do dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q 'install ok installed' || echo $$p; done); \
	if [ -n "$$missing" ]; then \
	  echo "Installing: $$missing"; \
	  $(SUDO) env DEBIAN_FRONTEND=noninteractive apt-get update -q && \
	  $(SUDO) env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends $$missing; \
	fi
	@$(call NINJA_TREE,build-fuzz)
	$(CMAKE) -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ -DKV_WITH_QT=OFF \
	  -DKV_TESTS=OFF -DKV_FUZZ=ON -DKV_SANITIZE=address -DKV_WERROR=$(KV_WERROR)
	cmake --build build-fuzz -j$(JOBS) --target hive_fuzz location_fuzz

FUZZ_TARGETS = hive location
fuzz: build-fuzz
	@for t in $(FUZZ_TARGETS); do \
	  mkdir -p build-fuzz/corpus/$$t && \
	  echo "Fuzzing $$t for $(FUZZ_SECONDS) s" && \
	  { ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	    build-fuzz/tests/fuzz/$${t}_fuzz -max_total_time=$(FUZZ_SECONDS) -timeout=10 -rss_limit_mb=2048 \
	    -max_len=65536 -print_final_stats=1 -artifact_prefix=build-fuzz/$$t- \
	    build-fuzz/corpus/$$t tests/fuzz/corpus/$$t > build-fuzz/$$t.log 2>&1; \
	    echo $$? > build-fuzz/$$t.rc; } & \
	done; wait; \
	for t in $(FUZZ_TARGETS); do \
	  [ "$$(cat build-fuzz/$$t.rc)" = 0 ] || { tail -n 80 build-fuzz/$$t.log; exit 1; }; \
	  grep -E '^Done|^stat::(number_of_executed_units|peak_rss_mb)' build-fuzz/$$t.log; \
	done

# `make install` puts the program, its desktop entry, icons, AppStream data and manual page under PREFIX;
# DESTDIR stages the tree elsewhere, as a package build does.
PREFIX ?= /usr/local
install: build
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD) --prefix "$(PREFIX)"

# `make package`: the .deb, kestrovan_<version>_<arch>.deb in $(BUILD)/, its Depends found by dpkg-shlibdeps.
package: build
	cd $(BUILD) && cpack -G DEB
	@ls $(BUILD)/kestrovan_*.deb

# `make bench`: a Release build with the bench programs (not the tests), run under Xvfb; writes
# docs/benchmarks.md.
bench: deps
	@$(call NINJA_TREE,build-bench)
	$(CMAKE) -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DKV_BENCH=ON -DKV_TESTS=OFF
	cmake --build build-bench -j$(JOBS)
	xvfb-run -a -s "-screen 0 1920x1080x24" python3 bench/report.py build-bench docs/benchmarks.md
