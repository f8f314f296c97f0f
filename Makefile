# The front door. Every target builds through CMake's presets into out/.
#   make demo   smooth a synthetic volume in GNU Octave, write out/demo/voxblur-demo.png
#   make test   build everything and run every test
# Both install missing Debian packages first when run as root.

PRESETS := native
JOBS    ?= $(shell nproc)

DEBIAN_PACKAGES := cmake make g++ libgtest-dev libbenchmark-dev binutils

.PHONY: all test demo deps configure build clean

all: build

deps:
	@./scripts/install-debian-packages.sh $(DEBIAN_PACKAGES)

configure: deps
	@for preset in $(PRESETS); do cmake --preset $$preset >/dev/null || exit 1; done

build: configure
	@for preset in $(PRESETS); do cmake --build --preset $$preset -j $(JOBS) || exit 1; done

test: build
	@for preset in $(PRESETS); do ctest --preset $$preset -j $(JOBS) || exit 1; done

demo:
	@echo "The demo arrives with the gateway and the Octave build."

clean:
	rm -rf out
