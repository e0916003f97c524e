#!/bin/sh
# Builds the Debian package into the build tree and checks its contents,
# dependencies and maintainer scripts.
# Usage: package.sh BUILD_DIR
set -u
. "$(dirname "$0")/common.sh"
build=$(cd "$1" && pwd)
command -v dpkg-deb >/dev/null 2>&1 || skip "dpkg-deb is not installed"

out=$(scratch_dir "$build" package)
(cd "$build" && cpack -G DEB -B "$out" --config "$build/CPackConfig.cmake") >"$out/cpack.log" 2>&1 ||
    { cat "$out/cpack.log"; fail "cpack -G DEB"; finish; }
deb=$(ls "$out"/sdsbridge_*.deb 2>/dev/null | head -n 1)
[ -n "$deb" ] || { fail "no sdsbridge_*.deb in $out"; finish; }

contents=$(dpkg-deb -c "$deb")
for f in ./usr/bin/sdsbridge ./usr/lib/systemd/system/sdsbridge.service \
         ./usr/share/sdsbridge/sdsbridge.conf ./usr/share/man/man8/sdsbridge.8.gz; do
    echo "$contents" | grep -q " $f\$" || fail "the package lacks $f"
done
echo "$contents" | grep -q ' \./usr/local/' && fail "the package installs below /usr/local"

# The build may be configured for /usr/local; the package's unit must still
# start the program where the package puts it.
tree=$(scratch_dir "$build" package-tree)
dpkg-deb -x "$deb" "$tree"
exec_start=$(sed -n 's/^ExecStart=//p' "$tree/usr/lib/systemd/system/sdsbridge.service" 2>/dev/null)
[ "$exec_start" = /usr/bin/sdsbridge ] || fail "the packaged unit starts '$exec_start'"

depends=$(dpkg-deb -f "$deb" Depends)
echo "$depends" | grep -qw adduser || fail "Depends lacks adduser (used by postinst): $depends"
# Every shared library the program needs must come from a dependency.
if command -v readelf >/dev/null 2>&1; then
    if readelf -d "$build/sdsbridge" | grep -q 'NEEDED.*libcurl'; then
        echo "$depends" | grep -q libcurl || fail "the program uses libcurl but Depends lacks it: $depends"
    fi
fi

control=$(scratch_dir "$build" package-control)
dpkg-deb -e "$deb" "$control"
for script in postinst prerm postrm; do
    if [ -x "$control/$script" ]; then
        sh -n "$control/$script" || fail "$script is not valid sh"
    else
        fail "the package lacks an executable $script"
    fi
done
finish
