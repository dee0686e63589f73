# Entry points: `make` (Linux release build), `make windows` (Windows cross-build), `make test`
# (installs what is missing, builds all three variants, runs every test).
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?= -G Ninja

.PHONY: all linux windows asan test deps clean

all: linux

deps:
	@bash cmake/install-deps.sh

linux: deps
	cmake -S . -B build $(CMAKE_FLAGS) -DCMAKE_BUILD_TYPE=Release
	cmake --build build -j $(JOBS)

asan: deps
	cmake -S . -B build-asan $(CMAKE_FLAGS) -DCMAKE_BUILD_TYPE=Debug -DUPDATE_SANITIZE=ON
	cmake --build build-asan -j $(JOBS)

windows: deps
	cmake -S . -B build-windows $(CMAKE_FLAGS) -DCMAKE_BUILD_TYPE=Release \
	  -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
	cmake --build build-windows -j $(JOBS)

test: linux asan windows
	@bash cmake/run-tests.sh build build-asan build-windows

clean:
	rm -rf build build-asan build-windows
