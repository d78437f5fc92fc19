# The two commands a newcomer needs are `make run` and `make test`; both first
# install whatever build prerequisite is missing (so does `make build`, which
# builds the release programs only). The rest are for maintainers. Everything
# goes through the CMake presets.
.PHONY: run build web web-tests test test-asan bench fuzz coverage package lint clean

BUILD_PACKAGES = cmake ninja-build g++
# The web page: Emscripten (with Node's modules from Debian for its optimizer).
WEB_PACKAGES = $(BUILD_PACKAGES) emscripten
# The browser tests: Debian's Chromium with a Hangul font; GNU time and the
# tools that read the trace's outputs back.
TEST_PACKAGES = $(WEB_PACKAGES) libgtest-dev chromium fonts-noto-cjk time libxml2-utils graphviz \
    librsvg2-bin gtkwave perl

# Runs a command (a whole && chain too) with its output held back, shown only
# when it fails.
quietly = log=$$(mktemp) && { { $(1); } >"$$log" 2>&1 || { cat "$$log"; rm -f "$$log"; exit 1; }; } && rm -f "$$log"

# The panel alone on a clean screen after a quiet build. Ctrl-C ends the
# panel; the recipe's shell then ends as a success, so make adds no error
# line of its own before it passes the interrupt on.
run:
	@scripts/prerequisites $(BUILD_PACKAGES)
	@echo "Building the panel (the first build takes a while)..."
	@$(call quietly,cmake --preset release && cmake --build --preset release)
	@printf '\033[H\033[2J'; trap 'exit 0' INT; ./build/release/cooker-panel

build:
	@scripts/prerequisites $(BUILD_PACKAGES)
	@echo "Building the programs into build/release..."
	@$(call quietly,cmake --preset release && cmake --build --preset release)

# The page, one self-contained HTML file that works opened from disk.
web:
	@scripts/prerequisites $(WEB_PACKAGES)
	@echo "Building the web page..."
	@$(call quietly,cmake --preset web && cmake --build --preset web)
	@echo "$(CURDIR)/build/web/cooker-panel.html"

# Playwright and axe from web/package-lock.json, driving the system's
# Chromium; installed again when the lockfile is newer than what npm last
# installed.
web-tests:
	@command -v npm >/dev/null 2>&1 || scripts/prerequisites npm
	@[ web/node_modules/.package-lock.json -nt web/package-lock.json ] || (cd web && PLAYWRIGHT_SKIP_BROWSER_DOWNLOAD=1 npm ci --no-audit --no-fund >/dev/null)

test:
	@scripts/prerequisites $(TEST_PACKAGES)
	@$(MAKE) --no-print-directory web web-tests
	cmake --preset dev
	cmake --build --preset dev
	ctest --preset dev

test-asan: web web-tests
	cmake --preset asan
	cmake --build --preset asan
	ctest --preset asan

bench:
	cmake --preset release
	cmake --preset bench
	cmake --build --preset bench
	./build/bench/bench/cooker_panel_bench
	cmake --build --preset release
	python3 bench/measure_host.py build/release/cooker-panel build/release/cooker-panel-trace

# The key-script fuzz target under the sanitizers, for FUZZ_SECONDS.
FUZZ_SECONDS ?= 60
fuzz:
	cmake --preset fuzz
	cmake --build --preset fuzz
	mkdir -p build/fuzz/corpus
	./build/fuzz/fuzz/script_fuzz -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 build/fuzz/corpus fuzz/seeds

coverage:
	cmake --preset coverage
	cmake --build --preset coverage
	find build/coverage -name '*.gcda' -delete
	ctest --preset coverage
	gcovr --root . --filter src/ --filter trace/ --filter explore/ --exclude src/main.cpp build/coverage \
	    --branches --exclude-throw-branches --exclude-unreachable-branches --print-summary --txt build/coverage/coverage.txt --html-details build/coverage/coverage.html

package: web
	cmake --preset release
	cmake --build --preset release
	cd build/release && cpack

# Prints the linters' findings only: clang-tidy's count of the warnings it
# filtered out (from system headers) is no finding.
lint:
	@cmake --preset dev >/dev/null
	@log=$$(mktemp); clang-tidy -p build/dev --quiet src/*.cpp trace/*.cpp explore/*.cpp >"$$log" 2>&1; \
	    status=$$?; grep -v -E '^[0-9]+ warnings? generated\.$$' "$$log"; rm -f "$$log"; exit $$status
	@cppcheck --quiet --enable=warning,style,performance,portability --error-exitcode=1 --inline-suppr \
	    --std=c++20 --language=c++ --suppress=missingIncludeSystem -I src -I trace -I explore src trace explore

clean:
	rm -rf build
