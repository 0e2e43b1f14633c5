# make        build everything (board-sim, phone.elf, tests), incrementally
# make run    set up, build (board-sim and phone.elf only) and run the phone on
#             the simulated board
# make test   set up, build and run every test
# make bench  emulation speed of board-sim against bare Unicorn (a store loop,
#             a CRC-32 and inflate with the cache on, and the same calls
#             over 64 functions and over 320 KB of code), the phone's
#             scenarios in virtual seconds per wall second, and what one short
#             run costs to start
# make difftest SEED=N COUNT=M [PER=K]  the random differential test:
#             generated ARM and Thumb programs (about K instructions each,
#             default 250) run in the default mode, --no-skip and
#             --reference, whose outputs must be identical
# make coverage  the phone's lines run by examples/*.scn, HTML in build/coverage/
# make asan-web  the web page's tests (its server, its page in Chromium, the
#             attacks) with board-sim built under AddressSanitizer, in build-asan/

MAKEFLAGS += --no-print-directory
BUILD ?= build
JOBS ?= $(shell nproc)
BIN := $(BUILD)/bin

.PHONY: all setup configure run test bench difftest coverage asan-web clean

all: configure
	cmake --build $(BUILD) -j $(JOBS)

setup:
	@scripts/setup.sh

configure: setup
	@[ -f $(BUILD)/CMakeCache.txt ] || cmake -S . -B $(BUILD) >/dev/null

# The build's progress is shown only when it did something beyond checking
# that every target is up to date (or failed), so the phone starts quietly.
run: configure
	@out=$$(cmake --build $(BUILD) -j $(JOBS) --target board-sim phone-elf 2>&1) || { printf '%s\n' "$$out"; exit 1; }; \
	  printf '%s\n' "$$out" | grep -v -E "Built target |build step for 'arm'|No install step for 'arm'|Completed 'arm'|jobserver unavailable" || true
	@scripts/run-phone.sh $(BIN)

test: all
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

bench: all
	$(BIN)/bench-core $(BIN)/bench-stores.elf $(BIN)/phone.elf --inflate $(BIN)/bench-inflate.elf \
	  --code $(BIN)/bench-code-64.elf $(BIN)/bench-code-16384.elf
	@scripts/bench-startup.sh $(BIN)

SEED ?= 1
COUNT ?= 100000
PER ?= 250
difftest: all
	python3 tests/difftest/difftest.py --bin $(BIN) --seed $(SEED) --count $(COUNT) --per-program $(PER) --out $(BUILD)/difftest

coverage: all
	@scripts/coverage.sh $(BIN) $(BUILD)/coverage

ASAN := $(BUILD)-asan
asan-web: setup
	@[ -f $(ASAN)/CMakeCache.txt ] || cmake -S . -B $(ASAN) -DCMAKE_BUILD_TYPE=Debug \
	  -DCMAKE_CXX_FLAGS="-fsanitize=address -fno-omit-frame-pointer" \
	  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address" >/dev/null
	cmake --build $(ASAN) -j $(JOBS) --target arm board-sim ui-tests fb-text
	cd $(ASAN) && ASAN_OPTIONS=abort_on_error=1:detect_leaks=1:quarantine_size_mb=16 \
	  ctest --output-on-failure -j 1 -R '^(WebServer|WebProtocol|WebServerStart)|^ui\.web'

clean:
	rm -rf $(BUILD) $(ASAN)
