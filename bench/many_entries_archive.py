# Writes the archive of bench/directory_listing.sh: 100,000 empty stored files in 100 folders.
# Usage: many_entries_archive.py OUT.zip
import sys, zipfile
with zipfile.ZipFile(sys.argv[1], "w", zipfile.ZIP_STORED) as z:
    for i in range(100000):
        z.writestr(f"dir{i // 1000:03d}/file{i:06d}.txt", b"")
