# The front door. Every target builds through CMake's presets into out/.
#   make demo          smooth a synthetic volume in GNU Octave, write out/demo/voxblur-demo.png
#   make test          build everything and run every test
#   make deliverables  build the five MEX files into out/
#   make bench         time the plain, SSE2 and AVX passes, then voxblur against
#                      Octave's convn and smooth3 (never part of make test)
# Each installs missing Debian packages first when run as root.

# One preset per MEX file; native comes first, the others' tests use its
# case-table runner.
PRESETS := native mexglx mexglx-r11 mexw32 dll
JOBS    ?= $(shell nproc)

# What the native build needs (Octave included: the demo and the tests run
# voxblur in it), and what the other platforms' builds add.
NATIVE_PACKAGES := cmake make g++ binutils libgtest-dev libbenchmark-dev octave liboctave-dev
TEST_PACKAGES   := $(NATIVE_PACKAGES) g++-multilib mingw-w64 wine wine32:i386

.PHONY: all test demo deliverables bench deps native-deps configure build clean

all: build

native-deps:
	@./scripts/install-debian-packages.sh $(NATIVE_PACKAGES)

deps: native-deps
	@./scripts/install-debian-packages.sh $(TEST_PACKAGES)

configure: deps
	@for preset in $(PRESETS); do cmake --preset $$preset >/dev/null || exit 1; done

build: configure
	@for preset in $(PRESETS); do cmake --build --preset $$preset -j $(JOBS) || exit 1; done

deliverables: build
	@ls -l out/voxblur.mexa64 out/voxblur.mexglx out/r11/voxblur.mexglx out/voxblur.mexw32 out/voxblur.dll

test: build
	@for preset in $(PRESETS); do ctest --preset $$preset -j $(JOBS) || exit 1; done

demo: native-deps
	@cmake --preset native >/dev/null
	@cmake --build --preset native --target voxblur_octave
	@./scripts/octave.sh --eval "voxblur_demo('out/demo/voxblur-demo.png')"

bench: native-deps
	@cmake --preset native >/dev/null
	@cmake --build --preset native --target voxblur_bench voxblur_octave -j $(JOBS)
	@out/build/native/bench/voxblur_bench
	@./scripts/octave.sh --path bench --eval peers

clean:
	rm -rf out
