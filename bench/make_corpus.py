#!/usr/bin/env python3
"""Writes the benchmark corpus: text-like files, incompressible files and
many tiny files, about 150 MB in all, the same for every run (fixed seed).
usage: make_corpus.py FOLDER [SCALE]   (SCALE 1.0 = about 150 MB)"""
import os
import random
import sys


def main():
    root = sys.argv[1]
    scale = float(sys.argv[2]) if len(sys.argv) > 2 else 1.0
    rnd = random.Random(20240607)
    words = [("".join(rnd.choice("etaoinshrdlucmfwypvbgkjqxz") for _ in range(rnd.randint(2, 10))))
             for _ in range(5000)]
    lines = [" ".join(rnd.choice(words) for _ in range(rnd.randint(4, 16))) + "\r\n" for _ in range(20000)]
    pool = "".join(lines).encode("ascii")

    def text(size):
        parts, total = [], 0
        while total < size:
            start = rnd.randrange(len(pool) // 2)
            piece = pool[start:start + rnd.randint(4096, 65536)]
            parts.append(piece)
            total += len(piece)
        return b"".join(parts)[:size]

    def write(name, data):
        path = os.path.join(root, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)

    for i in range(int(40 * scale)):
        write("text/part%02d/doc%03d.txt" % (i % 5, i), text(2 * 1024 * 1024))
    for i in range(int(10 * scale)):
        write("binary/blob%02d.bin" % i, rnd.randbytes(5 * 1024 * 1024))
    for i in range(int(4000 * scale)):
        write("tiny/d%02d/f%05d.txt" % (i % 40, i), text(rnd.randint(10, 2000)))


if __name__ == "__main__":
    main()
