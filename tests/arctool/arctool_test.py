#!/usr/bin/env python3
"""The command line of arctool: options reach every subcommand wherever they
stand, a line that cannot be run is refused before anything is touched, the
settings given as options never reach the user's, and the verbs folded in
from the cabinet driver (writeback, merge) keep archives whole.

Usage: arctool_test.py WINE_RUN ARCTOOL [unittest options]
"""
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest
import zipfile

WINE_RUN = None
ARCTOOL = None


def win(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def arctool(*args):
    converted = [win(a) if isinstance(a, str) and os.path.isabs(a) else a for a in args]
    result = subprocess.run([WINE_RUN, ARCTOOL] + converted, capture_output=True, timeout=300)
    return result.returncode, result.stdout.decode("utf-8", "replace"), result.stderr.decode("utf-8", "replace")


def read(path):
    with open(path, "rb") as f:
        return f.read()


def zip_contents(path):
    with zipfile.ZipFile(path) as z:
        return {name: z.read(name) for name in z.namelist() if not name.endswith("/")}


class ToolTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="zpk_arctool_")
        self.src = os.path.join(self.dir, "src")
        os.makedirs(os.path.join(self.src, "docs"))
        self.files = {"docs/note.txt": b"a note\n", "readme.txt": b"read me\n" * 100}
        for name, data in self.files.items():
            with open(os.path.join(self.src, *name.split("/")), "wb") as f:
                f.write(data)

    def tearDown(self):
        shutil.rmtree(self.dir, ignore_errors=True)

    def run_ok(self, *args):
        code, out, err = arctool(*args)
        self.assertEqual(code, 0, "arctool %s: %s" % (args, err))
        return out


class CommandLinesThatCannotRun(ToolTest):
    def test_refused_with_usage_and_nothing_made(self):
        cab = os.path.join(self.dir, "never.cab")
        cases = {
            "type out of range": (["compress", cab, self.src, "--type", "3"], "--type takes a number from 0 to 2"),
            "unit not a number": (["--unit", "x", "compress", cab, self.src], "--unit takes a number from 0 to 2"),
            "negative unit": (["--unit", "-1", "compress", cab, self.src], "--unit takes a number from 0 to 2"),
            "size without value": (["compress", cab, self.src, "--size"], "--size takes a number"),
            "size past the largest": (["--size", "2147483648", "compress", cab, self.src], "--size takes a number"),
            "password without value": (["compress", cab, self.src, "--password"], "--password takes the password"),
            "unknown option": (["--force", "compress", cab, self.src], "unknown option --force"),
            "unknown verb": (["pack", cab, self.src], "usage: arctool"),
            "missing operand": (["compress", cab], "usage: arctool"),
            "extra operand": (["compress", cab, self.src, "more"], "usage: arctool"),
            "no verb": (["--yes"], "usage: arctool"),
        }
        for label, (args, message) in cases.items():
            with self.subTest(label):
                code, _, err = arctool(*args)
                self.assertEqual(code, 2, err)
                self.assertIn(message, err)
                self.assertFalse(os.path.exists(cab))

    def test_merge_takes_cabinets_only(self):
        archive = os.path.join(self.dir, "a.zip")
        cab = os.path.join(self.dir, "b.cab")
        self.run_ok("compress", archive, self.src)
        self.run_ok("compress", cab, self.src)
        out = os.path.join(self.dir, "merged.cab")
        code, _, err = arctool("merge", archive, cab, out)
        self.assertEqual(code, 2, err)
        self.assertIn("merge takes cabinets", err)
        self.assertFalse(os.path.exists(out))


class OptionsReachEverySubcommand(ToolTest):
    def test_answer_words_anywhere_answer_the_duplicate_question(self):
        archive = os.path.join(self.dir, "dup.zip")
        note = os.path.join(self.src, "docs", "note.txt")
        self.run_ok("add", archive, note)
        before = read(archive)
        with open(note, "wb") as f:
            f.write(b"changed note\n")
        # Between the operands: cancel keeps the archive as it was.
        self.run_ok("add", archive, "--cancel", note)
        self.assertEqual(read(archive), before)
        # After the operands: yes replaces the entry.
        self.run_ok("add", archive, note, "--yes")
        self.assertEqual(zip_contents(archive), {"note.txt": b"changed note\n"})

    def test_settings_options_are_the_runs_own(self):
        settings = r"HKCU\Software\Marunoko\Zupako"
        before = subprocess.run([WINE_RUN, "reg", "query", settings], capture_output=True).stdout
        cab = os.path.join(self.dir, "stored.cab")
        self.run_ok("compress", cab, self.src, "--type", "2", "--unit", "2", "--sort")
        self.assertIn("docs\\note.txt\t7\t", self.run_ok("list", cab))
        # One unit per file, stored: two folder records of type 0.
        data = read(cab)
        folders = struct.unpack_from("<H", data, 26)[0]
        self.assertEqual([struct.unpack_from("<H", data, 36 + 8 * i + 6)[0] for i in range(folders)], [0, 0])
        # Nothing of the run's private key is left, and the user's settings
        # are what they were.
        left = subprocess.run([WINE_RUN, "reg", "query", r"HKCU\Software\ZupakoArctool"], capture_output=True)
        self.assertNotEqual(left.returncode, 0, left.stdout)
        after = subprocess.run([WINE_RUN, "reg", "query", settings], capture_output=True).stdout
        self.assertEqual(after, before)


class WriteBack(ToolTest):
    def test_replaces_one_entry_of_a_zip_and_keeps_the_rest(self):
        archive = os.path.join(self.dir, "edit.zip")
        self.run_ok("compress", archive, self.src)
        edited = os.path.join(self.dir, "edited", "note.txt")
        os.makedirs(os.path.dirname(edited))
        with open(edited, "wb") as f:
            f.write(b"the edited note\n")
        self.run_ok("writeback", archive, "docs\\note.txt", edited)
        expected = dict(self.files)
        expected["docs/note.txt"] = b"the edited note\n"
        self.assertEqual(zip_contents(archive), expected)

    def test_refuses_a_file_of_another_name_and_keeps_the_archive(self):
        for kind in ("zip", "cab"):
            with self.subTest(kind):
                archive = os.path.join(self.dir, "keep." + kind)
                self.run_ok("compress", archive, self.src)
                before = read(archive)
                other = os.path.join(self.dir, "other.txt")
                with open(other, "wb") as f:
                    f.write(b"another file\n")
                code, _, err = arctool("writeback", archive, "docs\\note.txt", other)
                self.assertEqual(code, 1, err)
                self.assertIn("the file must have the entry's name: note.txt", err)
                self.assertEqual(read(archive), before)


if __name__ == "__main__":
    WINE_RUN, ARCTOOL = sys.argv[1], sys.argv[2]
    unittest.main(argv=[sys.argv[0], "-v"] + sys.argv[3:])
