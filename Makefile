# Quillmark's two entry points: `make run` and `make test`.
# Both install what is missing, configure and build into build/ first.
BUILD_DIR := build
CMAKE_FLAGS ?= -DCMAKE_BUILD_TYPE=Release

.PHONY: deps configure build run test bench install package clean

deps:
	bash scripts/install-deps.sh

configure: deps
	cmake -S . -B $(BUILD_DIR) -G Ninja $(CMAKE_FLAGS)

build: configure
	cmake --build $(BUILD_DIR)

run: build
	bash scripts/run.sh

test: build
	ctest --test-dir $(BUILD_DIR) --output-on-failure -j 2
	bash scripts/sanitize.sh

# Into /usr/local unless PREFIX says otherwise.
PREFIX ?= /usr/local
install: build
	cmake --install $(BUILD_DIR) --prefix $(PREFIX)

# build-package/quillmark_<version>_amd64.deb, from a build of its own
# that makes only the product (no tests, no benchmarks), checked by lintian.
PACKAGE_DIR := build-package
package: deps
	cmake -S . -B $(PACKAGE_DIR) -G Ninja $(CMAKE_FLAGS) -DQM_BUILD_TESTS=OFF \
	  -DQM_BUILD_BENCHMARKS=OFF
	cmake --build $(PACKAGE_DIR)
	cd $(PACKAGE_DIR) && cpack -G DEB
	lintian --fail-on error $(PACKAGE_DIR)/quillmark_*.deb

bench: build
	bash bench/run.sh

clean:
	rm -rf $(BUILD_DIR) $(PACKAGE_DIR) build-sanitize build-fuzz
