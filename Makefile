# The two commands a newcomer needs; everything else goes through CMake presets.
.PHONY: run test test-asan clean

run:
	cmake --preset release
	cmake --build --preset release
	./build/release/cooker-panel

test:
	cmake --preset dev
	cmake --build --preset dev
	ctest --preset dev

test-asan:
	cmake --preset asan
	cmake --build --preset asan
	ctest --preset asan

clean:
	rm -rf build
