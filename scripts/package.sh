#!/usr/bin/env bash
# Builds the Debian package of DB Text in build/package/ and checks what it holds: the program, the
# desktop entry (valid), the MIME type and the icons, and dependencies found from the libraries.
# Run scripts/setup.sh first. Install the result with: sudo apt install ./build/package/dbtext_*.deb
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${DBTEXT_BUILD_DIR:-$root/build}"
cmake --build "$build"
rm -rf "$build/package"
(cd "$build" && cpack -G DEB -B "$build/package" >/dev/null)
deb="$(ls "$build"/package/dbtext_*.deb)"
echo "package: $deb"

contents="$(dpkg-deb -c "$deb")"
for path in ./usr/bin/dbtext ./usr/share/applications/dbtext.desktop ./usr/share/mime/packages/dbtext-txdb.xml \
    ./usr/share/icons/hicolor/16x16/apps/dbtext.png ./usr/share/icons/hicolor/48x48/apps/dbtext.png \
    ./usr/share/icons/hicolor/256x256/apps/dbtext.png ./usr/share/doc/dbtext/copyright \
    ./usr/share/doc/dbtext/changelog.gz; do
    if ! grep -q " $path\$" <<<"$contents"; then
        echo "package: $path is missing" >&2
        exit 1
    fi
done
depends="$(dpkg-deb -f "$deb" Depends)"
if ! grep -q "libqt6widgets6" <<<"$depends" || ! grep -q "libsqlite3" <<<"$depends"; then
    echo "package: dependencies not found: $depends" >&2
    exit 1
fi
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
dpkg-deb -x "$deb" "$scratch"
desktop-file-validate "$scratch/usr/share/applications/dbtext.desktop"
echo "package: contents, dependencies ($depends) and desktop entry checked"
