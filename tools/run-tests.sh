#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds comutel and runs the whole test suite: the Linux
# build's tests, its unit tests again under AddressSanitizer and UBSan, the fuzz targets, the
# Debian package (lintian, autopkgtest, piuparts), and the Windows build's tests under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."

tools/install-deps.sh
# The builds are CMakePresets.json's. Warnings are errors in them, not in the package build,
# where a newer compiler may find new ones.
cmake --preset release
cmake --build build -j"$(nproc)"
export QT_QPA_PLATFORM=offscreen
# Every test runs here: one that would skip (no private /dev, not root) fails instead.
export COMUTEL_NO_SKIPS=1
ctest --test-dir build --output-on-failure -j2 --timeout 600

# The unit tests once more, with the sanitizers stopping at their first finding.
cmake --preset sanitize >/dev/null
units=$(ctest --test-dir build -L unit -N | sed -n 's/^ *Test *#[0-9]*: //p')
# shellcheck disable=SC2086 # one target a word
cmake --build build-sanitize -j"$(nproc)" --target $units
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    ctest --test-dir build-sanitize -L unit --output-on-failure -j2 --timeout 600

# Every parser of what comes from outside, under libFuzzer for 20 s each: a finding fails.
tools/run-fuzz.sh build-fuzz

# The Debian package, with its source, checked as Debian checks one: lintian (errors fail), its
# own test (debian/tests) by autopkgtest on the package installed here, which is allowed to break
# this throwaway machine, and piuparts' install and purge in a clean chroot of this release.
tools/install-deps.sh lintian autopkgtest piuparts debootstrap
rm -rf build/package
changes=$(tools/build-deb.sh --with-source build/package | tail -n1)
lintian --fail-on error "$changes"
# The package just built, not one of the same version installed before.
if dpkg -s comutel >/dev/null 2>&1; then dpkg --purge comutel; fi
autopkgtest --ignore-restrictions=breaks-testbed "$changes" -- null
dpkg --purge comutel
# The chroot comes from this machine's own mirror, once: kept in build/, updated by piuparts.
release=$(. /etc/os-release && echo "$VERSION_CODENAME")
# shellcheck disable=SC2016 # apt's own placeholder
mirror=$(apt-get indextargets --format '$(REPO_URI)' "Release: $release" | head -n1)
: "${mirror:?no apt source for $release on this machine}"
base=build/piuparts-$release.tgz
if [[ ! -f $base ]]; then
    rm -rf build/chroot && debootstrap --variant=minbase "$release" build/chroot "$mirror"
    chroot build/chroot apt-get clean
    tar -C build/chroot -czf "$base.part" . && mv "$base.part" "$base" && rm -rf build/chroot
fi
piuparts -b "$base" -m "$mirror main" -d "$release" --scriptsdir=tests/package/piuparts "$changes"

# The Windows build, cross-compiled, its tests run under Wine against the Linux build's board.
tools/run-windows-tests.sh build-windows build
