# Tavlo: `make run` builds and starts the program, `make test` builds and runs
# every test. Both install the Debian packages they need first.
# `make install` (PREFIX=/usr/local; PREFIX=~/.local needs no root; DESTDIR
# stages the files elsewhere), `make uninstall`, `make package` (a .deb).

BUILD ?= build
BUILD_TYPE ?= RelWithDebInfo
WERROR ?= OFF
PICTURE ?=
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

CONFIGURE = cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) -DTAVLO_WERROR=$(WERROR)

FUZZ_SECONDS ?= 60

PREFIX ?= /usr/local
DESTDIR ?=
# PREFIX=~/.local as make sees it, when the shell left the ~ alone.
INSTALL_PREFIX = $(abspath $(patsubst ~%,$(HOME)%,$(PREFIX)))
# The desktop finds the programs for a file type ("Open With") through the
# cache that update-desktop-database keeps beside the desktop entries.
UPDATE_OPEN_WITH = if command -v update-desktop-database >/dev/null && [ -d "$(INSTALL_PREFIX)/share/applications" ]; then \
  update-desktop-database -q "$(INSTALL_PREFIX)/share/applications"; fi

.PHONY: all deps build program run test install uninstall package bench fuzz clean

all: build

deps:
	@scripts/ensure-packages.sh

build: deps
	@$(CONFIGURE) >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)

# The program and its metafile helper only, without the tests.
program: deps
	@$(CONFIGURE) >/dev/null
	@cmake --build $(BUILD) -j $(JOBS) --target tavlo tavlo-metafile-helper

run:
	@if [ -z "$$DISPLAY$$WAYLAND_DISPLAY" ]; then \
	  echo "make run: there is no display to open a window on (DISPLAY and WAYLAND_DISPLAY are unset); start it from a desktop session, or headless with: xvfb-run make run"; \
	  exit 1; \
	fi
	@$(MAKE) --no-print-directory program
	$(BUILD)/tavlo $(if $(PICTURE),"$(PICTURE)")

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

# The program, its metafile helper, desktop entry, metainfo, icons and manual
# page under PREFIX. The list of installed files is kept for `make uninstall`.
install: deps
	@$(CONFIGURE) -DCMAKE_INSTALL_PREFIX="$(INSTALL_PREFIX)" >/dev/null
	@cmake --build $(BUILD) -j $(JOBS) --target tavlo tavlo-metafile-helper manual
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD)
	@$(if $(DESTDIR),,$(UPDATE_OPEN_WITH))

# Removes the files the last `make install` from this build folder put in place.
uninstall:
	@test -f $(BUILD)/install_manifest.txt || { echo "make uninstall: $(BUILD) has installed nothing"; exit 1; }
	xargs -d '\n' rm -f < $(BUILD)/install_manifest.txt
	@xargs -d '\n' -n1 dirname < $(BUILD)/install_manifest.txt | grep '/libexec/tavlo$$' | sort -u | xargs -r -d '\n' rmdir --ignore-fail-on-non-empty
	@rm $(BUILD)/install_manifest.txt
	@$(if $(DESTDIR),,$(UPDATE_OPEN_WITH))

# A Debian package (tavlo_VERSION_ARCH.deb in $(BUILD)-package) for /usr,
# its dependencies computed from the shared libraries.
package: deps
	@cmake -S . -B $(BUILD)-package -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) -DTAVLO_WERROR=$(WERROR) -DTAVLO_BUILD_TESTS=OFF \
	  -DCMAKE_INSTALL_PREFIX=/usr >/dev/null
	@cmake --build $(BUILD)-package -j $(JOBS) --target tavlo tavlo-metafile-helper manual
	cd $(BUILD)-package && cpack -G DEB

# Runs on a quiet machine for numbers worth comparing; the photos (ImageMagick's
# plasma, made once into $(BUILD)-bench/bench-pictures) and djpeg are its own needs.
bench: deps
	@scripts/ensure-packages.sh imagemagick
	@cmake -S . -B $(BUILD)-bench -DCMAKE_BUILD_TYPE=Release -DTAVLO_BUILD_TESTS=OFF -DTAVLO_BUILD_BENCHMARKS=ON >/dev/null
	@cmake --build $(BUILD)-bench -j $(JOBS)
	QT_QPA_PLATFORM=offscreen $(BUILD)-bench/tavlo_bench

# Fuzzes metafile loading with libFuzzer under AddressSanitizer for
# FUZZ_SECONDS; new inputs go to $(BUILD)-fuzz/corpus, crashes to $(BUILD)-fuzz/crashes.
fuzz: deps
	@scripts/ensure-packages.sh clang-14 libclang-rt-14-dev
	@CC=clang-14 CXX=clang++-14 cmake -S . -B $(BUILD)-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DTAVLO_BUILD_TESTS=OFF -DTAVLO_FUZZ=ON >/dev/null
	@cmake --build $(BUILD)-fuzz -j $(JOBS) --target metafile_fuzzer
	@mkdir -p $(BUILD)-fuzz/corpus $(BUILD)-fuzz/crashes
	ASAN_OPTIONS=detect_leaks=0 $(BUILD)-fuzz/fuzz/metafile_fuzzer $(BUILD)-fuzz/corpus fuzz/corpus tests/data/metafiles \
	  -max_total_time=$(FUZZ_SECONDS) -timeout=10 -rss_limit_mb=2048 -malloc_limit_mb=2048 -max_len=262144 \
	  -fork=$(JOBS) -ignore_crashes=1 -ignore_timeouts=1 -ignore_ooms=1 -artifact_prefix=$(BUILD)-fuzz/crashes/

clean:
	rm -rf $(BUILD) $(BUILD)-bench $(BUILD)-fuzz $(BUILD)-package
