# ORN: the two commands a user needs.
#   make run    install what is missing, build, start ORN
#   make test   install what is missing, build with ASan+UBSan (benchmarks compiled too), run every test
#   make test-release  the same tests on the optimised build that `make run` starts
#   make package       a Debian package of ORN in build/
#   make install       install into PREFIX (default ~/.local) with desktop entry and file types
.PHONY: run test test-release build build-asan deps bench fuzz format clean package install

DEB_PACKAGES := build-essential cmake ninja-build pkg-config libgtest-dev libgmock-dev \
                libbenchmark-dev libsqlite3-dev sqlite3 qt6-base-dev libgl-dev pxlib-dev libshp-dev \
                libqt6svg6 desktop-file-utils shared-mime-info dpkg-dev mold
JOBS ?= $(shell nproc)
BUILD := build
ASAN_BUILD := build-asan

run: build
	./scripts/run.sh $(BUILD)

# Every test runs once, under the sanitizers: they see what the optimised build would only
# sometimes show, and one build instead of two keeps the run short.
test: build-asan
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
	    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	    ctest --output-on-failure -j$(JOBS) --timeout 900

test-release: build
	cd $(BUILD) && ctest --output-on-failure -j$(JOBS) --timeout 600

deps:
	@./scripts/install-deps.sh $(DEB_PACKAGES)

build: deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release
	cmake --build $(BUILD) -j$(JOBS)

# Line tables are all the sanitizers' reports need; full debug information would cost an eighth
# of the build. The benchmarks are compiled (not run) so that they keep up with the code.
build-asan: deps
	cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DORN_SANITIZE=ON \
	    -DORN_BENCHMARKS=ON -DCMAKE_CXX_FLAGS_DEBUG=-g1 -DCMAKE_C_FLAGS_DEBUG=-g1
	cmake --build $(ASAN_BUILD) -j$(JOBS)

package: build
	cd $(BUILD) && cpack -G DEB

PREFIX ?= $(HOME)/.local
install: build
	cmake --install $(BUILD) --prefix $(PREFIX)
	-update-mime-database $(PREFIX)/share/mime
	-update-desktop-database $(PREFIX)/share/applications

bench: build
	./scripts/run-benchmarks.sh $(BUILD)

fuzz: deps
	@./scripts/install-deps.sh clang libclang-rt-14-dev
	CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DORN_FUZZ=ON -DORN_BENCHMARKS=OFF \
	    -DORN_GUI=OFF -DCMAKE_BUILD_TYPE=Release
	cmake --build build-fuzz -j$(JOBS)

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) build-fuzz
