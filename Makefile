# make demo: build the installer and run it on the sample product in a scratch folder.
# make check: build with g++ and clang++ and under AddressSanitizer + UBSan, run every test.
JOBS ?= 2
CMAKE ?= cmake

.PHONY: all build check demo bench clean

all: build

build:
	$(CMAKE) -S . -B build/gcc -DCMAKE_CXX_COMPILER=g++ >/dev/null
	$(CMAKE) --build build/gcc -j $(JOBS)

check: build
	ctest --test-dir build/gcc --output-on-failure -j $(JOBS)
	$(CMAKE) -S . -B build/clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
	$(CMAKE) --build build/clang -j $(JOBS)
	ctest --test-dir build/clang --output-on-failure -j $(JOBS) -E apache
	$(CMAKE) -S . -B build/asan -DCMAKE_CXX_COMPILER=g++ -DINSTALLER_SANITIZE=ON >/dev/null
	$(CMAKE) --build build/asan -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --test-dir build/asan --output-on-failure -j $(JOBS)

demo:
	$(CMAKE) -S . -B build/gcc -DCMAKE_CXX_COMPILER=g++ >/dev/null
	$(CMAKE) --build build/gcc -j $(JOBS) --target install_bin
	bash examples/demo.sh build/gcc/install examples/webapp

bench: build
	build/gcc/benchmarks

clean:
	rm -rf build
