#!/usr/bin/env bash
# sign.sh IN OUT: writes OUT, a copy of the installer IN with an Authenticode
# signature (SHA-256, through osslsigncode), and checks that OUT still passes
# the installer's own test of its image checksum. IN is never changed, so the
# unsigned build stays the one that is reproducible byte for byte.
# From the environment (make sign passes its variables on):
#   SIGN_CERT       certificate chain, PEM or DER; or a PKCS#12 file (.pfx, .p12)
#                   that holds key and chain, with SIGN_KEY left empty
#   SIGN_KEY        private key, PEM or DER
#   SIGN_PASS       password of the key or of the PKCS#12 file (optional)
#   SIGN_TIMESTAMP  URL of an RFC 3161 time-stamp server (optional): the
#                   signature then stays valid after the certificate expires
#   SIGN_CA         CA certificates to verify the signature against (optional)
#   PECHECKSUM      the host tool pechecksum (default build/host/pechecksum)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
in=${1:?usage: sign.sh IN OUT}
out=${2:?usage: sign.sh IN OUT}
pechecksum=${PECHECKSUM:-$here/../build/host/pechecksum}
cert=${SIGN_CERT:-}
key=${SIGN_KEY:-}

fail() { echo "sign: $*" >&2; exit 1; }
[ -n "$cert" ] || fail "no certificate: set SIGN_CERT (and SIGN_KEY), e.g. make sign SIGN_CERT=cert.pem SIGN_KEY=key.pem"
[ -f "$cert" ] || fail "no certificate file $cert"
[ -z "$key" ] || [ -f "$key" ] || fail "no key file $key"
[ -f "$in" ] || fail "no installer $in"
[ -x "$pechecksum" ] || fail "no pechecksum at $pechecksum (make build first)"
command -v osslsigncode >/dev/null || fail "osslsigncode is missing (tools/install-deps.sh installs it)"
[ "$(realpath -m "$in")" != "$(realpath -m "$out")" ] || fail "OUT must not be IN"

args=(sign -h sha256 -n "Zelto 2000 Setup" -i "http://www.ostrellzuvak.com")
if [ -n "$key" ]; then
  args+=(-certs "$cert" -key "$key")
else
  case ${cert,,} in
    *.pfx|*.p12) args+=(-pkcs12 "$cert") ;;
    *) fail "SIGN_KEY is needed unless SIGN_CERT is a PKCS#12 file (.pfx, .p12)" ;;
  esac
fi
[ -n "${SIGN_TIMESTAMP:-}" ] && args+=(-ts "$SIGN_TIMESTAMP")

# The signed copy is made beside OUT and takes OUT's name only once checked:
# a failed run leaves no half-signed installer behind.
mkdir -p "$(dirname "$out")"
work=$(mktemp "$(dirname "$out")/.signing.XXXXXX")
trap 'rm -f "$work" "$work".*' EXIT
rm -f "$work"  # osslsigncode writes a new file
# What osslsigncode says (some versions write their errors to standard output)
# is shown only when it fails. Without SIGN_PASS, an encrypted key makes
# OpenSSL ask for its password on the terminal.
[ -n "${SIGN_PASS:-}" ] && args+=(-readpass /dev/stdin)
osslsigncode "${args[@]}" -in "$in" -out "$work" >"$work.log" 2>&1 <<<"${SIGN_PASS:-}" ||
  { cat "$work.log" >&2; fail "osslsigncode could not sign $in"; }

# The installer refuses to run when the CheckSum field is not the sum of its
# file, signature included. osslsigncode writes it; should a version not, it
# is written here: the field lies outside the signed hash, and pechecksum's
# other change (the write flag of .rsrc, signed) is already made by the build.
if ! "$pechecksum" -c "$work" >/dev/null; then
  cp "$work" "$work.before"
  "$pechecksum" "$work" >/dev/null || fail "could not write the checksum of the signed copy"
  "$pechecksum" -c "$work" >/dev/null || fail "the signed copy's checksum is still wrong"
  changed=$(cmp -l "$work.before" "$work" | wc -l || true)
  (( changed <= 4 )) || fail "writing the checksum changed signed bytes of $in (its .rsrc was writable)"
fi
if [ -n "${SIGN_CA:-}" ]; then
  osslsigncode verify -CAfile "$SIGN_CA" -in "$work" >"$work.verify" 2>&1 ||
    { cat "$work.verify" >&2; fail "the signature does not verify against $SIGN_CA"; }
fi
chmod 755 "$work"
mv -f "$work" "$out"
echo "signed: $out"
