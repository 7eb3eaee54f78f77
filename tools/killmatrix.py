#!/usr/bin/env python3
"""Which test function catches which planted fault.

Usage: tools/killmatrix.py [--mutants tools/mutants.json] [--work /tmp/killmatrix] [--only ID,...]

Exports HEAD into <work>/src, builds it once (Debug, Ninja), then for each planted fault of the
mutants file (the format ../shared/tools/mutate.py reads) replaces "old" by "new", rebuilds, runs
every QtTest executable of the build and every other ctest test, and restores the file. Prints one
line per fault: the id and the test functions (Class::function) or ctest tests that failed, and
writes the whole matrix as JSON to <work>/matrix.json. A fault that does not build is "stillborn".
Where mutate.py gives one score for the suite, this shows which tests earn their lines.
"""
import argparse, json, os, re, subprocess, sys

FAIL = re.compile(r"^FAIL!  : (\w+::\w+)", re.M)


def run(cmd, cwd=None, timeout=None, env=None):
    try:
        p = subprocess.run(cmd, cwd=cwd, capture_output=True, text=True, timeout=timeout, env=env)
        return p.returncode, p.stdout + p.stderr
    except subprocess.TimeoutExpired:
        return -1, "timeout"


def failures(build, qt_tests, others):
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen", LC_ALL="C.UTF-8")
    failed = set()
    for exe in qt_tests:
        rc, out = run([exe], timeout=120, env=env)
        names = set(FAIL.findall(out))
        if rc != 0 and not names:
            names = {os.path.basename(exe) + ":crash-or-timeout"}
        failed |= names
    for name in others:
        rc, _ = run(["ctest", "--test-dir", build, "-R", "^%s$" % name], timeout=300)
        if rc != 0:
            failed.add(name)
    return sorted(failed)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--mutants", default="tools/mutants.json")
    ap.add_argument("--work", default="/tmp/killmatrix")
    ap.add_argument("--only", default="")
    ap.add_argument("--skip", default="$^", help="regex of ctest tests to leave out")
    args = ap.parse_args()
    mutants = json.load(open(args.mutants))
    if args.only:
        mutants = [m for m in mutants if m["id"] in args.only.split(",")]
    src, build = os.path.join(args.work, "src"), os.path.join(args.work, "build")
    # A build left from an earlier run would look newer than the export and keep its last fault.
    subprocess.run("rm -rf %s %s && mkdir -p %s && git archive HEAD | tar -x -C %s" % (src, build, src, src),
                   shell=True, check=True)
    subprocess.run(["cmake", "-S", src, "-B", build, "-G", "Ninja", "-DCMAKE_BUILD_TYPE=Debug"],
                   check=True, capture_output=True)
    subprocess.run(["ninja", "-C", build, "-j2"], check=True, capture_output=True)
    rc, listing = run(["ctest", "--test-dir", build, "-N"])
    names = re.findall(r"Test +#\d+: (\S+)", listing)
    qt_tests = [os.path.join(build, "tests", n) for n in names
                if os.access(os.path.join(build, "tests", n), os.X_OK)]
    others = [n for n in names if os.path.join(build, "tests", n) not in qt_tests
              and not re.search(args.skip, n)]
    base = failures(build, qt_tests, others)
    print("unplanted:", base or "clean", flush=True)
    matrix = {}
    for m in mutants:
        path = os.path.join(src, m["file"])
        text = open(path).read()
        if text.count(m["old"]) != 1:
            matrix[m["id"]] = ["stale"]
        else:
            open(path, "w").write(text.replace(m["old"], m["new"]))
            try:
                rc, _ = run(["ninja", "-C", build, "-j2"], timeout=600)
                matrix[m["id"]] = ["stillborn"] if rc else failures(build, qt_tests, others)
            finally:
                open(path, "w").write(text)
        print(m["id"], " ".join(matrix[m["id"]]) or "SURVIVED", flush=True)
    json.dump(matrix, open(os.path.join(args.work, "matrix.json"), "w"), indent=1)
    survived = [k for k, v in matrix.items() if not v]
    valid = [k for k, v in matrix.items() if v not in (["stale"], ["stillborn"])]
    print("killed %d of %d; survived: %s" % (len(valid) - len(survived), len(valid), " ".join(survived)))


if __name__ == "__main__":
    main()
