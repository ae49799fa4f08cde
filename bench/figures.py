#!/usr/bin/env python3
"""Measures B1-B10 for us and for a peer side by side, in one run, and prints one table.

Usage: bench/figures.py BUILD_DIR   (under an X server: bench/run.sh starts Xvfb)
BENCH_RUNS (default 5) sets the runs of the short figures, BENCH_LONG_RUNS (default 3) those
of the 30-second ones, BENCH_SECONDS (default 30) their length. Figures are medians.
"""
import math
import os
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time

RUNS = max(1, int(os.environ.get("BENCH_RUNS", "5")))
LONG_RUNS = max(1, int(os.environ.get("BENCH_LONG_RUNS", "3")))
SECONDS = max(1.0, float(os.environ.get("BENCH_SECONDS", "30")))
PAUSED = 20  # seconds of a paused film
ENTRIES = 32767
RESUME_AT = 5
# The peer plays through the sound outputs ours tries, in the same order (see sound_server).
AO = ["--ao=pipewire,pulse,alsa,jack", "--audio-fallback-to-null=yes"]
MPV = ["mpv", "--no-config", "--vo=null"] + AO


def log(text):
    print(text, file=sys.stderr, flush=True)


def run_measured(cmd, cwd=None, env=None):
    """Wall seconds, CPU seconds (user+sys) and peak memory (MiB) of one process, its output, and
    the seconds until its first line of output."""
    start = time.perf_counter()
    p = subprocess.Popen(cmd, cwd=cwd, env=env, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    out = p.stdout.readline()
    first_line = time.perf_counter() - start
    out += p.stdout.read()
    _, status, ru = os.wait4(p.pid, 0)
    wall = time.perf_counter() - start
    p.returncode = os.waitstatus_to_exitcode(status)
    if p.returncode != 0:
        raise RuntimeError("%s exited with %d" % (" ".join(cmd), p.returncode))
    return wall, ru.ru_utime + ru.ru_stime, ru.ru_maxrss / 1024.0, out.decode(errors="replace"), first_line


def driver_ms(cmd, env):
    """The time a driver run reports for its own measured step, in ms."""
    out = run_measured(cmd, env=env)[3]
    return float(out.split()[0])


def tasks(pid):
    try:
        return os.listdir("/proc/%d/task" % pid)
    except OSError:
        return []


def cpu_and_switches(pid):
    """Run time (ns) and context switches of each thread of a process, by thread id."""
    readings = {}
    for t in tasks(pid):
        try:
            with open("/proc/%d/task/%s/schedstat" % (pid, t)) as f:
                ns = int(f.read().split()[0])
            switches = 0
            with open("/proc/%d/task/%s/status" % (pid, t)) as f:
                for line in f:
                    if line.startswith(("voluntary_ctxt_switches", "nonvoluntary_ctxt_switches")):
                        switches += int(line.split()[1])
            readings[t] = (ns, switches)
        except OSError:
            pass  # a thread that ended meanwhile
    return readings


def grown(before, after):
    """Run time and switches added between two readings, over the threads alive at the second.
    A thread that ended in between is left out: its last figures cannot be read, and counting
    it as zero would subtract its whole life (Qt's paint helper threads end 30 s after start)."""
    ns = switches = 0
    for t, (n, s) in after.items():
        n0, s0 = before.get(t, (0, 0))
        ns, switches = ns + n - n0, switches + s - s0
    return ns, switches


def peak_mib(pid):
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith("VmHWM:"):
                return int(line.split()[1]) / 1024.0
    return float("nan")


def start(cmd, cwd=None, env=None):
    return subprocess.Popen(cmd, cwd=cwd, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                            start_new_session=True)


def stop(p):
    # SIGTERM is the program's closing road (saved, ended cleanly): a kill would count as
    # a crash, and the next start would skip the entry that was playing.
    if p.poll() is None:
        os.killpg(p.pid, signal.SIGTERM)
        try:
            p.wait(timeout=10)
        except subprocess.TimeoutExpired:
            os.killpg(p.pid, signal.SIGKILL)
    p.wait()


def alive(p, name):
    if p.poll() is not None:
        raise RuntimeError("%s ended early (exit %d)" % (name, p.returncode))


def side_by_side(ours_cmd, ours_cwd, env, peer_cmd, warm, window):
    """Starts both at once, lets them settle, then samples both over the same window.
    Returns ((cpu share %, wakeups/s, peak MiB) for us, the same for the peer)."""
    ours = start(ours_cmd, ours_cwd, env)
    peer = start(peer_cmd)
    try:
        time.sleep(warm)
        alive(ours, "velloran")
        alive(peer, "mpv")
        a0, b0 = cpu_and_switches(ours.pid), cpu_and_switches(peer.pid)
        if window:
            time.sleep(window)
        a1, b1 = cpu_and_switches(ours.pid), cpu_and_switches(peer.pid)
        alive(ours, "velloran")
        alive(peer, "mpv")
        span = max(window, 1e-9)
        fig = lambda s0, s1, pid: (grown(s0, s1)[0] / 1e9 / span * 100, grown(s0, s1)[1] / span, peak_mib(pid))
        return fig(a0, a1, ours.pid), fig(b0, b1, peer.pid)
    finally:
        stop(ours)
        stop(peer)


def window_mapped(cmd, cwd, env, title):
    """Seconds from the start of cmd until its window whose name holds title is mapped, as
    another X client sees it (polled, a few ms apart); None when it never is."""
    began = time.perf_counter()
    p = start(cmd, cwd, env)
    try:
        while time.perf_counter() - began < 10:
            tree = subprocess.run(["xwininfo", "-root", "-children"], capture_output=True, text=True).stdout
            ids = [line.split()[0] for line in tree.splitlines() if title in line]
            if ids and "IsViewable" in subprocess.run(["xwininfo", "-id", ids[0]], capture_output=True,
                                                      text=True).stdout:
                return time.perf_counter() - began
        return None
    finally:
        stop(p)


def alone(cmd, warm, window):
    """CPU share (% of a core) of one process over window seconds, after warm seconds."""
    p = start(cmd)
    try:
        time.sleep(warm)
        alive(p, cmd[0])
        a = cpu_and_switches(p.pid)
        time.sleep(window)
        b = cpu_and_switches(p.pid)
        alive(p, cmd[0])
        return grown(a, b)[0] / 1e9 / window * 100
    finally:
        stop(p)


def med(values):
    return statistics.median(values)


def fitted_exponent(sizes, times):
    xs = [math.log(n) for n in sizes]
    ys = [math.log(t) for t in times]
    mx, my = sum(xs) / len(xs), sum(ys) / len(ys)
    return sum((x - mx) * (y - my) for x, y in zip(xs, ys)) / sum((x - mx) ** 2 for x in xs)


def make_tree(root, folders, files_per_folder=16):
    """Albums of 49 discs each (2 000 folders: 40 albums), every folder holding mp3 names."""
    made = 0
    album = 0
    while made < folders:
        top = os.path.join(root, "Album %d" % album)
        dirs = [top] + [os.path.join(top, "Disc %d" % c) for c in range(49)]
        for d in dirs[: folders - made]:
            os.makedirs(d, exist_ok=True)
            for i in range(files_per_folder):
                open(os.path.join(d, "track %02d.mp3" % i), "wb").close()
            made += 1
        album += 1


def a11y_probe(driver, cwd, seconds):
    """Under its own session bus (dbus-run-session): starts the film driver with accessibility
    on and prints the median and largest time (ms) of single accessibility calls to it while
    the film plays."""
    import pyatspi
    desktop = pyatspi.Registry.getDesktop(0)  # starts the accessibility bus before the program
    env = dict(os.environ, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
    p = start([driver, "film", str(seconds)], cwd, env)
    try:
        time.sleep(5)
        alive(p, "velloran")
        app = next(a for a in desktop if a is not None and a.name == "velloran")
        times = []
        end = time.monotonic() + seconds - 7
        while time.monotonic() < end and len(times) < 2000:
            for child in app:
                for call in (lambda: child.name, lambda: child.getRole(), lambda: child.childCount):
                    t = time.perf_counter()
                    call()
                    times.append((time.perf_counter() - t) * 1e3)
        print("%.2f %.2f %d" % (med(times), max(times), len(times)))
    finally:
        stop(p)


def sound_server(work):
    """Starts a PulseAudio server of the run's own, with a null sink, and points every process
    started after it there (ours and the peers alike). Without it ours plays through whatever
    output the machine has while a peer with ao=null plays through none, and a server that a
    client starts on demand ends itself after 20 idle seconds, in the middle of a figure.
    Returns the server's process, or None (pulseaudio missing: both fall back alike)."""
    runtime = os.path.join(work, "runtime")
    os.makedirs(runtime, mode=0o700)
    conf = os.path.join(work, "client.conf")
    with open(conf, "w") as f:
        f.write("autospawn = no\n")
    os.environ["XDG_RUNTIME_DIR"] = runtime
    os.environ["PULSE_CLIENTCONFIG"] = conf
    if not shutil.which("pulseaudio"):
        return None
    p = start(["pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--system=false",
               "--load=module-native-protocol-unix", "--load=module-null-sink"])
    for _ in range(100):
        if subprocess.run(["pactl", "info"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode == 0:
            break
        time.sleep(0.05)
    return p


def main():
    if len(sys.argv) == 5 and sys.argv[1] == "a11y":
        return a11y_probe(sys.argv[2], sys.argv[3], float(sys.argv[4]))
    build = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build")
    driver = os.path.join(build, "bench", "bench_figures")
    program = os.path.join(build, "velloran")
    work = tempfile.mkdtemp(prefix="velloran-bench-")
    server = sound_server(work)
    env = dict(os.environ)
    env["XDG_CONFIG_HOME"] = os.path.join(work, "config")
    env["XDG_STATE_HOME"] = os.path.join(work, "state")
    env.pop("QT_QPA_PLATFORM", None)
    rows = []
    try:
        song = os.path.join(work, "song.mp3")
        subprocess.run(["ffmpeg", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
                        "sine=frequency=440:duration=%d" % int(SECONDS + 30), "-c:a", "libmp3lame",
                        "-q:a", "4", song], check=True)

        def session(name, entries, at):
            d = os.path.join(work, name)
            os.makedirs(d)
            if entries:
                subprocess.run([driver, "session", d, song, str(entries), str(at)], env=env, check=True,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            return d

        one, big = session("one", 1, RESUME_AT), session("big", ENTRIES, RESUME_AT)
        playing, listed, idle = session("playing", 1, 0), session("listed", ENTRIES, 0), session("idle", 0, 0)

        # B1, B2: start-up to resumed playback, alternating us (1 and 32 767 entries) and the peer.
        # Both on the null output, with no server to reach: ours ends when the position as heard
        # passes the mark, the peer when its decoder does, so a sink's latency (the null sink's
        # is up to 2 s, varying from run to run) would count for ours alone.
        # Half a second a run: three times the runs, against the noise of a shared machine.
        log("B1/B2: start-up to resumed playback, %d runs" % (3 * RUNS))
        no_server = {"PULSE_SERVER": "unix:" + os.path.join(work, "no-server")}
        quiet, quiet_peer = dict(env, **no_server), dict(os.environ, **no_server)
        b1, b2, peer1 = [], [], []
        for _ in range(3 * RUNS):
            b1.append(run_measured([driver, "startup", str(RESUME_AT)], one, quiet))
            peer1.append(run_measured(MPV + ["--start=%d" % RESUME_AT, "--length=0.1", song], env=quiet_peer))
            b2.append(run_measured([driver, "startup", str(RESUME_AT)], big, quiet))
        w = lambda runs, i: med([r[i] for r in runs])
        rows.append(("B1", "start-up to resumed playback, 1 entry (wall s)", w(b1, 0), w(peer1, 0), 1.10))
        rows.append(("", "  same: CPU s", w(b1, 1), w(peer1, 1), None))
        rows.append(("", "  same: peak MiB", w(b1, 2), w(peer1, 2), None))
        # To the driver's line that playback is reached: the exit's save of the big session is B6's.
        rows.append(("B2", "start-up, 32 767 entries, to playback (s) vs our B1 the same way", w(b2, 4), w(b1, 4),
                     1.10))
        rows.append(("", "  same: to the exit (wall s) vs our B1", w(b2, 0), w(b1, 0), None))
        rows.append(("", "  same: CPU s vs our B1", w(b2, 1), w(b1, 1), None))
        # The main window on screen, from outside: sessions of their own, as each run saves.
        log("B2: main window mapped, %d runs" % RUNS)
        one_w, big_w = session("one-w", 1, RESUME_AT), session("big-w", ENTRIES, RESUME_AT)
        maps1, maps2 = [], []
        for _ in range(RUNS):
            maps1.append(window_mapped([program], one_w, quiet, "Brastomere"))
            maps2.append(window_mapped([program], big_w, quiet, "Brastomere"))
        if None in maps1 + maps2:
            raise RuntimeError("the main window was never mapped")
        rows.append(("", "  same: to the main window mapped, seen from outside (s) vs 1 entry", med(maps2),
                     med(maps1), 1.10))

        # B3: CPU while playing, both processes side by side over the same window.
        log("B3: CPU while playing, %d x %.0f s" % (LONG_RUNS, SECONDS))
        b3 = [side_by_side([program], playing, env, MPV + [song], 3, SECONDS) for _ in range(LONG_RUNS)]
        rows.append(("B3", "CPU while playing an mp3 (%% of a core, %.0f s)" % SECONDS,
                     med([o[0] for o, _ in b3]), med([p[0] for _, p in b3]), 1.05))

        # B4: peak memory with the full playlist, playing.
        log("B4: peak memory, %d runs" % LONG_RUNS)
        m3u = os.path.join(work, "list.m3u")
        with open(m3u, "w") as f:
            f.write(song + "\n")
            for i in range(1, ENTRIES):
                f.write("/music/album %d/Disc %d/track %d.mp3\n" % (i % 41, i % 53, i))
        b4 = [side_by_side([program], listed, env, MPV + ["--playlist=" + m3u], 5, 0) for _ in range(LONG_RUNS)]
        rows.append(("B4", "peak memory, 32 767 entries, playing (MiB)",
                     med([o[2] for o, _ in b4]), med([p[2] for _, p in b4]), 1.20))

        # B5, B7: scan + Add over trees of 4 000 ... 32 000 files, against a standalone find.
        log("B5/B7: scan + Add, %d runs per size" % RUNS)
        sizes = [4000, 8000, 16000, 32000]
        trees = {}
        for n in sizes:
            trees[n] = os.path.join(work, "tree%d" % n)
            make_tree(trees[n], n // 16)
        scans = {n: [] for n in sizes}
        finds, writes = [], []
        for n in sizes:  # warm the caches for both sides
            subprocess.run(["find", trees[n], "-name", "*.mp3"], stdout=subprocess.DEVNULL, check=True)
        for _ in range(RUNS):
            for n in sizes:
                out = run_measured([driver, "scan", trees[n]], env=env)[3].split()
                scans[n].append(float(out[0]))
                if n == 32000:
                    writes.append(float(out[6]))
            finds.append(run_measured(["find", trees[32000], "-name", "*.mp3"])[0] * 1e3)
        rows.append(("B5", "scan + Add All, 2 000 folders / 32 000 files (ms)", med(scans[32000]), med(finds), 1.5))
        rows.append(("B5w", "  then the recovery copy's first write of that list, the window waiting (ms)",
                     med(writes), None, None))

        # B6: SaveState of the full playlist against dd writing as many bytes (and syncing).
        log("B6: SaveState, %d runs" % RUNS)
        saves, dds = [], []
        target = os.path.join(work, "dd.out")
        for _ in range(RUNS):
            out = run_measured([driver, "save", str(ENTRIES)], env=env)[3].split()
            saves.append(float(out[0]))
            nbytes = int(out[2])
            dds.append(run_measured(["dd", "if=/dev/zero", "of=" + target, "bs=64K", "count=%d" % nbytes,
                                     "iflag=count_bytes", "conv=fsync", "status=none"])[0] * 1e3)
        rows.append(("B6", "SaveState, 32 767 entries (ms) vs dd of %d bytes" % nbytes, med(saves), med(dds), 1.5))

        exponent = fitted_exponent(sizes, [med(scans[n]) for n in sizes])
        nlogn = fitted_exponent(sizes, [n * math.log(n) for n in sizes])
        rows.append(("B7", "growth of B5, fitted exponent 4k..32k files (peer: n log n)", exponent, nlogn, None))

        # B8: text search against grep -c over the same names.
        log("B8: search, %d runs" % RUNS)
        names = os.path.join(work, "names.txt")
        subprocess.run([driver, "names", str(ENTRIES), names], env=env, check=True, stdout=subprocess.DEVNULL)
        needle = "track 2024"  # a handful of hits, as a person searches
        searches, greps = [], []
        for _ in range(RUNS):
            searches.append(driver_ms([driver, "search", str(ENTRIES), needle], env))
            greps.append(run_measured(["grep", "-c", "-i", "-F", needle, names])[0] * 1e3)
        rows.append(("B8", "search over 32 767 entries (ms) vs grep -c", med(searches), med(greps), 8.0))

        # B9: idle, nothing playing, side by side with an idle mpv.
        log("B9: idle, %d x %.0f s" % (LONG_RUNS, SECONDS))
        b9 = [side_by_side([program], idle, env, ["mpv", "--idle", "--no-config"], 3, SECONDS)
              for _ in range(LONG_RUNS)]
        idle_cpu, peer_cpu = med([o[0] for o, _ in b9]), med([p[0] for _, p in b9])
        idle_wakes, peer_wakes = med([o[1] for o, _ in b9]), med([p[1] for _, p in b9])

        # B10: a 720p film in the video window against mpv with the same software OpenGL
        # renderer, one after the other; our driver reports its CPU and the gaps between ticks.
        log("B10: 720p film, %d x %.0f s" % (LONG_RUNS, SECONDS))
        film = os.path.join(work, "film.mkv")
        subprocess.run(["ffmpeg", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
                        "testsrc2=size=1280x720:rate=25:duration=%d" % int(SECONDS + 30), "-f", "lavfi", "-i",
                        "sine=frequency=440:duration=%d" % int(SECONDS + 30), "-c:v", "libx264", "-preset",
                        "veryfast", "-pix_fmt", "yuv420p", "-c:a", "aac", film], check=True)
        ours10, peer10 = [], []
        for run in range(LONG_RUNS):
            # A folder of its own each run: the run before left its one entry played.
            films = os.path.join(work, "films%d" % run)
            os.makedirs(films)
            subprocess.run([driver, "session", films, film, "1", "0"], env=env, check=True, stdout=subprocess.DEVNULL)
            ours10.append([float(x) for x in run_measured([driver, "film", str(SECONDS), str(PAUSED)], films, env)[3].split()])
            peer10.append(alone(["mpv", "--no-config", "--vo=gpu", "--gpu-sw=yes"] + AO + [film], 3, SECONDS))
        film_cpu, film_peer = med([o[0] for o in ours10]), med(peer10)
        gap_max, gap_med = med([o[1] for o in ours10]), med([o[2] for o in ours10])
        paused_cpu = med([o[3] for o in ours10])
        paused_peer = alone(["mpv", "--no-config", "--vo=gpu", "--gpu-sw=yes", "--pause"] + AO + [film], 3, PAUSED)
        # The answer to accessibility calls (AT-SPI) while the film plays, in a run of its own.
        films = os.path.join(work, "films-a11y")
        os.makedirs(films)
        subprocess.run([driver, "session", films, film, "1", "0"], env=env, check=True, stdout=subprocess.DEVNULL)
        probe = subprocess.run(["dbus-run-session", "--", "/usr/bin/python3", os.path.abspath(__file__), "a11y", driver,
                                films, "20"], env=env, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        # The figures are the last line: the accessibility libraries may print before it.
        lines = probe.stdout.strip().splitlines() if probe.returncode == 0 else []
        try:
            a11y = [float(x) for x in lines[-1].split()] if lines else None
        except ValueError:
            a11y = None
        load = os.getloadavg()[0]
    finally:
        if server:
            stop(server)
        shutil.rmtree(work, ignore_errors=True)

    print("| # | figure | ours | peer | ratio | target | met |")
    print("|---|---|---:|---:|---:|---:|---|")
    for key, name, ours, peer, target in rows:
        if key == "B5w":
            print("| | %s | %.1f | | | <= 100 | %s |" % (name, ours, "yes" if ours <= 100 else "no"))
            continue
        if key == "B7":
            print("| B7 | %s | %.3f | %.3f | | exponent <= 1.05 | %s |" % (name, ours, peer, "yes" if ours <= 1.05 else "no"))
            continue
        ratio = ours / peer if peer else float("inf")
        goal = "<= %.2fx" % target if target else ""
        met = ("yes" if ratio <= target else "no") if target else ""
        print("| %s | %s | %.3f | %.3f | %.2f | %s | %s |" % (key, name, ours, peer, ratio, goal, met))
    print("| B9 | idle CPU (%% of a core, %.0f s) | %.3f | %.3f | %.2f | <= 0.02 %% | %s |"
          % (SECONDS, idle_cpu, peer_cpu, idle_cpu / peer_cpu if peer_cpu else float("inf"),
             "yes" if idle_cpu <= 0.02 else "no"))
    print("| | idle wakeups per second | %.1f | %.1f | %.2f | <= 2 | %s |"
          % (idle_wakes, peer_wakes, idle_wakes / peer_wakes if peer_wakes else float("inf"),
             "yes" if idle_wakes <= 2 else "no"))
    print("| B10 | CPU, 720p film in the video window vs mpv --vo=gpu --gpu-sw=yes (%% of a core, %.0f s) | %.3f | %.3f"
          " | %.2f | <= 1.10x | %s |" % (SECONDS, film_cpu, film_peer, film_cpu / film_peer if film_peer else float("inf"),
                                        "yes" if film_peer and film_cpu / film_peer <= 1.1 else "no"))
    print("| | largest / median gap between 60 ms ticks, film playing (ms) | %.1f | %.1f | | largest <= 100 | %s |"
          % (gap_max, gap_med, "yes" if gap_max <= 100 else "no"))
    print("| | CPU, the same film paused (%% of a core, %d s) | %.3f | %.3f | | <= 1 %% | %s |"
          % (PAUSED, paused_cpu, paused_peer, "yes" if paused_cpu <= 1 else "no"))
    if a11y:
        print("| | accessibility call (AT-SPI) while the film plays, median / largest of %d (ms) | %.2f | %.1f | | median < 5 | %s |"
              % (a11y[2], a11y[0], a11y[1], "yes" if a11y[0] < 5 else "no"))
    else:
        print("| | accessibility call while the film plays | not measured (no AT-SPI bus) | | | | |")
    print("(load average at the film figures: %.2f)" % load)
    print("(medians: %d runs, %d for the %.0f s figures; ratio = ours / peer)" % (RUNS, LONG_RUNS, SECONDS))


if __name__ == "__main__":
    main()
