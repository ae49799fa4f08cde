# Set-up, build, run and test on a Debian 12 machine. Missing Debian packages are
# installed with apt-get (through sudo when not root), and only when something is missing.

BUILD       ?= build
JOBS        ?= $(shell nproc)
BUILD_PKGS  := cmake g++ make pkg-config qt6-base-dev libmpv-dev libgl-dev libqt6sql6-sqlite
TEST_PKGS   := ffmpeg id3tool xvfb xauth xdotool python3 python3-xlib x11-utils
BENCH_PKGS  := findutils
SUDO        := $(shell [ "$$(id -u)" = 0 ] || echo sudo)

define ensure_pkgs
	@missing=$$(for p in $(1); do \
	  dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q '^install ok installed' || echo $$p; \
	done); \
	if [ -n "$$missing" ]; then \
	  echo "Installing:" $$missing; \
	  $(SUDO) apt-get update -qq && \
	  DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -qq $$missing; \
	fi
endef

.PHONY: all deps test-deps build run test bench clean

all: build

deps:
	$(call ensure_pkgs,$(BUILD_PKGS))

test-deps: deps
	$(call ensure_pkgs,$(TEST_PKGS))

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD)

build: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

run: build
	./$(BUILD)/velloran

test: test-deps build
	cd $(BUILD) && ctest --output-on-failure --timeout 300

bench: test-deps build
	./bench/run.sh $(BUILD)

clean:
	rm -rf $(BUILD)
