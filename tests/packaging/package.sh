#!/bin/sh
# Builds the Debian package into the build tree and checks its contents,
# architecture, dependencies and maintainer scripts, and lets lintian check it.
# Usage: package.sh BUILD_DIR [ARCH]: ARCH is the Debian architecture the
# package is for (a cross build's board), by default this machine's.
set -u
. "$(dirname "$0")/common.sh"
build=$(cd "$1" && pwd)
command -v dpkg-deb >/dev/null 2>&1 || skip "dpkg-deb is not installed"
arch=${2:-$(dpkg --print-architecture)}

out=$(scratch_dir "$build" package)
(cd "$build" && cpack -G DEB -B "$out" --config "$build/CPackConfig.cmake") >"$out/cpack.log" 2>&1 ||
    { cat "$out/cpack.log"; fail "cpack -G DEB"; finish; }
deb=$(ls "$out"/sdsbridge_*.deb 2>/dev/null | head -n 1)
[ -n "$deb" ] || { fail "no sdsbridge_*.deb in $out"; finish; }

contents=$(dpkg-deb -c "$deb")
for f in ./usr/bin/sdsbridge ./usr/lib/systemd/system/sdsbridge.service \
         ./usr/share/sdsbridge/sdsbridge.conf ./usr/share/man/man8/sdsbridge.8.gz \
         ./usr/share/doc/sdsbridge/copyright ./usr/share/doc/sdsbridge/changelog.gz; do
    echo "$contents" | grep -q " $f\$" || fail "the package lacks $f"
done
echo "$contents" | grep -q ' \./usr/local/' && fail "the package installs below /usr/local"

# The build may be configured for /usr/local; the package's unit must still
# start the program where the package puts it.
tree=$(scratch_dir "$build" package-tree)
dpkg-deb -x "$deb" "$tree"
exec_start=$(sed -n 's/^ExecStart=//p' "$tree/usr/lib/systemd/system/sdsbridge.service" 2>/dev/null)
[ "$exec_start" = /usr/bin/sdsbridge ] || fail "the packaged unit starts '$exec_start'"

[ "$(dpkg-deb -f "$deb" Architecture)" = "$arch" ] ||
    fail "Architecture is '$(dpkg-deb -f "$deb" Architecture)', not $arch"
case $deb in
*_"$arch".deb) ;;
*) fail "the file name $(basename "$deb") does not end in _$arch.deb" ;;
esac

# The programs are built for that architecture: the ELF header's class and
# machine, and on armhf the hard-float calling convention.
case $arch in
amd64) class=ELF64 machine="Advanced Micro Devices X86-64" flag="" ;;
arm64) class=ELF64 machine=AArch64 flag="" ;;
armhf) class=ELF32 machine=ARM flag="hard-float ABI" ;;
i386) class=ELF32 machine="Intel 80386" flag="" ;;
*) class="" ;;
esac
if [ -z "$class" ]; then
    echo "no ELF machine known for $arch: not checked"
elif command -v readelf >/dev/null 2>&1; then
    for p in "$tree"/usr/bin/*; do
        header=$(readelf -h "$p" 2>&1)
        for want in "Class: *$class" "Machine: *$machine\$" "Flags: .*$flag"; do
            echo "$header" | grep -Eq "^ *$want" || fail "usr/bin/$(basename "$p") is not $arch ($want):
$(echo "$header" | grep -E 'Class|Machine|Flags')"
        done
    done
fi

# Every program has Debian's default hardening: PIE, stack protector,
# fortified libc calls, RELRO with immediate binding. hardening-check's
# control-flow mark cannot be had on Debian 12, whose own start files
# (Scrt1.o) lack it, so the linker drops it from every program; on amd64 the
# code itself must carry the CET landing pads that -fcf-protection plants.
# A sanitizer or debug build is not fortified (SDSBRIDGE_UNFORTIFIED).
if command -v hardening-check >/dev/null 2>&1; then
    waive=--nocfprotection
    [ -n "${SDSBRIDGE_UNFORTIFIED:-}" ] && waive="$waive --nofortify"
    for p in "$tree"/usr/bin/*; do
        report=$(hardening-check $waive "$p" 2>&1) ||
            fail "usr/bin/$(basename "$p") lacks hardening:
$(echo "$report" | grep -E ': no')"
        if [ "$arch" = amd64 ] && command -v objdump >/dev/null 2>&1; then
            objdump -d "$p" | grep -q endbr64 || fail "usr/bin/$(basename "$p") has no CET landing pads"
        fi
    done
else
    echo "hardening-check (devscripts) is not installed: hardening not checked"
fi

# Every shared library the gateway needs comes from a dependency: the service
# account's adduser, and the libraries (dpkg-shlibdeps gives their versions).
depends=$(dpkg-deb -f "$deb" Depends)
names=$(echo "$depends" | tr ',' '\n' | sed 's/^ *//; s/[ (].*//')
for package in adduser libc6 libstdc++6 libcurl4 libsystemd0; do
    echo "$names" | grep -qxF "$package" || fail "Depends lacks $package: $depends"
done

control=$(scratch_dir "$build" package-control)
dpkg-deb -e "$deb" "$control"
for script in postinst prerm postrm; do
    if [ -x "$control/$script" ]; then
        sh -n "$control/$script" || fail "$script is not valid sh"
    else
        fail "the package lacks an executable $script"
    fi
done

# Errors fail the check; warnings are shown (the README lists those expected).
if command -v lintian >/dev/null 2>&1; then
    remarks=$(lintian --fail-on error "$deb" 2>&1) || fail "lintian reports errors"
    echo "$remarks" | grep -v 'running with root privileges'
fi
finish
