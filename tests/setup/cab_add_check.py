#!/usr/bin/env python3
"""Cabinets that the add dialog wrote, checked by cabextract: each tests
sound and extracts to exactly the files it should hold."""
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

PROGRAM = os.environ["TEST_CAB_ADD"]
WINE_RUN = os.environ["WINE_RUN"]
sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "support"))
from folder_tree import tree  # noqa: E402


class AddedCabinetsByCabextract(unittest.TestCase):
    def test_added_cabinets_extract_to_what_was_dropped(self):
        results = tempfile.mkdtemp(prefix="cabadd")
        try:
            env = dict(os.environ, ZPK_CAB_RESULTS="Z:" + results.replace("/", "\\"))
            run = subprocess.run([WINE_RUN, PROGRAM, "--gtest_filter=*TopLevel*:*ChosenFromTheMenu*"],
                                 env=env, capture_output=True, timeout=300)
            self.assertEqual(run.returncode, 0, run.stdout.decode("utf-8", "replace"))
            cabinets = sorted(n for n in os.listdir(results) if n.endswith(".cab"))
            self.assertEqual(cabinets, ["chosen_folder.cab", "top_level.cab"])
            for name in cabinets:
                cab = os.path.join(results, name)
                test = subprocess.run(["cabextract", "-t", cab], capture_output=True)
                self.assertEqual(test.returncode, 0, test.stdout + test.stderr)
                out = os.path.join(results, name + ".out")
                subprocess.run(["cabextract", "-q", "-d", out, cab], check=True, capture_output=True)
                self.assertEqual(tree(out), tree(os.path.join(results, name[:-4] + ".expected")), name)
        finally:
            shutil.rmtree(results, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(unittest.main(verbosity=2))
