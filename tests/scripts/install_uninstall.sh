#!/bin/bash
# make install-files and make uninstall into a temporary DESTDIR with PREFIX=/usr: the two
# programs (executable, the synthesizer's usage text), the desktop entry (a session client;
# valid where desktop-file-validate is installed), the icon (SVG that parses), both man pages
# (groff and man render them without a warning), the LV2 bundle (lilv finds the three plugins
# where it was installed); uninstall leaves no file and no bundle behind.
set -u
if [ -z "${KELVORA_PROGRAM:-}" ] || [ -z "${KELVORA_RENDER:-}" ]; then
    echo "kelvora or kelvora-render is not built"
    exit 77
fi
dest=$(mktemp -d /tmp/kelvora-install-XXXXXX)
trap 'rm -rf "$dest"' EXIT
fail() {
    echo "FAIL: $*"
    exit 1
}
build=$(dirname "$KELVORA_PROGRAM")
make -s -C "$KELVORA_SOURCE_DIR" install-files BUILD_DIR="$build" DESTDIR="$dest" PREFIX=/usr ||
    fail "make install-files"
usr="$dest/usr"
for program in kelvora kelvora-render; do
    [ -x "$usr/bin/$program" ] || fail "$program is not installed"
done
"$usr/bin/kelvora" --help 2>&1 | grep -q -- "--audio=sys" || fail "the installed kelvora"
desktop="$usr/share/applications/kelvora.desktop"
grep -qx "X-NSM-Capable=true" "$desktop" || fail "the desktop entry is no session client"
grep -qx "Exec=kelvora" "$desktop" || fail "the desktop entry does not start kelvora"
if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$desktop" || fail "the desktop entry does not validate"
fi
/usr/bin/python3 -c "import sys, xml.etree.ElementTree as e; \
    assert e.parse(sys.argv[1]).getroot().tag.endswith('svg')" \
    "$usr/share/icons/hicolor/scalable/apps/kelvora.svg" || fail "the icon"
for page in kelvora kelvora-render; do
    file="$usr/share/man/man1/$page.1"
    [ -f "$file" ] || fail "no man page $page(1)"
    warnings=$(groff -man -Tutf8 -ww -z "$file" 2>&1)
    [ -z "$warnings" ] || fail "groff warns about $page(1): $warnings"
    text=$(LC_ALL=C.UTF-8 MANWIDTH=80 man -l "$file" 2>&1) || fail "man -l $page(1)"
    echo "$text" | grep -q "^NAME" || fail "$page(1) has no NAME section"
done
bundle="$usr/lib/lv2/kelvora.lv2"
[ -x "$bundle/kelvora.so" ] || fail "the LV2 plugin is not installed"
if command -v lv2ls >/dev/null; then
    found=$(LV2_PATH="$usr/lib/lv2" lv2ls 2>&1)
    for plugin in string flute effects; do
        echo "$found" | grep -qx "urn:kelvora:$plugin" || fail "lv2ls does not find $plugin: $found"
    done
fi
make -s -C "$KELVORA_SOURCE_DIR" uninstall DESTDIR="$dest" PREFIX=/usr || fail "make uninstall"
left=$(find "$dest" -type f)
[ -z "$left" ] || fail "left after uninstall: $left"
[ ! -d "$bundle" ] || fail "the LV2 bundle's directory is left after uninstall"
echo "PASS"
