# Writes the two archives of bench/directory_order.sh: COUNT empty stored files whose central
# directory lists them in archive order (IN_ORDER.zip) or in reverse order (REVERSED.zip), the
# same bytes otherwise. Usage: directory_order_archives.py COUNT IN_ORDER.zip REVERSED.zip
import struct, sys, zipfile

count, in_order, reversed_name = int(sys.argv[1]), sys.argv[2], sys.argv[3]
with zipfile.ZipFile(in_order, "w", zipfile.ZIP_STORED) as z:
    for i in range(count):
        z.writestr(f"dir{i // 1000:03d}/file{i:07d}.txt", b"")
data = open(in_order, "rb").read()
end = data.rfind(b"PK\x05\x06")
size, offset = struct.unpack_from("<II", data, end + 12)
headers, at = [], offset
while at < offset + size:
    name, extra, comment = struct.unpack_from("<HHH", data, at + 28)
    length = 46 + name + extra + comment
    headers.append(data[at:at + length])
    at += length
with open(reversed_name, "wb") as out:
    out.write(data[:offset] + b"".join(reversed(headers)) + data[offset + size:])
