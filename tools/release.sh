#!/bin/sh
# Writes the two packages a player downloads into build/release/:
#
#   Karstel-<version>-windows-x64.zip      Karstel.exe, karstel-cli.exe,
#                                          使用说明.txt (UTF-8 with BOM, CRLF),
#                                          LICENSE
#   karstel-<version>-linux-x86_64.tar.gz  karstel-<version>/bin/karstel,
#                                          share/man/man1/karstel.1,
#                                          使用说明.txt, LICENSE
#
# The programs come from the linux (Release) and windows presets; trees that
# are already built are only brought up to date. The guide is README.zh-CN.md
# as plain text (tools/guide_to_text.py).
# The archives hold fixed owners and the last commit's time, so the same tree
# gives the same bytes. tools/check-release.sh checks what this writes.
set -eu
cd "$(dirname "$0")/.."

version=$(sed -n 's/^project(Karstel VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[ -n "$version" ] || { echo "release: no version in CMakeLists.txt" >&2; exit 1; }

cmake --preset linux >/dev/null
cmake --build --preset linux-release --target karstel
cmake --preset windows >/dev/null
cmake --build --preset windows --target karstel karstel_dialog_program

release=build/release
stage=$release/stage
rm -rf "$stage"
mkdir -p "$stage/windows" "$stage/linux/karstel-$version/bin" \
  "$stage/linux/karstel-$version/share/man/man1"
epoch=$(git log -1 --format=%ct 2>/dev/null || date +%s)

# Windows: the guide as Notepad on every Windows version shows it.
win=$stage/windows
x86_64-w64-mingw32-strip -o "$win/Karstel.exe" build/windows/Karstel.exe
x86_64-w64-mingw32-strip -o "$win/karstel-cli.exe" \
  build/windows/app/cli/karstel-cli.exe
# The guide as plain text: Markdown's marks and a picture link are noise in
# Notepad or a text editor.
python3 tools/guide_to_text.py README.zh-CN.md >"$stage/guide.txt"
printf '\357\273\277' >"$win/使用说明.txt"
sed 's/\r$//; s/$/\r/' "$stage/guide.txt" >>"$win/使用说明.txt"
sed 's/\r$//; s/$/\r/' LICENSE >"$win/LICENSE"
zip=$release/Karstel-$version-windows-x64.zip
rm -f "$zip"
# Python's zipfile marks the Chinese name as UTF-8, which Explorer reads.
python3 - "$zip" "$win" "$epoch" <<'PY'
import os, sys, time, zipfile
archive, folder, epoch = sys.argv[1], sys.argv[2], int(sys.argv[3])
stamp = time.gmtime(max(epoch, 315532800))[:6]
with zipfile.ZipFile(archive, "w") as out:
    for name in ["Karstel.exe", "karstel-cli.exe", "使用说明.txt", "LICENSE"]:
        entry = zipfile.ZipInfo(name, stamp)
        entry.compress_type = zipfile.ZIP_DEFLATED
        entry.external_attr = 0o644 << 16
        with open(os.path.join(folder, name), "rb") as source:
            out.writestr(entry, source.read())
PY

# Linux: a folder to unpack anywhere; bin/karstel needs no installation.
top=$stage/linux/karstel-$version
strip -o "$top/bin/karstel" build/linux/app/cli/Release/karstel
chmod 755 "$top/bin/karstel"
cp docs/karstel.1 "$top/share/man/man1/karstel.1"
cp "$stage/guide.txt" "$top/使用说明.txt"
cp LICENSE "$top/LICENSE"
chmod 644 "$top/share/man/man1/karstel.1" "$top/使用说明.txt" "$top/LICENSE"
tarball=$release/karstel-$version-linux-x86_64.tar.gz
tar -C "$stage/linux" --sort=name --owner=0 --group=0 --numeric-owner \
  --mtime="@$epoch" -cf - "karstel-$version" | gzip -n -9 >"$tarball"

rm -rf "$stage"
echo "$zip"
echo "$tarball"
