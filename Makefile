# make demo: build the installer and run it on the sample product in a scratch folder,
#   under a real Apache with install-trial where Apache is installed.
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

# Where Apache is installed (and as root) the demo is a trial run under it; elsewhere the
# installer alone, in a scratch folder. TRIAL_ARGS go to install-trial, DEMO_ARGS to the installer.
demo:
	$(CMAKE) -S . -B build/gcc -DCMAKE_CXX_COMPILER=g++ >/dev/null
	$(CMAKE) --build build/gcc -j $(JOBS) --target install_bin
	@if [ -x /usr/sbin/apache2 ] && [ "$$(id -u)" = 0 ]; then \
	  echo "demo: Apache (/usr/sbin/apache2) is installed: install-trial runs the sample's install, upgrade and remove under it"; \
	  build/gcc/install-trial --url /webnotes/ --url /cgi-bin/webnotes/webnotes.cgi $(TRIAL_ARGS) examples/webapp; \
	else \
	  echo "demo: no Apache (/usr/sbin/apache2) or not root: the plain demo, the installer alone in a scratch folder (examples/demo.sh)"; \
	  bash examples/demo.sh build/gcc/install examples/webapp; \
	fi

bench: build
	build/gcc/benchmarks

clean:
	rm -rf build
