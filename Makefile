# The two commands of the README: `make run` starts Dawnbell, `make test` passes every test.
# Both install the Debian packages they need first.
JOBS ?= $(shell nproc)
CTEST = ctest --output-on-failure -j $(JOBS) --timeout 600

.PHONY: run test package deps build-release build-debug test-debug test-asan test-tsan test-fuzz bench soak format clean

run: deps build-release
	./build/release/bin/dawnbell

test: deps test-debug test-asan test-tsan test-fuzz
	@echo "All test suites passed."

deps:
	@tools/scripts/install-deps

# A Debian package of the release build (what `cmake --install` installs, under /usr).
package: deps build-release
	cmake --build --preset release -j $(JOBS) --target resource_set debian_doc
	cd build/release && umask 022 && cpack
	@ls build/release/dawnbell_*.deb

build-release:
	cmake --preset release >/dev/null
	cmake --build --preset release -j $(JOBS) --target dawnbell

build-debug:
	cmake --preset debug >/dev/null
	cmake --build --preset debug -j $(JOBS)

# The plain build runs what takes whole processes at full speed: the end-to-end scenarios under
# Xvfb and the kill tests. Every unit test runs in the two sanitizer builds.
test-debug:
	cmake --preset debug >/dev/null
	cmake --build --preset debug -j $(JOBS) --target whole_process_tests
	cd build/debug && $(CTEST) -L 'e2e|kill'

test-asan:
	cmake --preset asan >/dev/null
	cmake --build --preset asan -j $(JOBS)
	cd build/asan && ASAN_OPTIONS=detect_leaks=1 $(CTEST) -LE e2e

test-tsan:
	cmake --preset tsan >/dev/null
	cmake --build --preset tsan -j $(JOBS)
	cd build/tsan && TSAN_OPTIONS="halt_on_error=1 suppressions=$(CURDIR)/tools/tsan-suppressions.txt" \
	  $(CTEST) -LE e2e

# Each fuzz target runs for a bounded time with the address and undefined sanitizers.
test-fuzz:
	cmake --preset fuzz >/dev/null
	cmake --build --preset fuzz -j $(JOBS) --target fuzzers
	tools/scripts/run-fuzzers build/fuzz 20

bench: deps
	cmake --preset release >/dev/null
	cmake --build --preset release -j $(JOBS) --target benchmarks
	tools/scripts/run-benchmarks build/release

# The long runs: every kill test at its full count (1,000 settings saves and 200 first starts
# killed at random moments), then the main screen's soak run (10,000 sends and 1,000
# drag-and-fling cycles, failing unless descriptors, elements and resident memory stay flat).
soak: deps build-debug
	cd build/debug && DAWNBELL_SETTINGS_KILLS=1000 DAWNBELL_RESCALE_KILLS=200 $(CTEST) -L kill
	cmake --preset release >/dev/null
	cmake --build --preset release -j $(JOBS) --target soak_main_screen
	build/release/bench/soak_main_screen

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf build
