# Two commands do all the set-up on a fresh Debian machine:
#   make demo   installs what the program and the demo need, builds the
#               program alone, and runs the sample report
#   make test   builds and runs every test, also under the sanitizers, and
#               each fuzz target for a short time (skipped without clang)
#   make fuzz   runs each fuzz target for FUZZ_SECONDS
# Installing: make install PREFIX=DIR (default /usr/local); make package
# builds a Debian package in build/.
JOBS ?= 2
PREFIX ?= /usr/local
BUILD := build
SANBUILD := build-san
FUZZ_SECONDS ?= 600

.PHONY: all deps deps-program build program demo test test-plain test-sanitize test-tsan test-fuzz fuzz install package clean

all: build

deps:
	@bash scripts/install-deps.sh test

deps-program:
	@bash scripts/install-deps.sh demo

# The program and its tests.
build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKELVORDANTIX_TESTS=ON
	cmake --build $(BUILD) -j$(JOBS)

# The program alone.
program: deps-program
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKELVORDANTIX_TESTS=OFF
	cmake --build $(BUILD) -j$(JOBS)

demo: program
	rm -f examples/demo.db
	sqlite3 examples/demo.db < examples/demo.sql
	cd examples && ../$(BUILD)/kelvordantix sample.rpt sample.out scott/tiger@demo.db
	@echo "The report is in examples/sample.out"

test: test-plain test-sanitize test-tsan test-fuzz

test-plain: build
	ctest --test-dir $(BUILD) -j$(JOBS) --output-on-failure

test-sanitize: deps
	cmake -S . -B $(SANBUILD) -DCMAKE_BUILD_TYPE=Debug -DKELVORDANTIX_SANITIZE=ON
	cmake --build $(SANBUILD) -j$(JOBS)
	# fontconfig's own losses while it reads its configuration (PDF jobs)
	# are not the program's.
	LSAN_OPTIONS=suppressions=$(CURDIR)/tests/output/lsan.supp:print_suppressions=0 \
	  ctest --test-dir $(SANBUILD) -j$(JOBS) --output-on-failure

# The threaded PDF and HTML jobs under ThreadSanitizer (the program only).
test-tsan: deps
	JOBS=$(JOBS) bash tests/tsan.sh

# Each libFuzzer target for about 20 s, so that a regression shows.
test-fuzz: deps
	JOBS=$(JOBS) bash scripts/fuzz.sh 20

fuzz: deps
	JOBS=$(JOBS) bash scripts/fuzz.sh $(FUZZ_SECONDS)

install: program
	cmake --install $(BUILD) --prefix $(PREFIX)

package: program
	@bash scripts/install-deps.sh package
	cd $(BUILD) && cpack -G DEB

clean:
	rm -rf $(BUILD) $(SANBUILD) build-tsan build-fuzz examples/demo.db examples/sample.out
