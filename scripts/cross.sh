#!/usr/bin/env bash
# Builds, tests and packages the gateway for a station's ARM board on a Debian
# amd64 machine:
#   - installs what it lacks, with apt-get: the cross compiler, the board's
#     libraries through Debian multiarch, qemu-user;
#   - builds into build-ARCH/ with cmake/toolchain-ARCH.cmake;
#   - runs the unit tests, every radio session and the packaging checks with
#     the board's programs under qemu-user (no binfmt registration needed),
#     the sessions played by a player built for this machine in build-ARCH/host/;
#   - builds build-ARCH/sdsbridge_VERSION_ARCH.deb and checks that its
#     dependencies resolve on a bare Debian system of that architecture.
# Usage: scripts/cross.sh arm64|armhf [CMAKE-OPTION...]
#   (-DSDSBRIDGE_PACKAGE_MAINTAINER="Name <address>" names the package's maintainer)
set -euo pipefail
cd "$(dirname "$0")/.."

arch=${1:-}
case $arch in
arm64) qemu=qemu-aarch64-static ;;
armhf) qemu=qemu-arm-static ;;
*)
    echo "usage: scripts/cross.sh arm64|armhf [CMAKE-OPTION...]" >&2
    exit 2
    ;;
esac
shift
build=build-$arch
jobs=$(nproc)
started=$SECONDS

# --- what the build lacks ------------------------------------------------------

# The native tools first: cmake, pkg-config, lintian and the checks' tools.
./scripts/install-deps.sh
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
# file: cpack looks with it for the programs whose libraries dpkg-shlibdeps reads.
# libstdc++6:ARCH: the tests' programs run against the board's C++ library
# (the cross compiler's own copy is not where the board's loader looks).
packages=(crossbuild-essential-"$arch" qemu-user-static file
          libstdc++6:"$arch" libcurl4-openssl-dev:"$arch" libsystemd-dev:"$arch" libgtest-dev:"$arch")
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    if ! dpkg --print-foreign-architectures | grep -qx "$arch"; then
        echo "Adding the architecture $arch to dpkg (multiarch)"
        $sudo dpkg --add-architecture "$arch"
    fi
    echo "Installing: ${missing[*]}"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
fi
[ -x "/usr/bin/$qemu" ] || { echo "cross: /usr/bin/$qemu is missing" >&2; exit 1; }

# --- build and test --------------------------------------------------------------

# The session player for this machine: it plays the sessions against the
# board's gateway, which it starts under qemu-user inside its namespaces.
# SDSBRIDGE_HOST_PLAYER names one already built (the suite passes its plain
# build's); otherwise one is built in build-ARCH/host/.
player=${SDSBRIDGE_HOST_PLAYER:-}
if [ -z "$player" ]; then
    cmake -S . -B "$build/host" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSDSBRIDGE_WERROR=ON -DBUILD_TESTING=OFF >/dev/null
    cmake --build "$build/host" -j "$jobs" --target sdsbridge-session
    player=$PWD/$build/host/tools/sdsbridge-session
fi
[ -x "$player" ] || { echo "cross: no session player at $player" >&2; exit 1; }
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE="cmake/toolchain-$arch.cmake" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSDSBRIDGE_WERROR=ON \
    -DSDSBRIDGE_SESSION_PLAYER="$player" "$@" >/dev/null
cmake --build "$build" -j "$jobs"
# The sessions mostly wait on the gateway's timers, so more run at once than
# there are cores (SDSBRIDGE_TEST_JOBS).
(cd "$build" && ctest --output-on-failure -j "${SDSBRIDGE_TEST_JOBS:-$jobs}")

# --- the package -------------------------------------------------------------------

(cd "$build" && cpack -G DEB >/dev/null)
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
deb=$build/sdsbridge_${version}_$arch.deb
[ -f "$deb" ] || { echo "cross: cpack made no $deb" >&2; exit 1; }
dpkg-deb -f "$deb" Package Version Architecture Depends

# On a bare system of the board's architecture (nothing installed, the
# archive this machine uses), apt must find everything the package depends on.
status=$(mktemp)
trap 'rm -f "$status"' EXIT
if ! plan=$(apt-get install --simulate -o Dir::State::status="$status" \
    -o APT::Architecture="$arch" -o APT::Architectures::="$arch" "./$deb" 2>&1) ||
    ! grep -q '^Inst sdsbridge ' <<<"$plan"; then
    echo "$plan"
    echo "cross: the package's dependencies do not resolve for a bare $arch system" >&2
    exit 1
fi
echo "apt on a bare $arch system installs it with $(grep -c '^Inst ' <<<"$plan") packages"
echo "cross $arch: $deb in $((SECONDS - started)) s"
