# Kelvora: the user's entry points. Everything is built with CMake in build directories:
#   build/       release build (the programs, the benchmarks)
#   build-test/  tests with AddressSanitizer + UndefinedBehaviorSanitizer
#   build-tsan/  threaded tests with ThreadSanitizer

JOBS ?= 2
DEPS := cmake g++ make pkg-config libasound2-dev libsndfile1-dev libsmf-dev libstk-dev \
        libgtest-dev libbenchmark-dev libfltk1.3-dev xvfb xauth xdotool python3-numpy imagemagick

.PHONY: all deps run demo test tsan bench format clean

all: deps
	cmake -S . -B build -DCMAKE_BUILD_TYPE=Release
	cmake --build build -j$(JOBS)

# Installs the Debian packages the build and the tests need, only those missing.
deps:
	@missing=$$(for p in $(DEPS); do \
	    dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q '^install ok installed' \
	      || echo $$p; done); \
	if [ -n "$$missing" ]; then \
	  echo "Installing missing packages:" $$missing; \
	  if [ "$$(id -u)" -eq 0 ]; then SUDO=; else SUDO=sudo; fi; \
	  $$SUDO apt-get update -qq && \
	  $$SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
	    $$missing; \
	fi

# Starts the synthesizer; options go in ARGS, e.g. make run ARGS="-o default band.mst".
run: all
	./build/kelvora $(ARGS)

# Kelvora's main job without a sound card: every built-in preset in turn plays the demo phrase,
# rendered through the master stage into demo.wav.
demo: all
	./build/kelvora-render --demo -o demo.wav
	@echo "The demo is in $(CURDIR)/demo.wav"

test: deps
	cmake -S . -B build-test -DCMAKE_BUILD_TYPE=Debug -DKELVORA_SANITIZE=address
	cmake --build build-test -j$(JOBS)
	cd build-test && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  xvfb-run -a -s "-screen 0 1280x1024x24" ctest --output-on-failure --no-label-summary -j$(JOBS) --timeout 600

tsan: deps
	cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=Debug -DKELVORA_SANITIZE=thread
	cmake --build build-tsan -j$(JOBS)
	cd build-tsan && TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
	  xvfb-run -a -s "-screen 0 1280x1024x24" ctest --output-on-failure --no-label-summary -L threads --timeout 600

bench: all
	./build/bench/kelvora_bench $(BENCH_ARGS)

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf build build-test build-tsan
