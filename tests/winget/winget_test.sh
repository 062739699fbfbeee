#!/usr/bin/env bash
# winget_test.sh ZELTOWINGET INSTALLER PECHECKSUM SOURCE WORK: the manifest that
# make winget writes passes the check against the installer; a manifest left
# from an installer of another version, or with a return code the table does
# not give, fails it; an http or missing address writes nothing; the README's
# table of exit codes is the program's.
set -uo pipefail
tool=$1 exe=$2 pechecksum=$3 src=$4 work=$5
check=$src/tools/winget/check.sh
table=$src/src/resources/exitcodes.h
fail() { echo "FAIL: $*" >&2; exit 1; }
rm -rf "$work" && mkdir -p "$work"

bash "$src/tools/winget/write.sh" "$tool" "$exe" https://example.com/Zelto2000Setup.exe "$work/ok" \
  >"$work/write.out" 2>&1 || fail "make winget's writer failed: $(cat "$work/write.out")"
[ "$(ls "$work/ok" | wc -l)" = 3 ] || fail "not three files: $(ls "$work/ok")"

for url in http://example.com/Zelto2000Setup.exe '' 'https://' 'https://a b'; do
  bash "$src/tools/winget/write.sh" "$tool" "$exe" "$url" "$work/refused" >/dev/null 2>&1 &&
    fail "the address '$url' was taken"
  [ -z "$(ls "$work/refused" 2>/dev/null)" ] || fail "the address '$url' left files"
done

# The installer rebuilt as version 2.1 (its version record's texts changed,
# the checksum written again): the manifest of 2.0 no longer describes it.
other=$work/Zelto2000Setup-2.1.exe
python3 - "$exe" "$other" <<'PY' || fail "cannot make the other version"
import sys
data = bytearray(open(sys.argv[1], 'rb').read())
for key in ('FileVersion', 'ProductVersion'):
    i = data.find((key + '\0').encode('utf-16-le')) + 2 * len(key) + 2
    while data[i:i + 2] == b'\0\0':
        i += 2
    assert data[i:i + 6] == '2.0'.encode('utf-16-le')
    data[i:i + 6] = '2.1'.encode('utf-16-le')
open(sys.argv[2], 'wb').write(data)
PY
"$pechecksum" "$other" >/dev/null || fail "pechecksum failed"
bash "$check" "$work/ok" "$other" "$table" >"$work/other.out" 2>&1 &&
  fail "the manifest of 2.0 passed for an installer of 2.1"
grep -q 'PackageVersion' "$work/other.out" && grep -q 'InstallerSha256' "$work/other.out" ||
  fail "the check did not name the version and the hash: $(cat "$work/other.out")"

# One answer changed, one code left out: each fails on its own.
installer=$work/ok/OstrellZuvak.Zelto2000.installer.yaml
cp -r "$work/ok" "$work/edited"
sed -i 's/ReturnResponse: diskFull/ReturnResponse: fileInUse/' "$work/edited/${installer##*/}"
bash "$check" "$work/edited" "$exe" "$table" >/dev/null 2>&1 && fail "a changed return code passed"
cp "$installer" "$work/edited/"
sed -i '/InstallerReturnCode: 1618/,+1d' "$work/edited/${installer##*/}"
bash "$check" "$work/edited" "$exe" "$table" >/dev/null 2>&1 && fail "a missing return code passed"

# The README's table, as the administrators read it, is the program's.
"$tool" table >"$work/table.md" || fail "zeltowinget table failed"
sed -n '/^| exit code | meaning |$/,/^$/p' "$src/README.md" | sed '/^$/d' >"$work/readme.md"
diff -u "$work/table.md" "$work/readme.md" >&2 || fail "the README's exit code table differs from $table"
echo "winget manifest: checked"
