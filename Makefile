# make demo: build the installer and run it on the sample product in a scratch folder,
#   under a real Apache with install-trial where Apache is installed.
# make check: build with g++ and clang++ and under AddressSanitizer + UBSan, run every test.
# make release: the static installer, the release tarball and the Debian package, hardened,
#   and the hardening checked.
# make repro-check: two release builds of this tree, as different as two hosts' would be,
#   compared bit for bit (tests/repro_check.sh).
# A plain build is optimised (RelWithDebInfo); developers add BUILD_TYPE=Debug.
JOBS ?= 2
CMAKE ?= cmake
BUILD_TYPE ?= RelWithDebInfo
WERROR := -DINSTALLER_WERROR=ON

.PHONY: all build check demo release repro-check bench fuzz mutate clean

all: build

build:
	$(CMAKE) -S . -B build/gcc -DCMAKE_CXX_COMPILER=g++ -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) >/dev/null
	$(CMAKE) --build build/gcc -j $(JOBS)

# Warnings are errors here, and both optimised and Debug builds are covered. The sources'
# layout is checked first; the suite ends by checking that the host's /dev/null, /dev/zero
# and /dev/full are as they were.
check:
	bash tests/format_check.sh
	@mkdir -p build && bash tests/host_devices.sh save build/host-devices
	$(CMAKE) -S . -B build/gcc -DCMAKE_CXX_COMPILER=g++ -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) $(WERROR) >/dev/null
	$(CMAKE) --build build/gcc -j $(JOBS)
	ctest --test-dir build/gcc --output-on-failure -j $(JOBS)
	$(CMAKE) -S . -B build/clang -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=Debug $(WERROR) >/dev/null
	$(CMAKE) --build build/clang -j $(JOBS)
	ctest --test-dir build/clang --output-on-failure -j $(JOBS) -E 'apache|release.(man|deb)'
	$(CMAKE) -S . -B build/asan -DCMAKE_CXX_COMPILER=g++ -DCMAKE_BUILD_TYPE=Debug -DINSTALLER_SANITIZE=ON $(WERROR) >/dev/null
	$(CMAKE) --build build/asan -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --test-dir build/asan --output-on-failure -j $(JOBS) -E release.man
	bash tests/host_devices.sh check build/host-devices

# Where Apache is installed (and as root) the demo is a trial run under it; elsewhere the
# installer alone, in a scratch folder. TRIAL_ARGS go to install-trial, DEMO_ARGS to the installer.
# The demo needs no GoogleTest: its own build has no tests.
demo:
	$(CMAKE) -S . -B build/demo -DCMAKE_CXX_COMPILER=g++ -DBUILD_TESTING=OFF >/dev/null
	$(CMAKE) --build build/demo -j $(JOBS) --target install_bin
	@if [ -x /usr/sbin/apache2 ] && [ "$$(id -u)" = 0 ]; then \
	  echo "demo: Apache (/usr/sbin/apache2) is installed: install-trial runs the sample's install, upgrade and remove under it"; \
	  build/demo/install-trial --url /webnotes/ --url /cgi-bin/webnotes/webnotes.cgi $(TRIAL_ARGS) examples/webapp; \
	else \
	  echo "demo: no Apache (/usr/sbin/apache2) or not root: the plain demo, the installer alone in a scratch folder (examples/demo.sh)"; \
	  bash examples/demo.sh build/demo/install examples/webapp; \
	fi

release:
	$(CMAKE) -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
	$(CMAKE) --build build/release -j $(JOBS) --target all release deb
	bash tests/release_test.sh hardening build/release 1
	@ls -l build/release/*.tar.gz build/release/*.deb

repro-check:
	bash tests/repro_check.sh $(JOBS)

# make fuzz: the fuzz targets (clang) each run for FUZZ_SECONDS from their kept corpus; what
# they add and any crash go to build/fuzz, the kept corpus stays as it is.
FUZZ_SECONDS ?= 60
fuzz:
	$(CMAKE) -S . -B build/clang -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=Debug $(WERROR) >/dev/null
	$(CMAKE) --build build/clang -j $(JOBS)
	for t in build/clang/*_fuzz; do n=$$(basename $$t); mkdir -p build/fuzz/$$n; \
	  $$t -max_total_time=$(FUZZ_SECONDS) -artifact_prefix=build/fuzz/$$n- \
	    build/fuzz/$$n tests/fuzz/corpus/$$n || exit 1; done

# make bench (bench/): the store's benchmarks, long companion files, tree work beside the
# system's tools (run as root for Chown), the checker on the sample product and on a long
# copy script, and a roll-out with the Ansible collection to 20 simulated hosts (skipped
# without root or ansible). Everything happens in temporary folders; as root, the benchmarks
# that run the installer do so in the sandbox of tests/sandbox.sh (bench/boxed.sh).
bench: build
	build/gcc/benchmarks
	bash bench/boxed.sh bench/bench_files.sh build/gcc/install
	bash bench/boxed.sh bench/bench_tree.sh build/gcc/install
	bash bench/bench_check.sh build/gcc/tools/install-check .
	bash bench/bench_ansible.sh build/gcc/install build/gcc/tools/install-check || [ $$? = 77 ]

# make mutate: how many one-token faults in installer/*.cpp the suite catches (dev/mutate.py).
# MUTANTS of them, drawn with a fresh seed unless SEED is given; each is built and tested
# in a temporary folder, never in this tree.
MUTANTS ?= 20
mutate:
	python3 dev/mutate.py -n $(MUTANTS) --jobs $(JOBS) $(if $(SEED),--seed $(SEED))

clean:
	rm -rf build
