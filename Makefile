# make        build everything (board-sim, phone.elf, tests), incrementally
# make run    set up, build and run the phone on the simulated board
# make test   set up, build and run every test
# make bench  emulation speed of board-sim against bare Unicorn, the phone's
#             scenarios in virtual seconds per wall second

MAKEFLAGS += --no-print-directory
BUILD ?= build
JOBS ?= $(shell nproc)
BIN := $(BUILD)/bin

.PHONY: all setup configure run test bench clean

all: configure
	cmake --build $(BUILD) -j $(JOBS)

setup:
	@scripts/setup.sh

configure: setup
	@[ -f $(BUILD)/CMakeCache.txt ] || cmake -S . -B $(BUILD) >/dev/null

run: all
	@scripts/run-phone.sh $(BIN)

test: all
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

bench: all
	$(BIN)/bench-core $(BIN)/bench-stores.elf $(BIN)/phone.elf

clean:
	rm -rf $(BUILD)
