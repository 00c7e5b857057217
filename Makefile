# Tavlo: `make run` builds and starts the program, `make test` builds and runs
# every test. Both install the Debian packages they need first.
# `make install` (PREFIX=/usr/local; PREFIX=~/.local needs no root; DESTDIR
# stages the files elsewhere), `make uninstall`, `make package` (a .deb).

BUILD ?= build
BUILD_TYPE ?= RelWithDebInfo
WERROR ?= OFF
PICTURE ?=
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

# Builds from scratch go about twice as fast compiled in batches, with the
# shared headers precompiled.
BATCHED ?= ON
BATCHING = -DTAVLO_UNITY_BUILD=$(BATCHED) -DTAVLO_PRECOMPILED_HEADERS=$(BATCHED)
CONFIGURE = cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) -DTAVLO_WERROR=$(WERROR) $(BATCHING)

FUZZ_SECONDS ?= 60
# More folders of pictures to start the raster fuzzing from.
RASTER_SEEDS ?=

PREFIX ?= /usr/local
DESTDIR ?=
# PREFIX=~/.local as make sees it, when the shell left the ~ alone.
INSTALL_PREFIX = $(abspath $(patsubst ~%,$(HOME)%,$(PREFIX)))
# The desktop finds the programs for a file type ("Open With") through the
# cache that update-desktop-database keeps beside the desktop entries.
UPDATE_OPEN_WITH = if command -v update-desktop-database >/dev/null && [ -d "$(INSTALL_PREFIX)/share/applications" ]; then \
  update-desktop-database -q "$(INSTALL_PREFIX)/share/applications"; fi

.PHONY: all deps build program run test test-sanitized install uninstall package bench fuzz fuzz-build fuzz-metafile fuzz-raster fuzz-settings fuzz-colour clean

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
	@cmake --build $(BUILD)-package -j $(JOBS) --target tavlo tavlo-metafile-helper tavlo-decoder manual changelog
	cd $(BUILD)-package && cpack -G DEB

# The tests again, built with clang under AddressSanitizer and
# UndefinedBehaviorSanitizer: the test programs and what they start (the
# program itself for the install check), at -O1 with line tables. Any report
# fails, also one from the metafile helper.
SANITIZED_TARGETS = tavlo manual changelog platform_tests startup_tests browser_tests dialogs_tests viewer_tests app_tests \
  tavlo-metafile-helper tavlo-decoder metafile_fuzzer raster_fuzzer settings_fuzzer colour_fuzzer
test-sanitized: deps
	@scripts/ensure-packages.sh clang-14 libclang-rt-14-dev
	@CC=clang-14 CXX=clang++-14 cmake -S . -B $(BUILD)-sanitized -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -gline-tables-only -DNDEBUG" -DTAVLO_WERROR=$(WERROR) -DTAVLO_SANITIZE=ON $(BATCHING) >/dev/null
	@cmake --build $(BUILD)-sanitized -j $(JOBS) --target $(SANITIZED_TARGETS)
	scripts/run-sanitized-tests.sh $(BUILD)-sanitized $(JOBS)

# Runs on a quiet machine for numbers worth comparing; the photos (ImageMagick's
# plasma, made once into $(BUILD)-bench/bench-pictures) and djpeg are its own needs.
bench: deps
	@scripts/ensure-packages.sh imagemagick
	@cmake -S . -B $(BUILD)-bench -DCMAKE_BUILD_TYPE=Release -DTAVLO_BUILD_TESTS=OFF -DTAVLO_BUILD_BENCHMARKS=ON >/dev/null
	@cmake --build $(BUILD)-bench -j $(JOBS)
	QT_QPA_PLATFORM=offscreen $(BUILD)-bench/tavlo_bench

# Down held over 2,000 large photos in the real window on a virtual display,
# against feh paging through the same folder; the photos are made once into
# $(BUILD)-bench/held-key-pictures. Run it on a quiet machine.
.PHONY: bench-held-key
bench-held-key: deps
	@scripts/ensure-packages.sh imagemagick feh openbox xdotool python3-xlib
	@cmake -S . -B $(BUILD)-bench -DCMAKE_BUILD_TYPE=Release -DTAVLO_BUILD_TESTS=OFF -DTAVLO_BUILD_BENCHMARKS=ON >/dev/null
	@cmake --build $(BUILD)-bench -j $(JOBS) --target tavlo tavlo-metafile-helper
	bench/held-key.sh $(BUILD)-bench

# Fuzzes metafile loading, then raster picture loading, drawing and saving,
# then the settings file's reading and writing against Qt's, each with
# libFuzzer under AddressSanitizer and UndefinedBehaviorSanitizer for
# FUZZ_SECONDS; new inputs go to $(BUILD)-fuzz/corpus-*, crashes to
# $(BUILD)-fuzz/crashes-*.
FUZZ_OPTIONS = -max_total_time=$(FUZZ_SECONDS) -rss_limit_mb=2560 -malloc_limit_mb=2048 -fork=$(JOBS) \
  -ignore_crashes=1 -ignore_timeouts=1 -ignore_ooms=1
fuzz: fuzz-metafile fuzz-raster fuzz-settings fuzz-colour

fuzz-build: deps
	@scripts/ensure-packages.sh clang-14 libclang-rt-14-dev
	@CC=clang-14 CXX=clang++-14 cmake -S . -B $(BUILD)-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DTAVLO_BUILD_TESTS=OFF -DTAVLO_FUZZ=ON $(BATCHING) >/dev/null
	@cmake --build $(BUILD)-fuzz -j $(JOBS) --target metafile_fuzzer raster_fuzzer settings_fuzzer colour_fuzzer
	@mkdir -p $(BUILD)-fuzz/corpus-metafile $(BUILD)-fuzz/crashes-metafile $(BUILD)-fuzz/corpus-raster $(BUILD)-fuzz/crashes-raster \
	  $(BUILD)-fuzz/corpus-settings $(BUILD)-fuzz/crashes-settings \
	  $(BUILD)-fuzz/corpus-colour $(BUILD)-fuzz/crashes-colour

fuzz-metafile: fuzz-build
	ASAN_OPTIONS=detect_leaks=0 $(BUILD)-fuzz/fuzz/metafile_fuzzer $(BUILD)-fuzz/corpus-metafile fuzz/corpus tests/data/metafiles \
	  $(FUZZ_OPTIONS) -timeout=10 -max_len=262144 -artifact_prefix=$(BUILD)-fuzz/crashes-metafile/

# Its files are written to memory (/dev/shm) rather than the disk.
fuzz-raster: fuzz-build
	ASAN_OPTIONS=detect_leaks=0 QT_QPA_PLATFORM=offscreen TMPDIR=/dev/shm $(BUILD)-fuzz/fuzz/raster_fuzzer \
	  $(BUILD)-fuzz/corpus-raster fuzz/corpus-raster tests/data $(RASTER_SEEDS) \
	  $(FUZZ_OPTIONS) -timeout=30 -max_len=131072 -artifact_prefix=$(BUILD)-fuzz/crashes-raster/

# Its files, and Qt's, are written to memory (/dev/shm) too.
fuzz-settings: fuzz-build
	ASAN_OPTIONS=detect_leaks=0 TMPDIR=/dev/shm $(BUILD)-fuzz/fuzz/settings_fuzzer \
	  $(BUILD)-fuzz/corpus-settings fuzz/corpus-settings \
	  $(FUZZ_OPTIONS) -timeout=10 -max_len=4096 -dict=fuzz/settings.dict -artifact_prefix=$(BUILD)-fuzz/crashes-settings/

# Colour profiles, seeded with the machine's own and those of fuzz/corpus-colour.
fuzz-colour: fuzz-build
	ASAN_OPTIONS=detect_leaks=0 TMPDIR=/dev/shm $(BUILD)-fuzz/fuzz/colour_fuzzer \
	  $(BUILD)-fuzz/corpus-colour fuzz/corpus-colour /usr/share/color/icc \
	  $(FUZZ_OPTIONS) -timeout=30 -max_len=262144 -artifact_prefix=$(BUILD)-fuzz/crashes-colour/

clean:
	rm -rf $(BUILD) $(BUILD)-bench $(BUILD)-fuzz $(BUILD)-package $(BUILD)-sanitized
