#!/usr/bin/env python3
"""Extraction of an AES-256 ZIP archive by the engine against the same
corpus in an archive without encryption, and against 7z extracting the
encrypted archive, from one run each. The corpus is make_corpus.py's at
about 100 MB; both archives are made by 7z at the same level, so that the
only difference is the encryption. The engine's figures include starting
Wine (about 0.2 s). Target: decryption adds at most 20% to the engine's
extraction. Run inside tools/test-session.sh after tools/build.sh:
  tools/test-session.sh python3 bench/crypt_bench.py [SCALE]"""
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
    scale = sys.argv[1] if len(sys.argv) > 1 else "0.67"
    work = tempfile.mkdtemp(prefix="cryptbench")
    try:
        corpus = os.path.join(work, "corpus")
        subprocess.run([sys.executable, os.path.join(ROOT, "bench/make_corpus.py"), corpus, scale], check=True)
        total = sum(os.path.getsize(os.path.join(folder, name))
                    for folder, _, names in os.walk(corpus) for name in names)
        print("corpus: %.1f MB" % (total / 1e6))
        plain = os.path.join(work, "plain.zip")
        aes = os.path.join(work, "aes.zip")
        subprocess.run(["7z", "a", "-bd", "-tzip", "-mx5", plain, "."], cwd=corpus, check=True,
                       stdout=subprocess.DEVNULL)
        subprocess.run(["7z", "a", "-bd", "-tzip", "-mx5", "-mem=AES256", "-psecret", aes, "."], cwd=corpus,
                       check=True, stdout=subprocess.DEVNULL)
        t_plain = timed([WINE_RUN, ARCTOOL, "extract", win(plain), win(os.path.join(work, "x_plain"))])
        t_aes = timed([WINE_RUN, ARCTOOL, "--password", "secret", "extract", win(aes),
                       win(os.path.join(work, "x_aes"))])
        t_peer = timed(["7z", "x", "-bd", "-y", "-psecret", "-o" + os.path.join(work, "x_7z"), aes])
        # The figures count only when the engine took out what 7z did.
        subprocess.run(["diff", "-r", "-q", os.path.join(work, "x_aes"), os.path.join(work, "x_7z")], check=True)
        print("extract  engine, no encryption   %6.2f s" % t_plain)
        print("         engine, AES-256         %6.2f s  ratio to no encryption %.2f (target <= 1.20)"
              % (t_aes, t_aes / t_plain))
        print("         7z x, AES-256           %6.2f s  engine ratio %.2f" % (t_peer, t_aes / t_peer))
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
