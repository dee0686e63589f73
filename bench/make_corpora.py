#!/usr/bin/env python3
# Generates the corpora of bench/extraction.sh: deterministic archives (fixed seeds) of the shapes
# an update takes. Usage: bench/make_corpora.py [OUTDIR] [NAME...] (default /dev/shm/update-bench,
# every corpus). An archive already present is kept; delete it to make it again.
import itertools
import os
import random
import shutil
import subprocess
import sys
import zipfile

MB = 1 << 20
DATE = (2024, 3, 1, 12, 0, 0)
PASSWORD = "SECRET"


class Generator:
    """Deterministic contents of three kinds: text-like, binary-like and already-compressed."""

    def __init__(self, seed):
        self.rng = random.Random(seed)
        rng = self.rng
        syllables = ["ka", "lo", "re", "sin", "ta", "mu", "ve", "dor", "pi", "an", "el", "qu", "ist",
                     "on", "ber", "gra", "fe", "ux", "ol", "tri", "ma", "ne", "co", "pla", "st"]
        words = set()
        while len(words) < 3000:
            words.add("".join(rng.choice(syllables) for _ in range(rng.randint(1, 4))))
        words = sorted(words)
        rng.shuffle(words)
        # Zipf-like: a few words dominate.
        cumulative = list(itertools.accumulate(1.0 / (i + 1) for i in range(len(words))))
        shapes = ["{}\n", "  {}\n", "    \"{}\": \"{}\",\n", "<item name=\"{}\">{}</item>\n",
                  "{} = {};\n", "# {}\n"]
        lines = []
        for _ in range(40000):
            shape = rng.choice(shapes)
            parts = []
            for _ in range(shape.count("{}")):
                chosen = rng.choices(words, cum_weights=cumulative, k=rng.randint(2, 12))
                if rng.random() < 0.3:
                    chosen.append(str(rng.randint(0, 99999)))
                parts.append(" ".join(chosen))
            lines.append(shape.format(*parts).encode())
        self.lines = lines
        # Bytes skewed towards a few values, as machine code and tables are.
        table = bytearray(256)
        common = [0x00, 0xFF, 0x48, 0x8B, 0x89, 0x0F, 0xE8, 0x24, 0x01, 0x45, 0xC3, 0x10]
        for i in range(256):
            table[i] = common[i % len(common)] if i < 160 else i
        self.skew = bytes(table)
        self.blocks = [rng.randbytes(128).translate(self.skew) for _ in range(1024)]

    def text(self, size):
        out = []
        total = 0
        while total < size:
            chunk = b"".join(self.rng.choices(self.lines, k=max(16, (size - total) // 60)))
            out.append(chunk)
            total += len(chunk)
        return b"".join(out)[:size]

    def binary(self, size):
        count = size // 128 + 1
        picks = self.rng.choices(self.blocks, k=count)
        fresh = self.rng.randbytes(size).translate(self.skew)
        out = bytearray()
        for i in range(count):  # half repeated blocks (matches), half fresh skewed bytes
            out += picks[i] if i % 2 == 0 else fresh[i * 128:(i + 1) * 128]
        return bytes(out[:size])

    def random(self, size):
        return self.rng.randbytes(size)

    def mixed(self, kind, size):
        return getattr(self, kind)(size)


def zip_info(name, method, mode=0o644):
    info = zipfile.ZipInfo(name, DATE)
    info.compress_type = method
    info.create_system = 3
    info.external_attr = mode << 16
    if name.endswith("/"):
        info.external_attr = (0o40755 << 16) | 0x10
    return info


KINDS = [  # extension, kind, share of the bytes
    ("txt", "text", 0.15), ("json", "text", 0.10), ("xml", "text", 0.10), ("js", "text", 0.10),
    ("dll", "binary", 0.20), ("so", "binary", 0.15),
    ("png", "random", 0.10), ("pak", "random", 0.10),
]


def tree_files(gen, count, total):
    """(path, kind, size) of `count` files totalling about `total` bytes in nested folders."""
    rng = gen.rng
    tops = ["bin", "lib", "share/locale", "data/levels", "data/sounds", "plugins", "docs/html",
            "resources/images", "resources/ui/themes", "config"]
    folders = []
    for top in tops:
        for i in range(rng.randint(3, 12)):
            depth = rng.randint(0, 2)
            sub = "/".join(f"{top.split('/')[-1][:3]}{i}_{d}" for d in range(depth))
            folders.append(f"app/{top}/{sub}".rstrip("/"))
    raw = [rng.lognormvariate(0, 1.6) for _ in range(count)]
    scale = total / sum(raw)
    files = []
    for i, r in enumerate(raw):
        ext, kind, _ = rng.choices(KINDS, [k[2] for k in KINDS])[0]
        folder = rng.choice(folders)
        files.append((f"{folder}/file{i:05d}.{ext}", kind, max(1, int(r * scale))))
    return files


def write_tree_zip(path, gen, files, method):
    folders = sorted({p for f in files for p in parent_folders(f[0])})
    with zipfile.ZipFile(path, "w", method, allowZip64=False) as z:
        for folder in folders:
            z.writestr(zip_info(folder + "/", zipfile.ZIP_STORED), b"")
        for name, kind, size in files:
            z.writestr(zip_info(name, method), gen.mixed(kind, size))


def parent_folders(name):
    parts = name.split("/")[:-1]
    return ["/".join(parts[:i]) for i in range(1, len(parts) + 1)]


def make_app(path):
    gen = Generator(1)
    write_tree_zip(path, gen, tree_files(gen, 5000, 150 * MB), zipfile.ZIP_DEFLATED)


def make_big(path):
    gen = Generator(2)
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED, allowZip64=False) as z:
        with z.open(zip_info("big/update-image.dat", zipfile.ZIP_DEFLATED), "w") as f:
            for i in range(300 // 4):  # 3 parts text to 1 part binary-like, 4 MB at a time
                f.write(gen.text(4 * MB) if i % 4 else gen.binary(4 * MB))


def make_stored(path):
    gen = Generator(3)
    files = [(f"stored/part{i:03d}.{['pak', 'dll', 'txt'][i % 3]}",
              ["random", "binary", "text"][i % 3], 5 * MB) for i in range(60)]
    write_tree_zip(path, gen, files, zipfile.ZIP_STORED)


def make_small(path):
    gen = Generator(4)
    rng = gen.rng
    files = []
    for i in range(20000):
        kind = rng.choices(["text", "binary"], [0.8, 0.2])[0]
        files.append((f"small/d{i // 100:03d}/f{i:05d}.{'txt' if kind == 'text' else 'bin'}",
                      kind, rng.randint(512, 4096)))
    write_tree_zip(path, gen, files, zipfile.ZIP_DEFLATED)


def make_encrypted(path, seed, cipher):
    """A ~100 MB tree written to disk and packed by 7zz with `cipher` (AES256 or ZipCrypto)."""
    gen = Generator(seed)
    source = path + ".src"
    shutil.rmtree(source, ignore_errors=True)
    for name, kind, size in tree_files(gen, 1000, 100 * MB):
        full = os.path.join(source, name)
        os.makedirs(os.path.dirname(full), exist_ok=True)
        with open(full, "wb") as f:
            f.write(gen.mixed(kind, size))
    stamp = 1709294400  # the DATE above, so that every run packs the same times
    for root, dirs, names in os.walk(source, topdown=False):
        for n in names + dirs:
            os.utime(os.path.join(root, n), (stamp, stamp))
    subprocess.run(["7zz", "a", "-tzip", f"-mem={cipher}", f"-p{PASSWORD}", "-mx=5",
                    os.path.abspath(path), "app"], cwd=source, check=True, stdout=subprocess.DEVNULL)
    shutil.rmtree(source)


CORPORA = {
    "app": make_app,
    "big": make_big,
    "stored": make_stored,
    "small": make_small,
    "aes": lambda p: make_encrypted(p, 5, "AES256"),
    "zipcrypto": lambda p: make_encrypted(p, 6, "ZipCrypto"),
}


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else "/dev/shm/update-bench"
    names = sys.argv[2:] or list(CORPORA)
    os.makedirs(out, exist_ok=True)
    for name in names:
        path = os.path.join(out, name + ".zip")
        if os.path.exists(path):
            continue
        partial = path + ".part.zip"
        if os.path.exists(partial):
            os.remove(partial)
        print(f"make_corpora: {name}.zip", file=sys.stderr, flush=True)
        CORPORA[name](partial)
        os.replace(partial, path)


if __name__ == "__main__":
    main()
