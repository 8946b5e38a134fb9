# Quick start:
#   make demo   set up, build, and run the optimizer on a bundled example
#   make test   build and run every test
BUILD      ?= build
ASAN_BUILD ?= build-asan
JOBS       ?= $(shell nproc)

.PHONY: all setup configure build demo test test-sanitize diff-check format clean

all: build

setup:
	@scripts/setup.sh

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo

configure: setup $(BUILD)/build.ninja

build: configure
	ninja -C $(BUILD) -j $(JOBS)

demo: build
	@scripts/demo.sh $(BUILD)

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

$(ASAN_BUILD)/build.ninja:
	cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVXOPT_SANITIZE=ON

test-sanitize: setup $(ASAN_BUILD)/build.ninja
	ninja -C $(ASAN_BUILD) -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1 \
		ctest --test-dir $(ASAN_BUILD) --output-on-failure -j $(JOBS)

# Differential checking: random programs run before and after optimization.
SEEDS  ?= 1-10000
LEVELS ?= 0,1,2,3
diff-check: build
	scripts/diff-check.sh --build $(BUILD) --seeds $(SEEDS) --levels $(LEVELS)

format:
	find src tests tools bench -name '*.cpp' -o -name '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD) $(ASAN_BUILD)
