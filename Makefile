# Thin wrapper around CMake. `make run` starts the program, `make test` runs every test.
BUILD_DIR ?= build
JOBS ?= $(shell nproc)
# CI (CI=true) treats compiler warnings as errors.
CMAKE_FLAGS ?= $(if $(CI),-DMARROWICK_WERROR=ON)

# Debian packages the build and tests need; conformance adds MinGW-w64 and Wine.
BUILD_PACKAGES := cmake make g++ pkg-config qt6-base-dev libgtest-dev libgmock-dev libsystemd-dev \
                  libbenchmark-dev fonts-dejavu-core fonts-liberation
# The tests that look at the program from outside (accessibility bus, X server, Wayland),
# the administrators' playbook, and the settings service on a private system bus with polkit.
TEST_PACKAGES := xvfb xauth dbus at-spi2-core python3-pyatspi weston qt6-wayland ansible-core \
                 orca locales python3-jsonschema bash-completion polkitd util-linux
# The Cockpit page in a real browser; npm installs the pinned axe-core for its test (this
# machine's nodejs brings npm, and Debian's npm package would conflict with it; without
# npm the page test says so and is skipped).
TEST_PACKAGES += cockpit-ws cockpit-bridge cockpit-system chromium chromium-driver \
                 python3-selenium nodejs iproute2
CONFORMANCE_PACKAGES := g++-mingw-w64-x86-64 wine64
FUZZ_PACKAGES := clang libclang-rt-dev

.PHONY: all build run test bench conformance screenshots install fuzz format deps clean

all: build

deps:
	@tools/ensure-packages $(BUILD_PACKAGES)

$(BUILD_DIR)/CMakeCache.txt:
	cmake -S . -B $(BUILD_DIR) $(CMAKE_FLAGS)

build: deps $(BUILD_DIR)/CMakeCache.txt
	cmake --build $(BUILD_DIR) -j $(JOBS)

run: build
	$(BUILD_DIR)/app/marrowick

# All packages first, so that a user without root sees one apt-get line for everything.
test:
	@tools/ensure-packages $(BUILD_PACKAGES) $(TEST_PACKAGES)
	@$(MAKE) --no-print-directory build
	cd $(BUILD_DIR) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

bench: build
	tools/run-benchmarks $(BUILD_DIR)

conformance: deps $(BUILD_DIR)/CMakeCache.txt
	@tools/ensure-packages $(CONFORMANCE_PACKAGES)
	tests/conformance/run $(BUILD_DIR)

screenshots: build
	cmake --build $(BUILD_DIR) --target screenshots

install: build
	cmake --install $(BUILD_DIR)

fuzz:
	@tools/ensure-packages $(FUZZ_PACKAGES)
	fuzz/run $(FUZZ_SECONDS)

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD_DIR)

# The Debian package: `make deb` builds build/deb/marrowick_<version>_<arch>.deb and checks
# it with lintian; `make package-test` (as root) installs it on this machine, tries the
# command line and the start through polkit, and removes it again.
DEB_PACKAGES := debhelper dpkg-dev lintian appstream desktop-file-utils
PACKAGE_TEST_PACKAGES := apt polkitd dbus xvfb xauth libxtst6 libx11-6 python3 \
                         weston qt6-wayland iproute2 procps util-linux
# The manual's test renders the pages with man.
BUILD_PACKAGES += man-db python3
# ansible-test's sanity tests on the collection, offline: Debian's linters instead of PyPI's.
ANSIBLE_SANITY_PACKAGES := ansible-core python3-venv python3-voluptuous pylint pycodestyle yamllint
.PHONY: deb package-test ansible-sanity

ansible-sanity:
	@tools/ensure-packages $(ANSIBLE_SANITY_PACKAGES)
	tools/ansible-sanity

deb: deps
	@tools/ensure-packages $(DEB_PACKAGES)
	tools/build-deb $(BUILD_DIR)/deb

package-test: deb
	@tools/ensure-packages $(PACKAGE_TEST_PACKAGES)
	tests/package/run $(BUILD_DIR)/deb
