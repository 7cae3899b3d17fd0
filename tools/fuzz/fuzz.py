#!/usr/bin/env python3
"""Fuzzes the engine's parsers for a given time, under Wine.

    tools/fuzz/fuzz.py [--minutes M | --seconds S | --inputs N] [--seed N] [--targets A,B] [--jobs N]
    tools/fuzz/fuzz.py minimize TARGET FILE [--out FILE]

Makes the seed corpus with the real tools (tools/fuzz/seeds.py), then runs
zpkfuzz (the instrumented build of the fuzz64 preset, built or brought up
to date first, else the 64-bit test build) until the time is up. zpkfuzz ends at its first
finding; this driver then keeps the input and what was recorded about it
in build/fuzz/findings/TARGET/, names the frames, and starts it again,
skipping that input, with the corpus it had grown. At the end it prints
the figures of every target and the findings. One fuzzer runs for each
core (--jobs), each in a work folder of its own with a corpus of its own,
from the same seeds; their figures are added up. The exit code is 1 when
anything crashed, hung, passed a limit, touched a file outside the scratch
folder or broke a promise.

minimize cuts a finding's input down to the smallest one that still gives
the same finding, by replaying candidates.

Outside a test session the driver starts one (tools/test-session.sh).
"""
import argparse
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, HERE)
import seeds  # noqa: E402

WINE_RUN = os.path.join(ROOT, "tools", "wine-run")
KINDS = {10: "crash", 11: "hang", 12: "memory-limit", 13: "escape", 14: "heap-damage", 15: "broken-promise",
         16: "abort"}
STATE_MAGIC = b"ZPKFUZZ1"
INPUT_OFFSET = 4096
COUNTERS_OFFSET = 1472


def wine_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def read_state(path):
    """The fuzzer's mapped state: status, the running input, its record,
    the counters of every target."""
    with open(path, "rb") as f:
        raw = f.read()
    if len(raw) < INPUT_OFFSET or raw[:8] != STATE_MAGIC:
        return None
    status, target, length, _capacity, serial, code, address, base = struct.unpack_from("<IIIIQQQQ", raw, 8)
    frames = [f for f in struct.unpack_from("<16Q", raw, 56) if f]
    detail = raw[184:1208].split(b"\0")[0].decode("utf-8", "replace")
    name = raw[1208:1468].split(b"\0")[0].decode("utf-8", "replace")
    counters = [struct.unpack_from("<5Q", raw, COUNTERS_OFFSET + 40 * i) for i in range(16)]
    return {"status": status, "target": target, "input": raw[INPUT_OFFSET:INPUT_OFFSET + length],
            "serial": serial, "code": code, "address": address, "base": base, "frames": frames,
            "detail": detail, "name": name, "counters": counters}


def image_base(exe):
    with open(exe, "rb") as f:
        head = f.read(4096)
    pe = struct.unpack_from("<I", head, 0x3C)[0]
    magic = struct.unpack_from("<H", head, pe + 24)[0]
    return struct.unpack_from("<Q", head, pe + 48)[0] if magic == 0x20B else struct.unpack_from("<I", head, pe + 52)[0]


def name_frames(exe, state):
    """The frames of a finding inside zpkfuzz, as function and line."""
    tool = shutil.which("x86_64-w64-mingw32-addr2line")
    if not tool or not state["frames"]:
        return []
    base = image_base(exe)
    inside = [f for f in state["frames"] if state["base"] <= f < state["base"] + 0x10000000]
    if not inside:
        return []
    addresses = ["0x%x" % (base + f - state["base"]) for f in inside]
    out = subprocess.run([tool, "-f", "-C", "-p", "-e", exe] + addresses, capture_output=True, text=True).stdout
    return [line.replace(ROOT + "/", "") for line in out.splitlines()]


def target_list(exe):
    out = subprocess.run([WINE_RUN, exe, "targets"], capture_output=True, text=True, stdin=subprocess.DEVNULL)
    targets = [line.split() for line in out.stdout.splitlines() if line.strip()]
    if not targets:
        sys.exit("fuzz: %s lists no targets:\n%s" % (exe, out.stderr))
    return targets


def default_exe():
    """The instrumented zpkfuzz, brought up to date first (the preset is
    configured the first time); the 64-bit test build's when cmake cannot
    make it."""
    instrumented = os.path.join(ROOT, "build", "fuzz64", "tools", "zpkfuzz.exe")
    if shutil.which("cmake"):
        steps = [] if os.path.exists(os.path.join(ROOT, "build", "fuzz64", "CMakeCache.txt")) else [
            ["cmake", "--preset", "fuzz64"]]
        steps.append(["cmake", "--build", "--preset", "fuzz64"])
        for step in steps:
            if subprocess.run(step, cwd=ROOT, stdout=subprocess.DEVNULL).returncode != 0:
                print("fuzz: %s failed" % " ".join(step), flush=True)
                break
    for exe in (instrumented, os.path.join(ROOT, "build", "win64", "tools", "zpkfuzz.exe")):
        if os.path.exists(exe):
            return exe
    sys.exit("fuzz: no zpkfuzz.exe; build the fuzz64 preset (cmake --build --preset fuzz64) or tools/build.sh")


def default_arctool():
    exe = os.path.join(ROOT, "build", "win64", "tools", "arctool.exe")
    if not os.path.exists(exe):
        sys.exit("fuzz: the seeds need build/win64/tools/arctool.exe (tools/build.sh)")
    return exe


def keep_finding(folder, targets, exe, state, exit_code):
    kind = KINDS.get(state["status"]) if state else None
    if state is None or (kind is None and state["status"] != 1):
        return None
    if kind is None:
        kind = "crash"
        state["detail"] = "the process ended (exit code %d) without recording what happened" % exit_code
    target = targets[state["target"]][0]
    data = state["input"]
    digest = "%016x" % fnv1a(data)
    where = os.path.join(folder, target)
    os.makedirs(where, exist_ok=True)
    base = os.path.join(where, "%s-%s" % (kind, digest))
    with open(base + ".bin", "wb") as f:
        f.write(data)
    frames = name_frames(exe, state)
    with open(base + ".txt", "w") as f:
        f.write("%s in %s: %s\n" % (kind, target, state["detail"]))
        for line in frames:
            f.write("    %s\n" % line)
    return {"kind": kind, "target": target, "file": base + ".bin", "detail": state["detail"], "frames": frames,
            "hash": digest}


def fnv1a(data):
    value = 0xCBF29CE484222325
    for b in data:
        value = ((value ^ b) * 0x100000001B3) & 0xFFFFFFFFFFFFFFFF
    return value


def run_job(job, args, exe, targets, work, seeds_dir, skip_file, findings_dir, budget, started, shared):
    """Runs one zpkfuzz after the other in the job's own work folder until the
    time or the inputs are used up, keeping every finding; each job has its
    own corpus, the seeds, the skipped inputs and the findings are shared."""
    totals = [[0, 0, 0, 0, 0] for _ in targets]
    restarts = 0
    while True:
        left = budget - (time.monotonic() - started)
        if args.inputs is None and left < 1:
            break
        command = [WINE_RUN, exe, "run", "--work", wine_path(work), "--seeds", wine_path(seeds_dir),
                   "--seed", str(args.seed + 1000 * job + restarts), "--skip", wine_path(skip_file),
                   "--timeout-ms", str(args.timeout_ms), "--memory-mb", str(args.memory_mb),
                   "--memory-ratio", str(args.memory_ratio)]
        command += ["--inputs", str(args.inputs)] if args.inputs is not None else ["--seconds", "%.0f" % left]
        if args.targets:
            command += ["--targets", args.targets]
        # The progress lines of a second job would only interleave with the
        # first's.
        process = subprocess.Popen(command, stdin=subprocess.DEVNULL,
                                   stdout=None if job == 0 else subprocess.DEVNULL)
        try:
            code = process.wait(timeout=(left if args.inputs is None else 3600) + 120)
        except subprocess.TimeoutExpired:
            process.kill()
            code = process.wait()
        state = read_state(os.path.join(work, "state.bin"))
        if state:
            for i, c in enumerate(state["counters"][:len(targets)]):
                totals[i][0] += c[0]
                totals[i][1] += c[1]
                totals[i][2] = max(totals[i][2], c[2])
                totals[i][3] = max(totals[i][3], c[3])
                totals[i][4] = max(totals[i][4], c[4])
        with shared["lock"]:
            finding = keep_finding(findings_dir, targets, exe, state, code)
            if finding is None:
                if code != 0:
                    print("fuzz: zpkfuzz ended with exit code %d without a finding" % code, flush=True)
                break
            if state["status"] == 1 and not replays_finding(exe, work, finding["target"], state["input"], args):
                # Something outside ended the process (a test session
                # ending the prefix's Wine server, say): the input is kept
                # and listed, but is no finding of its own.
                finding["unreproduced"] = True
            shared["findings"].append(finding)
            print("fuzz: %s %s in %s (%s), kept as %s" % ("UNREPRODUCED" if finding.get("unreproduced") else "FINDING",
                                                         finding["kind"], finding["target"], finding["detail"],
                                                         os.path.relpath(finding["file"], ROOT)), flush=True)
            for line in finding["frames"][:6]:
                print("          %s" % line, flush=True)
            with open(skip_file, "a") as f:
                f.write(finding["hash"] + "\n")
        restarts += 1
        if args.inputs is not None or restarts > args.max_restarts:
            break
    shared["totals"][job] = totals


def fuzz(args):
    exe = os.path.abspath(args.exe or default_exe())
    work = os.path.abspath(args.work)
    os.makedirs(work, exist_ok=True)
    findings_dir = os.path.join(work, "findings")
    jobs = args.jobs or (1 if args.inputs is not None else os.cpu_count() or 1)
    job_works = [work] + [os.path.join(work, "job%d" % j) for j in range(1, jobs)]
    for job_work in job_works:
        os.makedirs(job_work, exist_ok=True)
        if not args.keep_corpus and os.path.exists(os.path.join(job_work, "corpus")):
            shutil.rmtree(os.path.join(job_work, "corpus"))
    targets = target_list(exe)
    load_before = os.getloadavg()
    made = time.monotonic()
    seeds_dir = os.path.join(work, "seeds")
    zips, cabs = seeds.make_seeds(seeds_dir, args.arctool or default_arctool(), WINE_RUN)
    print("fuzz: %d ZIP and %d CAB seeds made by the real tools and Zupako in %.1f s; %s; %d job%s" %
          (zips, cabs, time.monotonic() - made, os.path.relpath(exe, ROOT), jobs, "" if jobs == 1 else "s"),
          flush=True)
    skip_file = os.path.join(work, "skip.txt")
    open(skip_file, "w").close()
    started = time.monotonic()
    budget = args.seconds if args.seconds is not None else args.minutes * 60
    shared = {"lock": threading.Lock(), "findings": [], "totals": [None] * jobs}
    threads = [threading.Thread(target=run_job, args=(j, args, exe, targets, job_works[j], seeds_dir, skip_file,
                                                      findings_dir, budget, started, shared))
               for j in range(jobs)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    elapsed = time.monotonic() - started
    load_after = os.getloadavg()
    report(targets, [t for t in shared["totals"] if t is not None], shared["findings"], elapsed, load_before,
           load_after)
    return 1 if any(not f.get("unreproduced") for f in shared["findings"]) else 0


def replays_finding(exe, work, target, data, args):
    """Whether the input, run alone, gives a finding again or ends its
    process again."""
    return replay_batch(exe, work, target, [data], args.timeout_ms)[0] is not None


def report(targets, job_totals, findings, elapsed, load_before, load_after):
    """The figures of every target over all jobs: the inputs per second add
    up the jobs' rates, as the jobs ran side by side."""
    print()
    print("%-12s %12s %12s %10s %8s %8s %10s" % ("target", "inputs", "inputs/s", "busy s", "corpus", "edges",
                                                  "peak MB"))
    all_inputs = 0
    for i, (name, _kind) in enumerate(targets):
        rows = [totals[i] for totals in job_totals]
        inputs = sum(row[0] for row in rows)
        busy = sum(row[1] for row in rows) / 1e6
        rate = sum(row[0] / (row[1] / 1e6) for row in rows if row[1])
        all_inputs += inputs
        print("%-12s %12s %12.0f %10.1f %8d %8d %10.1f" % (name, "{:,}".format(inputs), rate, busy,
                                                           max(row[2] for row in rows), max(row[3] for row in rows),
                                                           max(row[4] for row in rows) / 1e6))
    print("all targets: {:,} inputs in {:.0f} s of the run, {:.0f} inputs/s; {} restarts".format(
        all_inputs, elapsed, all_inputs / elapsed if elapsed else 0, len(findings)))
    print("machine load (1, 5, 15 min): %.2f %.2f %.2f at the start, %.2f %.2f %.2f at the end (2 cores)" %
          (load_before + load_after))
    real = [f for f in findings if not f.get("unreproduced")]
    unreproduced = [f for f in findings if f.get("unreproduced")]
    if real:
        print("%d findings:" % len(real))
        for f in real:
            print("  %s in %s: %s (%s)" % (f["kind"], f["target"], f["detail"], os.path.relpath(f["file"], ROOT)))
    else:
        print("no input crashed, hung, passed a limit, escaped the scratch folder or broke a promise")
    if unreproduced:
        print("%d times a fuzzer ended without a record while running an input that, run again alone, does not "
              "do it:" % len(unreproduced))
        for f in unreproduced:
            print("  in %s: %s" % (f["target"], os.path.relpath(f["file"], ROOT)))


def replay_batch(exe, work, target, candidates, timeout_ms):
    """Replays the candidates in order; the index of the first that gives a
    finding and the state it left, or None."""
    folder = tempfile.mkdtemp(dir=work)
    try:
        os.makedirs(os.path.join(folder, target))
        for i, data in enumerate(candidates):
            with open(os.path.join(folder, target, "%06d" % i), "wb") as f:
                f.write(data)
        subprocess.run([WINE_RUN, exe, "replay", "--work", wine_path(work), "--targets", target,
                        "--timeout-ms", str(timeout_ms), wine_path(folder)],
                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=600)
        state = read_state(os.path.join(work, "state.bin"))
        # Still running: the process ended in the middle of that input.
        if state is None or (state["status"] not in KINDS and state["status"] != 1):
            return None, None
        return int(state["name"].split("\\")[-1]), state
    finally:
        shutil.rmtree(folder, ignore_errors=True)


def signature(state):
    """What makes two findings the same: the kind, and for a crash the
    exception and the place it happened."""
    detail = state["detail"]
    if state["status"] == 10:
        return (10, detail.split(",")[0])
    if state["status"] in (13, 15):
        return (state["status"], detail.split(":")[0])
    return (state["status"],)


def structural_cuts(exe, work, kind, data):
    """The archives one structural cut each makes of data (zpkfuzz reduce)."""
    folder = tempfile.mkdtemp(dir=work)
    try:
        source = os.path.join(folder, "input")
        with open(source, "wb") as f:
            f.write(data)
        out = os.path.join(folder, "cuts")
        subprocess.run([WINE_RUN, exe, "reduce", kind, wine_path(source), wine_path(out)], stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=300)
        cuts = []
        for name in sorted(os.listdir(out)) if os.path.isdir(out) else []:
            with open(os.path.join(out, name), "rb") as f:
                cuts.append(f.read())
        return sorted(cuts, key=len)
    finally:
        shutil.rmtree(folder, ignore_errors=True)


def minimize(args):
    exe = os.path.abspath(args.exe or default_exe())
    work = os.path.abspath(os.path.join(args.work, "minimize"))
    os.makedirs(work, exist_ok=True)
    kinds = dict(target_list(exe))
    with open(args.file, "rb") as f:
        data = f.read()
    index, state = replay_batch(exe, work, args.target, [data], args.timeout_ms)
    if state is None:
        sys.exit("fuzz: %s gives no finding in %s" % (args.file, args.target))
    wanted = signature(state)
    print("fuzz: %d bytes, %s: %s" % (len(data), KINDS[state["status"]], state["detail"]), flush=True)

    def first_that_still_fails(candidates):
        """The first candidate, in order, that gives the same finding."""
        while candidates:
            index, state = replay_batch(exe, work, args.target, candidates, args.timeout_ms)
            if state is None:
                return None
            if signature(state) == wanted:
                return candidates[index]
            candidates = candidates[index + 1:]
        return None

    # Cuts of the archive's records first: they keep what is left readable.
    while True:
        smaller = first_that_still_fails(structural_cuts(exe, work, kinds[args.target], data))
        if smaller is None:
            break
        data = smaller
        print("fuzz: %d bytes (a record cut)" % len(data), flush=True)
    # Then runs of bytes, removed and then zeroed, halving the runs; each
    # pass goes on from where the last cut was made.
    chunk = max(1, len(data) // 2)
    while chunk >= 1:
        for zero in (False, True):
            at = 0
            while at < len(data):
                starts = [p for p in range(at, len(data), chunk) if not zero or any(data[p:p + chunk])]
                candidates = [data[:p] + (bytes(len(data[p:p + chunk])) if zero else b"") + data[p + chunk:]
                              for p in starts]
                smaller = first_that_still_fails(candidates)
                if smaller is None:
                    break
                at = starts[candidates.index(smaller)] + (chunk if zero else 0)
                data = smaller
                print("fuzz: %d bytes" % len(data), flush=True)
        chunk //= 2
    out = args.out or args.file + ".min"
    with open(out, "wb") as f:
        f.write(data)
    print("fuzz: %d bytes in %s" % (len(data), out))
    return 0


def main():
    if os.environ.get("ZPK_FUZZ_SESSION") != "1" and "--no-session" not in sys.argv:
        env = dict(os.environ, ZPK_FUZZ_SESSION="1")
        return subprocess.call([os.path.join(ROOT, "tools", "test-session.sh"), sys.executable,
                                os.path.abspath(__file__)] + sys.argv[1:], env=env)
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("command", nargs="?", default="run", choices=["run", "minimize"])
    parser.add_argument("target", nargs="?")
    parser.add_argument("file", nargs="?")
    parser.add_argument("--out")
    parser.add_argument("--minutes", type=float, default=10)
    parser.add_argument("--seconds", type=float)
    parser.add_argument("--inputs", type=int, help="inputs per target, then stop (a run that repeats)")
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--targets")
    parser.add_argument("--exe")
    parser.add_argument("--arctool")
    parser.add_argument("--work", default=os.path.join(ROOT, "build", "fuzz"))
    parser.add_argument("--keep-corpus", action="store_true", help="go on from the corpus of the last run")
    parser.add_argument("--timeout-ms", type=int, default=10000)
    parser.add_argument("--memory-mb", type=int, default=32, help="bytes an input may hold at once, besides")
    parser.add_argument("--memory-ratio", type=int, default=1100, help="times its own length")
    parser.add_argument("--jobs", type=int, help="fuzzers side by side (default: one per core, one with --inputs)")
    parser.add_argument("--max-restarts", type=int, default=200)
    parser.add_argument("--no-session", action="store_true", help="already inside a test session")
    args = parser.parse_args()
    if args.command == "minimize":
        if not args.target or not args.file:
            parser.error("minimize takes TARGET FILE")
        return minimize(args)
    return fuzz(args)


if __name__ == "__main__":
    sys.exit(main())
