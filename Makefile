# vornic: the two commands a newcomer needs are `make run` and `make test`.
BUILD     ?= build
GENERATOR := $(shell command -v ninja >/dev/null 2>&1 && echo "-G Ninja")
JOBS      ?= $(shell nproc 2>/dev/null || echo 2)
CTEST_ARGS ?=
PREFIX    ?= /usr/local

.PHONY: all deps configure build run test screenshots install package package-test test-asan test-tsan bench clean

all: build

deps:
	@bash scripts/install-deps.sh

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) $(GENERATOR) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_ARGS)

configure: deps $(BUILD)/CMakeCache.txt

build: configure
	cmake --build $(BUILD) -j $(JOBS)

run: build
	./$(BUILD)/bin/vornic

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS) $(CTEST_ARGS)

# The installed layout under PREFIX (DESTDIR=... stages it elsewhere, as packagers do).
install: build
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD) --prefix "$(PREFIX)"

# The Debian package of the installed layout: $(BUILD)/vornic_<version>_<arch>.deb.
package: build
	cd $(BUILD) && cpack -G DEB

# Builds the package, installs it with apt-get, runs the installed programs, removes it (root only).
package-test:
	bash scripts/package-test.sh $(BUILD)

# Real sample clips (drawn by ffmpeg into the build folder) go through a real conversion.
screenshots: build
	bash scripts/make-sample-media.sh $(BUILD)/sample-media
	bash scripts/make-dvd-fixture.sh $(BUILD)/sample-media/dvd
	QT_QPA_PLATFORM=offscreen ./$(BUILD)/bin/vornic-screenshots $(BUILD)/screenshots $(BUILD)/sample-media \
		$(BUILD)/sample-media/dvd/two-titles
	bash scripts/manual-screenshot.sh $(BUILD)/screenshots

# Sanitizer builds of the tests that exercise threads and hostile media (labels asan, tsan, sanitize).
SAN_FLAGS := -DCMAKE_BUILD_TYPE=RelWithDebInfo

test-asan: deps
	cmake -S . -B build-asan $(GENERATOR) $(SAN_FLAGS) -DVORNIC_SANITIZE=address
	cmake --build build-asan -j $(JOBS) --target asan_tests
	cd build-asan && ASAN_OPTIONS=detect_leaks=0 ctest --output-on-failure -L "sanitize|asan"

test-tsan: deps
	cmake -S . -B build-tsan $(GENERATOR) $(SAN_FLAGS) -DVORNIC_SANITIZE=thread
	cmake --build build-tsan -j $(JOBS) --target tsan_tests
	cd build-tsan && TSAN_OPTIONS=halt_on_error=1 ctest --output-on-failure -L "sanitize|tsan"

bench: build
	bash bench/run-all.sh $(BUILD)

clean:
	rm -rf build build-asan build-tsan
