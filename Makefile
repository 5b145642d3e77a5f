# Kelvora: the user's entry points. Everything is built with CMake in build directories:
#   build/       release build (the programs, the benchmarks)
#   build-test/  tests with AddressSanitizer + UndefinedBehaviorSanitizer
#   build-tsan/  threaded tests with ThreadSanitizer
#   build-fuzz/  libFuzzer targets (clang) with AddressSanitizer + UndefinedBehaviorSanitizer

JOBS ?= 2
DEPS := cmake g++ make pkg-config libasound2-dev libsndfile1-dev libsmf-dev libstk-dev \
        libjack-jackd2-dev jackd2 liblo-dev \
        libgtest-dev libbenchmark-dev libfltk1.3-dev xvfb xauth xdotool python3-numpy imagemagick \
        python3-jack-client groff-base desktop-file-utils \
        lv2-dev liblilv-dev lilv-utils serdi sordi jalv procps
# libstk-dev pulls JACK 1's libjack-dev through librtaudio-dev, and jackd2 installed after it
# makes apt remove libstk-dev: these three go into one apt-get, where librtaudio-dev takes
# libjack-jackd2-dev in place of libjack-dev.
JACK_GROUP := libstk-dev libjack-jackd2-dev jackd2

.PHONY: all deps run demo test tsan soak fuzz bench format clean lv2 install install-files uninstall

all: deps
	cmake -S . -B build -DCMAKE_BUILD_TYPE=Release
	cmake --build build -j$(JOBS)

# The LV2 plugins alone: build/lv2/kelvora.lv2 (Kelvora String, Kelvora Flute, Kelvora Effects).
lv2: deps
	cmake -S . -B build -DCMAKE_BUILD_TYPE=Release
	cmake --build build -j$(JOBS) --target lv2

# Installs the Debian packages the build and the tests need, only those missing.
deps:
	@missing=$$(for p in $(DEPS); do \
	    dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q '^install ok installed' \
	      || echo $$p; done); \
	case " $$missing " in *" libstk-dev "*|*" libjack-jackd2-dev "*|*" jackd2 "*) \
	  missing="$$missing $(JACK_GROUP)";; esac; \
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

# The long bounded-output soak (minutes, release build); prints what it covered.
soak: all
	KELVORA_SOAK=long ./build/tests/kelvora_soak_tests

# Every fuzz target for FUZZ_SECONDS each (seed corpora from the presets), in build-fuzz.
FUZZ_SECONDS ?= 60
FUZZ_TARGETS := midi_decoder string_patch flute_patch effects_patch rack_file rack_apply rc_file \
                $(if $(wildcard platform/SequencerEvent.h),sequencer_event)
fuzz:
	cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=clang++-14 \
	  -DKELVORA_FUZZ=ON -DKELVORA_BENCH=OFF
	cmake --build build-fuzz -j$(JOBS) --target kelvora_fuzz_seeds $(addprefix fuzz_,$(FUZZ_TARGETS))
	./build-fuzz/fuzz/kelvora_fuzz_seeds build-fuzz/corpus
	@failed=; mkdir -p build-fuzz/logs; for t in $(FUZZ_TARGETS); do \
	  mkdir -p build-fuzz/corpus/$$t build-fuzz/crashes/$$t; \
	  cp fuzz/regressions/$$t/* build-fuzz/corpus/$$t/ 2>/dev/null; \
	  echo "== fuzz_$$t for $(FUZZ_SECONDS) s"; \
	  ./build-fuzz/fuzz/fuzz_$$t -max_total_time=$(FUZZ_SECONDS) -max_len=8192 -timeout=10 -close_fd_mask=2 \
	    -print_final_stats=1 -artifact_prefix=build-fuzz/crashes/$$t/ build-fuzz/corpus/$$t \
	    > build-fuzz/logs/$$t.log 2>&1 || failed="$$failed $$t"; \
	  grep -E '^(stat::number_of_executed_units|==[0-9]+== ?ERROR|SUMMARY)' build-fuzz/logs/$$t.log; \
	done; \
	if [ -n "$$failed" ]; then \
	  echo "Crashes found by:$$failed (inputs in build-fuzz/crashes, logs in build-fuzz/logs)"; exit 1; \
	fi

bench: all
	./build/bench/kelvora_bench $(BENCH_ARGS)

# Installing: PREFIX (default /usr/local) and DESTDIR as usual. `make install` builds the
# release programs first; `make install-files` copies what BUILD_DIR holds (the tests install
# their own build into a temporary DESTDIR). Each installed file is one line of install-files
# and one entry of INSTALLED, which uninstall removes.
PREFIX ?= /usr/local
BUILD_DIR ?= build
BINDIR := $(PREFIX)/bin
DATADIR := $(PREFIX)/share
MANDIR := $(DATADIR)/man
# The LV2 bundle goes where hosts look for plugins.
LV2BUNDLE := $(PREFIX)/lib/lv2/kelvora.lv2
LV2FILES := manifest.ttl kelvora.ttl presets.ttl kelvora.so
INSTALLED := $(BINDIR)/kelvora $(BINDIR)/kelvora-render \
             $(DATADIR)/applications/kelvora.desktop \
             $(DATADIR)/icons/hicolor/scalable/apps/kelvora.svg \
             $(MANDIR)/man1/kelvora.1 $(MANDIR)/man1/kelvora-render.1 \
             $(addprefix $(LV2BUNDLE)/,$(LV2FILES))

install: all
	$(MAKE) install-files

install-files:
	install -Dm755 $(BUILD_DIR)/kelvora $(DESTDIR)$(BINDIR)/kelvora
	install -Dm755 $(BUILD_DIR)/kelvora-render $(DESTDIR)$(BINDIR)/kelvora-render
	install -Dm644 data/kelvora.desktop $(DESTDIR)$(DATADIR)/applications/kelvora.desktop
	install -Dm644 data/kelvora.svg $(DESTDIR)$(DATADIR)/icons/hicolor/scalable/apps/kelvora.svg
	install -Dm644 data/kelvora.1 $(DESTDIR)$(MANDIR)/man1/kelvora.1
	install -Dm644 data/kelvora-render.1 $(DESTDIR)$(MANDIR)/man1/kelvora-render.1
	install -d $(DESTDIR)$(LV2BUNDLE)
	install -m644 $(addprefix $(BUILD_DIR)/lv2/kelvora.lv2/,$(filter %.ttl,$(LV2FILES))) \
	  $(DESTDIR)$(LV2BUNDLE)/
	install -m755 $(BUILD_DIR)/lv2/kelvora.lv2/kelvora.so $(DESTDIR)$(LV2BUNDLE)/kelvora.so

uninstall:
	rm -f $(addprefix $(DESTDIR),$(INSTALLED))
	[ ! -d $(DESTDIR)$(LV2BUNDLE) ] || rmdir --ignore-fail-on-non-empty $(DESTDIR)$(LV2BUNDLE)

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf build build-test build-tsan build-fuzz
