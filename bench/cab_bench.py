#!/usr/bin/env python3
"""Cabinet compression (MSZIP) and extraction of the engine against gcab and
cabextract on the generated corpus, from one run, printed as times and
ratios (engine time / tool time). Run inside tools/test-session.sh after
tools/build.sh:  tools/test-session.sh python3 bench/cab_bench.py [SCALE]"""
import os
import shutil
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
ARCTOOL = os.path.join(ROOT, "build/win64/tools/arctool.exe")
WINE_RUN = os.path.join(ROOT, "tools/wine-run")


def win(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def timed(args, **kw):
    start = time.monotonic()
    subprocess.run(args, check=True, stdout=subprocess.DEVNULL, **kw)
    return time.monotonic() - start


def main():
    scale = sys.argv[1] if len(sys.argv) > 1 else "1.0"
    work = tempfile.mkdtemp(prefix="cabbench")
    try:
        corpus = os.path.join(work, "corpus")
        subprocess.run([sys.executable, os.path.join(ROOT, "bench/make_corpus.py"), corpus, scale], check=True)
        files = []
        for folder, _, names in os.walk(corpus):
            files += [os.path.relpath(os.path.join(folder, n), corpus) for n in names]
        total = sum(os.path.getsize(os.path.join(corpus, f)) for f in files)
        print("corpus: %d files, %.1f MB" % (len(files), total / 1e6))

        engine_cab = os.path.join(work, "engine.cab")
        # The engine's compression ends with a 500 ms pause that lets the
        # user read "完了"; it is part of what the user waits for.
        t_engine_c = timed([WINE_RUN, ARCTOOL, "--type", "0", "compress", win(engine_cab), win(corpus)])
        gcab_cab = os.path.join(work, "gcab.cab")
        t_gcab_c = timed(["gcab", "-z", "-c", gcab_cab] + sorted(files), cwd=corpus)
        t_engine_x = timed([WINE_RUN, ARCTOOL, "extract", win(gcab_cab), win(os.path.join(work, "x_engine"))])
        t_cabx_x = timed(["cabextract", "-q", "-d", os.path.join(work, "x_cabextract"), gcab_cab])

        print("compress MSZIP: engine %.2f s (%.1f MB), gcab -z -c %.2f s (%.1f MB), ratio %.2f"
              % (t_engine_c, os.path.getsize(engine_cab) / 1e6, t_gcab_c, os.path.getsize(gcab_cab) / 1e6,
                 t_engine_c / t_gcab_c))
        print("extract: engine %.2f s, cabextract %.2f s, ratio %.2f" % (t_engine_x, t_cabx_x, t_engine_x / t_cabx_x))
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
