#!/usr/bin/env bash
# The Windows build's keys and signatures, made under Wine by update-sign.exe and update-pack.exe,
# checked by openssl on the build machine, and openssl's signature with a key made under Wine
# checked by update-sign.exe: the same files on both systems. One row per command: its exit
# status, a text it prints, and a check of the files it leaves.
# Usage: cross_check_signatures.sh WINE_RUN UPDATE_SIGN_EXE UPDATE_PACK_EXE FIXTURES_DIR WORK_DIR
set -uo pipefail
wine_run=$1 update_sign=$2 update_pack=$3 fixtures=$4 work=$5
rm -rf "$work"
mkdir -p "$work/release/bin"
cd "$work" || exit 1
printf 'tool\n' > release/bin/tool
for name in a b c d e; do cp "$fixtures/archive.zip" "$name.zip"; done
cp "$fixtures/ec.pub" ec.pub

# The Windows form of a path (relative ones from here): Wine's drive Z: is the root.
win() {
  local path=$1
  [ "${path#/}" != "$path" ] || path="$PWD/$path"
  printf 'Z:%s' "${path//\//\\}"
}
verified() { openssl dgst -sha256 -verify "$1" -signature "$2.sig" "$2" > /dev/null; }

failed=0
# row WHAT STATUS TEXT CHECK PROGRAM ARGUMENTS...: CHECK is evaluated after the run.
row() {
  local what=$1 status=$2 text=$3 check=$4
  shift 4
  local out got=0
  out=$(bash "$wine_run" "$@" 2>&1) || got=$?
  if [ "$got" != "$status" ] || ! grep -qF -- "$text" <<<"$out" || ! eval "$check"; then
    echo "FAILED: $what (exit $got, expected $status; wanted \"$text\")"
    echo "$out"
    failed=1
  else
    echo "ok: $what"
  fi
}

row "a PKCS#8 key signs" 0 "" 'verified ec.pub a.zip' \
  "$update_sign" sign "$(win "$fixtures/ec.pem")" "$(win a.zip)"
row "a traditional EC key signs" 0 "" 'verified ec.pub b.zip' \
  "$update_sign" sign "$(win "$fixtures/ec_traditional.pem")" "$(win b.zip)"
row "keygen makes a pair that openssl reads" 0 "" \
  'openssl pkey -in new.pem -check -noout > /dev/null &&
   cmp -s <(openssl pkey -in new.pem -pubout) new.pub' \
  "$update_sign" keygen "$(win new.pem)" "$(win new.pub)"
row "the new key signs" 0 "" 'verified new.pub c.zip' \
  "$update_sign" sign "$(win new.pem)" "$(win c.zip)"
openssl dgst -sha256 -sign new.pem -out d.zip.sig d.zip 2> /dev/null
row "openssl's signature with the new key verifies" 0 "signature verified" 'true' \
  "$update_sign" verify "$(win new.pub)" "$(win d.zip)"
row "a key without its public point is refused" 1 "without its own public key" '[ ! -e e.zip.sig ]' \
  "$update_sign" sign "$(win "$fixtures/ec_nopublic.pem")" "$(win e.zip)"
row "update-pack signs its package" 0 "signed with" \
  'verified ec.pub package.zip && [ -f package.release ]' \
  "$update_pack" make --product app --version 1.0 \
  --sign "$(win "$fixtures/ec.pem")" -o "$(win package.zip)" "$(win release)"
exit $failed
