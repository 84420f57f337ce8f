# Kartovel: `make run` starts the program, `make test` builds and runs every test.
# Both install missing Debian packages first (scripts/install-deps.sh).

.PHONY: all deps build run test test-release test-sanitize fuzz-smoke bench clean

all: build

deps:
	@bash scripts/install-deps.sh

build/release/build.ninja: CMakeLists.txt CMakePresets.json | deps
	cmake --preset release

build/sanitize/build.ninja: CMakeLists.txt CMakePresets.json | deps
	cmake --preset sanitize

build: deps build/release/build.ninja
	cmake --build --preset release

run: build
	./build/release/bin/kartovel-convert --list

test: test-release test-sanitize fuzz-smoke

test-release: deps build/release/build.ninja
	cmake --build --preset release
	ctest --preset release

test-sanitize: deps build/sanitize/build.ninja
	cmake --build --preset sanitize
	ctest --preset sanitize

# A short libFuzzer run (clang, outside the gcc builds) over the seed corpus.
fuzz-smoke: deps
	bash scripts/fuzz.sh 20

bench: build
	./build/release/bin/kartovel-bench

clean:
	rm -rf build
