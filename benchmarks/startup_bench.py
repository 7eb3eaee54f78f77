#!/usr/bin/env python3
"""Start-up time and memory of vorlant-settings beside a bare Qt Widgets program.

Usage: startup_bench.py --real PATH --bare PATH [--runs N] [--settle S] [--catalogue FILE]

Each run starts one program headless and times it from just before the exec to the moment its
catalogue request reaches the local HTTP server that this script runs in a thread (both clocks
are this process's monotonic clock). At that moment the CPU time the process has used and its
peak resident memory (VmHWM) so far are read; only then does the server answer, with the sample
catalogue. Once the program has had --settle seconds to take the reply in, VmHWM is read again
and the program is stopped.

Three programs take turns, so load from elsewhere on the machine falls on all alike: the bare
program (one empty dialog, the server read from the same store, one GET), the bare program with
one line of text in its dialog (the first text costs a font database and a font), and
vorlant-settings. Figures are medians. The targets: up to the request, vorlant-settings within
1.05x of the bare program's time and 1.15x of its peak memory.

The real program always uses the machine-wide store /etc/xdg/vorlant/Vorlant.conf, so this script
refuses to run unless /etc/xdg is a tmpfs of its own mount namespace (scripts/bench-startup.sh
sets that up). Every run gets a fresh store there and a fresh temporary home.
"""
import argparse
import http.server
import os
import queue
import signal
import statistics
import subprocess
import sys
import tempfile
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
DEFAULT_CATALOGUE = os.path.join(HERE, "..", "tools", "samplepool", "catalogue.json")
CATALOGUE_PATH = "/api/2.3/pool/config"
STORE_DIR = "/etc/xdg"
TIME_TARGET = 1.05
MEMORY_TARGET = 1.15


class Recorder(http.server.ThreadingHTTPServer):
    """Serves the catalogue and reports each request's arrival on a queue.

    Each answer waits until the driver sets the event that came with the arrival, so that what
    the driver reads from the process at arrival is not yet disturbed by the reply."""

    daemon_threads = True

    def __init__(self, payload):
        super().__init__(("127.0.0.1", 0), RecordingHandler)
        self.payload = payload
        self.arrivals = queue.Queue()
        self.answered = queue.Queue()


class RecordingHandler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def do_GET(self):
        arrived = time.monotonic()
        release = threading.Event()
        self.server.arrivals.put((arrived, self.path, release))
        release.wait(timeout=30)
        if self.path.split("?")[0] == CATALOGUE_PATH:
            status, payload = 200, self.server.payload
        else:
            status, payload = 404, b'{"error":"not found"}'
        self.send_response(status)
        self.send_header("Content-Type", "application/json")
        self.send_header("Content-Length", str(len(payload)))
        self.end_headers()
        self.wfile.write(payload)
        self.wfile.flush()
        self.server.answered.put(time.monotonic())

    def log_message(self, fmt, *args):
        pass


def store_is_private():
    """True when /etc/xdg is a tmpfs mounted in this mount namespace."""
    with open("/proc/self/mountinfo", encoding="utf-8") as f:
        mounts = [line.split() for line in f]
    # Fields: id parent major:minor root mount-point options [optional...] - fstype source ...
    xdg = [m for m in mounts if m[4] == STORE_DIR]
    return bool(xdg) and xdg[-1][xdg[-1].index("-") + 1] == "tmpfs"


def status_kib(pid, field):
    with open("/proc/%d/status" % pid, encoding="utf-8") as f:
        for line in f:
            if line.startswith(field + ":"):
                return int(line.split()[1])
    raise RuntimeError("no %s for process %d" % (field, pid))


def cpu_ms(pid):
    """CPU time of all the process's live threads, from the scheduler's nanosecond counters."""
    total = 0
    for task in os.listdir("/proc/%d/task" % pid):
        try:
            with open("/proc/%d/task/%s/schedstat" % (pid, task), encoding="utf-8") as f:
                total += int(f.read().split()[0])
        except FileNotFoundError:
            pass
    return total / 1e6


def fresh_environment(home):
    env = {k: v for k, v in os.environ.items() if not k.startswith(("XDG_", "QT_"))}
    env.update(HOME=home, QT_QPA_PLATFORM="offscreen")
    for name, sub in (("XDG_CONFIG_HOME", ".config"), ("XDG_DATA_HOME", ".local/share"),
                      ("XDG_CACHE_HOME", ".cache"), ("XDG_RUNTIME_DIR", "runtime")):
        path = os.path.join(home, sub)
        os.makedirs(path, mode=0o700, exist_ok=True)
        env[name] = path
    return env


def drain(q):
    while not q.empty():
        q.get_nowait()


def stop(proc):
    proc.send_signal(signal.SIGTERM)
    try:
        proc.wait(timeout=5)
    except subprocess.TimeoutExpired:
        proc.kill()
        proc.wait()


def measure_once(server, command, settle, timeout):
    drain(server.arrivals)
    drain(server.answered)
    with tempfile.TemporaryDirectory(prefix="vorlant-startup-") as home:
        env = fresh_environment(home)
        started = time.monotonic()
        proc = subprocess.Popen(command, env=env, stdin=subprocess.DEVNULL,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            arrived, path, release = server.arrivals.get(timeout=timeout)
            cpu = cpu_ms(proc.pid)
            early_peak = status_kib(proc.pid, "VmHWM")
            release.set()
            server.answered.get(timeout=timeout)
            time.sleep(settle)
            if proc.poll() is not None:
                raise RuntimeError("%s ended early (exit %s)" % (command[0], proc.returncode))
            peak = status_kib(proc.pid, "VmHWM")
        except queue.Empty:
            raise RuntimeError("%s sent no request within %ss" % (command[0], timeout))
        finally:
            if proc.poll() is None:
                stop(proc)
        if path.split("?")[0] != CATALOGUE_PATH:
            raise RuntimeError("%s asked for %s" % (command[0], path))
        return {"ms": (arrived - started) * 1000.0, "cpu": cpu, "early_kib": early_peak,
                "kib": peak}


def write_store(port):
    os.makedirs(os.path.join(STORE_DIR, "vorlant"), exist_ok=True)
    with open(os.path.join(STORE_DIR, "vorlant", "Vorlant.conf"), "w", encoding="utf-8") as f:
        f.write("[General]\nserver=http://127.0.0.1:%d\n" % port)


def summary(samples):
    return {key: statistics.median(s[key] for s in samples) for key in samples[0]}


COLUMNS = (("ms", "start->request", "ms", 1.0), ("cpu", "CPU by then", "ms", 1.0),
           ("early_kib", "VmHWM at request", "MiB", 1024.0),
           ("kib", "VmHWM after reply", "MiB", 1024.0))


def row(label, cells):
    return "%-19s" % label + "".join("%18s" % c for c in cells)


def print_report(results, runs):
    medians = {name: summary(samples) for name, samples in results.items()}
    print(row("", [c[1] for c in COLUMNS]))
    print(row("", [c[2] + ", median" for c in COLUMNS]))
    for name, samples in results.items():
        print(row(name, ["%.1f" % (medians[name][c[0]] / c[3]) for c in COLUMNS]))
        print(row("  (min..max)", ["%.1f..%.1f" % (min(s[c[0]] for s in samples) / c[3],
                                                  max(s[c[0]] for s in samples) / c[3])
                                   for c in COLUMNS]))
    real = medians[REAL]
    ratios = {}
    for name, label in ((BARE, "ratio to bare"), (BARE_TEXT, "ratio to bare+text")):
        ratios[name] = {c[0]: real[c[0]] / medians[name][c[0]] for c in COLUMNS}
        print(row(label, ["%.2fx" % ratios[name][c[0]] for c in COLUMNS]))
    print()
    time_ok = ratios[BARE]["ms"] <= TIME_TARGET
    memory_ok = ratios[BARE]["early_kib"] <= MEMORY_TARGET
    print("Targets: %s within %.2fx of the %s on start->request time and within %.2fx on"
          % (REAL, TIME_TARGET, BARE, MEMORY_TARGET))
    print("peak memory up to the request (VmHWM at request). Medians of %d runs each; the"
          % runs)
    print("programs take turns.")
    print("Time: %s. Memory: %s." % ("met" if time_ok else "MISSED",
                                     "met" if memory_ok else "MISSED"))
    print("Wall-clock time follows the machine's load (see the load averages above); the CPU")
    print("time by the request's arrival is the steadier measure of the work each one does.")


REAL = "vorlant-settings"
BARE = "bare Qt program"
BARE_TEXT = "bare + one label"  # shown for comparison only


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--real", required=True)
    parser.add_argument("--bare", required=True)
    parser.add_argument("--runs", type=int, default=10)
    parser.add_argument("--settle", type=float, default=0.5)
    parser.add_argument("--timeout", type=float, default=30.0)
    parser.add_argument("--catalogue", default=DEFAULT_CATALOGUE)
    args = parser.parse_args()

    if not store_is_private():
        sys.exit("startup_bench: %s is not a private tmpfs here; run scripts/bench-startup.sh"
                 % STORE_DIR)
    with open(args.catalogue, "rb") as f:
        server = Recorder(f.read())
    threading.Thread(target=server.serve_forever, daemon=True).start()
    commands = {BARE: [args.bare], BARE_TEXT: [args.bare, "--text"], REAL: [args.real]}

    print("load average before: %.2f %.2f %.2f" % os.getloadavg())
    results = {name: [] for name in commands}
    names = list(commands)
    for i in range(args.runs):
        # Each run starts with another program, so none always follows the same one.
        for name in names[i % len(names):] + names[:i % len(names)]:
            write_store(server.server_address[1])
            results[name].append(measure_once(server, commands[name], args.settle, args.timeout))
    print("load average after:  %.2f %.2f %.2f" % os.getloadavg())
    print()
    print_report(results, args.runs)
    server.shutdown()


if __name__ == "__main__":
    main()
