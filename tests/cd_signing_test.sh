#!/usr/bin/env bash
# Signing the CD's start.exe (scripts/make-cd.sh --sign-pkcs12), with a
# self-signed certificate made here by openssl:
#  1. the image's start.exe verifies with osslsigncode against that
#     certificate (Authenticode, SHA-256), and still carries the manifest's
#     asInvoker;
#  2. the detached signature beside the image, attached to the unsigned
#     build (build/win32/start.exe), gives the image's start.exe byte for
#     byte, as users check a released CD against a build of their own;
#  3. a wrong password writes no image.
# Without the option nothing is signed: tests/cd_image_test.sh finds the
# build's start.exe on the CD as it is.
set -uo pipefail
SOURCE_DIR="${SOURCE_DIR:-$(cd "$(dirname "$0")/.." && pwd)}"
source "$SOURCE_DIR/scripts/harness.sh"
for program in build/linux-compat/start build/linux/cdcheck build/win32/start.exe; do
  [[ -f "$SOURCE_DIR/$program" ]] || harness_skip "$program is not built"
done
for tool in openssl osslsigncode; do command -v $tool >/dev/null || harness_fail "$tool is missing"; done
WORK=$(mktemp -d /tmp/cd-signing-test.XXXXXX)
trap 'rm -rf "$WORK"' EXIT

export START_SIGN_PASSWORD="correct horse"
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=orbilex test signer" \
  -addext extendedKeyUsage=codeSigning -keyout "$WORK/key.pem" -out "$WORK/cert.pem" >/dev/null 2>&1 &&
  openssl pkcs12 -export -inkey "$WORK/key.pem" -in "$WORK/cert.pem" -passout env:START_SIGN_PASSWORD \
    -out "$WORK/signer.p12" 2>/dev/null || harness_fail "openssl could not make the certificate"

"$SOURCE_DIR/scripts/make-cd.sh" --no-build --out "$WORK/cd" --sign-pkcs12 "$WORK/signer.p12" \
  >"$WORK/make.log" 2>&1 || harness_fail "make-cd.sh --sign-pkcs12: $(cat "$WORK/make.log")"
osirrox -indev "$WORK/cd/orbilex-2.1.iso" -extract /start.exe "$WORK/start.exe" >/dev/null 2>&1 ||
  harness_fail "no start.exe in the image"
osslsigncode verify -CAfile "$WORK/cert.pem" -in "$WORK/start.exe" >"$WORK/verify.log" 2>&1 ||
  harness_fail "the image's start.exe does not verify: $(cat "$WORK/verify.log")"
grep -q 'Message digest algorithm *: SHA256' "$WORK/verify.log" ||
  harness_fail "not signed with SHA-256: $(cat "$WORK/verify.log")"
grep -qa 'level="asInvoker"' "$WORK/start.exe" || harness_fail "the signed start.exe lost asInvoker"

SIGNATURE="$WORK/cd/orbilex-2.1-start.exe.sig"
[[ -f $SIGNATURE ]] || harness_fail "no detached signature beside the image: $(ls "$WORK/cd")"
osslsigncode attach-signature -sigin "$SIGNATURE" -CAfile "$WORK/cert.pem" \
  -in "$SOURCE_DIR/build/win32/start.exe" -out "$WORK/attached.exe" >"$WORK/attach.log" 2>&1 ||
  harness_fail "could not attach the detached signature: $(cat "$WORK/attach.log")"
cmp "$WORK/attached.exe" "$WORK/start.exe" ||
  harness_fail "the unsigned build with the detached signature attached is not the image's start.exe"

START_SIGN_PASSWORD=wrong "$SOURCE_DIR/scripts/make-cd.sh" --no-build --out "$WORK/wrong" \
  --sign-pkcs12 "$WORK/signer.p12" >"$WORK/wrong.log" 2>&1 && harness_fail "signed with a wrong password"
compgen -G "$WORK/wrong/*.iso" >/dev/null && harness_fail "an image was written though signing failed"
echo "PASS: signed, verified, and the detached signature attaches to the unsigned build"
