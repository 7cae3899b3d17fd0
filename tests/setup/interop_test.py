#!/usr/bin/env python3
"""The folder verbs of the real setup program, as Explorer starts them:
folders with Japanese names and blanks become archives beside them, which
unzip and cabextract test and whose content must be the folder's.

Usage: interop_test.py WINE_RUN ZPKSET [unittest options]
"""
import os
import shutil
import subprocess
import sys
import tempfile
import unittest
import zipfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "support"))
from folder_tree import tree  # noqa: E402

WINE_RUN = None
ZPKSET = None


def windows_path(path):
    # Wine shows the Linux root as drive Z:.
    return "Z:" + os.path.abspath(path).replace("/", "\\")


class FolderVerbs(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="zpk_setup_interop_")
        self.folder = os.path.join(self.dir, "二〇二四年 夏の旅行")
        os.makedirs(os.path.join(self.folder, "写真", "空のフォルダ"))
        with open(os.path.join(self.folder, "日程.txt"), "w", encoding="cp932") as f:
            f.write("一日目：箱根\n" * 200)
        with open(os.path.join(self.folder, "写真", "富士山 の 湖.bin"), "wb") as f:
            f.write(os.urandom(150000))
        open(os.path.join(self.folder, "empty.txt"), "w").close()

    def tearDown(self):
        shutil.rmtree(self.dir, ignore_errors=True)

    def run_verb(self, verb, folder=None):
        # Wine quotes the folder argument, as Explorer does, for its blank.
        result = subprocess.run([WINE_RUN, ZPKSET, verb, windows_path(folder or self.folder)],
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=120)
        self.assertEqual(0, result.returncode, result.stderr.decode("utf-8", "replace"))

    def expected(self):
        return tree(self.folder)

    def test_zipcompress(self):
        self.run_verb("zipcompress")
        archive = self.folder + ".zip"
        self.assertTrue(os.path.isfile(archive), os.listdir(self.dir))
        self.assertEqual(["二〇二四年 夏の旅行", "二〇二四年 夏の旅行.zip"], sorted(os.listdir(self.dir)))
        test = subprocess.run(["unzip", "-t", archive], stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        self.assertEqual(0, test.returncode, test.stdout.decode("utf-8", "replace"))
        got = {}
        folders = []
        with zipfile.ZipFile(archive) as zipped:
            for info in zipped.infolist():
                # Names without the UTF-8 flag are code page 932.
                name = info.filename
                if not info.flag_bits & 0x800:
                    name = name.encode("cp437").decode("cp932")
                if name.endswith("/"):
                    folders.append(name)
                    continue
                got[name.replace("\\", "/")] = zipped.read(info)
        self.assertEqual(self.expected(), got)
        # The empty folder is an entry of its own; the others hold files.
        self.assertEqual(["写真/空のフォルダ/"], folders)

    def test_folders_that_hold_nothing(self):
        empty = os.path.join(self.dir, "空 のフォルダ")
        os.makedirs(empty)
        self.run_verb("zipcompress", empty)
        # unzip calls an archive without entries a warning (exit code 1).
        test = subprocess.run(["unzip", "-t", empty + ".zip"], stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        self.assertEqual(1, test.returncode, test.stdout.decode("utf-8", "replace"))
        self.assertIn(b"zipfile is empty", test.stdout)
        self.run_verb("cabcompress", empty)
        # cabextract refuses every cabinet without files; gcab reads it.
        listed = subprocess.run(["gcab", "-l", empty + ".cab"], stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        self.assertEqual((0, b""), (listed.returncode, listed.stdout))
        hollow = os.path.join(self.dir, "hollow")
        os.makedirs(os.path.join(hollow, "a", "b"))
        os.makedirs(os.path.join(hollow, "c"))
        self.run_verb("zipcompress", hollow)
        test = subprocess.run(["unzip", "-t", hollow + ".zip"], stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        self.assertEqual(0, test.returncode, test.stdout.decode("utf-8", "replace"))
        names = subprocess.run(["unzip", "-Z1", hollow + ".zip"], stdout=subprocess.PIPE, check=True).stdout
        self.assertEqual([b"a/b/", b"c/"], sorted(names.splitlines()))

    def test_cabcompress(self):
        self.run_verb("cabcompress")
        archive = self.folder + ".cab"
        self.assertTrue(os.path.isfile(archive), os.listdir(self.dir))
        test = subprocess.run(["cabextract", "-t", archive], stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        self.assertEqual(0, test.returncode, test.stdout.decode("utf-8", "replace"))
        out = os.path.join(self.dir, "extracted")
        os.makedirs(out)
        subprocess.run(["cabextract", "-q", "-d", out, archive], check=True, stdout=subprocess.DEVNULL)
        # cabextract writes the code page 932 names as their bytes. (The test
        # names avoid the characters whose second byte is a backslash.)
        got = {os.fsencode(name).decode("cp932"): data for name, data in tree(out).items()}
        self.assertEqual(self.expected(), got)


if __name__ == "__main__":
    WINE_RUN, ZPKSET = sys.argv[1], sys.argv[2]
    unittest.main(argv=[sys.argv[0]] + sys.argv[3:], verbosity=2)
