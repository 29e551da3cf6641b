# Two entry points: `make demo` renders the built-in scene, `make test` runs
# every test under the sanitizers, then a minute of fuzzing.  Both install
# what they need first.  `make fuzz` fuzzes alone, FUZZ_SECONDS long.
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
FUZZ_SECONDS ?= 600

.PHONY: all setup demo test test-farm release asan bench plugin fuzz mutants clean

all: release

setup:
	@scripts/setup.sh

release: setup
	cmake --preset release >/dev/null
	cmake --build --preset release -j $(JOBS)

asan: setup
	cmake --preset asan >/dev/null
	cmake --build --preset asan -j $(JOBS)

plugin: setup
	cmake --preset plugin >/dev/null
	cmake --build --preset plugin -j $(JOBS)

demo: release
	scripts/demo.sh build/release

test: asan
	ctest --preset asan -j $(JOBS)
	scripts/fuzz.sh 60

# The farm recipes on a one-node Slurm cluster and with GNU parallel (as root).
test-farm: release
	scripts/test-farm.sh build/release

fuzz: setup
	scripts/fuzz.sh $(FUZZ_SECONDS)

# The mutation campaign (not run by CI): every planted slip must fail a test.
# MUTANTS="--only NAME..." runs some of them.
mutants: setup
	scripts/mutants.py $(MUTANTS)

bench: release
	scripts/bench.sh build/release

clean:
	rm -rf build out
