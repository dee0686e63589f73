#!/usr/bin/env bash
# Makes archives with the tools users have (Info-ZIP zip, 7-Zip, Python's zipfile) from one small
# tree, for the tests that read real archives. Usage: make_tool_archives.sh OUTPUT_DIR
set -euo pipefail
out=$1
rm -rf "$out"
mkdir -p "$out/content/sub"
cd "$out/content"
printf 'The quick brown fox jumps over the lazy dog.\n' > readme.txt
: > empty.txt
printf 'nested file\n' > sub/nested.txt
printf 'cyrillic name\n' > "файл.txt"
# 200 KB that do not compress, so that a split set has several parts.
python3 -c 'import random,sys; r=random.Random(7); sys.stdout.buffer.write(bytes(r.getrandbits(8) for _ in range(200000)))' > data.bin
# Text that deflates well, for the encrypted archives (7-Zip stores what does not shrink).
python3 -c 'import sys; sys.stdout.write("".join("line %d of a text that compresses\n" % i for i in range(3000)))' > text.txt
touch -d '2008-02-29 18:00:00' readme.txt empty.txt sub/nested.txt "файл.txt" data.bin text.txt

zip -q -X -r ../infozip.zip readme.txt empty.txt sub "файл.txt" data.bin
zip -q -X -r -fz ../infozip64.zip readme.txt empty.txt sub "файл.txt" data.bin
zip -q -X -r -s 64k ../split.zip readme.txt empty.txt sub "файл.txt" data.bin
7zz a -tzip -bd -bso0 ../sevenzip.zip readme.txt empty.txt sub "файл.txt" data.bin
# Encrypted: the traditional cipher from Info-ZIP, AES of every strength from 7-Zip (deflated, and
# stored for AES-256).
zip -q -X -r -P zip-secret ../infozip_password.zip readme.txt sub data.bin text.txt
for bits in 128 192 256; do
  7zz a -tzip -bd -bso0 -mem=AES$bits -paes-secret ../sevenzip_aes$bits.zip \
    readme.txt empty.txt sub "файл.txt" data.bin text.txt
done
7zz a -tzip -bd -bso0 -mem=AES256 -mx0 -paes-secret ../sevenzip_aes256_stored.zip \
  readme.txt empty.txt sub "файл.txt" data.bin text.txt
python3 - ../python.zip <<'PY'
import sys, zipfile
with zipfile.ZipFile(sys.argv[1], "w", zipfile.ZIP_DEFLATED) as z:
    z.comment = b"archive comment"
    for name in ["readme.txt", "empty.txt", "sub/nested.txt", "файл.txt", "data.bin"]:
        info = zipfile.ZipInfo(name, date_time=(2008, 2, 29, 18, 0, 0))
        info.comment = ("comment of " + name).encode()
        info.compress_type = zipfile.ZIP_DEFLATED
        z.writestr(info, open(name, "rb").read())
PY
# A split set whose data fits in its first part while its central directory starts there and runs
# on into the last part (.z01, .zip).
mkdir -p ../spanned
cd ../spanned
python3 -c 'import random,sys; r=random.Random(3); sys.stdout.buffer.write(bytes(r.getrandbits(8) for _ in range(50000)))' > big.bin
for i in $(seq -w 0 119); do printf 'small file %s\n' "$i" > "file_with_a_rather_long_name_number_$i.txt"; done
zip -q -X -r -s 64k ../split_directory.zip .
