#!/usr/bin/env python3
"""Mutation run: does the suite catch small, plausible faults in the decision code?

Applies each entry of tools/mutations.txt in turn to a copy of the tree (build-mutate/),
rebuilds only the suites that cover the mutated file, runs them, and counts the mutant as
killed when any of them fails. A mutant that does not build is "not viable" and counted
apart. The working tree itself is never touched.

  tools/mutate.py [--rev COMMIT] [--only 3,17] [--timeout 180] [--jobs 2]
"""
import argparse
import io
import os
import re
import signal
import subprocess
import sys
import tarfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
WORK = os.path.join(ROOT, "build-mutate")
BUILD = os.path.join(WORK, "build")

# The fewest ctest names that cover each file (names the tree does not define are left out).
SUITES = {
    "src/base/numtext.cpp": ["test_logic"],
    "src/base/fsname.cpp": ["test_names", "test_playlist"],
    "src/base/name_order.cpp": ["test_names"],
    "src/playback/lengths_logic.cpp": ["test_logic"],
    "src/playback/places_logic.cpp": ["test_logic"],
    "src/playback/sleep_logic.cpp": ["test_logic"],
    "src/playback/speed_logic.cpp": ["test_logic"],
    "src/playback/status_logic.cpp": ["test_logic"],
    "src/playback/track_logic.cpp": ["test_logic"],
    "src/playback/transport_logic.cpp": ["test_logic"],
    "src/playback/video_logic.cpp": ["test_logic"],
    "src/playlist/playlist_logic.cpp": ["test_playlist", "fuzz_replay_drop"],
    "src/playlist/wildcard.cpp": ["test_names"],
    "src/state/session_file.cpp": ["test_session", "test_names", "fuzz_replay_session_file"],
    "src/state/state_db.cpp": ["test_state_db"],
    "src/state/schema.cpp": ["test_state_db"],
    "src/app/mpris_logic.cpp": ["test_logic"],
    "src/app/autostart_logic.cpp": ["test_logic"],
    "src/tags/id3v1.cpp": ["test_tags", "fuzz_replay_id3v1"],
    "src/info/info_texts.cpp": ["test_tags"],
    "src/playback/sleep.cpp": ["test_player"],
    "src/playback/loudness_logic.cpp": ["test_player"],
    "src/playback/mpv_player.cpp": ["test_player"],
    "src/ui/listbox_model.cpp": ["test_names"],
    "src/playlist/dir_scan.cpp": ["test_playlist"],
    "src/playlist/playlist_edits.cpp": ["test_names", "test_playlist"],
}


def target_of(test):
    return "replay_" + test[len("fuzz_replay_"):] if test.startswith("fuzz_replay_") else test


def read_list(path):
    entries = []
    with open(path, encoding="utf-8") as f:
        for n, line in enumerate(f, 1):
            line = line.rstrip("\n")
            if not line.strip() or line.startswith("#"):
                continue
            parts = line.split("\t")
            if len(parts) != 4:
                sys.exit(f"{path}:{n}: want 4 tab-separated fields, got {len(parts)}")
            kind, file, old, new = parts
            entries.append({"line": n, "kind": kind, "file": file,
                            "old": old.replace("<NL>", "\n"), "new": new.replace("<NL>", "\n")})
    return entries


def tree_files(rev):
    """The tree's files as {path: bytes}: the working tree, or the commit rev."""
    if rev:
        data = subprocess.run(["git", "archive", "--format=tar", rev], cwd=ROOT, check=True,
                              capture_output=True).stdout
        with tarfile.open(fileobj=io.BytesIO(data)) as tar:
            return {m.name: tar.extractfile(m).read() for m in tar.getmembers() if m.isfile()}
    names = subprocess.run(["git", "ls-files", "-co", "--exclude-standard", "-z"], cwd=ROOT,
                           check=True, capture_output=True).stdout.decode().split("\0")
    out = {}
    for f in names:
        if f and os.path.isfile(os.path.join(ROOT, f)):
            with open(os.path.join(ROOT, f), "rb") as s:
                out[f] = s.read()
    return out


def sync_tree(rev):
    """Copies the tree into WORK, leaving unchanged files (and their times) alone."""
    wanted = tree_files(rev)
    for f, data in wanted.items():
        dst = os.path.join(WORK, f)
        if os.path.exists(dst):
            with open(dst, "rb") as d:
                if d.read() == data:
                    continue
        os.makedirs(os.path.dirname(dst), exist_ok=True)
        with open(dst, "wb") as d:
            d.write(data)
        if f.endswith((".sh", ".py")):
            os.chmod(dst, 0o755)
    # Files gone from the tree must not linger in the copy (sources are globbed).
    for dirpath, dirnames, filenames in os.walk(WORK):
        if dirpath == WORK and "build" in dirnames:
            dirnames.remove("build")
        for name in filenames:
            rel = os.path.relpath(os.path.join(dirpath, name), WORK)
            if rel not in wanted:
                os.remove(os.path.join(WORK, rel))


def run(cmd, timeout=None, **kw):
    # In a session of its own, so that a timeout or an interruption ends the whole build or
    # suite run, not only its first process.
    p = subprocess.Popen(cmd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, start_new_session=True, **kw)
    try:
        out, _ = p.communicate(timeout=timeout)
        return p.returncode, out.decode(errors="replace")
    except BaseException as e:
        os.killpg(p.pid, signal.SIGKILL)
        out, _ = p.communicate()
        if isinstance(e, subprocess.TimeoutExpired):
            return -1, out.decode(errors="replace") + "\n[timed out]"
        raise


def build(targets, jobs):
    return run(["cmake", "--build", BUILD, "-j", str(jobs), "--target", *targets])


def test(tests, timeout, jobs):
    regex = "^(" + "|".join(re.escape(t) for t in tests) + ")$"
    # The run as a whole gets one timeout more than a suite, so a hung mutant cannot stall it.
    return run(["ctest", "--test-dir", BUILD, "-R", regex, "-j", str(jobs), "--timeout", str(timeout),
                "--stop-on-failure"], timeout=timeout * len(tests) + 30)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--list", default=os.path.join(ROOT, "tools", "mutations.txt"))
    ap.add_argument("--only", help="comma-separated entry numbers (1-based)")
    ap.add_argument("--timeout", type=int, default=180, help="seconds per suite run")
    ap.add_argument("--jobs", type=int, default=2)
    ap.add_argument("--rev", help="run on this commit instead of the working tree")
    ap.add_argument("--work", help="folder of the copy and its build (default build-mutate)")
    ap.add_argument("--check", action="store_true", help="only check that every snippet occurs once")
    args = ap.parse_args()

    global WORK, BUILD
    if args.work:
        WORK = os.path.abspath(args.work)
        BUILD = os.path.join(WORK, "build")
    entries = read_list(args.list)
    for i, e in enumerate(entries, 1):
        e["no"] = i
    chosen = entries
    if args.only:
        keep = {int(x) for x in args.only.split(",")}
        chosen = [e for e in entries if e["no"] in keep]

    if args.check:
        for e in chosen:
            path = os.path.join(ROOT, e["file"])
            n = open(path, encoding="utf-8").read().count(e["old"]) if os.path.exists(path) else 0
            if n != 1 or e["file"] not in SUITES:
                print(f"#{e['no']} (line {e['line']}) {e['file']}: snippet found {n} times")
        print(f"{len(chosen)} entries checked")
        return

    os.makedirs(WORK, exist_ok=True)
    sync_tree(args.rev)
    # An interrupted run may have left objects built from a mutant: rebuild the mutated files.
    for f in SUITES:
        if os.path.exists(os.path.join(WORK, f)):
            os.utime(os.path.join(WORK, f))
    # Without debug information the compiler cache ignores the folder: builds of the tree serve the copy.
    env = dict(os.environ, CCACHE_NOHASHDIR="1")
    os.environ.update(env)
    # Unoptimised and without debug information: each mutant rebuilds and links fast.
    rc, out = run(["cmake", "-S", WORK, "-B", BUILD, "-DCMAKE_BUILD_TYPE=Debug", "-DCMAKE_CXX_FLAGS_DEBUG=-O0"])
    if rc != 0:
        sys.exit("configure failed:\n" + out)
    defined = set(re.findall(r"Test +#\d+: (\S+)", run(["ctest", "--test-dir", BUILD, "-N"])[1]))
    for f in SUITES:
        SUITES[f] = [t for t in SUITES[f] if t in defined]

    bad = []
    for e in chosen:
        if not SUITES.get(e["file"]):
            bad.append((e, "no suites mapped for this file"))
            continue
        path = os.path.join(WORK, e["file"])
        text = open(path, encoding="utf-8").read() if os.path.exists(path) else ""
        if text.count(e["old"]) != 1:
            bad.append((e, f"snippet found {text.count(e['old'])} times"))
    for e, why in bad:
        print(f"  skipped #{e['no']} (line {e['line']}) {e['file']}: {why}")
    chosen = [e for e in chosen if all(e is not b for b, _ in bad)]

    tests = sorted({t for e in chosen for t in SUITES[e["file"]]})
    started = time.time()
    print(f"Building {len(tests)} suites, then {len(chosen)} mutants", flush=True)
    rc, out = build(sorted({target_of(t) for t in tests}), args.jobs)
    if rc != 0:
        sys.exit("the unmutated tree does not build:\n" + out[-4000:])
    rc, out = test(tests, args.timeout, args.jobs)
    if rc != 0:
        sys.exit("the unmutated tree fails its suites:\n" + out[-4000:])

    current = {}  # file -> original text, while mutated

    def restore():
        for f, original in current.items():
            with open(os.path.join(WORK, f), "w", encoding="utf-8") as out_file:
                out_file.write(original)
        current.clear()

    def on_signal(signum, _frame):
        restore()
        sys.exit(128 + signum)

    signal.signal(signal.SIGINT, on_signal)
    signal.signal(signal.SIGTERM, on_signal)

    killed, survived, unviable = [], [], []
    try:
        for e in chosen:
            path = os.path.join(WORK, e["file"])
            original = open(path, encoding="utf-8").read()
            current[e["file"]] = original
            with open(path, "w", encoding="utf-8") as f:
                f.write(original.replace(e["old"], e["new"]))
            suites = SUITES[e["file"]]
            t0 = time.time()
            rc, out = build(sorted({target_of(t) for t in suites}), args.jobs)
            if rc != 0:
                verdict = "not viable"
                unviable.append(e)
            else:
                rc, out = test(suites, args.timeout, args.jobs)
                if rc != 0:
                    verdict = "killed"
                    killed.append(e)
                    failed = re.findall(r"\d+ - (\S+) \(", out)
                    verdict += " by " + ",".join(failed) if failed else ""
                else:
                    verdict = "SURVIVED"
                    survived.append(e)
            restore()
            print(f"#{e['no']:3} {e['kind']:8} {e['file']}:{e['line']} {verdict} ({time.time() - t0:.0f} s)",
                  flush=True)
    finally:
        restore()
        # Put the copy back in step with the originals so the next run starts from a clean build.
        build(sorted({target_of(t) for t in tests}), args.jobs)

    total = len(killed) + len(survived)
    score = 100.0 * len(killed) / total if total else 0.0
    print()
    print(f"Mutation score: {len(killed)}/{total} killed ({score:.1f} %), {len(unviable)} not viable, "
          f"{len(bad)} skipped, {(time.time() - started) / 60:.1f} min")
    for e in survived:
        print(f"  survived #{e['no']} {e['kind']} {e['file']} (tools/mutations.txt:{e['line']}):")
        print(f"      {e['old'].strip()}  ->  {e['new'].strip()}")
    for e in unviable:
        print(f"  not viable #{e['no']} {e['file']} (tools/mutations.txt:{e['line']})")


if __name__ == "__main__":
    main()
