"""Runs the built vorlant-settings as a user would start it, against a throwaway store and home.

The program always uses the machine-wide store (/etc/xdg/Vorlant.conf on Linux), so every test
run happens inside a private mount namespace: each test mounts a fresh tmpfs over /etc/xdg, and
the namespace's /etc/hosts maps the test host names to this machine. The machine's own store
and hosts file are never touched, and every process a test starts is stopped by that test.

Usage: <test module> --app PATH --storedump PATH [--artifacts DIR] [unittest arguments]
"""
import argparse
import json
import os
import re
import select
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE_DIR = os.path.normpath(os.path.join(HERE, "..", ".."))
SERVE_PY = os.path.join(SOURCE_DIR, "tools", "samplepool", "serve.py")
SAMPLE_CATALOGUE = os.path.join(SOURCE_DIR, "tools", "samplepool", "catalogue.json")
STORE_FIXTURES = os.path.join(SOURCE_DIR, "tests", "data", "stores")
STYLE_SHEET = os.path.join(SOURCE_DIR, "resources", "basestyle.qss")
ASAN_SUPPRESSIONS = os.path.join(SOURCE_DIR, "tests", "sanitizers", "asan.supp")

STORE_DIR = "/etc/xdg"
STORE_PATH = os.path.join(STORE_DIR, "Vorlant.conf")
CATALOGUE_PATH = "/api/2.3/pool/config"

# Reached through a name, since Qt never sends a loopback literal through a proxy.
POOL_HOST = "pool.vorlant.test"
# The built-in server and the servers of old fixture stores: should the program ever ask one
# of them, the request stays on this machine and is refused.
GUARDED_HOSTS = ["api.vorlant.net", "one.example", "two.example"]

PROXY_EGRESS = "127.0.0.2"

# Generous, for the sanitizer build on a busy 2-core machine; normally a second or two.
DEADLINE = 20.0

_NAMESPACE_MARK = "VORLANT_E2E_OUTER_MOUNT_NS"


class Config:
    app = None
    storedump = None
    artifacts = None


def _mount_namespace():
    return os.readlink("/proc/self/ns/mnt")


def _fail(message):
    sys.stderr.write("FAIL: " + message + "\n")
    sys.exit(1)


def _enter_private_namespace():
    """Re-runs this script inside a private mount namespace; never returns."""
    if os.geteuid() != 0:
        _fail("the end-to-end tests need root, for a private mount namespace over /etc/xdg")
    probe = subprocess.run(["unshare", "--mount", "--propagation", "private", "true"],
                           stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    if probe.returncode != 0:
        _fail("cannot create a private mount namespace (unshare): " + probe.stderr.strip())
    env = dict(os.environ, **{_NAMESPACE_MARK: _mount_namespace()})
    python = [sys.executable] + (["-B"] if sys.flags.dont_write_bytecode else [])
    argv = (["unshare", "--mount", "--propagation", "private", "--"] + python
            + [os.path.abspath(sys.argv[0])] + sys.argv[1:])
    os.execvpe("unshare", argv, env)


def assert_private_namespace():
    outer = os.environ.get(_NAMESPACE_MARK)
    if not outer or outer == _mount_namespace():
        raise RuntimeError("refusing to touch /etc: not inside a private mount namespace")


def _map_test_hosts(workdir):
    with open("/etc/hosts", encoding="utf-8") as f:
        hosts = f.read()
    if not hosts.endswith("\n"):
        hosts += "\n"
    for name in [POOL_HOST] + GUARDED_HOSTS:
        hosts += "127.0.0.1 %s\n" % name
    path = os.path.join(workdir, "hosts")
    with open(path, "w", encoding="utf-8") as f:
        f.write(hosts)
    subprocess.run(["mount", "--bind", path, "/etc/hosts"], check=True)


def main():
    parser = argparse.ArgumentParser(add_help=False)
    parser.add_argument("--app", required=True)
    parser.add_argument("--storedump", required=True)
    parser.add_argument("--artifacts")
    args, rest = parser.parse_known_args()
    if _NAMESPACE_MARK not in os.environ:
        _enter_private_namespace()
    assert_private_namespace()
    Config.app = os.path.abspath(args.app)
    Config.storedump = os.path.abspath(args.storedump)
    Config.artifacts = os.path.abspath(args.artifacts or tempfile.mkdtemp(prefix="vorlant-e2e-"))
    os.makedirs(Config.artifacts, exist_ok=True)
    workdir = tempfile.mkdtemp(prefix="vorlant-e2e-ns-")
    try:
        _map_test_hosts(workdir)
        program = unittest.main(module="__main__", argv=[sys.argv[0]] + rest, exit=False,
                                verbosity=2)
    finally:
        shutil.rmtree(workdir, ignore_errors=True)
    result = program.result
    if result.testsRun == 0:
        _fail("no test ran")
    sys.exit(0 if result.wasSuccessful() else 1)


def wait_until(condition, what, timeout=DEADLINE, app=None, interval=0.05):
    """Polls condition() until it returns a true value, which is returned; fails at the deadline
    (or at once when the program has died meanwhile)."""
    deadline = time.monotonic() + timeout
    while True:
        value = condition()
        if value:
            return value
        if app is not None and app.poll() is not None:
            raise AssertionError("the program exited with %s while waiting for %s\n%s"
                                 % (app.poll(), what, app.output()))
        if time.monotonic() > deadline:
            raise AssertionError("timed out after %.0f s waiting for %s" % (timeout, what))
        time.sleep(interval)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def _stop_process(process, timeout=5.0):
    """Ends a process this harness started: SIGTERM, then SIGKILL after the timeout."""
    if process.poll() is not None:
        return process.returncode
    process.send_signal(signal.SIGTERM)
    try:
        return process.wait(timeout)
    except subprocess.TimeoutExpired:
        process.kill()
        return process.wait(timeout)


def _read_line(stream, timeout, what):
    deadline = time.monotonic() + timeout
    data = b""
    while not data.endswith(b"\n"):
        left = deadline - time.monotonic()
        if left <= 0 or not select.select([stream], [], [], left)[0]:
            raise AssertionError("timed out waiting for " + what)
        chunk = os.read(stream.fileno() if hasattr(stream, "fileno") else stream, 1)
        if not chunk:
            raise AssertionError("%s: stream closed early" % what)
        data += chunk
    return data.decode().strip()


class Sandbox:
    """A throwaway home and an empty store folder (a tmpfs over /etc/xdg) for one test."""

    def __init__(self, test):
        assert_private_namespace()
        self.root = tempfile.mkdtemp(prefix="vorlant-e2e-")
        test.addCleanup(shutil.rmtree, self.root, ignore_errors=True)
        for sub in ("home", "config", "data", "cache", "runtime"):
            os.makedirs(os.path.join(self.root, sub))
        os.chmod(os.path.join(self.root, "runtime"), 0o700)
        subprocess.run(["mount", "-t", "tmpfs", "-o", "size=16m,mode=0755", "vorlant-e2e-store",
                        STORE_DIR], check=True)
        test.addCleanup(subprocess.run, ["umount", STORE_DIR], check=True)

    @property
    def log_path(self):
        return os.path.join(self.root, "data", "vorlant-service", "log", "vorlant.log")

    def seed_store(self, text):
        with open(STORE_PATH, "w", encoding="utf-8") as f:
            f.write(text)

    def environment(self, **extra):
        env = {key: value for key, value in os.environ.items()
               if key not in ("CONSOLE_APP", "SERVICE_APP", "DISPLAY", "WAYLAND_DISPLAY",
                              "XAUTHORITY", "http_proxy", "https_proxy", "all_proxy",
                              "HTTP_PROXY", "HTTPS_PROXY", "ALL_PROXY", "no_proxy", "NO_PROXY",
                              _NAMESPACE_MARK)}
        env.update({
            "HOME": os.path.join(self.root, "home"),
            "XDG_CONFIG_HOME": os.path.join(self.root, "config"),
            "XDG_DATA_HOME": os.path.join(self.root, "data"),
            "XDG_CACHE_HOME": os.path.join(self.root, "cache"),
            "XDG_RUNTIME_DIR": os.path.join(self.root, "runtime"),
            "QT_QPA_PLATFORM": "offscreen",
            # Keeps every test away from a session bus of the machine's user.
            "DBUS_SESSION_BUS_ADDRESS": "disabled:",
        })
        if env.get("ASAN_OPTIONS"):
            env["ASAN_OPTIONS"] += ":suppressions=" + ASAN_SUPPRESSIONS
        env.update(extra)
        return env

    def store(self):
        """The store as Qt reads it back: {"group/key": value}; {} while there is no file."""
        snapshot = os.path.join(self.root, "store-snapshot.conf")
        try:
            shutil.copyfile(STORE_PATH, snapshot)
        except FileNotFoundError:
            return {}
        dump = subprocess.run([Config.storedump, snapshot], stdout=subprocess.PIPE,
                              stderr=subprocess.PIPE, text=True, timeout=DEADLINE)
        if dump.returncode != 0:
            raise AssertionError("store dump failed: " + dump.stderr)
        return json.loads(dump.stdout)

    def wait_for_store(self, condition, what, app=None, timeout=DEADLINE):
        """Waits until condition(store) holds and returns that store; on time-out the failure
        shows the last store seen."""
        seen = {}

        def check():
            seen["store"] = self.store()
            return condition(seen["store"])

        try:
            wait_until(check, what, timeout=timeout, app=app)
        except AssertionError as error:
            raise AssertionError("%s\nlast store: %s" % (error, json.dumps(seen.get("store"),
                                                                          indent=1))) from None
        return seen["store"]


class PoolServer:
    """The sample pool server on a free port, recording every request it gets."""

    def __init__(self, test, sandbox, status=200, catalogue=SAMPLE_CATALOGUE):
        self.record = os.path.join(sandbox.root, "requests.jsonl")
        self._errors = open(os.path.join(sandbox.root, "pool.log"), "wb")
        command = [sys.executable, SERVE_PY, "--port", "0", "--record",
                   self.record, "--status", str(status), "--catalogue", catalogue]
        self.process = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=self._errors)
        test.addCleanup(self._stop)
        self.port = int(_read_line(self.process.stdout, DEADLINE, "the pool server's port"))

    def _stop(self):
        _stop_process(self.process)
        self.process.stdout.close()
        self._errors.close()

    def url(self, host="127.0.0.1"):
        return "http://%s:%d" % (host, self.port)

    def requests(self):
        try:
            with open(self.record, encoding="utf-8") as f:
                lines = f.readlines()
        except FileNotFoundError:
            return []
        # A line still being written has no line break yet.
        return [json.loads(line) for line in lines if line.endswith("\n")]

    def wait_for_request(self, app=None):
        return wait_until(lambda: self.requests(), "the catalogue request", app=app)[0]


def header(request, name):
    """The one value of a header as received (names compared without case), or None."""
    values = [v for k, v in request["headers"] if k.lower() == name.lower()]
    if len(values) > 1:
        raise AssertionError("header %s received %d times" % (name, len(values)))
    return values[0] if values else None


class SocksProxy:
    """microsocks on a free loopback port; its outgoing connections leave from PROXY_EGRESS."""

    def __init__(self, test, sandbox):
        if shutil.which("microsocks") is None:
            raise AssertionError("microsocks is not installed (scripts/install-deps.sh)")
        self.log_path = os.path.join(sandbox.root, "socks.log")
        self.process = None
        # Another process may take the free port before microsocks binds it: try a few.
        for _ in range(5):
            port = free_port()
            log = open(self.log_path, "wb")
            process = subprocess.Popen(["microsocks", "-i", "127.0.0.1", "-p", str(port),
                                        "-b", PROXY_EGRESS], stdout=log, stderr=log)
            log.close()
            if self._wait_listening(process, port):
                self.process, self.port = process, port
                break
            _stop_process(process)
        if self.process is None:
            raise AssertionError("microsocks did not start")
        test.addCleanup(_stop_process, self.process)

    @staticmethod
    def _wait_listening(process, port):
        deadline = time.monotonic() + 5
        while time.monotonic() < deadline and process.poll() is None:
            try:
                socket.create_connection(("127.0.0.1", port), 0.5).close()
                return True
            except OSError:
                time.sleep(0.05)
        return False


SANITIZER_MARKS = re.compile(r"ERROR: (Address|Leak|Memory|Thread)Sanitizer|runtime error:")


class App:
    """The program under test, started in the sandbox the way a user would start it."""

    def __init__(self, test, sandbox, **environment):
        self._out_path = os.path.join(sandbox.root, "app.out")
        out = open(self._out_path, "wb")
        self.process = subprocess.Popen([Config.app], env=sandbox.environment(**environment),
                                        cwd=sandbox.root, stdin=subprocess.DEVNULL, stdout=out,
                                        stderr=subprocess.STDOUT)
        out.close()
        self._checked = False
        test.addCleanup(self.stop)

    @property
    def pid(self):
        return self.process.pid

    def poll(self):
        return self.process.poll()

    def output(self):
        with open(self._out_path, encoding="utf-8", errors="replace") as f:
            return f.read()

    def wait_exit(self, timeout=DEADLINE):
        try:
            code = self.process.wait(timeout)
        except subprocess.TimeoutExpired:
            raise AssertionError("the program did not exit within %.0f s" % timeout) from None
        self.check_clean()
        return code

    def stop(self):
        """Ends the program if it still runs (SIGTERM: the headless tests cannot close a
        window), then checks its output for sanitizer reports."""
        _stop_process(self.process)
        self.check_clean()

    def check_clean(self):
        if self._checked:
            return
        self._checked = True
        output = self.output()
        if SANITIZER_MARKS.search(output):
            raise AssertionError("sanitizer report from the program:\n" + output)


class VirtualDisplay:
    """An Xvfb server on a display number it picks itself, and xdotool/import on it."""

    def __init__(self, test, sandbox):
        for tool in ("Xvfb", "xdotool", "import"):
            if shutil.which(tool) is None:
                raise AssertionError(tool + " is not installed (scripts/install-deps.sh)")
        read_end, write_end = os.pipe()
        log = open(os.path.join(sandbox.root, "xvfb.log"), "wb")
        self.process = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1024x768x24", "-nolisten",
             "tcp", "-noreset"], pass_fds=(write_end,), stdout=log, stderr=log)
        log.close()
        os.close(write_end)
        test.addCleanup(_stop_process, self.process)
        try:
            self.name = ":" + _read_line(read_end, DEADLINE, "Xvfb's display number")
        finally:
            os.close(read_end)

    def app_environment(self):
        """What the program needs to show its window here. Widgets draw without OpenGL, and
        the display has no GL driver worth loading."""
        return {"QT_QPA_PLATFORM": "xcb", "DISPLAY": self.name, "QT_XCB_GL_INTEGRATION": "none"}

    def run(self, *args, timeout=10.0):
        done = subprocess.run(list(args), env=dict(os.environ, DISPLAY=self.name),
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
                              timeout=timeout)
        return done

    def xdotool(self, *args):
        done = self.run("xdotool", *args)
        if done.returncode != 0:
            raise AssertionError("xdotool %s failed: %s" % (" ".join(args), done.stderr))
        return done.stdout.strip()

    def find_window(self, title, app=None):
        def search():
            done = self.run("xdotool", "search", "--onlyvisible", "--name",
                            "^%s$" % re.escape(title))
            ids = done.stdout.split()
            return ids[0] if done.returncode == 0 and ids else None

        return wait_until(search, "a window titled %r" % title, app=app)

    def focused_window(self):
        """The window with the keyboard focus, or None (focus following the pointer)."""
        done = self.run("xdotool", "getwindowfocus")
        return done.stdout.strip() if done.returncode == 0 else None

    def screenshot(self, path):
        done = self.run("import", "-window", "root", path, timeout=DEADLINE)
        if done.returncode != 0:
            raise AssertionError("screenshot failed: " + done.stderr)
        return path
