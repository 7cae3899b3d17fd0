#!/usr/bin/env python3
"""Folder compression and whole-archive extraction of the engine against the
tools people use for the same job, on the generated corpus, from one run:
ZIP against Info-ZIP, 7z and bsdtar, CAB (MSZIP) against gcab and
cabextract. Every command runs once, as a user would start it, so the
engine's figures include starting Wine (about 0.2 s) and, for compression,
the 500 ms pause in which the progress window shows "完了". Ratios are
engine time / tool time. Run inside tools/test-session.sh after
tools/build.sh:  tools/test-session.sh python3 bench/peer_bench.py [SCALE]"""
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


def engine(*args):
    return [WINE_RUN, ARCTOOL] + list(args)


def compare(title, work, corpus, suffix, engine_args, peers, extract_peers):
    """Times the engine's compression and each peer's, then extracts the
    first peer's archive with the engine and with each extracting peer."""
    print(title)
    engine_archive = os.path.join(work, "engine" + suffix)
    t_engine = timed(engine(*engine_args, "compress", win(engine_archive), win(corpus)))
    print("  compress  engine      %6.2f s  %7.1f MB" % (t_engine, os.path.getsize(engine_archive) / 1e6))
    reference = None
    for name, make in peers:
        archive = os.path.join(work, name.split()[0] + suffix)
        t = timed(make(archive), cwd=corpus)
        reference = reference or archive
        print("            %-11s %6.2f s  %7.1f MB  ratio %.2f"
              % (name, t, os.path.getsize(archive) / 1e6, t_engine / t))
    # The engine's archive must be what the peers read: checked before the
    # figures count.
    subprocess.run(extract_peers[0][1](engine_archive, os.path.join(work, "check")), check=True,
                   stdout=subprocess.DEVNULL)
    shutil.rmtree(os.path.join(work, "check"))
    t_engine = timed(engine("extract", win(reference), win(os.path.join(work, "x_engine"))))
    print("  extract   engine      %6.2f s" % t_engine)
    for name, extract in extract_peers:
        target = os.path.join(work, "x_" + name.split()[0])
        t = timed(extract(reference, target))
        print("            %-11s %6.2f s            ratio %.2f" % (name, t, t_engine / t))
    for entry in os.listdir(work):
        if entry != "corpus":
            path = os.path.join(work, entry)
            shutil.rmtree(path) if os.path.isdir(path) else os.remove(path)


def main():
    scale = sys.argv[1] if len(sys.argv) > 1 else "1.0"
    work = tempfile.mkdtemp(prefix="peerbench")
    try:
        corpus = os.path.join(work, "corpus")
        subprocess.run([sys.executable, os.path.join(ROOT, "bench/make_corpus.py"), corpus, scale], check=True)
        files = []
        for folder, _, names in os.walk(corpus):
            files += [os.path.relpath(os.path.join(folder, n), corpus) for n in names]
        files.sort()
        total = sum(os.path.getsize(os.path.join(corpus, f)) for f in files)
        print("corpus: %d files, %.1f MB" % (len(files), total / 1e6))

        compare("ZIP (deflate, default level)", work, corpus, ".zip", [],
                [("zip -r", lambda a: ["zip", "-q", "-r", a, "."]),
                 ("7z a -tzip", lambda a: ["7z", "a", "-bd", "-tzip", a, "."]),
                 ("bsdtar", lambda a: ["bsdtar", "--format", "zip", "-cf", a, "."])],
                [("unzip", lambda a, d: ["unzip", "-q", "-o", a, "-d", d]),
                 ("7z x", lambda a, d: ["7z", "x", "-bd", "-y", "-o" + d, a]),
                 ("bsdtar", lambda a, d: ["sh", "-c", 'mkdir -p "$2" && bsdtar -xf "$1" -C "$2"', "sh", a, d])])
        compare("CAB (MSZIP)", work, corpus, ".cab", ["--type", "0"],
                [("gcab -z -c", lambda a: ["gcab", "-z", "-c", a] + files)],
                [("cabextract", lambda a, d: ["cabextract", "-q", "-d", d, a])])
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
