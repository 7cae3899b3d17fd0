"""Drive letters of the test's Wine prefix, for running the programs on a
drive root: the root of a drive is the one folder whose path already ends
in a backslash."""
import contextlib
import os
import subprocess


@contextlib.contextmanager
def wine_drive(wine_run, folder):
    """A free drive letter for the folder while the block runs; yields the
    drive's root (M:\\). wine_run is the project's tools/wine-run, whose
    environment names the prefix."""
    env = os.path.join(os.path.dirname(os.path.abspath(wine_run)), "wine-env.sh")
    prefix = subprocess.run(["bash", "-c", '. "$0" && printf %s "$WINEPREFIX"', env], capture_output=True,
                            text=True, check=True).stdout
    for letter in "mnopqrstuvwxy":
        link = os.path.join(prefix, "dosdevices", letter + ":")
        try:
            os.symlink(os.path.abspath(folder), link)
        except FileExistsError:
            continue
        try:
            yield letter.upper() + ":\\"
        finally:
            os.remove(link)
        return
    raise AssertionError("no free drive letter in " + prefix)
