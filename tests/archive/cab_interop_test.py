#!/usr/bin/env python3
"""Cabinets of the host's tools read by the engine, and cabinets of the
engine checked by the host's tools (gcab, cabextract). The engine is driven
through arctool."""
import os
import random
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "support"))
from folder_tree import tree  # noqa: E402
from lzx_writer import lzx_cabinet  # noqa: E402
from wine_drive import wine_drive  # noqa: E402

ARCTOOL = os.environ["ARCTOOL"]
WINE_RUN = os.environ["WINE_RUN"]


def win(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def driver(*args, expect_ok=True):
    converted = [win(a) if isinstance(a, str) and os.path.isabs(a) else str(a) for a in args]
    result = subprocess.run([WINE_RUN, ARCTOOL] + converted, capture_output=True, timeout=300)
    if expect_ok and result.returncode != 0:
        raise AssertionError("arctool %s failed: %s %s" % (args, result.stdout, result.stderr))
    return result


def driver_names(cab):
    # Each line: name, size, packed size, CRC-32, attributes.
    out = driver("list", cab).stdout.decode("utf-8")
    return [line.rstrip("\r").split("\t")[0] for line in out.splitlines() if line.strip()]


def folder_compressions(cab):
    """The typeCompress word of every folder record of an unreserved cabinet."""
    with open(cab, "rb") as f:
        data = f.read()
    count = struct.unpack_from("<H", data, 26)[0]
    return [struct.unpack_from("<H", data, 36 + 8 * i + 6)[0] for i in range(count)]


def gcab_names(cab):
    out = subprocess.run(["gcab", "-l", cab], capture_output=True, check=True).stdout.decode("utf-8", "replace")
    # Each line: name, size, date, time, attributes.
    return sorted(line.strip().rsplit(" ", 4)[0].replace("/", "\\") for line in out.splitlines() if line.strip())


def files_only(names):
    return sorted(n for n in names if not n.endswith("\\"))


class CabInterop(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="cabinterop")
        self.src = os.path.join(self.dir, "src")
        rnd = random.Random(7)
        contents = {
            "readme.txt": b"".join(b"line %d of a text\r\n" % i for i in range(3000)),
            "docs/guide.txt": b"guide " * 500,
            "docs/deep/nested/noise.bin": bytes(rnd.getrandbits(8) for _ in range(70000)),
            "docs/deep/small.txt": b"s",
            "img/a.dat": bytes(range(256)) * 40,
            # Empty files: one among others, one alone in its folder.
            "docs/empty.txt": b"",
            "blank/none.dat": b"",
        }
        for name, data in contents.items():
            path = os.path.join(self.src, name)
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "wb") as f:
                f.write(data)
        self.expected = {k.replace("/", "\\"): v for k, v in contents.items()}

    def tearDown(self):
        shutil.rmtree(self.dir, ignore_errors=True)

    def check_by_tools(self, cab, expected_names, engine=True):
        test = subprocess.run(["cabextract", "-t", cab], capture_output=True)
        self.assertEqual(test.returncode, 0, test.stdout + test.stderr)
        self.assertEqual(gcab_names(cab), sorted(expected_names))
        if engine:
            self.assertEqual(files_only(driver_names(cab)), sorted(expected_names))

    def gcab_cabinet(self, name, compress):
        cab = os.path.join(self.dir, name)
        files = sorted(self.expected)
        args = ["gcab", "-c"] + (["-z"] if compress else []) + [cab] + [f.replace("\\", "/") for f in files]
        subprocess.run(args, cwd=self.src, check=True)
        return cab

    def test_reads_gcab_cabinets(self):
        for compress in (True, False):
            with self.subTest(mszip=compress):
                cab = self.gcab_cabinet("g%d.cab" % compress, compress)
                names = driver_names(cab)
                self.assertEqual(files_only(names), sorted(self.expected))
                self.assertIn("docs\\deep\\nested\\", names)
                out = os.path.join(self.dir, "out%d" % compress)
                driver("extract", cab, out)
                self.assertEqual(tree(out, "\\"), self.expected)
        # gcab keeps the "./" of its arguments: a "." component names the
        # folder it stands in and leaves nothing.
        cab = os.path.join(self.dir, "dot.cab")
        subprocess.run(["gcab", "-c", cab] + ["./" + f.replace("\\", "/") for f in sorted(self.expected)],
                       cwd=self.src, check=True)
        names = driver_names(cab)
        self.assertEqual(files_only(names), sorted(self.expected))
        self.assertFalse([n for n in names if n.startswith(".")], names)
        out = os.path.join(self.dir, "dot")
        driver("extract", cab, out)
        self.assertEqual(tree(out, "\\"), self.expected)
        deepest = max(self.expected, key=lambda n: n.count("\\"))
        one = os.path.join(self.dir, "dot-one")
        driver("extract", cab, one, deepest)
        self.assertEqual(tree(one, "\\"), {deepest.rsplit("\\", 1)[-1]: self.expected[deepest]})

    def test_block_checksum_matches_gcab(self):
        cab = self.gcab_cabinet("sum.cab", True)
        result = driver("checksums", cab)
        self.assertIn(b"blocks ok", result.stdout)
        self.assertNotIn(b"without a checksum", result.stdout)
        # The same cabinet with a 20-byte header reserve: every offset moves
        # by the reserve and its 4-byte size record, the blocks stay as they are.
        with open(cab, "rb") as f:
            data = bytearray(f.read())
        shift = 4 + 20
        header = bytearray(data[:36])
        struct.pack_into("<I", header, 8, len(data) + shift)
        struct.pack_into("<I", header, 16, struct.unpack_from("<I", data, 16)[0] + shift)
        struct.pack_into("<H", header, 30, struct.unpack_from("<H", data, 30)[0] | 0x0004)
        rest = bytearray(data[36:])
        for i in range(struct.unpack_from("<H", data, 26)[0]):
            struct.pack_into("<I", rest, 8 * i, struct.unpack_from("<I", rest, 8 * i)[0] + shift)
        reserved = os.path.join(self.dir, "reserved.cab")
        with open(reserved, "wb") as f:
            f.write(bytes(header) + struct.pack("<HBB", 20, 0, 0) + bytes(range(20)) + bytes(rest))
        self.assertEqual(driver("checksums", reserved).stdout, result.stdout)

    def test_checksums_name_the_damaged_block_and_refuse_a_short_file(self):
        cab = self.gcab_cabinet("damaged.cab", True)
        with open(cab, "rb") as f:
            data = f.read()
        first_block = struct.unpack_from("<I", data, 36)[0]
        cases = {
            # One byte of the first block's data changed.
            "changed": (data[:first_block + 18] + bytes([data[first_block + 18] ^ 0xFF]) + data[first_block + 19:],
                        "stdout", b"block 0 (folder 0 block 0): stored "),
            # The file ends inside the first block's data.
            "cut": (data[:first_block + 20], "stderr", b"folder 0 block 0: the block lies past the end"),
            # The file ends inside the folder records.
            "short": (data[:40], "stderr", b"folder 0: the record lies past the end"),
            "not a cabinet": (b"PK\x05\x06" + bytes(40), "stderr", b"not a cabinet"),
        }
        for label, (content, stream, expected) in cases.items():
            with self.subTest(label):
                path = os.path.join(self.dir, label.replace(" ", "_") + ".cab")
                with open(path, "wb") as f:
                    f.write(content)
                result = driver("checksums", path, expect_ok=False)
                self.assertEqual(result.returncode, 1, result.stdout + result.stderr)
                self.assertIn(expected, getattr(result, stream))

    def test_engine_cabinets_pass_the_tools(self):
        for ctype in (0, 2):
            for unit in (0, 1, 2):
                for sort in (False, True):
                    with self.subTest(type=ctype, unit=unit, sort=sort):
                        cab = os.path.join(self.dir, "e%d%d%d.cab" % (ctype, unit, sort))
                        options = ["--type", ctype, "--unit", unit, "--size", 50000] + (["--sort"] if sort else [])
                        # The options reach the engine wherever they stand.
                        if sort:
                            driver("compress", cab, self.src, *options)
                        else:
                            driver(*options, "compress", cab, self.src)
                        self.check_by_tools(cab, self.expected)
                        kinds = set(folder_compressions(cab))
                        self.assertEqual(kinds, {1} if ctype == 0 else {0}, "MSZIP for type 0, none for type 2")
                        out = os.path.join(self.dir, "x%d%d%d" % (ctype, unit, sort))
                        subprocess.run(["cabextract", "-q", "-d", out, cab], check=True)
                        self.assertEqual(tree(out, "\\"), self.expected)

    def test_lzx_units_pass_the_check_and_extract(self):
        # The engine walks LZX data as the library's decoder will before it
        # hands it over; what cabextract reads must pass that walk whole.
        rnd = random.Random(26)
        files = [("a.txt", self.expected["readme.txt"][:9000]),
                 ("b.bin", bytes(rnd.getrandbits(8) for _ in range(3000))),
                 ("c.txt", b"guide words " * 1500)]
        for window in (15, 16, 21):
            with self.subTest(window=window):
                cab = os.path.join(self.dir, "lzx%d.cab" % window)
                with open(cab, "wb") as f:
                    f.write(lzx_cabinet(files, window))
                self.assertEqual(subprocess.run(["cabextract", "-t", cab], capture_output=True).returncode, 0)
                out = os.path.join(self.dir, "lzx%d" % window)
                driver("extract", cab, out)
                self.assertEqual(tree(out, "\\"), dict(files))

    def test_an_lzx_unit_after_an_mszip_unit_extracts(self):
        # Wine's library keeps both decoders' state in one place: an LZX
        # unit decoded after an MSZIP unit in one copy took the MSZIP state
        # for its window and freed it.
        first = [("first.txt", b"mszip words " * 400), ("second.txt", self.expected["readme.txt"][:2000])]
        files = [("third.txt", b"lzx words " * 600), ("fourth.bin", bytes(range(256)) * 8)]
        cab = os.path.join(self.dir, "mixed.cab")
        with open(cab, "wb") as f:
            f.write(lzx_cabinet(files, 16, first))
        self.assertEqual(subprocess.run(["cabextract", "-t", cab], capture_output=True).returncode, 0)
        out = os.path.join(self.dir, "mixed")
        driver("extract", cab, out)
        self.assertEqual(tree(out, "\\"), dict(first + files))

    def test_empty_files_stay_empty(self):
        # A unit that holds nothing but empty files has no data blocks at all:
        # the cabinet must still be whole, list the files with size 0 and give
        # them back as empty files, alone or among other files. (The engine's
        # own reading of such cabinets is covered by the unit tests.)
        sources = {
            "alone": {"empty.txt": b""},
            "among": {"first.txt": b"first " * 100, "empty.txt": b"", "sub\\zero.bin": b"",
                      "sub\\last.bin": bytes(range(256)) * 10},
        }
        for label, contents in sources.items():
            src = os.path.join(self.dir, label)
            for name, data in contents.items():
                path = os.path.join(src, *name.split("\\"))
                os.makedirs(os.path.dirname(path), exist_ok=True)
                with open(path, "wb") as f:
                    f.write(data)
            for unit in (0, 1, 2):
                with self.subTest(source=label, unit=unit):
                    cab = os.path.join(self.dir, "%s%d.cab" % (label, unit))
                    # Unit type 0 with the library's own unit size is how the
                    # setup tool compresses.
                    driver("--unit", unit, "--size", 0 if unit == 0 else 100, "compress", cab, src)
                    self.check_by_tools(cab, contents, engine=False)
                    listing = subprocess.run(["gcab", "-l", cab], capture_output=True, check=True).stdout
                    sizes = {}
                    for line in listing.decode("utf-8").splitlines():
                        name, size = line.strip().rsplit(" ", 4)[:2]
                        sizes[name.replace("/", "\\")] = int(size)
                    self.assertEqual(sizes, {name: len(data) for name, data in contents.items()})
                    out = os.path.join(self.dir, "x%s%d" % (label, unit))
                    subprocess.run(["cabextract", "-q", "-d", out, cab], check=True)
                    self.assertEqual(tree(out, "\\"), contents)

    def test_changed_cabinets_pass_the_tools(self):
        cab = os.path.join(self.dir, "c.cab")
        driver("--unit", 2, "compress", cab, self.src)
        names = set(self.expected)

        extra = os.path.join(self.dir, "extra.txt")
        with open(extra, "wb") as f:
            f.write(b"extra file")
        driver("add", cab, extra, "more")
        names.add("more\\extra.txt")
        self.check_by_tools(cab, names)
        # A drive root has no name of its own: its contents arrive in the
        # folder, each with its whole name.
        with wine_drive(WINE_RUN, os.path.join(self.src, "docs", "deep")) as drive:
            driver("add", cab, drive, "drive")
        names |= {"drive\\nested\\noise.bin", "drive\\small.txt"}
        self.check_by_tools(cab, names)

        driver("delete", cab, "docs\\guide.txt")
        names.discard("docs\\guide.txt")
        self.check_by_tools(cab, names)

        changed = os.path.join(self.dir, "small.txt")
        with open(changed, "wb") as f:
            f.write(b"changed content")
        driver("writeback", cab, "docs\\deep\\small.txt", changed)
        self.check_by_tools(cab, names)
        out = os.path.join(self.dir, "after")
        subprocess.run(["cabextract", "-q", "-d", out, cab], check=True)
        with open(os.path.join(out, "docs", "deep", "small.txt"), "rb") as f:
            self.assertEqual(f.read(), b"changed content")

    def test_a_deletion_keeps_every_other_file_of_a_gcab_cabinet_as_it_was(self):
        # A name that code page 932 cannot hold, and two that differ only in
        # case, share the unit of the file that goes.
        files = {"caf\u00e9.txt": b"utf-8 name", "README.TXT": b"upper", "readme.txt": b"lower", "b.txt": b"b"}
        folder = os.path.join(self.dir, "names")
        os.makedirs(folder)
        for name, data in files.items():
            with open(os.path.join(folder, name), "wb") as f:
                f.write(data)
        cab = os.path.join(self.dir, "names.cab")
        subprocess.run(["gcab", "-c", "-z", cab] + list(files), cwd=folder, check=True)
        before = subprocess.run(["gcab", "-l", "-v", cab], capture_output=True, check=True).stdout.splitlines()
        driver("delete", cab, "b.txt")
        after = subprocess.run(["gcab", "-l", "-v", cab], capture_output=True, check=True).stdout.splitlines()
        self.assertEqual(sorted(line for line in before if not line.startswith(b"b.txt ")), sorted(after))
        out = os.path.join(self.dir, "names-out")
        subprocess.run(["cabextract", "-q", "-d", out, cab], check=True)
        for name, data in files.items():
            if name != "b.txt":
                with open(os.path.join(out, name), "rb") as f:
                    self.assertEqual(f.read(), data, name)

    def test_merge_of_gcab_and_engine_cabinets(self):
        first = self.gcab_cabinet("first.cab", True)
        other = os.path.join(self.dir, "other")
        os.makedirs(other)
        with open(os.path.join(other, "new.txt"), "wb") as f:
            f.write(b"new " * 1000)
        second = os.path.join(self.dir, "second.cab")
        driver("compress", second, other)
        merged = os.path.join(self.dir, "merged.cab")
        driver("merge", first, second, merged)
        self.check_by_tools(merged, list(self.expected) + ["new.txt"])

    def test_arctool_compresses_changes_and_extracts_cabinets(self):
        def arctool(*args):
            converted = [win(a) if os.path.isabs(a) else a for a in args]
            result = subprocess.run([WINE_RUN, ARCTOOL] + converted, capture_output=True, timeout=300)
            self.assertEqual(result.returncode, 0, result.stderr.decode("utf-8", "replace"))
            return result.stdout.decode("utf-8")

        cab = os.path.join(self.dir, "tool.cab")
        arctool("add", cab, self.src)
        self.check_by_tools(cab, self.expected)
        listed = {}
        for line in arctool("list", cab).splitlines():
            name, size, packed, crc, attributes = line.rstrip("\r").split("\t")
            listed[name] = int(size)
            self.assertEqual(crc, "-", "cabinets carry no CRC-32")
        for name, data in self.expected.items():
            self.assertEqual(listed[name], len(data), name)
        self.assertIn("docs\\deep\\", listed)

        extra = os.path.join(self.dir, "extra.txt")
        with open(extra, "wb") as f:
            f.write(b"added through the merge")
        arctool("add", cab, extra, "more\\")
        arctool("delete", cab, "readme.txt")
        names = (set(self.expected) | {"more\\extra.txt"}) - {"readme.txt"}
        self.check_by_tools(cab, names)

        out = os.path.join(self.dir, "tool-out")
        arctool("extract", cab, out)
        expected = dict(self.expected)
        del expected["readme.txt"]
        expected["more\\extra.txt"] = b"added through the merge"
        self.assertEqual(tree(out, "\\"), expected)


if __name__ == "__main__":
    unittest.main()
