"""The seed corpus of a fuzzing run, made anew at its start by the tools
people make archives with, and by Zupako itself.

ZIP: Info-ZIP (deflate, stored, the traditional cipher, streamed to a
pipe so that every entry has a data descriptor, forced Zip64 on a pipe),
7z (deflate, stored, AES-128 and AES-256, the traditional cipher, methods
the engine does not decode), bsdtar (deflate, stored, its ciphers when it
has them), Python's zipfile (comments, folders, streamed entries, forced
Zip64 records), and the engine's own writer (a compressed folder, entries
added to encrypted archives). CAB: gcab (stored and MSZIP) and the
cabinet library through the engine (MSZIP, LZX as the library writes it,
none, one file per unit); LZX units, which no tool of the host writes,
come from the small compressor of the tests (tests/support/lzx_writer.py).
Every encrypted seed has the password of
tools/fuzz/zip_model.cpp. The files are small, so that an input stays
well under the fuzzer's length limit, and carry fixed times, so that the
same tools make the same seeds.
"""
import io
import os
import random
import shutil
import subprocess
import sys
import zipfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__)))),
                                "tests", "support"))
from lzx_writer import lzx_cabinet  # noqa: E402

PASSWORD = "fuzz"
FIXED_TIME = "2020-02-03 04:05:06"


def make_tree(root):
    """A folder of small files of every kind the seeds need: text, numbers,
    random bytes, an empty file, a Japanese name, a subfolder, an empty
    folder."""
    if os.path.exists(root):
        shutil.rmtree(root)
    os.makedirs(os.path.join(root, "sub", "deeper"))
    os.makedirs(os.path.join(root, "empty"))
    chance = random.Random(26)
    files = {
        "readme.txt": b"Zupako fuzzing seed\r\n" * 20,
        "numbers.txt": "".join("%d\n" % i for i in range(700)).encode(),
        "random.bin": bytes(chance.getrandbits(8) for _ in range(1500)),
        "empty.txt": b"",
        "\u65e5\u672c\u8a9e.txt": "\u3053\u3093\u306b\u3061\u306f\n".encode("utf-8") * 10,
        os.path.join("sub", "a.txt"): b"a" * 3000,
        os.path.join("sub", "deeper", "b.dat"): bytes(range(256)) * 4,
    }
    for name, data in files.items():
        with open(os.path.join(root, name), "wb") as f:
            f.write(data)
    for folder, _, names in os.walk(root):
        for name in names + [folder]:
            path = os.path.join(folder, name)
            subprocess.run(["touch", "-h", "-d", FIXED_TIME, path], check=True)
    return sorted(files)


def run(command, cwd, stdout=None):
    subprocess.run(command, cwd=cwd, check=True, stdout=stdout or subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL)


def info_zip(tree, out):
    run(["zip", "-X", "-q", "-r", os.path.join(out, "infozip-deflate.zip"), "."], tree)
    run(["zip", "-X", "-q", "-0", "-r", os.path.join(out, "infozip-stored.zip"), "."], tree)
    run(["zip", "-X", "-q", "-r", "-P", PASSWORD, os.path.join(out, "infozip-crypt.zip"), "."], tree)
    # To a pipe: sizes and CRCs follow the data in descriptors.
    for name, options in (("infozip-stream.zip", []), ("infozip-stream64.zip", ["-fz"])):
        with open(os.path.join(out, name), "wb") as target:
            run(["zip", "-X", "-q"] + options + ["-", "readme.txt", "sub/a.txt", "empty.txt"], tree, target)


def seven_zip(tree, out):
    variants = {
        "7z-deflate.zip": [],
        "7z-stored.zip": ["-mx0"],
        "7z-aes256.zip": ["-p" + PASSWORD, "-mem=AES256"],
        "7z-aes128.zip": ["-p" + PASSWORD, "-mem=AES128"],
        "7z-zipcrypto.zip": ["-p" + PASSWORD, "-mem=ZipCrypto"],
        "7z-bzip2.zip": ["-mm=BZip2"],
        "7z-deflate64.zip": ["-mm=Deflate64"],
    }
    for name, options in variants.items():
        run(["7z", "a", "-tzip", "-bd", "-y"] + options + [os.path.join(out, name), "readme.txt", "sub",
                                                            "empty.txt"], tree)


def bsdtar(tree, out):
    variants = {
        "bsdtar-deflate.zip": [],
        "bsdtar-stored.zip": ["--options", "zip:compression=store"],
        "bsdtar-zipcrypt.zip": ["--options", "zip:encryption=zipcrypt", "--passphrase", PASSWORD],
        "bsdtar-aes256.zip": ["--options", "zip:encryption=aes256", "--passphrase", PASSWORD],
    }
    for name, options in variants.items():
        try:
            run(["bsdtar", "--format", "zip", "-cf", os.path.join(out, name)] + options +
                ["readme.txt", "sub", "numbers.txt"], tree)
        except subprocess.CalledProcessError:
            # A libarchive built without its ciphers refuses them: no seed.
            pass


class Unseekable(io.RawIOBase):
    """A stream that cannot seek, so that zipfile writes descriptors."""

    def __init__(self):
        self.data = bytearray()

    def writable(self):
        return True

    def write(self, b):
        self.data += b
        return len(b)


def python_zipfile(tree, files, out):
    date = (2020, 2, 3, 4, 5, 6)

    def fill(archive, compression):
        archive.comment = b"archive comment"
        for name in files:
            info = zipfile.ZipInfo(name.replace(os.sep, "/"), date)
            info.compress_type = compression
            info.comment = b"entry comment"
            with open(os.path.join(tree, name), "rb") as f:
                archive.writestr(info, f.read())
        archive.writestr(zipfile.ZipInfo("folder/", date), b"")

    for name, compression in (("python-stored.zip", zipfile.ZIP_STORED),
                              ("python-deflate.zip", zipfile.ZIP_DEFLATED)):
        with zipfile.ZipFile(os.path.join(out, name), "w") as archive:
            fill(archive, compression)
    stream = Unseekable()
    with zipfile.ZipFile(stream, "w", zipfile.ZIP_DEFLATED) as archive:
        fill(archive, zipfile.ZIP_DEFLATED)
    with open(os.path.join(out, "python-stream.zip"), "wb") as f:
        f.write(bytes(stream.data))
    with zipfile.ZipFile(os.path.join(out, "python-zip64.zip"), "w", zipfile.ZIP_DEFLATED) as archive:
        for name in files[:3]:
            info = zipfile.ZipInfo(name.replace(os.sep, "/"), date)
            with archive.open(info, "w", force_zip64=True) as entry, open(os.path.join(tree, name), "rb") as f:
                entry.write(f.read())


def gcab(tree, files, out):
    plain = [f for f in files if "\u65e5" not in f]
    run(["gcab", "-c", os.path.join(out, "gcab-stored.cab")] + plain, tree)
    run(["gcab", "-c", "-z", os.path.join(out, "gcab-mszip.cab")] + plain, tree)


def lzx(tree, files, out):
    contents = []
    for name in files:
        if "\u65e5" not in name:
            with open(os.path.join(tree, name), "rb") as f:
                contents.append((name.replace(os.sep, "\\"), f.read()))
    for window in (15, 21):
        with open(os.path.join(out, "lzx-%d.cab" % window), "wb") as f:
            f.write(lzx_cabinet(contents, window))


def wine_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def zupako(tree, out_zip, out_cab, arctool, wine_run, tree_zip):
    """The engine's own archives, through arctool: its ZIP writer, files it
    adds to encrypted archives, and cabinets from the cabinet library."""
    def tool(*words):
        run([wine_run, arctool] + list(words), tree)

    tool("compress", wine_path(os.path.join(out_zip, "zupako.zip")), wine_path(tree))
    added = os.path.join(os.path.dirname(tree), "added.txt")
    with open(added, "wb") as f:
        f.write(b"added by Zupako\r\n" * 30)
    for source, name in (("7z-aes256.zip", "zupako-add-aes.zip"), ("infozip-crypt.zip", "zupako-add-crypt.zip")):
        if os.path.exists(os.path.join(out_zip, source)):
            shutil.copy(os.path.join(out_zip, source), os.path.join(out_zip, name))
            tool("--password", PASSWORD, "add", wine_path(os.path.join(out_zip, name)),
                 wine_path(added))
    for name, options in (("zupako-mszip.cab", ["--type", "0"]), ("zupako-lzx.cab", ["--type", "1"]),
                          ("zupako-none.cab", ["--type", "2"]), ("zupako-units.cab", ["--type", "0", "--unit", "2"])):
        tool(*(options + ["compress", wine_path(os.path.join(out_cab, name)), wine_path(tree_zip)]))


def make_seeds(folder, arctool, wine_run):
    """Makes folder/zip and folder/cab afresh; returns how many of each."""
    tree = os.path.join(folder, "tree")
    plain_tree = os.path.join(folder, "tree-plain")
    out_zip = os.path.join(folder, "zip")
    out_cab = os.path.join(folder, "cab")
    for path in (out_zip, out_cab):
        if os.path.exists(path):
            shutil.rmtree(path)
        os.makedirs(path)
    files = make_tree(tree)
    info_zip(tree, out_zip)
    seven_zip(tree, out_zip)
    bsdtar(tree, out_zip)
    python_zipfile(tree, files, out_zip)
    # The cabinet library is handed names in the code page: the Japanese
    # file stays out of the cabinets' tree.
    if os.path.exists(plain_tree):
        shutil.rmtree(plain_tree)
    shutil.copytree(tree, plain_tree, symlinks=True)
    os.remove(os.path.join(plain_tree, "\u65e5\u672c\u8a9e.txt"))
    shutil.rmtree(os.path.join(plain_tree, "empty"))
    gcab(plain_tree, [f for f in files if "\u65e5" not in f], out_cab)
    lzx(plain_tree, files, out_cab)
    zupako(tree, out_zip, out_cab, arctool, wine_run, plain_tree)
    return len(os.listdir(out_zip)), len(os.listdir(out_cab))
