#!/bin/sh
# Checks the packages tools/release.sh wrote, as a player would receive them:
# the zip holds exactly its four files, the guide is what Notepad expects,
# the exes import only Windows' own DLLs and carry the version, the unpacked
# karstel-cli.exe runs under Wine; the unpacked Linux binary runs from an
# unrelated folder and needs nothing beyond the C library, zlib, libpng,
# FreeType and fontconfig, and no glibc symbol newer than Debian 12's.
set -eu
cd "$(dirname "$0")/.."

version=$(sed -n 's/^project(Karstel VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
zip=build/release/Karstel-$version-windows-x64.zip
tarball=build/release/karstel-$version-linux-x86_64.tar.gz
# Debian 12 ships glibc 2.36; SteamOS 3 and other current systems have it.
newest_glibc=2.36

failures=0
fail() {
  echo "check-release: $*" >&2
  failures=$((failures + 1))
}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# --- Windows package ---
python3 - "$zip" "$work/windows" "$version" <<'PY' || fail "zip: see above"
import sys, zipfile
archive, folder, version = sys.argv[1:]
bad = []
with zipfile.ZipFile(archive) as z:
    names = sorted(z.namelist())
    want = sorted(["Karstel.exe", "karstel-cli.exe", "使用说明.txt", "LICENSE"])
    if names != want:
        bad.append(f"holds {names}, not {want}")
    guide = z.read("使用说明.txt") if "使用说明.txt" in names else b""
    if not guide.startswith(b"\xef\xbb\xbf"):
        bad.append("使用说明.txt does not start with a UTF-8 byte order mark")
    if guide.count(b"\n") == 0 or guide.count(b"\n") != guide.count(b"\r\n"):
        bad.append("使用说明.txt has line ends other than CRLF")
    try:
        guide.decode("utf-8")
    except UnicodeDecodeError:
        bad.append("使用说明.txt is not UTF-8")
    licence = z.read("LICENSE").decode() if "LICENSE" in names else ""
    if "MIT License" not in licence or "the Karstel authors" not in licence:
        bad.append("LICENSE is not the MIT licence of the Karstel authors")
    for exe in ("Karstel.exe", "karstel-cli.exe"):
        data = z.read(exe) if exe in names else b""
        for key, value in (("ProductName", "Karstel"),
                           ("ProductVersion", version),
                           ("FileVersion", version)):
            # A VERSIONINFO string: key, terminator, padding, value.
            pattern = key.encode("utf-16-le") + b"\0\0"
            at = data.find(pattern)
            tail = data[at + len(pattern):at + len(pattern) + 64]
            if at < 0 or value.encode("utf-16-le") + b"\0\0" not in tail:
                bad.append(f"{exe} has no version resource {key} = {value}")
    z.extractall(folder)
for line in bad:
    print("check-release:", line, file=sys.stderr)
sys.exit(1 if bad else 0)
PY

for exe in Karstel.exe karstel-cli.exe; do
  [ -f "$work/windows/$exe" ] || continue
  x86_64-w64-mingw32-objdump -p "$work/windows/$exe" |
    sed -n 's/^[[:space:]]*DLL Name: //p' >"$work/imports"
  [ -s "$work/imports" ] || fail "$exe: no imports found"
  while read -r dll; do
    case $(echo "$dll" | tr '[:upper:]' '[:lower:]') in
      kernel32.dll | user32.dll | gdi32.dll | msvcrt.dll | comctl32.dll | \
        comdlg32.dll | d2d1.dll | dwrite.dll | gdiplus.dll | ole32.dll | \
        oleaut32.dll | shell32.dll | shlwapi.dll | advapi32.dll | \
        windowscodecs.dll | version.dll | uxtheme.dll | ws2_32.dll | \
        api-ms-win-*.dll) ;;
      *) fail "$exe imports $dll, which Windows does not ship" ;;
    esac
  done <"$work/imports"
done

if [ -f "$work/windows/karstel-cli.exe" ]; then
  got=$(cd "$work/windows" &&
    "$OLDPWD/cmake/wine-run.sh" karstel-cli.exe --version 2>"$work/wine" |
    tr -d '\r') ||
    fail "karstel-cli.exe --version failed under Wine: $(cat "$work/wine")"
  [ "$got" = "karstel $version" ] ||
    fail "karstel-cli.exe --version printed '$got'"
fi

# --- Linux package ---
mkdir "$work/linux" "$work/elsewhere"
tar -C "$work/linux" -xzf "$tarball"
top=$work/linux/karstel-$version
(cd "$work/linux" && find . -type f | sort) >"$work/files"
printf '%s\n' "./karstel-$version/LICENSE" "./karstel-$version/bin/karstel" \
  "./karstel-$version/share/man/man1/karstel.1" \
  "./karstel-$version/使用说明.txt" | sort >"$work/expected"
cmp -s "$work/files" "$work/expected" ||
  fail "tarball holds $(tr '\n' ' ' <"$work/files")"
cmp -s "$top/LICENSE" LICENSE || fail "tarball LICENSE differs from LICENSE"
python3 tools/guide_to_text.py README.zh-CN.md | cmp -s "$top/使用说明.txt" - ||
  fail "tarball guide differs from README.zh-CN.md as plain text"
! grep -q -e '](' -e '^#' -e '`' "$top/使用说明.txt" ||
  fail "tarball guide still holds Markdown"
preconv "$top/share/man/man1/karstel.1" |
  groff -man -Tutf8 -ww -Wbreak -z 2>"$work/man" || true
[ ! -s "$work/man" ] || fail "man page: $(cat "$work/man")"
grep -q "^\.TH KARSTEL 1 \"[0-9-]*\" \"Karstel $version\"" \
  "$top/share/man/man1/karstel.1" ||
  fail "man page title does not carry version $version"

bin=$top/bin/karstel
got=$(cd "$work/elsewhere" && env -i PATH=/usr/bin:/bin "$bin" --version) ||
  fail "bin/karstel --version failed"
[ "$got" = "karstel $version" ] || fail "bin/karstel --version printed '$got'"
code=0
(cd "$work/elsewhere" && "$bin" generate --no-such-option) \
  >/dev/null 2>"$work/usage" || code=$?
[ "$code" -eq 2 ] && grep -q 'karstel help' "$work/usage" ||
  fail "an unknown option did not give exit code 2 and point to karstel help"

objdump -p "$bin" | sed -n 's/^[[:space:]]*NEEDED[[:space:]]*//p' |
  while read -r library; do
    case $library in
      libc.so.6 | libm.so.6 | ld-linux-x86-64.so.2 | libz.so.1 | \
        libpng16.so.16 | libfreetype.so.6 | libfontconfig.so.1) ;;
      *) echo "$library" ;;
    esac
  done >"$work/extra"
[ ! -s "$work/extra" ] ||
  fail "bin/karstel needs $(tr '\n' ' ' <"$work/extra")"
objdump -T "$bin" >"$work/symbols"
grep -Eq 'GLIBCXX_|CXXABI_|GCC_[0-9]|GOMP_' "$work/symbols" &&
  fail "bin/karstel takes C++, GCC or OpenMP runtime symbols from the system"
newest=$(grep -Eo 'GLIBC_[0-9]+(\.[0-9]+)+' "$work/symbols" |
  sed 's/GLIBC_//' | sort -uV | tail -n 1)
[ -n "$newest" ] || fail "bin/karstel shows no glibc symbol versions"
[ "$(printf '%s\n%s\n' "$newest" "$newest_glibc" | sort -V | tail -n 1)" = \
  "$newest_glibc" ] ||
  fail "bin/karstel needs glibc $newest, newer than $newest_glibc"

if [ "$failures" -ne 0 ]; then
  echo "check-release: $failures problem(s)" >&2
  exit 1
fi
echo "check-release: $zip and $tarball are fine (glibc $newest at most)"
