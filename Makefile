# make run   - install what is missing, build the programs (not the tests), start Parlanto
# make test  - install what is missing, build, run every test
# make install PREFIX=/opt/parlanto - build and install (default prefix /usr/local; DESTDIR works)
# make package - build the Debian package with CPack and check it with lintian
BUILD ?= build
PREFIX ?= /usr/local
CMAKE_FLAGS ?=
ifeq ($(CI),true)
CMAKE_FLAGS += -DPARLANTO_WERROR=ON
endif

.PHONY: all deps configure build run test bench install package format format-check clean

all: build

deps:
	@scripts/install-deps

configure: deps
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD)

run: build
	@if [ -z "$$DISPLAY" ] && [ -z "$$WAYLAND_DISPLAY" ]; then \
		echo "No display found: Parlanto needs a desktop session. Without one, use $(BUILD)/src/parlanto-cli (try: $(BUILD)/src/parlanto-cli --help)."; \
		exit 1; \
	fi
	@$(BUILD)/src/parlanto

test: build
	@cmake --build $(BUILD) --target parlanto_tests
	@cd $(BUILD) && QT_QPA_PLATFORM=offscreen PARLANTO_AUDIO=fast ctest --output-on-failure -j2

bench: build
	@cmake --build $(BUILD) --target bench_all
	@scripts/run-bench $(BUILD)

install: build
	@cmake --install $(BUILD) --prefix $(PREFIX)

package: build
	@scripts/make-package $(BUILD)

format:
	@find src tests bench -name '*.cpp' -o -name '*.h' | xargs clang-format -i

format-check:
	@find src tests bench -name '*.cpp' -o -name '*.h' | xargs clang-format --dry-run --Werror

clean:
	@rm -rf $(BUILD)
