#!/usr/bin/env python3
"""Extraction of an AES-256 ZIP archive by the engine against the same files
in an archive without encryption, and against 7z extracting the encrypted
archive, from one run each: 100 MB in four large files, where the data's
decryption and authentication count, and make_corpus.py's corpus of many
small files, where each entry's key derivation counts. Both archives are
made by 7z at the same level, so that the only difference is the
encryption. The engine's figures include starting Wine (about 0.2 s).
Target: decryption adds at most 20% to the engine's extraction of the
large files. Run inside tools/test-session.sh after tools/build.sh:
  tools/test-session.sh python3 bench/crypt_bench.py [SCALE]"""
import os
import random
import shutil
import subprocess
import sys
import tempfile

# The paths and the clock of the peer benchmark, which lies beside this one.
from peer_bench import ARCTOOL, ROOT, WINE_RUN, timed, win


def large_files(folder):
    """Four files of 25 MB, two of text that deflates and two of bytes that
    do not, the same for every run: the data path without the per-entry
    cost."""
    os.makedirs(folder)
    rnd = random.Random(20261209)
    words = [("".join(rnd.choice("etaoinshrdlucmfwypvbgkjqxz") for _ in range(rnd.randint(2, 10)))) for _ in range(5000)]
    text = (" ".join(rnd.choice(words) for _ in range(200000)) + "\r\n").encode()
    for i in range(2):
        with open(os.path.join(folder, "text%d.txt" % i), "wb") as f:
            for _ in range(25 * 2**20 // len(text)):
                f.write(text)
        with open(os.path.join(folder, "noise%d.bin" % i), "wb") as f:
            f.write(rnd.randbytes(25 * 2**20))


def compare(title, work, corpus):
    total = sum(os.path.getsize(os.path.join(folder, name)) for folder, _, names in os.walk(corpus) for name in names)
    count = sum(len(names) for _, _, names in os.walk(corpus))
    print("%s: %d files, %.1f MB" % (title, count, total / 1e6))
    plain = os.path.join(work, "plain.zip")
    aes = os.path.join(work, "aes.zip")
    subprocess.run(["7z", "a", "-bd", "-tzip", "-mx5", plain, "."], cwd=corpus, check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["7z", "a", "-bd", "-tzip", "-mx5", "-mem=AES256", "-psecret", aes, "."], cwd=corpus, check=True,
                   stdout=subprocess.DEVNULL)
    t_plain = timed([WINE_RUN, ARCTOOL, "extract", win(plain), win(os.path.join(work, "x_plain"))])
    t_aes = timed([WINE_RUN, ARCTOOL, "--password", "secret", "extract", win(aes), win(os.path.join(work, "x_aes"))])
    t_peer = timed(["7z", "x", "-bd", "-y", "-psecret", "-o" + os.path.join(work, "x_7z"), aes])
    # The figures count only when the engine took out what 7z did.
    subprocess.run(["diff", "-r", "-q", os.path.join(work, "x_aes"), os.path.join(work, "x_7z")], check=True)
    print("  extract  engine, no encryption   %6.2f s" % t_plain)
    print("           engine, AES-256         %6.2f s  ratio to no encryption %.2f" % (t_aes, t_aes / t_plain))
    print("           7z x, AES-256           %6.2f s  engine ratio %.2f" % (t_peer, t_aes / t_peer))
    for name in ("plain.zip", "aes.zip", "x_plain", "x_aes", "x_7z"):
        path = os.path.join(work, name)
        shutil.rmtree(path) if os.path.isdir(path) else os.remove(path)


def main():
    scale = sys.argv[1] if len(sys.argv) > 1 else "0.67"
    work = tempfile.mkdtemp(prefix="cryptbench")
    try:
        large = os.path.join(work, "large")
        large_files(large)
        compare("100 MB in four large files (target: ratio to no encryption <= 1.20)", work, large)
        shutil.rmtree(large)
        corpus = os.path.join(work, "corpus")
        subprocess.run([sys.executable, os.path.join(ROOT, "bench/make_corpus.py"), corpus, scale], check=True)
        compare("the corpus of make_corpus.py (every entry derives its keys: PBKDF2, 1,000 rounds)", work, corpus)
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
