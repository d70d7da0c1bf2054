# Two commands do everything on a fresh Debian machine:
#   make demo   builds the plug-in and renders the demo piece to demo.wav
#   make test   builds every target and runs every test suite
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
FUZZ_SECONDS ?= 60
NATIVE_PRESETS := native debug sanitize tsan
WINDOWS_PRESETS := win32 win64

.PHONY: all deps demo deb installers dist web test test-native test-windows test-fuzz test-reproducible clean $(NATIVE_PRESETS) $(WINDOWS_PRESETS)

all: native

deps:
	@sh cmake/install-deps.sh

$(NATIVE_PRESETS) $(WINDOWS_PRESETS) fuzz: %: deps
	cmake --preset $@ >/dev/null
	cmake --build --preset $@ -j $(JOBS)

# The web edition: a folder of static files, build/web-site, for any web server.
# Two modules: with WebAssembly SIMD, and without for older browsers.
web: deps
	cmake --preset web >/dev/null
	cmake --build --preset web -j $(JOBS)
	cmake --preset web-scalar >/dev/null
	cmake --build --preset web-scalar -j $(JOBS)

# The demo asks for little: the VST 2 build and the render tool, from a
# compiler, CMake and libsndfile (no tests, benchmarks or DPF formats).
demo:
	@sh cmake/install-deps.sh demo
	cmake --preset demo >/dev/null
	cmake --build --preset demo -j $(JOBS) --target Hammerlyn2 hammerlyn2-render
	./build/demo/tools/hammerlyn2-render -o demo.wav
	@if command -v sox >/dev/null 2>&1; then \
	  sox demo.wav -n spectrogram -x 1200 -y 400 -t "Hammerlyn2 demo" -o demo.png && echo "Spectrogram: demo.png"; \
	fi

# The Debian package of the native build: build/deb/hammerlyn2_<version>_amd64.deb.
DIST_TARGETS := Hammerlyn2 Hammerlyn2_vst3 Hammerlyn2_clap hammerlyn2_app
DEB_TARGETS := $(DIST_TARGETS) Hammerlyn2_lv2 hammerlyn2-render hammerlyn2_icons
deb: deps
	cmake --preset native >/dev/null
	cmake --build build/native -j $(JOBS) --target $(DEB_TARGETS)
	sh packaging/make-deb.sh build/native build/deb

# The Windows installers: build/installers/Hammerlyn2-<version>-win32-setup.exe and -win64-setup.exe.
installers: deps
	@for bits in 32 64; do \
	  cmake --preset win$$bits >/dev/null && cmake --build build/win$$bits -j $(JOBS) --target $(DIST_TARGETS) && \
	  sh packaging/make-installer.sh build/win$$bits $$bits build/installers || exit 1; \
	done

# Release packages in build/dist: every format for Linux x86_64, Windows 32-bit
# and Windows 64-bit, with the factory bank, an install note and the licences,
# as archives, the Debian package and the Windows installers; the binaries'
# debug information in the -debug archive.
dist: deps web
	@for p in native win32 win64; do \
	  targets="$(DIST_TARGETS)"; [ $$p = native ] && targets="$(DEB_TARGETS)"; \
	  cmake --preset $$p >/dev/null && cmake --build build/$$p -j $(JOBS) --target $$targets || exit 1; \
	done
	sh formats/dist/make-dist.sh

test: deps
	@start=$$(date +%s); status=0; \
	echo "=== web: build (the native preset tests it)"; \
	$(MAKE) --no-print-directory web && npm ci --prefix tests/web --no-audit --no-fund >/dev/null || { status=1; echo "*** web: build failed"; }; \
	for p in $(NATIVE_PRESETS) $(WINDOWS_PRESETS); do \
	  echo "=== $$p: build"; \
	  cmake --preset $$p >/dev/null && cmake --build --preset $$p -j $(JOBS) || { status=1; echo "*** $$p: build failed"; continue; }; \
	  echo "=== $$p: test"; \
	  case $$p in win*) runner="xvfb-run -a -s '-screen 0 1024x768x24'";; *) runner="";; esac; \
	  eval $$runner ctest --preset $$p -j $(JOBS) --timeout 1200 || { status=1; echo "*** $$p: tests failed"; }; \
	done; \
	echo "=== fuzz ($(FUZZ_SECONDS) s per target)"; \
	$(MAKE) --no-print-directory test-fuzz || status=1; \
	echo "=== make test finished in $$(( $$(date +%s) - start )) s, status $$status"; \
	exit $$status

test-fuzz: fuzz
	sh tests/fuzz/run-fuzzers.sh build/fuzz $(FUZZ_SECONDS)

clean:
	rm -rf build demo.wav demo.png
