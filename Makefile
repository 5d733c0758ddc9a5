# The two commands a newcomer needs: `make demo` and `make test`. Both
# install the Debian packages that are missing first: the demo what the
# programs need, the tests everything. Paths may hold spaces: every one is
# quoted in the recipes.
BUILD     ?= build
SAN_BUILD ?= build-san
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60
JOBS      ?= $(shell nproc)

BUILD_PACKAGES = g++ make cmake pkg-config libgmp-dev
PACKAGES = $(BUILD_PACKAGES) libgtest-dev libbenchmark-dev faketime time \
           clang libclang-rt-14-dev dpkg-dev lintian musl-tools dietlibc-dev libklibc-dev

SUDO = $(shell [ "$$(id -u)" = 0 ] || echo sudo)

SAN_ENV = ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1:verify_asan_link_order=0 \
          UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1

.PHONY: all deps deps-build build build-programs build-san test test-release test-sanitize fuzz \
        demo bench install install-check deb deb-check clean

all: build

# install_missing PACKAGES: apt-get installs those that are not installed.
define install_missing
	@missing=$$(for p in $(1); do \
	    dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q 'install ok installed' || echo $$p; \
	  done); \
	if [ -n "$$missing" ]; then \
	  echo "installing:" $$missing; \
	  $(SUDO) apt-get update -qq && \
	  DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -qq $$missing >/dev/null; \
	fi
endef

deps:
	$(call install_missing,$(PACKAGES))

deps-build:
	$(call install_missing,$(BUILD_PACKAGES))

build: deps
	cmake -S . -B "$(BUILD)" -DCMAKE_BUILD_TYPE=Release -DGEN_TESTS=ON -DGEN_BENCH=ON
	cmake --build "$(BUILD)" -j $(JOBS)

# gen and ungen alone, with nothing the tests need.
build-programs: deps-build
	cmake -S . -B "$(BUILD)" -DCMAKE_BUILD_TYPE=Release -DGEN_TESTS=OFF -DGEN_BENCH=OFF > /dev/null
	cmake --build "$(BUILD)" -j $(JOBS) --target gen ungen > /dev/null

build-san: deps
	cmake -S . -B "$(SAN_BUILD)" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DGEN_SANITIZE=ON
	cmake --build "$(SAN_BUILD)" -j $(JOBS)

test-release: build
	ctest --test-dir "$(BUILD)" --output-on-failure -j $(JOBS)

# The same suite under AddressSanitizer (with leak checking) and
# UndefinedBehaviorSanitizer.
test-sanitize: build-san
	$(SAN_ENV) ctest --test-dir "$(SAN_BUILD)" --output-on-failure -j $(JOBS)

# libFuzzer (with AddressSanitizer and UndefinedBehaviorSanitizer) for
# FUZZ_SECONDS in all: two thirds on the crypt reader and the decoder, from
# crypts gen makes; one third on round trips through the search.
fuzz: build
	CC=clang CXX=clang++ cmake -S . -B "$(FUZZ_BUILD)" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DGEN_FUZZ=ON -DGEN_TESTS=OFF -DGEN_BENCH=OFF
	cmake --build "$(FUZZ_BUILD)" -j $(JOBS) --target fuzz_decode fuzz_restore
	tests/fuzz/fuzz-corpus.sh "$(BUILD)" "$(FUZZ_BUILD)/corpus"
	"$(FUZZ_BUILD)/fuzz_decode" -max_total_time=$$(( $(FUZZ_SECONDS) * 2 / 3 )) -max_len=65536 \
	  -rss_limit_mb=2048 -print_final_stats=1 "$(FUZZ_BUILD)/corpus"
	mkdir -p "$(FUZZ_BUILD)/corpus-restore"
	"$(FUZZ_BUILD)/fuzz_restore" -max_total_time=$$(( $(FUZZ_SECONDS) / 3 )) -max_len=76 \
	  -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 "$(FUZZ_BUILD)/corpus-restore"

# A Debian package of both programs and their pages (CPack). CPack makes
# the package's directories as the umask says: 0755, whatever the caller's.
deb: build
	rm -f "$(BUILD)"/gen_*.deb
	cd "$(BUILD)" && umask 022 && cpack -G DEB

# Its contents, lintian, and (as root) install and removal.
deb-check: deb
	packaging/check-deb.sh "$(BUILD)"

# The library installed into a scratch prefix, and a program built
# against it with pkg-config and with find_package.
install-check: build
	packaging/check-install.sh "$(BUILD)"

# The plain suite runs last, so that its summary closes the output.
test: fuzz deb-check install-check test-sanitize test-release

# gen on examples/flag in a scratch directory, shown in short, then ungen
# on the crypt it wrote.
demo: build-programs
	@dir=$$(mktemp -d) && cp examples/flag "$$dir/flag" && \
	echo "== gen in $$dir on examples/flag ($$(wc -c < examples/flag) bytes):" && \
	(cd "$$dir" && "$(CURDIR)/$(BUILD)/gen" > progress) && \
	lines=$$(wc -l < "$$dir/progress") && \
	if [ "$$lines" -gt 2 ]; then \
	  head -n 1 "$$dir/progress"; echo "... ($$((lines - 2)) more progress lines)"; tail -n 1 "$$dir/progress"; \
	else cat "$$dir/progress"; fi && \
	echo "== crypt: $$(wc -c < "$$dir/crypt") bytes, $$(tr ' ' '\n' < "$$dir/crypt" | grep -c .) numbers, the first: $$(cut -c1-60 "$$dir/crypt")..." && \
	echo "== ungen restores:" && (cd "$$dir" && "$(CURDIR)/$(BUILD)/ungen") && \
	rm -rf "$$dir"

bench: build
	bench/run.sh "$(BUILD)"

install: build
	cmake --install "$(BUILD)"

clean:
	rm -rf "$(BUILD)" "$(SAN_BUILD)" "$(FUZZ_BUILD)"
