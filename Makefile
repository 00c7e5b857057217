# Tavlo: `make run` builds and starts the program, `make test` builds and runs
# every test. Both install the Debian packages they need first.

BUILD ?= build
BUILD_TYPE ?= RelWithDebInfo
WERROR ?= OFF
PICTURE ?=
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

CONFIGURE = cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) -DTAVLO_WERROR=$(WERROR)

.PHONY: all deps build run test bench clean

all: build

deps:
	@scripts/ensure-packages.sh

build: deps
	@$(CONFIGURE) >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)

run:
	@if [ -z "$$DISPLAY$$WAYLAND_DISPLAY" ]; then \
	  echo "make run: there is no display to open a window on (DISPLAY and WAYLAND_DISPLAY are unset); start it from a desktop session, or headless with: xvfb-run make run"; \
	  exit 1; \
	fi
	@$(MAKE) --no-print-directory build
	$(BUILD)/tavlo $(if $(PICTURE),"$(PICTURE)")

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

bench: deps
	@cmake -S . -B $(BUILD)-bench -DCMAKE_BUILD_TYPE=Release -DTAVLO_BUILD_TESTS=OFF -DTAVLO_BUILD_BENCHMARKS=ON >/dev/null
	@cmake --build $(BUILD)-bench -j $(JOBS)
	QT_QPA_PLATFORM=offscreen $(BUILD)-bench/bench/tavlo_bench

clean:
	rm -rf $(BUILD) $(BUILD)-bench
