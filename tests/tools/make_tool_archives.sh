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
touch -d '2008-02-29 18:00:00' readme.txt empty.txt sub/nested.txt "файл.txt" data.bin

zip -q -X -r ../infozip.zip readme.txt empty.txt sub "файл.txt" data.bin
zip -q -X -r -fz ../infozip64.zip readme.txt empty.txt sub "файл.txt" data.bin
zip -q -X -r -s 64k ../split.zip readme.txt empty.txt sub "файл.txt" data.bin
7zz a -tzip -bd -bso0 ../sevenzip.zip readme.txt empty.txt sub "файл.txt" data.bin
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
