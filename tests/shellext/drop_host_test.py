#!/usr/bin/env python3
"""Files dropped onto ZIP archives made by the zip tool, through the drop
handler library loaded by the stand-in shell (drop_host), each result checked
by unzip: the archive tests sound, holds what was dropped where it was meant
to go, and no temporary "~" file is left beside it."""
import os
import shutil
import subprocess
import tempfile
import unittest
import zipfile

HOST = os.environ["DROP_HOST"]
LIBRARY = os.environ["HANDLER_LIBRARY"]
ZLIB = os.environ["ZLIB_LIBRARY"]
WINE_RUN = os.environ["WINE_RUN"]

E_FAIL = "0x80004005"


def win(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


class DropOntoZip(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="drophost")
        self.install = os.path.join(self.dir, "install")
        os.makedirs(self.install)
        shutil.copy(ZLIB, os.path.join(self.install, os.path.basename(ZLIB)))
        self.src = os.path.join(self.dir, "src")
        self.files = {
            "a.txt": b"first dropped file\r\n" * 50,
            "b.txt": b"second",
            "報告書.txt": "日本語の報告".encode("cp932"),
            "photos/day1/x.jpg": bytes(range(256)) * 30,
            "photos/y.jpg": b"y" * 1000,
        }
        for name, data in self.files.items():
            self.write(os.path.join(self.src, name), data)
        self.arc = os.path.join(self.dir, "arc")
        os.makedirs(self.arc)

    def tearDown(self):
        shutil.rmtree(self.dir, ignore_errors=True)

    @staticmethod
    def read(path):
        with open(path, "rb") as f:
            return f.read()

    @staticmethod
    def write(path, data):
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)

    def make_zip(self, name, entries):
        """An archive made by the zip tool from a tree of entries (a name
        ending in / is a folder)."""
        tree = os.path.join(self.dir, "tree-" + name)
        for entry, data in entries.items():
            if entry.endswith("/"):
                os.makedirs(os.path.join(tree, entry), exist_ok=True)
            else:
                self.write(os.path.join(tree, entry), data)
        path = os.path.join(self.arc, name)
        subprocess.run(["zip", "-q", "-r", path] + sorted(os.listdir(tree)), cwd=tree, check=True)
        return path

    def src_path(self, name):
        return win(os.path.join(self.src, name))

    def run_host(self, lines, library=True, install=True):
        script = []
        if library:
            script.append("library " + win(LIBRARY))
        if install:
            script.append("install " + win(self.install))
        script += lines
        script_path = os.path.join(self.dir, "script.txt")
        with open(script_path, "w", encoding="utf-8") as f:
            f.write("\n".join(script) + "\n")
        try:
            result = subprocess.run([WINE_RUN, HOST, win(script_path)], capture_output=True, timeout=240)
        except subprocess.TimeoutExpired as stopped:
            # What the host printed tells the step it hung in.
            self.fail("the host did not end; it printed:\n" + (stopped.stdout or b"").decode("utf-8", "replace"))
        out = result.stdout.decode("utf-8", "replace").replace("\r", "")
        self.assertEqual(result.returncode, 0, out + result.stderr.decode("utf-8", "replace"))
        return [line for line in out.split("\n") if line]

    def drop_lines(self, out):
        return [line.split() for line in out if line.startswith("drop ")]

    def boxes(self, out):
        return [line[4:] for line in out if line.startswith("box ")]

    def names(self, archive):
        listing = subprocess.run(["unzip", "-Z1", archive], capture_output=True)
        self.assertEqual(listing.returncode, 0, listing.stderr)
        # The names are in the ANSI code page; unzip shows them as if they
        # were the DOS code page, converted to UTF-8 or to Latin-1.
        try:
            text = listing.stdout.decode("utf-8")
        except UnicodeDecodeError:
            text = listing.stdout.decode("latin-1")
        return sorted(line.encode("cp437").decode("cp932") for line in text.splitlines())

    def files_in(self, archive):
        return [name for name in self.names(archive) if not name.endswith("/")]

    def check_sound(self, archive):
        test = subprocess.run(["unzip", "-t", archive], capture_output=True)
        self.assertEqual(test.returncode, 0, test.stdout + test.stderr)
        self.assertEqual([n for n in os.listdir(os.path.dirname(archive)) if n.startswith("~")], [])

    def content(self, archive, name):
        with zipfile.ZipFile(archive) as z:
            for info in z.infolist():
                if info.filename == name or info.filename.encode("cp437").decode("cp932", "replace") == name:
                    return z.read(info)
        return None

    def assert_clean_end(self, out, boxes=()):
        self.assertEqual(self.boxes(out), list(boxes))
        self.assertIn("unexpected 0 unused 0", out)
        self.assertIn("unload 0x00000000", out)

    # A sample archive: docs/ with img/ below it, and a file at the top.
    def sample(self):
        return self.make_zip("sample.zip", {"docs/guide.txt": b"guide", "docs/img/": None, "readme.txt": b"old"})

    def test_files_land_in_the_chosen_folder(self):
        arc = self.sample()
        # Menu: .\(直下), docs, docs\img; the third entry is docs\img.
        out = self.run_host(["archive " + win(arc), "menu down,down,down,return",
                             "drop " + self.src_path("a.txt"), "drop " + self.src_path("報告書.txt"), "go"])
        self.assertEqual(self.drop_lines(out), [["drop", "0x00000000", "enter", "1", "effect", "1", "menu", "1",
                                                 "media", "1/1"]])
        self.check_sound(arc)
        self.assertEqual(self.files_in(arc), ["docs/guide.txt", "docs/img/a.txt", "docs/img/報告書.txt",
                                              "readme.txt"])
        self.assertEqual(self.content(arc, "docs/img/報告書.txt"), self.files["報告書.txt"])
        self.assert_clean_end(out)

    def test_first_entry_adds_at_the_top_level(self):
        arc = self.sample()
        out = self.run_host(["archive " + win(arc), "menu down,return", "drop " + self.src_path("a.txt"), "go"])
        self.assertEqual(self.drop_lines(out)[0][1], "0x00000000")
        self.check_sound(arc)
        self.assertIn("a.txt", self.names(arc))
        self.assert_clean_end(out)

    def test_escape_leaves_the_archive_byte_for_byte(self):
        arc = self.sample()
        before = self.read(arc)
        out = self.run_host(["archive " + win(arc), "menu escape", "drop " + self.src_path("a.txt"), "go"])
        self.assertEqual(self.drop_lines(out)[0][1:8], ["0x00000000", "enter", "1", "effect", "0", "menu", "1"])
        self.assertEqual(self.read(arc), before)
        self.check_sound(arc)
        self.assert_clean_end(out)

    def test_archive_without_folders_adds_at_the_top_without_a_menu(self):
        arc = self.make_zip("flat.zip", {"one.txt": b"1", "two.txt": b"2"})
        out = self.run_host(["archive " + win(arc), "answer ok", "menu none", "drop " + self.src_path("b.txt"), "go"])
        self.assertEqual(self.drop_lines(out)[0][1:8], ["0x00000000", "enter", "1", "effect", "1", "menu", "0"])
        self.check_sound(arc)
        self.assertEqual(self.names(arc), ["b.txt", "one.txt", "two.txt"])
        self.assert_clean_end(out, ["ディレクトリが存在しないので直下に圧縮します"])

    def test_empty_archive_gets_the_files_at_the_top(self):
        arc = os.path.join(self.arc, "empty.zip")
        zipfile.ZipFile(arc, "w").close()
        out = self.run_host(["archive " + win(arc), "answer ok", "menu none", "drop " + self.src_path("a.txt"), "go"])
        self.assertEqual(self.drop_lines(out)[0][1:8], ["0x00000000", "enter", "1", "effect", "1", "menu", "0"])
        self.check_sound(arc)
        self.assertEqual(self.names(arc), ["a.txt"])
        self.assertEqual(self.content(arc, "a.txt"), self.files["a.txt"])
        self.assert_clean_end(out, ["中身が存在しないので直下に圧縮します"])

    def test_dropped_folder_arrives_with_its_content(self):
        arc = self.sample()
        # Folders that hold nothing arrive as folder entries; one that holds
        # only an empty folder comes with it.
        for folder in ("photos/day2", "photos/old/gone", "void"):
            os.makedirs(os.path.join(self.src, folder))
        out = self.run_host(["archive " + win(arc), "menu down,down,return", "drop " + self.src_path("photos"),
                             "drop " + self.src_path("void"), "go"])
        self.assertEqual(self.drop_lines(out)[0][1], "0x00000000")
        self.check_sound(arc)
        names = self.names(arc)
        self.assertIn("docs/photos/day1/x.jpg", names)
        self.assertIn("docs/photos/y.jpg", names)
        for folder in ("docs/photos/day2/", "docs/photos/old/gone/", "docs/void/"):
            self.assertIn(folder, names)
        self.assertNotIn("docs/photos/old/", names)
        # The archive's own folder entries stay.
        self.assertIn("docs/img/", names)
        self.assertEqual(self.content(arc, "docs/photos/day1/x.jpg"), self.files["photos/day1/x.jpg"])
        self.assert_clean_end(out)

    def test_missing_middle_path_stops_with_its_name_and_keeps_the_first(self):
        arc = self.sample()
        missing = self.src_path("missing.txt")
        out = self.run_host(["archive " + win(arc), "menu down,return", "answer ok",
                             "drop " + self.src_path("a.txt"), "drop " + missing, "drop " + self.src_path("b.txt"),
                             "go"])
        self.assertEqual(self.drop_lines(out)[0][1:6], [E_FAIL, "enter", "1", "effect", "1"])
        self.check_sound(arc)
        names = self.names(arc)
        self.assertIn("a.txt", names)
        self.assertNotIn("b.txt", names)
        self.assert_clean_end(out, [missing + "\\nが見つかりません"])

    def test_duplicate_name_follows_yes_no_and_cancel(self):
        new = os.path.join(self.dir, "new", "readme.txt")
        self.write(new, b"new text")
        for answer, content, effect in (("yes", b"new text", "1"), ("no", b"old", "1"), ("cancel", b"old", "0")):
            arc = self.sample()
            before = self.read(arc)
            out = self.run_host(["archive " + win(arc), "menu down,return", "answer " + answer,
                                 "drop " + win(new), "go"])
            self.assertEqual(self.drop_lines(out)[0][1:6], ["0x00000000", "enter", "1", "effect", effect], answer)
            self.check_sound(arc)
            self.assertEqual(self.content(arc, "readme.txt"), content, answer)
            if answer == "cancel":
                self.assertEqual(self.read(arc), before)
            self.assert_clean_end(out, ["パスの重複、置き換えますか？ path = readme.txt"])
            os.remove(arc)

    def test_two_drops_on_one_handler_open_the_archive_anew(self):
        arc = self.sample()
        out = self.run_host(["archive " + win(arc),
                             "menu down,down,return", "drop " + self.src_path("a.txt"), "go",
                             "menu down,return", "drop " + self.src_path("b.txt"), "go"])
        self.assertEqual([d[1] for d in self.drop_lines(out)], ["0x00000000", "0x00000000"])
        self.check_sound(arc)
        names = self.names(arc)
        self.assertIn("docs/a.txt", names)
        self.assertIn("b.txt", names)
        self.assert_clean_end(out)

    def test_corrupt_zip_is_refused_and_kept(self):
        arc = os.path.join(self.arc, "bad.zip")
        damaged = b"PK\x03\x04" + bytes(range(200)) * 3
        self.write(arc, damaged)
        out = self.run_host(["archive " + win(arc), "answer ok", "menu none", "drop " + self.src_path("a.txt"), "go"])
        self.assertEqual(self.drop_lines(out)[0][1:8], [E_FAIL, "enter", "1", "effect", "0", "menu", "0"])
        self.assertEqual(self.read(arc), damaged)
        self.assertEqual(len(self.boxes(out)), 1)
        self.assertIn("unexpected 0 unused 0", out)

    def test_without_install_folder_or_with_the_other_widths_zlib_the_drop_is_refused(self):
        other = os.path.join(self.dir, "other")
        os.makedirs(other)
        # Only the library of the other width: this width's handler must not
        # take it for its own.
        mine = os.path.basename(ZLIB)
        theirs = mine.replace("64", "32") if "64" in mine else mine.replace("32", "64")
        shutil.copy(ZLIB, os.path.join(other, theirs))
        for install in (None, other):
            arc = self.sample()
            before = self.read(arc)
            lines = ["install " + win(install)] if install else []
            out = self.run_host(lines + ["archive " + win(arc), "answer ok", "menu none",
                                         "drop " + self.src_path("a.txt"), "go"], install=False)
            self.assertEqual(self.drop_lines(out)[0][1:8], [E_FAIL, "enter", "1", "effect", "0", "menu", "0"])
            self.assertEqual(self.read(arc), before)
            self.assert_clean_end(out, ["zlibwapi が使えません"])
            os.remove(arc)

    def test_class_registered_by_the_install_code_is_made_through_com(self):
        """The shell makes the handler from the class that install registered:
        the real install code registers an install folder that holds the
        handler library and zlib, and CoCreateInstance loads it from there."""
        shutil.copy(LIBRARY, os.path.join(self.install, os.path.basename(LIBRARY)))
        arc = self.sample()
        out = self.run_host(["register " + win(self.install), "class " + win(arc), "menu down,down,return",
                             "drop " + self.src_path("a.txt"), "go"], library=False, install=False)
        self.assertIn("registered", out)
        self.assertIn("user class load 0x00000000", out)
        self.assertEqual(self.drop_lines(out)[0][1:8], ["0x00000000", "enter", "1", "effect", "1", "menu", "1"])
        self.check_sound(arc)
        self.assertEqual(self.files_in(arc), ["docs/a.txt", "docs/guide.txt", "readme.txt"])
        self.assertEqual(self.content(arc, "docs/a.txt"), self.files["a.txt"])
        self.assertEqual(self.boxes(out), [])
        self.assertIn("unexpected 0 unused 0", out)


if __name__ == "__main__":
    unittest.main(verbosity=2)
