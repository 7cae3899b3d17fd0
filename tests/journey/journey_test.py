#!/usr/bin/env python3
"""The whole journey of a user, in a fresh Wine prefix of its own.

The package (Zupako-2.22.zip) is unpacked into a folder with a Japanese name
and a blank and installed through its dialog; then every entry that install
gave the shell is used the way the shell uses it: the folder commands
compress a folder to .zip and .cab, the New menu's data makes an empty
cabinet that opens into the add dialog, the drop handler made through COM
adds a dropped file into a folder of the .zip, and the menu command opens
the .zip as a menu, where a file is chosen, changed by a stand-in editor and
stored back. The settings dialog changes the overflow mode and the menu
follows it. Uninstall through the dialog leaves the user's hive as it was.

The package is the real one of the 32-bit build where 32-bit programs run;
elsewhere its programs are the 64-bit builds of the same sources. The
environment variable ZPK_JOURNEY_PACKAGE names another package to try.

The test starts itself again inside a session of its own (tools/test-session.sh
with ZPK_WINEPREFIX): its own prefix, display and wineserver.
"""
import os
import random
import shutil
import subprocess
import sys
import time
import unittest
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
WINE_RUN = os.path.join(ROOT, "tools", "wine-run")
DRIVER = os.environ.get("JOURNEY_DRIVER", "")
DROP_HOST = os.environ.get("DROP_HOST", "")
WORK = os.environ.get("JOURNEY_WORK", os.path.join(ROOT, "build", "journey"))
CLASS_ID = "{6A1C2E47-0B93-4D5F-8E21-3C7A9B04F15D}"
sys.path.insert(0, os.path.join(os.path.dirname(HERE), "support"))
from folder_tree import tree  # noqa: E402

# What the installer checks in its folder, and the package holds.
PACKAGE_FILES = ["ZPKMain.exe", "ZPKSet.exe", "ZPKShlEx32.dll", "ZPKShlEx64.dll", "zlibwapi32.dll",
                 "zlibwapi64.dll", "ReadMe.htm"] + [
    "image/" + name + ".png" for name in ("cabadd", "compress", "ddmenu", "delete", "extract", "fcompress",
                                          "install", "menu", "new", "preview", "setting", "uninst", "whole")]


def unix_to_windows(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


class Prefix:
    """The journey's Wine prefix: its C: drive and programs run in it."""

    def __init__(self):
        self.root = os.environ["WINEPREFIX"]
        self.c = os.path.join(self.root, "drive_c")

    def windows(self, path):
        """The Windows form of a path on the prefix's C: drive."""
        relative = os.path.relpath(path, self.c)
        return "C:\\" + relative.replace("/", "\\")

    def run(self, *args, timeout=180):
        """Runs a program in the prefix; its exit code and output lines. A
        program that ends with a failure without a line never ran (Wine did
        not start it, as tools/wine-test knows): it is started once more."""
        code, lines = self.run_once(args, timeout)
        if code != 0 and not lines:
            print("-- %s ended with %s without output; started once more" % (os.path.basename(args[0]), code),
                  flush=True)
            code, lines = self.run_once(args, timeout)
        return code, lines

    def run_once(self, args, timeout):
        """The output goes through a file: programs that the run starts may
        outlive it and would hold a pipe open."""
        path = os.path.join(WORK, "output.txt")
        with open(path, "wb") as out:
            process = subprocess.Popen([WINE_RUN] + list(args), stdout=out, stderr=subprocess.DEVNULL,
                                       stdin=subprocess.DEVNULL)
            try:
                code = process.wait(timeout=timeout)
            except subprocess.TimeoutExpired:
                process.kill()
                code = "timeout after %d s" % timeout
        with open(path, "rb") as f:
            text = f.read().decode("utf-8", "replace").replace("\r", "")
        return code, [line for line in text.split("\n") if line]

    def export_user_hive(self, name):
        """HKEY_CURRENT_USER as regedit writes it, as a set of lines
        "key|value" (and "key|" for each key)."""
        path = os.path.join(WORK, name)
        code, _ = self.run("reg", "export", "HKEY_CURRENT_USER", unix_to_windows(path), "/y")
        if code != 0:
            raise AssertionError("reg export failed with %d" % code)
        with open(path, "rb") as f:
            text = f.read().decode("utf-16")
        entries = set()
        key = None
        pending = ""
        for line in text.replace("\r", "").split("\n"):
            line = pending + line.strip() if pending else line
            if line.endswith("\\") and not line.startswith("["):
                pending = line[:-1]
                continue
            pending = ""
            if line.startswith("[") and line.endswith("]"):
                key = line[1:-1]
                entries.add(key + "|")
            elif key and line and not line.startswith(";"):
                entries.add(key + "|" + line)
        return entries


def readable_zip_names(archive):
    names = {}
    with zipfile.ZipFile(archive) as z:
        for info in z.infolist():
            name = info.filename
            if not info.flag_bits & 0x800:
                name = name.encode("cp437").decode("cp932")
            names[name.replace("\\", "/")] = z.read(info) if not name.endswith("/") else None
    return names


class Journey(unittest.TestCase):
    maxDiff = None

    def setUp(self):
        self.started = time.monotonic()
        self.prefix = Prefix()
        self.timings = []

    def tearDown(self):
        print("journey took %.1f s: %s" % (time.monotonic() - self.started,
                                           ", ".join("%s %.1f" % step for step in self.timings)), flush=True)

    def step(self, name, *args, timeout=180):
        """One run of the driver; its lines, with the exit code checked."""
        begun = time.monotonic()
        code, lines = self.prefix.run(DRIVER, *args, timeout=timeout)
        self.timings.append((name, time.monotonic() - begun))
        print("-- %s:\n   %s" % (name, "\n   ".join(lines)), flush=True)
        self.assertEqual(code, 0, "%s: driver ended with %d\n%s" % (name, code, "\n".join(lines)))
        return lines

    def value(self, lines, prefix):
        for line in lines:
            if line.startswith(prefix + " "):
                return line[len(prefix) + 1:]
        self.fail("no line %r in\n%s" % (prefix, "\n".join(lines)))

    def package(self):
        """The package zip for the width this machine runs."""
        chosen = os.environ.get("ZPK_JOURNEY_PACKAGE")
        if chosen:
            return chosen
        out = os.path.join(WORK, "package")
        command = [os.path.join(ROOT, "tools", "assemble-dist.sh"), out]
        if os.environ.get("ZPK_WIN32_RUNS") != "1":
            command += ["--programs", "64"]
        subprocess.run(command, check=True, stdout=subprocess.DEVNULL)
        return os.path.join(out, "Zupako-2.22.zip")

    def make_user_files(self):
        work = os.path.join(self.prefix.c, "作業 フォルダ")
        folder = os.path.join(work, "旅の記録")
        os.makedirs(os.path.join(folder, "写真"))
        random.seed(22)
        files = {
            "メモ.zjt": b"change\n",
            "日程.txt": ("一日目：箱根\r\n" * 300).encode("cp932"),
            "写真/富士山.bin": bytes(random.getrandbits(8) for _ in range(120000)),
        }
        for name, data in files.items():
            with open(os.path.join(folder, name), "wb") as f:
                f.write(data)
        dropped = os.path.join(work, "追加 する.txt")
        with open(dropped, "wb") as f:
            f.write("落とされたファイル\r\n".encode("cp932"))
        return work, folder, files, dropped

    def test_whole_journey(self):
        package = self.package()
        with zipfile.ZipFile(package) as z:
            held = [n[len("Zupako/"):] for n in z.namelist() if not n.endswith("/")]
        missing = [f for f in PACKAGE_FILES if f not in held]
        self.assertEqual(missing, [], "the package lacks files that the installer checks")

        # What Windows has and a fresh prefix lacks: .zip and .cab known as
        # the system's own types, and the user's class hive, Software\Classes.
        for extension, class_name in ((".zip", "CompressedFolder"), (".cab", "CABFolder")):
            self.prefix.run("reg", "add", "HKLM\\Software\\Classes\\" + extension, "/ve", "/d", class_name, "/f")
        self.prefix.run("reg", "add", "HKCU\\Software\\Classes", "/f")
        # The first window of the session, before the first dump: Wine keeps
        # its display settings and the console's under the user's hive.
        lines = self.step("screen", "screen")
        self.assertIn("screen 1280x1024", lines)
        before = self.prefix.export_user_hive("before.reg")

        downloads = os.path.join(self.prefix.c, "ダウンロード 済み")
        with zipfile.ZipFile(package) as z:
            z.extractall(downloads)
        install_dir = self.prefix.windows(os.path.join(downloads, "Zupako"))
        work, folder, files, dropped = self.make_user_files()

        # Install through the dialog, as a user does.
        lines = self.step("install", "install", install_dir)
        self.assertIn("dialog Zupako Ver.2.22 のインストール", lines)
        self.assertIn("folder " + install_dir + "\\*", lines)
        self.assertIn("options 111 install 1", lines)
        self.assertIn("ok button インストール", lines)
        self.assertEqual([l for l in lines if "box" in l], ["box インストールが完了しました"])
        self.assertIn("exit 0", lines)

        installed = self.prefix.export_user_hive("installed.reg")
        set_program = install_dir + "\\ZPKSet.exe"
        quoted = '\\"' + set_program.replace("\\", "\\\\") + '\\"'

        def reg(text):
            return text.replace("\\", "\\\\")

        classes = "HKEY_CURRENT_USER\\Software\\Classes\\"
        expected = [
            classes + "CompressedFolder\\shell\\menu\\command|@=\"\\\"" + reg(install_dir) + "\\\\ZPKMain.exe\\\" %1\"",
            classes + "CABFolder\\shell\\menu\\command|@=\"\\\"" + reg(install_dir) + "\\\\ZPKMain.exe\\\" %1\"",
            classes + "CompressedFolder\\shell|@=\"menu\"",
            classes + "CompressedFolder\\shellex\\DropHandler|@=\"" + CLASS_ID + "\"",
            classes + "Directory\\shell\\ZipCompress\\command|@=\"" + quoted + " zipcompress \\\"%1\\\"\"",
            classes + "Directory\\shell\\CabCompress\\command|@=\"" + quoted + " cabcompress \\\"%1\\\"\"",
            classes + ".cab\\ShellNew|\"ItemName\"=\"@" + reg(set_program) + ",-10001\"",
            "HKEY_CURRENT_USER\\Software\\Marunoko\\Zupako|\"InstallDir\"=\"" + reg(install_dir) + "\"",
            "HKEY_CURRENT_USER\\Software\\Marunoko\\Zupako|\"MenuOverFlow\"=dword:00000002",
        ]
        for line in expected:
            self.assertIn(line, installed)
        server = [l for l in installed if l.startswith(classes + "CLSID\\" + CLASS_ID + "\\InProcServer32|@=")]
        self.assertEqual(len(server), 1, server)

        menu_folder = None
        for user in os.listdir(os.path.join(self.prefix.c, "users")):
            candidate = os.path.join(self.prefix.c, "users", user, "AppData", "Roaming", "Microsoft", "Windows",
                                     "Start Menu", "Programs", "Zupako")
            if os.path.isdir(candidate):
                menu_folder = candidate
        self.assertIsNotNone(menu_folder, "no Start-menu folder Zupako")
        self.assertEqual(sorted(os.listdir(menu_folder)), ["ReadMe.htm.lnk", "設定.lnk"])
        lines = self.step("shortcut", "shortcut", self.prefix.windows(os.path.join(menu_folder, "設定.lnk")))
        self.assertIn("target " + set_program, lines)
        self.assertIn("arguments set", lines)

        # The folder's context menu: compress to zip and to cab.
        folder_windows = self.prefix.windows(folder)
        for verb, extension in (("ZipCompress", ".zip"), ("CabCompress", ".cab")):
            lines = self.step(verb, "verb", "Directory\\shell\\" + verb, folder_windows)
            self.assertEqual(lines[-1], "exit 0")
            self.assertFalse([l for l in lines if "box" in l], lines)
            self.assertTrue(os.path.isfile(folder + extension), os.listdir(work))
        test = subprocess.run(["unzip", "-t", folder + ".zip"], capture_output=True)
        self.assertEqual(test.returncode, 0, test.stdout + test.stderr)
        got = {name: data for name, data in readable_zip_names(folder + ".zip").items() if data is not None}
        self.assertEqual(got, files)
        test = subprocess.run(["cabextract", "-t", folder + ".cab"], capture_output=True)
        self.assertEqual(test.returncode, 0, test.stdout + test.stderr)
        out = os.path.join(WORK, "cab-out")
        subprocess.run(["cabextract", "-q", "-d", out, folder + ".cab"], check=True, capture_output=True)
        self.assertEqual({os.fsencode(n).decode("cp932"): d for n, d in tree(out).items()}, files)

        # The New menu's cabinet, opened: the viewer hands it to the add
        # dialog, which takes a dragged file.
        lines = self.step("new cab", "new-cab", self.prefix.windows(work))
        self.assertIn("menu text 圧縮 (cab 形式) フォルダー", lines)
        self.assertIn("type 3 size 36", lines)
        new_cab = os.path.join(work, "新しい圧縮された (CAB) フォルダー.cab")
        self.assertTrue(os.path.isfile(new_cab), os.listdir(work))
        lines = self.step("new cab opened", "open-add", self.prefix.windows(new_cab), self.prefix.windows(dropped))
        self.assertIn("viewer exit 0", lines)
        self.assertIn("drag 1 effect 1", lines)
        self.assertIn("add dialog closed", lines)
        test = subprocess.run(["cabextract", "-t", new_cab], capture_output=True)
        self.assertEqual(test.returncode, 0, test.stdout + test.stderr)
        out = os.path.join(WORK, "new-cab-out")
        subprocess.run(["cabextract", "-q", "-d", out, new_cab], check=True, capture_output=True)
        with open(dropped, "rb") as f:
            dropped_data = f.read()
        self.assertEqual({os.fsencode(n).decode("cp932"): d for n, d in tree(out).items()},
                         {"追加 する.txt": dropped_data})

        # A drop onto the .zip: the shell makes the registered handler, whose
        # folder menu offers .\ and 写真; the file goes into 写真.
        script = os.path.join(WORK, "drop.txt")
        with open(script, "w", encoding="utf-8") as f:
            f.write("\n".join(["hive real", "cursor 200 150", "class " + self.prefix.windows(folder + ".zip"),
                               "menu down,down,return", "drop " + self.prefix.windows(dropped), "go"]) + "\n")
        begun = time.monotonic()
        code, lines = self.prefix.run(DROP_HOST, unix_to_windows(script))
        self.timings.append(("drop", time.monotonic() - begun))
        print("-- drop:\n   " + "\n   ".join(lines), flush=True)
        self.assertEqual(code, 0, lines)
        self.assertIn("user class load 0x00000000", lines)
        drop = [l for l in lines if l.startswith("drop ")]
        self.assertEqual(drop[0].split()[1:8], ["0x00000000", "enter", "1", "effect", "1", "menu", "1"], lines)
        self.assertIn("unexpected 0 unused 0", lines)
        test = subprocess.run(["unzip", "-t", folder + ".zip"], capture_output=True)
        self.assertEqual(test.returncode, 0, test.stdout + test.stderr)
        self.assertEqual(readable_zip_names(folder + ".zip").get("写真/追加 する.txt"), dropped_data)

        # The menu command: the .zip as a menu; the whole-archive entry, the
        # folder 写真, then メモ.zjt, which the stand-in editor changes.
        lines = self.step("menu", "open-menu", self.prefix.windows(folder + ".zip"), "down", "down", "down",
                          "return")
        self.assertIn("menu seen", lines)
        self.assertEqual([l for l in lines if "box" in l],
                         ["box ファイルの更新が確認されました\\n書庫ファイルに格納しますか？"])
        self.assertIn("exit 0", lines)
        test = subprocess.run(["unzip", "-t", folder + ".zip"], capture_output=True)
        self.assertEqual(test.returncode, 0, test.stdout + test.stderr)
        stored = readable_zip_names(folder + ".zip")
        self.assertEqual(stored.get("メモ.zjt"), b"change\nedited\n")
        self.assertEqual(stored.get("日程.txt"), files["日程.txt"])

        # The overflow mode: a long list in "more" submenus as installed,
        # then in columns once the settings dialog says so.
        long_zip = os.path.join(work, "長い 一覧.zip")
        with zipfile.ZipFile(long_zip, "w") as z:
            for n in range(150):
                z.writestr("item%03d.txt" % n, "item %d\n" % n)
        lines = self.step("menu in more mode", "open-measure", self.prefix.windows(long_zip))
        more = [int(v) for v in self.value(lines, "menu").split("x")]
        lines = self.step("settings", "settings", install_dir, "1")
        self.assertIn("overflow was 001", lines)
        self.assertIn("overflow now 010", lines)
        self.assertEqual([l for l in lines if "box" in l], ["box 設定の書き込みが終了しました"])
        self.assertIn("exit 0", lines)
        lines = self.step("menu in columns", "open-measure", self.prefix.windows(long_zip))
        columns = [int(v) for v in self.value(lines, "menu").split("x")]
        # 150 entries in columns of the screen's height: at least three
        # columns side by side, where "more" keeps one.
        self.assertGreater(columns[0], 2.5 * more[0], (more, columns))

        # Uninstall through the dialog: the hive is as it was.
        lines = self.step("uninstall", "uninstall", install_dir)
        self.assertIn("ok button アンインストール", lines)
        self.assertEqual([l for l in lines if "box" in l], ["box アンインストールが完了しました"])
        self.assertIn("exit 0", lines)
        self.assertFalse(os.path.exists(menu_folder))
        after = self.prefix.export_user_hive("after.reg")
        self.assertEqual([l for l in after if "Zupako" in l or "Marunoko" in l or CLASS_ID in l], [])
        self.assertEqual(sorted(after - before), [], "left in the user's hive")
        self.assertEqual(sorted(before - after), [], "lost from the user's hive")


def main():
    if os.environ.get("JOURNEY_INSIDE") != "1":
        # A fresh prefix, display and wineserver of the journey's own.
        shutil.rmtree(WORK, ignore_errors=True)
        os.makedirs(WORK)
        env = dict(os.environ, JOURNEY_INSIDE="1", ZPK_WINEPREFIX=os.path.join(WORK, "prefix"))
        for inherited in ("WINEPREFIX", "DISPLAY"):
            env.pop(inherited, None)
        started = time.monotonic()
        code = subprocess.call([os.path.join(ROOT, "tools", "test-session.sh"), sys.executable,
                                os.path.abspath(__file__)] + sys.argv[1:], env=env)
        print("journey with its prefix: %.1f s" % (time.monotonic() - started), flush=True)
        return code
    result = unittest.main(argv=sys.argv, exit=False, verbosity=2).result
    return 0 if result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main())
