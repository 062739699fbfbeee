#!/usr/bin/env bash
# check.sh DIR INSTALLER EXITCODES_H: whether the winget manifest in DIR
# describes this installer: its SHA-256, the version, publisher, name,
# copyright and description of its version record, the uninstall key it
# writes, the switches it takes, and every expected return code against the
# table of exit codes. Read from the files themselves, not from the writer, so
# that a manifest left over from another build fails. Prints what differs.
set -uo pipefail
dir=$1 exe=$2 table=$3
id=OstrellZuvak.Zelto2000
version_file=$dir/$id.yaml installer_file=$dir/$id.installer.yaml locale_file=$dir/$id.locale.en-US.yaml
bad=0
differs() { echo "winget check: $*" >&2; bad=1; }
for f in "$version_file" "$installer_file" "$locale_file"; do
  [ -f "$f" ] || { echo "winget check: no $f" >&2; exit 1; }
done

# value FILE KEY: the value of the first line "KEY: value" (indented or not),
# without quotes.
value() { sed -n "s/^[- ]*$2: *//p" "$1" | head -n1 | tr -d '"\r'; }

# The version record's texts, as Explorer shows them.
record=$(python3 - "$exe" <<'PY'
import sys
data = open(sys.argv[1], 'rb').read()
for key in ('ProductVersion', 'CompanyName', 'ProductName', 'LegalCopyright', 'FileDescription'):
    i = data.find((key + '\0').encode('utf-16-le'))
    text = ''
    if i >= 0:
        i += 2 * len(key) + 2
        while data[i:i + 2] == b'\0\0':  # the padding to the value's 32-bit boundary
            i += 2
        j = i
        while data[j:j + 2] != b'\0\0':
            j += 2
        text = data[i:j].decode('utf-16-le')
    print(key + '=' + text)
PY
) || { echo "winget check: cannot read the version record of $exe" >&2; exit 1; }
field() { sed -n "s/^$1=//p" <<<"$record"; }
version=$(field ProductVersion)
[ -n "$version" ] || differs "no ProductVersion in $exe"

for f in "$version_file" "$installer_file" "$locale_file"; do
  head -n1 "$f" | grep -q '^# yaml-language-server: $schema=https://aka.ms/winget-manifest\..*\.1\.12\.0\.schema\.json$' ||
    differs "$f does not begin with its 1.12.0 schema line"
  [ "$(value "$f" ManifestVersion)" = 1.12.0 ] || differs "$f is not ManifestVersion 1.12.0"
  [ "$(value "$f" PackageIdentifier)" = "$id" ] || differs "$f is not for $id"
  [ "$(value "$f" PackageVersion)" = "$version" ] ||
    differs "$f says PackageVersion $(value "$f" PackageVersion), the installer $version"
done

hash=$(sha256sum "$exe" | cut -d' ' -f1)
[ "$(value "$installer_file" InstallerSha256 | tr A-F a-f)" = "$hash" ] ||
  differs "InstallerSha256 $(value "$installer_file" InstallerSha256) is not the installer's $hash"
[ "$(value "$installer_file" DisplayVersion)" = "$version" ] ||
  differs "DisplayVersion $(value "$installer_file" DisplayVersion), the installer $version"

# The key under Uninstall that the program writes, as its text in the file.
key=$(LC_ALL=C grep -aoE 'CurrentVersion\\Uninstall\\[^\\]+\\' "$exe" | head -n1 | cut -d'\' -f3)
[ -n "$key" ] || differs "no uninstall key in $exe"
[ "$(grep -c "ProductCode: $key\$" "$installer_file")" = 2 ] ||
  differs "ProductCode is not the uninstall key $key (top level and Apps and Features entry)"
for text in "DisplayName: $(value "$installer_file" DisplayName)" "Publisher: $(field CompanyName)"; do
  LC_ALL=C grep -aqF "${text#*: }" "$exe" || differs "the installer holds no '${text#*: }' ($text)"
done

for pair in "Silent=/S" "SilentWithProgress=/S" 'Log=/LOG="<LOGPATH>"' \
            InstallerType=exe Architecture=x86 Scope=machine ElevationRequirement=elevationRequired; do
  got=$(sed -n "s/^[- ]*${pair%%=*}: *//p" "$installer_file" | head -n1 | tr -d '\r')
  [ "$got" = "${pair#*=}" ] || differs "${pair%%=*} is '$got', expected '${pair#*=}'"
done
# The program's own switch names: /S and /LOG, each a text of its own.
python3 -c 'import sys; d = open(sys.argv[1], "rb").read(); sys.exit(not (b"\0/S\0" in d and b"\0/LOG\0" in d))' "$exe" ||
  differs "the installer takes no /S or /LOG"
grep -qx -- '- location' "$installer_file" || differs "UnsupportedArguments does not name location"

# Every code with an answer in the table, and nothing else.
expected=$(sed -n 's/.*X(Exit[A-Za-z]*, *\([0-9]*\), *[0-9]*, *"\([A-Za-z]\+\)".*/\1 \2/p' "$table" | sort)
listed=$(awk '/^- InstallerReturnCode:/ { code = $3 } /^  ReturnResponse:/ { print code, $2 }' \
           "$installer_file" | tr -d '\r' | sort)
[ -n "$expected" ] || differs "no exit codes with answers in $table"
[ "$listed" = "$expected" ] ||
  differs "ExpectedReturnCodes differ from $table: $(diff <(echo "$listed") <(echo "$expected") | grep '^[<>]' | tr '\n' ' ')"

for pair in Publisher=CompanyName PackageName=ProductName License=LegalCopyright \
            ShortDescription=FileDescription; do
  [ "$(value "$locale_file" "${pair%%=*}")" = "$(field "${pair#*=}")" ] ||
    differs "${pair%%=*} '$(value "$locale_file" "${pair%%=*}")' is not the version record's ${pair#*=} '$(field "${pair#*=}")'"
done
exit $bad
