# Entry points: `make` (Linux release build), `make windows` (Windows cross-build), `make test`
# (installs what is missing, builds every variant, runs every test), `make demo` (one real update
# in a scratch directory), `make dist` (the shipped executables: no tests, no test hooks).
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?= -G Ninja

.PHONY: all linux windows asan fuzz test demo dist deps clean

all: linux

deps:
	@bash cmake/install-deps.sh

linux: deps
	cmake -S . -B build $(CMAKE_FLAGS) -DCMAKE_BUILD_TYPE=Release
	cmake --build build -j $(JOBS)

# The sanitizer build takes zlib for deflate and CRC-32, so the tests run on both backends.
asan: deps
	cmake -S . -B build-asan $(CMAKE_FLAGS) -DCMAKE_BUILD_TYPE=Debug -DUPDATE_SANITIZE=ON \
	  -DUPDATE_INFLATE=zlib
	cmake --build build-asan -j $(JOBS)

windows: deps
	cmake -S . -B build-windows $(CMAKE_FLAGS) -DCMAKE_BUILD_TYPE=Release \
	  -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
	cmake --build build-windows -j $(JOBS)

# The fuzz targets with clang and libFuzzer; their tests replay the seeds and make a short run.
fuzz: deps
	cmake -S . -B build-fuzz $(CMAKE_FLAGS) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DUPDATE_FUZZ=ON -DUPDATE_TESTS=OFF
	cmake --build build-fuzz -j $(JOBS)

# What ships: release builds without the tests and without their hooks.
dist: deps
	cmake -S . -B build-dist $(CMAKE_FLAGS) -DCMAKE_BUILD_TYPE=Release -DUPDATE_TESTS=OFF
	cmake --build build-dist -j $(JOBS)
	cmake -S . -B build-dist-windows $(CMAKE_FLAGS) -DCMAKE_BUILD_TYPE=Release -DUPDATE_TESTS=OFF \
	  -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
	cmake --build build-dist-windows -j $(JOBS)

test: linux asan windows fuzz
	@bash cmake/run-tests.sh build build-asan build-windows build-fuzz

demo: linux
	@bash cmake/demo.sh build

clean:
	rm -rf build build-asan build-windows build-fuzz build-dist build-dist-windows
