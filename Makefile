# Builds, runs and tests the show. The two commands a newcomer needs:
#
#     make run     build the program and show it (under Wine; under Xvfb without a display)
#     make test    build everything and run every test
#
# and beside them make bench, make fuzz, make pictures and make video (build/thousand.mp4).
#
# Both install the Debian packages they need first (as root; otherwise they print
# the apt-get line to run).

NATIVE := build/native
WIN32 := build/win32
JOBS ?= $(shell nproc)
# Compiler warnings as errors: ON in continuous integration (.ci/run), OFF by default.
WERROR ?= OFF

.PHONY: all deps native win32 web run test bench fuzz pictures video clean

all: native win32

deps:
	@tools/install-deps.sh

# Both trees are configured with their tests: a missing package then stops the
# configuration with its name instead of leaving the tests out.
native: deps
	cmake -S . -B $(NATIVE) -DCMAKE_BUILD_TYPE=Release -DTHOUSAND_TESTS=ON -DTHOUSAND_WERROR=$(WERROR)
	cmake --build $(NATIVE) -j $(JOBS)

win32: deps
	cmake -S . -B $(WIN32) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=Release -DTHOUSAND_TESTS=ON \
		-DTHOUSAND_WERROR=$(WERROR)
	cmake --build $(WIN32) -j $(JOBS)

# The show as one web page, build/web/thousand.html, with Debian's Emscripten. Its tools
# need Debian's node modules on Node's path.
WEB := build/web
web: deps
	NODE_PATH=/usr/share/nodejs emcmake cmake -S . -B $(WEB) -DCMAKE_BUILD_TYPE=Release -DTHOUSAND_TESTS=OFF \
		-DTHOUSAND_WERROR=$(WERROR)
	NODE_PATH=/usr/share/nodejs cmake --build $(WEB) -j $(JOBS)

run: win32
	tools/run.sh $(WIN32)/thousand.exe

# The browsers' driver for the web page's tests, from npm by its lock file.
tests/web/node_modules: tests/web/package-lock.json
	cd tests/web && npm ci --no-audit --no-fund
	touch $@

# Real modules from Debian's packages of games, for the comparisons with the peer player.
REAL_MODULES := build/real-modules
$(REAL_MODULES)/.stamp: tools/fetch-real-modules.sh
	tools/fetch-real-modules.sh $(REAL_MODULES)

# The host tests (the browsers' with them) run in parallel. The Windows tree's tests that
# use Wine run one at a time, each on its own display (the scenarios alone, the others
# under a lock on their prefix); the one that only builds runs beside them.
test: native win32 web tests/web/node_modules $(REAL_MODULES)/.stamp
	ctest --test-dir $(NATIVE) --output-on-failure -j $(JOBS)
	ctest --test-dir $(WIN32) --output-on-failure -j $(JOBS)

bench: native web tests/web/node_modules
	$(NATIVE)/bin/thousand_bench
	$(NATIVE)/bin/thousand_bench_gles
	node bench/web_bench.mjs $(WEB)/thousand.html $(NATIVE)/bin/snapshot

# A bounded fuzzing session of the module loader and player: FUZZ_SECONDS long (default
# five minutes), starting from the seed corpus. New inputs go to build/fuzz-corpus, and
# whatever crashes to build/fuzz-artifacts.
FUZZ_SECONDS ?= 300
fuzz: native
	mkdir -p build/fuzz-corpus build/fuzz-artifacts
	$(NATIVE)/fuzz/mod_fuzz -max_total_time=$(FUZZ_SECONDS) -max_len=32768 \
		-artifact_prefix=build/fuzz-artifacts/ build/fuzz-corpus tests/fuzz/corpus

# The README's pictures of the show, rendered off-screen at 60 frames per second: the
# title at 3 s, and the main phase at 30 s once the water has risen and rings spread;
# and an animated preview of four seconds of the main phase from 28 s.
pictures: native
	$(NATIVE)/bin/snapshot 3.0 docs/title.png 30.0 docs/main-phase.png
	$(NATIVE)/bin/capture --from 28 --seconds 4 docs/preview.webp

# The show as a video with its soundtrack, at 60 frames per second: the title and one
# whole cycle of the credits.
video: native
	$(NATIVE)/bin/capture build/thousand.mp4

clean:
	rm -rf build
