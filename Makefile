# Two commands do everything: `make run` and `make test`.
SHELL := /bin/bash
BUILD ?= build
DEPS_CACHE ?= $(or $(QUOR_DEPS_CACHE),$(or $(XDG_CACHE_HOME),$(HOME)/.cache)/quor-launcher)
export QUOR_DEPS_CACHE := $(DEPS_CACHE)
LAUNCHER_FLAGS := $(if $(shell command -v ccache),-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
CTEST_JOBS ?= 2

.PHONY: all deps build run test test-plain test-tsan test-asan fuzz bench screenshots clean

all: build

deps:
	@tools/setup-deps

# configure DIR EXTRA-FLAGS
define configure
	@source $(DEPS_CACHE)/deps.env && \
	cmake -S . -B $(1) -G Ninja -Wno-dev $(LAUNCHER_FLAGS) \
	  -DCMAKE_PREFIX_PATH="$$SDL3_PREFIX" -DIMGUI_DIR="$$IMGUI_DIR" $(2) >/dev/null
endef

build: deps
	$(call configure,$(BUILD),)
	@cmake --build $(BUILD)

# Opens the launcher on the staged stand-in port with the sample dump.
run: build
	@tools/stage-sample $(BUILD)
	@tools/open-launcher $(BUILD)

test-plain: build
	@tools/stage-sample $(BUILD)
	@cd $(BUILD) && ctest --output-on-failure -j$(CTEST_JOBS)

test-tsan: deps
	$(call configure,$(BUILD)-tsan,-DQUOR_SANITIZE=thread -DCMAKE_BUILD_TYPE=Debug)
	@cmake --build $(BUILD)-tsan
	@tools/stage-sample $(BUILD)-tsan
	@cd $(BUILD)-tsan && TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$(CURDIR)/tools/tsan.supp" \
	  ctest --output-on-failure -j$(CTEST_JOBS) -E demo_port_python

test-asan: deps
	$(call configure,$(BUILD)-asan,-DQUOR_SANITIZE=address -DCMAKE_BUILD_TYPE=Debug)
	@cmake --build $(BUILD)-asan
	@tools/stage-sample $(BUILD)-asan
	@cd $(BUILD)-asan && ASAN_OPTIONS="detect_leaks=1" UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
	  ctest --output-on-failure -j$(CTEST_JOBS) -E demo_port_python

fuzz: deps
	@tools/run-fuzz $(BUILD)-fuzz

# The whole suite: plain, then under ThreadSanitizer and Address+UB sanitizers.
test: test-plain fuzz test-tsan test-asan
	@echo "all test builds passed"

# Timings, side by side with the bare SDL3 + Dear ImGui demo; not a test.
bench: build
	@cmake --build $(BUILD) --target quor-bare-demo
	@tools/stage-sample $(BUILD)
	@bench/run-bench $(BUILD)

# The README's pictures, docs/*.png, drawn by the launcher's scripted capture
# mode; run it again whenever a page changes. Not part of make test.
screenshots: build
	@tools/make-screenshots $(BUILD) docs

clean:
	rm -rf $(BUILD) $(BUILD)-tsan $(BUILD)-asan $(BUILD)-fuzz
