#!/usr/bin/env bash
# Builds the Debian package of the build in $1 with CPack, checks its control data and contents,
# extracts it into a scratch folder and runs the extracted tidewell-cli scan on a prefix made by
# the extracted tidewell-mkprefix: every row the prefix was made to hold must be found.
set -euo pipefail
build=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cpack --config "$build/CPackConfig.cmake" -G DEB -B "$scratch/package" >"$scratch/cpack.log" 2>&1 ||
  { cat "$scratch/cpack.log"; fail "cpack could not build the package"; }
deb=$(ls "$scratch"/package/tidewell_*.deb)

# Control data: Debian package names; Wine recommended, not required.
info=$(dpkg-deb -I "$deb")
echo "$info"
# The package names of a relationship field, one a line, without versions.
names() { dpkg-deb -f "$deb" "$1" | tr ',|' '\n\n' | sed 's/(.*)//' | tr -d ' ' | grep -v '^$'; }
depends=$(names Depends)
for package in libqt6widgets6 libqt6gui6 libqt6core6 qt6-qpa-plugins libpugixml1v5 libjpeg62-turbo libc6 libstdc++6; do
  grep -qxF "$package" <<<"$depends" || fail "Depends lacks $package: $depends"
done
! grep -q wine <<<"$depends" || fail "Wine must not be required: $depends"
grep -qxF wine <<<"$(names Recommends)" || fail "Wine is not recommended"
[ "$(dpkg-deb -f "$deb" Package)" = tidewell ] || fail "package name"
# Every dependency is a package Debian has.
# shellcheck disable=SC2086
known=$(apt-cache policy $depends 2>/dev/null)
for package in $depends; do
  grep -qxF "$package:" <<<"$known" || fail "Debian has no package '$package'"
done

# Contents: where a Debian user expects each file.
contents=$(dpkg-deb -c "$deb" | awk '{ print $6 }')
for file in ./usr/bin/tidewell ./usr/bin/tidewell-cli ./usr/bin/tidewell-regedit ./usr/bin/tidewell-mkprefix \
            ./usr/share/applications/tidewell.desktop \
            ./usr/share/icons/hicolor/16x16/apps/tidewell.png ./usr/share/icons/hicolor/48x48/apps/tidewell.png \
            ./usr/share/icons/hicolor/256x256/apps/tidewell.png ./usr/share/tidewell/manual/index.html \
            ./usr/share/man/man1/tidewell.1.gz ./usr/share/man/man1/tidewell-cli.1.gz \
            ./usr/share/man/man1/tidewell-regedit.1.gz ./usr/share/man/man1/tidewell-mkprefix.1.gz; do
  grep -qx -- "$file" <<<"$contents" || fail "the package lacks $file"
done
! grep -q '^\./usr/local' <<<"$contents" || fail "files under /usr/local"

# Extracted into a scratch folder, the programs run from there.
root="$scratch/root"
dpkg-deb -x "$deb" "$root"
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$root/usr/share/applications/tidewell.desktop"
fi
grep -qx 'Exec=tidewell' "$root/usr/share/applications/tidewell.desktop" || fail "desktop entry Exec"
grep -qx 'Icon=tidewell' "$root/usr/share/applications/tidewell.desktop" || fail "desktop entry Icon"
# The window's libraries are all found on this system.
! ldd "$root/usr/bin/tidewell" | grep -q 'not found' || { ldd "$root/usr/bin/tidewell"; fail "unresolved libraries"; }
while read -r picture; do
  [ -f "$root/usr/share/tidewell/manual/$picture" ] || fail "the manual's picture $picture is missing"
done < <(grep -o '<img src="[^"]*"' "$root/usr/share/tidewell/manual/index.html" | sed 's/<img src="//; s/"$//')

prefix="$scratch/prefix"
"$root/usr/bin/tidewell-mkprefix" "$prefix" --demo >/dev/null
(cd "$scratch" && "$root/usr/bin/tidewell-cli" scan --prefix "$prefix" >"$scratch/scan.tsv")
expected=$(grep -vc '^#' "$prefix/expected-errors.tsv" || true)
found=$(wc -l <"$scratch/scan.tsv")
echo "extracted tidewell-cli scan: $found rows, $expected expected"
[ "$expected" -gt 0 ] || fail "the generated prefix lists no expected rows"
cut -f1-2 "$scratch/scan.tsv" | sort >"$scratch/found-keys"
grep -v '^#' "$prefix/expected-errors.tsv" | cut -f1-2 | sort >"$scratch/expected-keys"
diff "$scratch/expected-keys" "$scratch/found-keys" >"$scratch/diff" || { head -20 "$scratch/diff"; fail "the scan's rows differ from the prefix's list"; }

# The registry editor is found beside the program: an export through it works installed.
(cd "$scratch" && WINEPREFIX="$prefix" "$root/usr/bin/tidewell-regedit" /e "$scratch/hkcu.reg" HKEY_CURRENT_USER)
[ -s "$scratch/hkcu.reg" ] || fail "the extracted tidewell-regedit exported nothing"
echo "ok"
