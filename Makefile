# Kartovel: `make run` starts the program, `make test` builds and runs every test.
# Both install missing Debian packages first (scripts/install-deps.sh).

.PHONY: all deps build run screenshots test test-release test-sanitize fuzz-smoke bench bench-sampling bench-fit bench-recognize clean

all: build

deps:
	@bash scripts/install-deps.sh

build/release/build.ninja: CMakeLists.txt CMakePresets.json | deps
	cmake --preset release

build/sanitize/build.ninja: CMakeLists.txt CMakePresets.json | deps
	cmake --preset sanitize

build: deps build/release/build.ninja
	cmake --build --preset release

SAMPLE_MAP := build/release/samples/earth-mollweide.png
SAMPLE_OUT := build/release/samples/earth-equirectangular.png

# The wizard on the bundled Mollweide Earth (its settings file beside it fits the graticule);
# without a display, the same conversion on the command line from that settings file.
run: build
	@if [ -n "$$DISPLAY$$WAYLAND_DISPLAY" ]; then \
	  ./build/release/bin/kartovel $(SAMPLE_MAP); \
	else \
	  echo "No display (DISPLAY and WAYLAND_DISPLAY are unset): converting the sample with kartovel-convert instead."; \
	  ./build/release/bin/kartovel-convert --settings $(SAMPLE_MAP).kartovel --width 2048 \
	    $(SAMPLE_MAP) $(SAMPLE_OUT) && \
	  echo "Wrote $(SAMPLE_OUT) from $(SAMPLE_MAP)"; \
	fi

# A picture of each wizard page, made offscreen, in build/release/screenshots.
screenshots: deps build/release/build.ninja
	cmake --build --preset release --target screenshots

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
	bash bench/peak_memory.sh build/release/bin
	bash bench/end_to_end.sh build/release/bin
	bash bench/hostile_composite.sh build/release/bin
	@if [ -d ../shared/reference-maps ] && command -v gdalwarp >/dev/null; then \
	  bash bench/world_map_roundtrip.sh build/release/bin; \
	else \
	  echo "world map round trip: needs ../shared/reference-maps and gdal-bin; skipped"; \
	fi

# The long measurements on maps drawn by gdalwarp (and GMT), each against its targets.
bench-sampling: build
	bash bench/reference_psnr.sh

bench-fit: build
	bash bench/fit_targets.sh

bench-recognize: build
	python3 bench/recognize_bench.py

clean:
	rm -rf build
