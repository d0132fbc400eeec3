#!/usr/bin/env bash
# Builds the Debian package with cpack in a build folder (default: build, as test.sh leaves it) and checks that it
# declares its dependencies and holds what an installed program needs.
# Usage: check-package.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}

if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S . -B "$build" -G Ninja -DVANTREL_TESTS=OFF -DVANTREL_BENCH=OFF >/dev/null
fi
cmake --build "$build" -j "$(nproc)" >/dev/null
rm -f "$build"/vantrel_*.deb
if ! (cd "$build" && cpack -G DEB >cpack.log 2>&1); then
    cat "$build/cpack.log" >&2
    exit 1
fi
debs=("$build"/vantrel_*.deb)
deb=${debs[0]}
[ -f "$deb" ] || { echo "check-package: cpack made no package" >&2; exit 1; }

failed=0
fail() { echo "check-package: $*" >&2; failed=1; }

contents=$(dpkg-deb --contents "$deb" | awk '{ print $6 }')
for path in \
    ./usr/bin/vantrel \
    ./usr/share/vantrel/vantrel.dat \
    ./usr/share/applications/vantrel.desktop \
    ./usr/share/icons/hicolor/scalable/apps/vantrel.svg \
    ./usr/share/icons/hicolor/48x48/apps/vantrel.png \
    ./usr/share/metainfo/io.github.vantrel.Vantrel.metainfo.xml \
    ./usr/share/man/man1/vantrel.1.gz \
    ./usr/lib/systemd/user/vantrel-check.service \
    ./usr/lib/systemd/user/vantrel-check.timer \
    ./usr/share/doc/vantrel/LICENSE; do
    grep -qxF "$path" <<<"$contents" || fail "$path is missing from $deb"
done

depends=$(dpkg-deb --field "$deb" Depends)
for library in libqt6widgets6 libqt6multimedia6 libssl3 libc6; do
    grep -q "\b$library\b" <<<"$depends" || fail "Depends does not name $library: $depends"
done

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg-deb --extract "$deb" "$root"

# The PNG's width and height, from its header.
size=$(od -An -tu1 -j16 -N8 "$root/usr/share/icons/hicolor/48x48/apps/vantrel.png" | tr -s ' ')
[ "$size" = " 0 0 0 48 0 0 0 48" ] || fail "the PNG icon is not 48x48 (header bytes:$size)"

if command -v appstreamcli >/dev/null; then
    appstreamcli validate --no-net "$root/usr/share/metainfo/io.github.vantrel.Vantrel.metainfo.xml" >/dev/null \
        || fail "the metainfo does not validate"
else
    echo "check-package: appstreamcli is not installed; metainfo not validated"
fi
if command -v desktop-file-validate >/dev/null; then
    problems=$(desktop-file-validate "$root/usr/share/applications/vantrel.desktop" 2>&1 | grep -v ': hint: ' || true)
    [ -z "$problems" ] || fail "the desktop entry does not validate: $problems"
fi
grep -qx 'Exec=vantrel --xdg-folder' "$root/usr/share/applications/vantrel.desktop" \
    || fail "the desktop entry does not start the program with its XDG settings folder"
manual=$(zcat "$root/usr/share/man/man1/vantrel.1.gz")
for option in 'folder' 'xdg\-folder' 'check' 'jobs' 'json'; do
    grep -qF -- "\\-\\-$option" <<<"$manual" || fail "the manual page does not describe --$option"
done

# The installed program runs from the package's tree: an unknown option is refused with the usage.
set +e
QT_QPA_PLATFORM=offscreen "$root/usr/bin/vantrel" --no-such-option 2>"$root/usage.txt"
status=$?
set -e
[ "$status" -eq 2 ] && grep -q -- '--folder' "$root/usage.txt" || fail "vantrel --no-such-option: status $status"

[ "$failed" -eq 0 ] || exit 1
echo "check-package: $(basename "$deb") holds the program, character, desktop entry, icons, metainfo, manual page" \
    "and systemd units"
