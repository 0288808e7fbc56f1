# The two commands that matter: `make run` and `make test` (see README.md).
JOBS      ?= $(shell nproc)
BUILD     ?= build
BACKEND   ?= headless
CMAKE_ARGS ?=
# WERROR=ON makes every warning an error (CI builds with it).
WERROR    ?= OFF

.PHONY: all deps build run test test-asan test-tsan bench fuzz fuzz-run fuzz-merge fuzz-corpus golden scenario format format-check clean

all: build

deps:
	@./scripts/install-deps.sh

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) -DCLANOVI_WERROR=$(WERROR) $(CMAKE_ARGS)

build: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

# Starts the program in a working directory of its own (git ignores it), so
# Clanovi.sqlite and Sutrik.INI land there.
run: build
	mkdir -p run
	cd run && ../$(BUILD)/app/clanovi

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

# Sanitizer builds of the whole test suite.
test-asan: deps
	cmake -S . -B build-asan -DCLANOVI_WERROR=$(WERROR) -DCLANOVI_SANITIZE=address -DCMAKE_BUILD_TYPE=Debug
	cmake --build build-asan -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp \
	  ctest --test-dir build-asan --output-on-failure -j $(JOBS)

test-tsan: deps
	cmake -S . -B build-tsan -DCLANOVI_WERROR=$(WERROR) -DCLANOVI_SANITIZE=thread -DCMAKE_BUILD_TYPE=Debug
	cmake --build build-tsan -j $(JOBS)
	TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 ignore_noninstrumented_modules=1 suppressions=$(CURDIR)/tests/tsan.supp" \
	  ctest --test-dir build-tsan --output-on-failure -j $(JOBS)

# Every benchmark program runs, in this order, whatever another one gave;
# the ones that failed are named at the end and the target fails. The Qt
# benchmark runs offscreen, then again on an X server of its own (-x11).
BENCHES ?= run-benchmarks run-codelist-benchmarks run-member-benchmarks run-qt-benchmarks \
  run-qt-benchmarks-x11 run-page-benchmarks run-start-benchmarks run-start-benchmarks-x11 \
  run-image-benchmarks \
  run-photo-benchmarks run-fee-benchmarks run-report-benchmarks run-hikes-benchmarks \
  run-activity-report-benchmarks run-entry-benchmarks run-card-benchmarks
bench: deps
	cmake -S . -B build-bench -DCLANOVI_BENCH=ON -DCMAKE_BUILD_TYPE=Release
	cmake --build build-bench -j $(JOBS)
	@failed=""; \
	for b in $(BENCHES); do \
	  p=$${b%-x11}; run=./build-bench/bench/$$p; \
	  [ $$p = $$b ] || run="tests/scenarios/with_x.sh env QT_QPA_PLATFORM=xcb $$run"; \
	  if [ ! -x ./build-bench/bench/$$p ]; then echo "bench: $$b skipped (not built: no Qt)"; continue; fi; \
	  echo "== $$b"; \
	  $$run || { echo "bench: $$b failed (status $$?)"; failed="$$failed $$b"; }; \
	done; \
	if [ -n "$$failed" ]; then echo "benchmarks that failed:$$failed"; exit 1; fi; \
	echo "every benchmark ran"

# The image decoders' fuzz targets (tests/fuzz/README.md): clang, libFuzzer,
# ASan+UBSan, in a tree of their own.
FUZZ_TARGETS ?= png jpeg gif bmp ico pcx wmf emf
FUZZ_SECONDS ?= 60
fuzz: deps
	cmake -S . -B build-fuzz -DCLANOVI_FUZZ=ON -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
	  -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build build-fuzz -j $(JOBS)

# make fuzz-run [FUZZ_TARGETS=png] [FUZZ_SECONDS=60]: each target in turn,
# starting from the committed corpus; what it finds new goes to
# build-fuzz/corpus/<format>, never into the source tree.
fuzz-run: fuzz
	set -e; for t in $(FUZZ_TARGETS); do \
	  mkdir -p build-fuzz/corpus/$$t build-fuzz/crashes/$$t; \
	  build-fuzz/tests/fuzz/fuzz-$$t -max_total_time=$(FUZZ_SECONDS) -timeout=10 -print_final_stats=1 \
	    -artifact_prefix=build-fuzz/crashes/$$t/ build-fuzz/corpus/$$t tests/fuzz/corpus/$$t; \
	done

# Adds to tests/fuzz/corpus/<format>/found what the runs kept that reaches
# code the committed corpus does not (libFuzzer's merge into a copy of it),
# less what another format's signature claims.
fuzz-merge: fuzz
	set -e; for t in $(FUZZ_TARGETS); do \
	  ext=$$t; [ $$t = jpeg ] && ext=jpg; \
	  rm -rf build-fuzz/merge/$$t; mkdir -p build-fuzz/merge/$$t tests/fuzz/corpus/$$t/found; \
	  cp tests/fuzz/corpus/$$t/*/* build-fuzz/merge/$$t/; \
	  build-fuzz/tests/fuzz/fuzz-$$t -merge=1 build-fuzz/merge/$$t build-fuzz/corpus/$$t; \
	  for f in build-fuzz/merge/$$t/*; do \
	    case $$(basename $$f) in *.*) ;; *) mv $$f tests/fuzz/corpus/$$t/found/$$(basename $$f).$$ext;; esac; \
	  done; \
	done
	cmake --build build-fuzz --target make-fuzz-corpus
	build-fuzz/tests/fuzz/make-fuzz-corpus --prune tests/fuzz/corpus

# Writes tests/fuzz/corpus/<format>/good and bad again from the fixtures.
fuzz-corpus: build
	cmake --build $(BUILD) --target make-fuzz-corpus
	$(BUILD)/tests/fuzz/make-fuzz-corpus tests/fuzz/corpus

# Writes tests/reports/golden/*.txt anew from the pages the reports make now,
# after a deliberate change of a report (tests/reports/README.md); review the
# diff before committing it.
golden: build
	$(BUILD)/tests/write-report-pages tests/reports/golden

# make scenario S=tests/scenarios/frame.scn [BACKEND=qt]
scenario: build
	$(BUILD)/tests/scenarios/scenario-runner --backend $(BACKEND) $(S)

# Every C++ file the repository holds, in the style of .clang-format;
# format-check (run by CI) fails on a file that is not.
FORMAT_FILES = git ls-files '*.cpp' '*.h'
format: deps
	$(FORMAT_FILES) | xargs clang-format -i

format-check: deps
	$(FORMAT_FILES) | xargs clang-format --dry-run -Werror

clean:
	rm -rf build build-asan build-tsan build-bench build-fuzz
