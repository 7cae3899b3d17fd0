#!/usr/bin/env python3
"""The package as a user downloads it: assembled by tools/assemble-dist.sh into
a folder of the test's own, it must hold exactly the files the installer
checks, with programs and DLLs of the right width that need no DLL beside
them but Windows' own and the shipped zlib, a read-me whose pictures all
exist and are all used, and an archive of the folder that Info-ZIP accepts.
usage: package_test.py REPOSITORY WORK_FOLDER"""
import html.parser
import os
import re
import shutil
import subprocess
import sys
import unittest

REPO = os.path.abspath(sys.argv[1]) if len(sys.argv) > 1 else None
WORK = os.path.abspath(sys.argv[2]) if len(sys.argv) > 2 else None

# The installer's file check, in its order.
INSTALLER_FILES = [
    "ZPKMain.exe", "ZPKSet.exe", "ZPKShlEx32.dll", "ZPKShlEx64.dll", "zlibwapi32.dll", "zlibwapi64.dll",
    "ReadMe.htm", "image/cabadd.png", "image/compress.png", "image/ddmenu.png", "image/delete.png",
    "image/extract.png", "image/fcompress.png", "image/install.png", "image/menu.png", "image/new.png",
    "image/preview.png", "image/setting.png", "image/uninst.png", "image/whole.png",
]

WIDTH = {
    "ZPKMain.exe": "pei-i386", "ZPKSet.exe": "pei-i386", "ZPKShlEx32.dll": "pei-i386",
    "ZPKShlEx64.dll": "pei-x86-64", "zlibwapi32.dll": "pei-i386", "zlibwapi64.dll": "pei-x86-64",
}

# DLLs every Windows installation has.
SYSTEM_DLLS = {
    "kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll", "shell32.dll", "ole32.dll", "oleaut32.dll",
    "comctl32.dll", "comdlg32.dll", "shlwapi.dll", "cabinet.dll", "msvcrt.dll", "uuid.dll", "version.dll",
    "psapi.dll", "imm32.dll", "uxtheme.dll", "msimg32.dll", "bcrypt.dll", "ntdll.dll",
}


class ReadMeLinks(html.parser.HTMLParser):
    def __init__(self):
        super().__init__()
        self.images = []
        self.scripts = 0

    def handle_starttag(self, tag, attrs):
        attrs = dict(attrs)
        if tag == "img":
            self.images.append(attrs.get("src", ""))
        if tag == "script":
            self.scripts += 1


def objdump(path):
    """objdump's description of a PE file, in its own words whatever the
    locale (the test sessions run in a Japanese one)."""
    return subprocess.run(["objdump", "-p", path], check=True, capture_output=True, text=True,
                          env=dict(os.environ, LC_ALL="C")).stdout


class PackageTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        shutil.rmtree(WORK, ignore_errors=True)
        os.makedirs(WORK)
        cls.output = subprocess.run(["bash", os.path.join(REPO, "tools", "assemble-dist.sh"), WORK],
                                    check=True, capture_output=True, text=True).stdout
        cls.folder = os.path.join(WORK, "Zupako")

    def files(self):
        found = []
        for base, _, names in os.walk(self.folder):
            for name in names:
                found.append(os.path.relpath(os.path.join(base, name), self.folder).replace(os.sep, "/"))
        return sorted(found)

    def test_holds_exactly_the_files_the_installer_checks(self):
        self.assertEqual(sorted(INSTALLER_FILES), self.files())

    def test_programs_have_their_width_and_need_only_system_dlls(self):
        for name, width in WIDTH.items():
            dump = objdump(os.path.join(self.folder, name))
            self.assertEqual([width], re.findall(r"file format (\S+)", dump), name)
            imports = {m.lower() for m in re.findall(r"DLL Name: (\S+)", dump)}
            self.assertTrue(imports, name)
            self.assertLessEqual(imports, SYSTEM_DLLS, name)

    def test_drop_handler_exports_only_the_server_entry_points(self):
        for name in ("ZPKShlEx32.dll", "ZPKShlEx64.dll"):
            dump = objdump(os.path.join(self.folder, name))
            table = dump[dump.index("[Ordinal/Name Pointer] Table"):]
            exported = re.findall(r"\[\s*\d+\] (\w+)", table.split("\n\n")[0])
            self.assertEqual(["DllCanUnloadNow", "DllGetClassObject"], sorted(exported), name)

    def test_readme_uses_every_picture_and_only_pictures_that_exist(self):
        with open(os.path.join(self.folder, "ReadMe.htm"), encoding="utf-8") as f:
            text = f.read()
        self.assertIn('<meta charset="utf-8">', text)
        links = ReadMeLinks()
        links.feed(text)
        self.assertEqual(0, links.scripts)
        pictures = sorted(n for n in self.files() if n.startswith("image/"))
        self.assertEqual(pictures, sorted(set(links.images)))
        for picture in pictures:
            with open(os.path.join(self.folder, picture), "rb") as f:
                self.assertEqual(b"\x89PNG", f.read(4), picture)

    def test_archive_of_the_package_passes_unzip_and_unpacks_to_the_folder(self):
        archive = os.path.join(WORK, "Zupako-2.22.zip")
        subprocess.run(["unzip", "-tq", archive], check=True, capture_output=True)
        listed = subprocess.run(["unzip", "-Z1", archive], check=True, capture_output=True,
                                text=True).stdout.split()
        self.assertEqual(sorted("Zupako/" + n for n in INSTALLER_FILES),
                         sorted(n for n in listed if not n.endswith("/")))
        self.assertIn("Zupako-2.22.zip", self.output)

    def test_nothing_of_the_build_machine_is_inside(self):
        for name in WIDTH:
            with open(os.path.join(self.folder, name), "rb") as f:
                data = f.read()
            self.assertNotIn(REPO.encode(), data, name)
            self.assertNotIn(b"/work/", data, name)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
