# Set-up, build, run and test on a Debian 12 machine. Missing Debian packages are
# installed with apt-get (through sudo when not root), and only when something is missing.

BUILD       ?= build
JOBS        ?= $(shell nproc)
BUILD_PKGS  := cmake g++ make pkg-config qt6-base-dev libmpv-dev libgl-dev libqt6sql6-sqlite libavformat-dev
TEST_PKGS   := ffmpeg xvfb xauth python3 python3-xlib x11-utils libgl1-mesa-dri libglx-mesa0 dbus desktop-file-utils playerctl openbox
BENCH_PKGS  := findutils mpv linux-perf python3-pyatspi python3-dbus at-spi2-core pulseaudio pulseaudio-utils
# make bench: a Release build of its own.
BENCH_BUILD ?= build-rel
PREFIX      ?= /usr/local
DESTDIR     ?=
FUZZ_PKGS   := clang-14 libclang-rt-14-dev
FUZZ_SECONDS ?= 60
# make test SANITIZE=1: the whole suite under ASan and UBSan, in its own build folder.
ifeq ($(SANITIZE),1)
BUILD       := build-san
CMAKE_ARGS  += -DVELLORAN_SANITIZE=ON
export ASAN_OPTIONS := detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS := print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS := suppressions=$(CURDIR)/tests/sanitize/lsan.supp:print_suppressions=0
endif
# make test TSAN=1: the suites that run worker threads (length reader, file probe), under
# ThreadSanitizer, in their own build folder.
TSAN_TESTS  ?= test_player_threads
ifeq ($(TSAN),1)
BUILD       := build-tsan
CMAKE_ARGS  += -DVELLORAN_TSAN=ON
CTEST_ARGS  += -R '^($(TSAN_TESTS))$$'
BUILD_TARGETS := test_player
export TSAN_OPTIONS := halt_on_error=1:second_deadlock_stack=1:die_after_fork=0:suppressions=$(CURDIR)/tests/sanitize/tsan.supp
endif
# CI=true (as CI sets it): every warning is an error.
ifeq ($(CI),true)
CMAKE_ARGS  += -DVELLORAN_WERROR=ON
endif
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

LINT_PKGS   := clang-tidy clang-format

.PHONY: all deps test-deps build run test bench soak fuzz clean install lint format mutate

all: build

deps:
	$(call ensure_pkgs,$(BUILD_PKGS))

test-deps: deps
	$(call ensure_pkgs,$(TEST_PKGS))

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) $(CMAKE_ARGS)

build: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS) $(if $(BUILD_TARGETS),--target $(BUILD_TARGETS))

run: build
	./$(BUILD)/velloran

test: test-deps build
	cd $(BUILD) && ctest --output-on-failure --timeout 300 $(CTEST_ARGS)

# The program (built alone, installed stripped), its desktop entry and its icon under
# $(DESTDIR)$(PREFIX).
install: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS) --target velloran
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD) --prefix "$(PREFIX)" --strip

bench: test-deps
	$(call ensure_pkgs,$(BENCH_PKGS))
	cmake -S . -B $(BENCH_BUILD) -DCMAKE_BUILD_TYPE=Release $(CMAKE_ARGS)
	./bench/run.sh $(BENCH_BUILD)

# A monkey run of 10 minutes on the real program (SOAK_SECONDS shortens it): no crash, no
# wait over 1 s, at most 5 MiB more memory after the first minute.
soak: test-deps build
	cmake --build $(BUILD) -j $(JOBS) --target soak
	./bench/soak.sh $(BUILD)

fuzz: deps
	$(call ensure_pkgs,$(FUZZ_PKGS))
	cmake -S fuzz -B build-fuzz -DCMAKE_CXX_COMPILER=clang++-14
	cmake --build build-fuzz -j $(JOBS)
	./fuzz/run.sh build-fuzz $(FUZZ_SECONDS)

# clang-tidy over src/ with the build's compile commands (whose GCC-only warning options its
# front end does not know), the format check and the include order.
lint: deps
	$(call ensure_pkgs,$(LINT_PKGS))
	cmake -S . -B $(BUILD) -DCMAKE_EXPORT_COMPILE_COMMANDS=ON $(CMAKE_ARGS) >/dev/null
	cmake --build $(BUILD) -j $(JOBS) --target velloran_core_autogen
	run-clang-tidy -quiet -p $(BUILD) -j $(JOBS) -extra-arg=-Wno-unknown-warning-option '$(CURDIR)/src/.*\.cpp$$'
	git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run -Werror
	python3 tools/include_cycles.py

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD) build-san build-tsan build-fuzz $(BENCH_BUILD)
