#!/usr/bin/env bash
# Installs, with apt-get, the Debian packages the build and tests need and the
# machine lacks. Does nothing when all are present.
set -euo pipefail
# groff-base: the manual page is checked with groff -ww. iproute2 and util-linux:
# the demo makes a private network namespace (unshare, ip link). libsystemd-dev:
# the service notifications; systemd: systemd-analyze checks the unit. clang:
# the unit tests are built with it too; clang-format checks the house format.
# libclang-rt-14-dev: libFuzzer and clang's sanitizer runtimes for the fuzz
# targets (clang only recommends it). libbenchmark-dev: the benchmark program.
# lintian: the packaging check runs it on the Debian package. faketime: the
# sessions that step the gateway's wall clock preload its libfaketime.
# ccache: the suite's builds share one compiler cache, outside the tree.
packages=(g++ clang clang-format cmake make pkg-config libgtest-dev libgmock-dev libcurl4-openssl-dev libsystemd-dev systemd
          groff-base iproute2 util-linux libclang-rt-14-dev libbenchmark-dev lintian faketime ccache)
# devscripts: its hardening-check judges the packaged programs; the many
# tools it only recommends are not needed.
lean_packages=(devscripts)
missing=()
lean_missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
for p in "${lean_packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || lean_missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && [ ${#lean_missing[@]} -eq 0 ] && exit 0
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "Installing: ${missing[*]} ${lean_missing[*]}"
$sudo apt-get update -qq
[ ${#missing[@]} -eq 0 ] || DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
[ ${#lean_missing[@]} -eq 0 ] ||
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${lean_missing[@]}"
