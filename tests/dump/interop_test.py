#!/usr/bin/env python3
"""Archives written by third-party tools are valid, so their structural
reports must be complete and free of error lines.

Usage: interop_test.py WINE_RUN ARCTOOL [unittest options]
"""
import io
import os
import shutil
import subprocess
import sys
import tempfile
import unittest
import zipfile

WINE_RUN = None
ARCTOOL = None


def windows_path(path):
    # Wine shows the Linux root as drive Z:.
    return "Z:" + os.path.abspath(path).replace("/", "\\")


class ThirdPartyArchiveReports(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="zpk_dump_interop_")
        self.src = os.path.join(self.dir, "src")
        os.makedirs(os.path.join(self.src, "sub", "deeper"))
        with open(os.path.join(self.src, "hello.txt"), "w") as f:
            f.write("hello\n")
        with open(os.path.join(self.src, "sub", "numbers.txt"), "w") as f:
            f.write("".join("%d\n" % i for i in range(20000)))
        with open(os.path.join(self.src, "sub", "deeper", "random.bin"), "wb") as f:
            f.write(os.urandom(70000))
        open(os.path.join(self.src, "empty.txt"), "w").close()

    def tearDown(self):
        shutil.rmtree(self.dir, ignore_errors=True)

    def run_tool(self, args, **kwargs):
        subprocess.run(args, check=True, cwd=kwargs.pop("cwd", self.src), stdout=kwargs.pop("stdout", subprocess.DEVNULL),
                       stderr=subprocess.PIPE, **kwargs)

    def dump(self, archive, padded=False):
        """Runs the dump and returns the report as text. A padded archive has
        bytes after its end record that no record claims."""
        report = os.path.splitext(archive)[0] + ".report.txt"
        result = subprocess.run([WINE_RUN, ARCTOOL, "dump", windows_path(archive), windows_path(report), "--no"],
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=300)
        with open(report, "rb") as f:
            raw = f.read()
        text = raw.decode("cp932")
        name = os.path.basename(archive)
        self.assertEqual(0, result.returncode, "%s: dump stopped early\n%s\n%s" % (
            name, result.stderr.decode("utf-8", "replace"), text[-3000:]))
        self.assertNotIn(b"\n", raw.replace(b"\r\n", b""), "%s: a line without CR" % name)
        errors = [line for line in text.split("\r\n") if line.startswith("*** ERROR ***")]
        self.assertEqual([], errors, "%s: valid archive reported wrong\n%s" % (name, text[:6000]))
        self.assertTrue(text.endswith(" 情報出力終了\r\n"), "%s: report not closed" % name)
        # Every byte of these archives belongs to a record.
        warnings = [line for line in text.split("\r\n") if line.startswith("*** WARNING ***")]
        if padded:
            self.assertEqual(1, len(warnings), text[-2000:])
            self.assertTrue(warnings[0].endswith("End Of Central Dir. 終了 - ファイルの末尾"), warnings[0])
            warnings = []
        self.assertEqual([], warnings, "%s: unexpected warnings\n%s" % (name, text[:6000]))
        return text

    def out(self, name):
        return os.path.join(self.dir, name)

    def test_info_zip(self):
        self.run_tool(["zip", "-q", "-r", self.out("infozip.zip"), "."])
        text = self.dump(self.out("infozip.zip"))
        self.assertIn("ファイル名：sub/deeper/random.bin", text)

    def test_info_zip_from_standard_input(self):
        # The size of piped input is unknown: Zip64 local extra block and an
        # 8-byte-wide data descriptor, without Zip64 end records.
        with open(os.path.join(self.src, "sub", "numbers.txt"), "rb") as data:
            self.run_tool(["zip", "-q", self.out("stdin.zip"), "-"], stdin=data)
        self.dump(self.out("stdin.zip"))
        with open(self.out("piped.zip"), "wb") as out:
            self.run_tool(["zip", "-q", "-r", "-", "."], stdout=out)
        self.dump(self.out("piped.zip"))

    def test_7z(self):
        self.run_tool(["7z", "a", "-tzip", self.out("7z.zip"), "."])
        self.dump(self.out("7z.zip"))

    def test_7z_from_a_pipe(self):
        # 7-Zip reserves Zip64 sizes in the local header when it cannot know
        # the size, and writes the real sizes in the central header only.
        with open(os.path.join(self.src, "sub", "numbers.txt"), "rb") as data:
            self.run_tool(["7z", "a", "-tzip", "-sinumbers.txt", self.out("7zpipe.zip")], stdin=data)
        self.dump(self.out("7zpipe.zip"))

    def piped(self, args, name, data=None):
        """Runs a tool whose output (and input, when given) is a pipe, as
        a tool writing a stream sees it, and keeps the output."""
        result = subprocess.run(args, cwd=self.src, input=data, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                check=True)
        with open(self.out(name), "wb") as f:
            f.write(result.stdout)
        return self.out(name)

    def test_7z_streaming_to_a_pipe_needs_zip64_only_locally(self):
        # Input and output both pipes: the local header reserves a Zip64
        # block and needs 4.5, the central header knows the size and needs
        # 2.0. Both are printed, without the error mark.
        with open(os.path.join(self.src, "sub", "numbers.txt"), "rb") as f:
            data = f.read()
        path = self.piped(["7z", "a", "-tzip", "-sinumbers.txt", "-so", "-an"], "7zstream.zip", data)
        text = self.dump(path)
        self.assertIn("NeededVersion：Central Dir. 0x14、Local Header 0x2d（Local Header の Zip64 拡張フィールドによる）",
                      text)

    def test_info_zip_forced_zip64(self):
        self.run_tool(["zip", "-q", "-r", "-fz", self.out("fz.zip"), "."])
        self.dump(self.out("fz.zip"))
        # A tree to a pipe: folder entries need 1.0 centrally, 4.5 locally.
        text = self.dump(self.piped(["zip", "-q", "-r", "-fz", "-", "."], "fztree.zip"))
        self.assertIn("NeededVersion：Central Dir. 0xa、Local Header 0x2d（Local Header の Zip64 拡張フィールドによる）",
                      text)
        # One file to a pipe: no Zip64 end records, the directory directly
        # before the end record.
        text = self.dump(self.piped(["zip", "-q", "-fz", "-", "sub/numbers.txt"], "fzfile.zip"))
        self.assertIn("Zip64 End Of Central Dir. Locator 無し", text)

    def test_bsdtar(self):
        self.run_tool(["bsdtar", "--format", "zip", "-cf", self.out("bsdtar.zip"), "."])
        self.dump(self.out("bsdtar.zip"))
        self.run_tool(["bsdtar", "--format", "zip", "--options", "zip:zip64", "-cf", self.out("bsdtar64.zip"), "."])
        self.dump(self.out("bsdtar64.zip"))
        with open(self.out("bsdtarpipe.zip"), "wb") as out:
            self.run_tool(["bsdtar", "--format", "zip", "-cf", "-", "."], stdout=out)
        # Written to a pipe, bsdtar fills its last block with zeros.
        self.dump(self.out("bsdtarpipe.zip"), padded=True)

    def test_python_zipfile_zip64(self):
        path = self.out("py64.zip")
        with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as zf:
            with zf.open("forced.txt", "w", force_zip64=True) as f:
                f.write(b"zip64 entry\n" * 1000)
            zf.writestr("plain.txt", "plain\n")
        self.dump(path)
        # Written to a stream that cannot seek: data descriptors.
        stream = io.BytesIO()

        class Unseekable(io.RawIOBase):
            def writable(self):
                return True

            def write(self, b):
                return stream.write(b)

        with zipfile.ZipFile(Unseekable(), "w", zipfile.ZIP_DEFLATED) as zf:
            with zf.open("streamed64.txt", "w", force_zip64=True) as f:
                f.write(b"streamed\n" * 500)
            with zf.open("streamed.txt", "w") as f:
                f.write(b"small\n")
        with open(self.out("pystream.zip"), "wb") as f:
            f.write(stream.getvalue())
        self.dump(self.out("pystream.zip"))

    def test_python_zipfile_with_70000_entries(self):
        # More entries than the end record can count: 0xFFFF there, the real
        # count in the Zip64 end record.
        path = self.out("many.zip")
        with zipfile.ZipFile(path, "w", zipfile.ZIP_STORED) as zf:
            for i in range(70000):
                zf.writestr("d%02d/f%05d.txt" % (i // 1000, i), b"")
        text = self.dump(path)
        self.assertIn("ファイル個数：70000\r\n", text)
        self.assertIn("Local Header index = 69999\r\n", text)

    def test_gcab(self):
        files = ["hello.txt", "sub/numbers.txt", "sub/deeper/random.bin"]
        self.run_tool(["gcab", "-c", self.out("stored.cab")] + files)
        text = self.dump(self.out("stored.cab"))
        self.assertIn("圧縮方法：非圧縮", text)
        self.run_tool(["gcab", "-c", "-z", self.out("mszip.cab")] + files)
        text = self.dump(self.out("mszip.cab"))
        self.assertIn("圧縮方法：標準", text)


class AnswerWordsReachTheDump(unittest.TestCase):
    """The answer words belong to the whole command line: wherever they stand,
    the dump's own question (search for a shifted directory) must get them."""

    FOUND = "先頭の Central Dir. 署名を見つけました。"

    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="zpk_dump_answer_")
        self.archive = os.path.join(self.dir, "shifted.zip")
        self.report = os.path.join(self.dir, "shifted.report.txt")
        # Bytes glued before a finished archive leave every stored offset
        # short by their length, so the dump asks whether to search.
        data = io.BytesIO()
        with zipfile.ZipFile(data, "w", zipfile.ZIP_DEFLATED) as z:
            z.writestr("hello.txt", "hello\n" * 50)
        with open(self.archive, "wb") as f:
            f.write(b"\x00" * 100 + data.getvalue())

    def tearDown(self):
        shutil.rmtree(self.dir, ignore_errors=True)

    def dump(self, words):
        result = subprocess.run([WINE_RUN, ARCTOOL] + words, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                timeout=300)
        with open(self.report, "rb") as f:
            text = f.read().decode("cp932")
        return result.returncode, result.stderr.decode("utf-8", "replace"), text

    def test_yes_after_the_paths_searches(self):
        code, err, text = self.dump(["dump", windows_path(self.archive), windows_path(self.report), "--yes"])
        self.assertEqual(0, code, err)
        self.assertIn("answer: yes", err)
        self.assertIn(self.FOUND, text)
        self.assertTrue(text.endswith(" 情報出力終了\r\n"), text[-2000:])

    def test_yes_before_the_verb_searches(self):
        code, err, text = self.dump(["--yes", "dump", windows_path(self.archive), windows_path(self.report)])
        self.assertEqual(0, code, err)
        self.assertIn(self.FOUND, text)

    def test_no_stops_the_dump(self):
        code, err, text = self.dump(["dump", windows_path(self.archive), windows_path(self.report), "--no"])
        self.assertEqual(1, code, err)
        self.assertIn("answer: no", err)
        self.assertNotIn(self.FOUND, text)

    def test_cancel_answers_no_to_a_yes_no_question(self):
        code, err, text = self.dump(["dump", "--cancel", windows_path(self.archive), windows_path(self.report)])
        self.assertEqual(1, code, err)
        self.assertIn("answer: cancel", err)
        self.assertNotIn(self.FOUND, text)

    def test_without_a_word_the_dump_answers_no_and_says_so(self):
        code, err, text = self.dump(["dump", windows_path(self.archive), windows_path(self.report)])
        self.assertEqual(1, code, err)
        self.assertIn("give --yes to answer yes", err)
        self.assertNotIn(self.FOUND, text)


if __name__ == "__main__":
    WINE_RUN, ARCTOOL = sys.argv[1], sys.argv[2]
    unittest.main(argv=[sys.argv[0]] + sys.argv[3:], verbosity=2)
