# The front door. Every target builds through CMake's presets into out/.
#   make demo          smooth a synthetic volume in GNU Octave (with voxblur.oct),
#                      write out/demo/voxblur-demo.png; voxsmooth.oct lies beside it
#   make test          build everything and run every test
#   make deliverables  build the six MEX files of voxblur and voxsmooth's two into out/
#   make figures       redraw the README's pictures in docs/
#   make install PREFIX=FOLDER   put this platform's MEX files, the .oct files and their
#                      help in FOLDER
#   make dist          write out/dist/voxblur-VERSION.zip with the eight MEX files,
#                      and the Octave package beside it
#   make octave-pkg    write out/dist/voxblur-VERSION.tar.gz, for Octave's pkg install
#   make fuzz          fuzz the gateways for FUZZ_SECONDS each (default 1800)
#   make bench         time the plain, SSE2, AVX and AVX-512 passes and two threads
#                      against this machine's floors, the engine of voxblur.oct beside
#                      that of the CMake build, then voxblur.oct against the
#                      engine alone, the Octave MEX build, convn and smooth3, and
#                      measure the peak memory of a call of each build, and time
#                      voxsmooth's series, mask and single calls (never part of make test)
# Each installs missing Debian packages first when run as root.

# The presets of CMakePresets.json, in its order: one per MEX file of
# cmake/mex_files.cmake; native comes first, the others' tests use its
# case-table runner. Then the x86-64 build again under AddressSanitizer and
# UndefinedBehaviorSanitizer (with a 60 s fuzz run), and the re-entrancy and
# thread tests under ThreadSanitizer. (Both lists are read when a recipe
# runs, after deps has installed cmake.)
PRESETS = $(shell cmake --list-presets | sed -n 's/^ *"\([^"]*\)".*/\1/p')
# The MEX files, from the table.
MEX_FILES = $(shell cmake -P cmake/list_mex_files.cmake)
JOBS    ?= $(shell nproc)
PREFIX  ?= /usr/local/share/voxblur
FUZZ_SECONDS ?= 1800

# What the native build needs (Octave included: the demo and the tests run
# voxblur in it), and what the other platforms' builds add.
NATIVE_PACKAGES := cmake make g++ binutils libgtest-dev libbenchmark-dev octave liboctave-dev
# The i386 compilers come from g++-12-multilib rather than its metapackage
# g++-multilib, which conflicts with every cross compiler; the kernel's
# headers (asm/) that the metapackage would link in are the amd64 ones, which
# the i386 toolchain file links in its own folder. wine64 runs the x86-64
# Windows file. The engine is also built for 64-bit ARM, with GCC and Clang,
# and run under qemu, and compiled as Microsoft's compiler sees it with
# clang-cl (clang-tools-14).
TEST_PACKAGES   := $(NATIVE_PACKAGES) g++-12-multilib mingw-w64 wine wine64 \
                   clang clang-tools-14 libclang-rt-14-dev llvm valgrind g++-aarch64-linux-gnu qemu-user
# Packages that only run some tests: where one cannot be installed, the
# tests that need it are skipped, and the last line of make test says why.
# wine's 32-bit half runs the Windows x86 files.
RUN_ONLY_PACKAGES := wine32:i386
PACKAGE_NOTES     := out/build/packages-not-installed
# Octave draws plots without a display only through gnuplot, and its text
# layout needs the FreeSans font that the octave package only recommends.
FIGURE_PACKAGES := $(NATIVE_PACKAGES) gnuplot-nox fonts-freefont-otf

.PHONY: all test demo deliverables figures install dist octave-pkg fuzz bench deps native-deps \
        figure-deps native-tree configure build clean

all: build

native-deps:
	@./scripts/install-debian-packages.sh $(NATIVE_PACKAGES)

deps: native-deps
	@./scripts/install-debian-packages.sh --notes $(PACKAGE_NOTES) $(TEST_PACKAGES) \
	                                      --run-only $(RUN_ONLY_PACKAGES)

figure-deps:
	@./scripts/install-debian-packages.sh $(FIGURE_PACKAGES)

# The native build tree alone, for the targets that need nothing else.
native-tree: native-deps
	@cmake --preset native >/dev/null

configure: deps
	@./scripts/presets.sh configure $(JOBS) $(PRESETS)

build: configure
	@./scripts/presets.sh build $(JOBS) $(PRESETS)

deliverables: build
	@ls -l $(MEX_FILES:%=out/%)

# Where this machine runs no i386 program (or VOXBLUR_NO_NATIVE_I386=1), the
# i386 case tables run under qemu-i386 and the Windows x86 ones are skipped;
# so are the Windows x86 ones where wine32:i386 could not be installed. The
# last line says so. Each tree's tests start as soon as it is built, beside
# the builds that follow; native's, which bundle every tree's files, last.
test: configure
	@./scripts/presets.sh test $(JOBS) $(PRESETS)

# The long run uses the same options and seeds as the short one in the
# tests, on $(JOBS) processes, three quarters of the time with the fast
# target and the rest with the long one (tests/fuzz/run_fuzz.sh); what it
# finds is kept in out/build/sanitize/tests/fuzz/corpus/, a fault's input
# in out/build/sanitize/tests/fuzz/faults/.
fuzz: deps
	@cmake --preset sanitize >/dev/null
	@cmake --build --preset sanitize -j $(JOBS) --target gateway_fuzz gateway_fuzz_long
	@tests/fuzz/run_fuzz.sh run out/build/sanitize/tests/fuzz $(FUZZ_SECONDS) $(JOBS)

demo: native-tree
	@cmake --build --preset native --target voxblur_octave voxsmooth_octave
	@./scripts/octave.sh --eval "voxblur_demo('out/demo/voxblur-demo.png')"

figures: figure-deps native-tree
	@cmake --build --preset native --target voxblur_octave voxblur_help
	@./scripts/octave.sh --eval "edge_handling_figure('docs/edge-handling.png')"
	@./scripts/octave.sh --eval "voxblur_demo('docs/voxblur-demo.png')"
	@./scripts/octave.sh --eval "masked_smoothing_figure('docs/masked-smoothing.png')"

install: native-tree
	@cmake --build --preset native -j $(JOBS)
	@cmake --install out/build/native --prefix "$(PREFIX)"

dist: deliverables
	@cmake --build --preset native --target dist octave_package

octave-pkg: native-tree
	@cmake --build --preset native --target octave_package

bench: native-tree
	@cmake --build --preset native --target voxblur_bench voxblur_octave voxsmooth_octave engine_time_oct -j $(JOBS)
	@out/build/native/bench/voxblur_bench
	@./scripts/octave.sh --path bench --eval engine_builds
	@./scripts/octave.sh --path bench --eval peers
	@./scripts/octave.sh --path bench --eval voxsmooth_times
	@./scripts/octave.sh --path bench --eval "peak_memory('oct')"
	@./scripts/octave.sh --path bench --eval "peak_memory('mex')"
	@./scripts/octave.sh --path bench --eval "peak_memory('voxsmooth')"

clean:
	rm -rf out
