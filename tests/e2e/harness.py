# Runs the built vorlant-settings as a user would start it, against a throwaway store and home.
# The program always uses the machine-wide store, so the tests re-run themselves in a private
# mount namespace: each test mounts a fresh tmpfs over /etc/xdg, and the namespace's /etc/hosts
# maps the test host names to this machine. Every process a test starts is stopped by that test.
# Usage: <test module> --app PATH --storedump PATH [--artifacts DIR] [unittest arguments]
import argparse
import json
import os
import re
import select
import shutil
import socket
import subprocess
import sys
import tempfile
import time
import unittest

SOURCE_DIR = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "../.."))
SAMPLE_POOL = os.path.join(SOURCE_DIR, "tools", "samplepool")
STORE_PATH = "/etc/xdg/Vorlant.conf"
CATALOGUE_PATH = "/api/2.3/pool/config"
# Reached through a name, since Qt never sends a loopback literal through a proxy. The others
# are the built-in server and those of old fixture stores: a request to one stays here, refused.
POOL_HOST = "pool.vorlant.test"
GUARDED_HOSTS = [POOL_HOST, "api.vorlant.net", "one.example", "two.example"]
PROXY_EGRESS = "127.0.0.2"
# Generous, for the sanitizer build on a busy 2-core machine; normally a second or two.
DEADLINE = 20.0
NAMESPACE_MARK = "VORLANT_E2E_OUTER_MOUNT_NS"
SANITIZER_MARKS = re.compile(r"ERROR: (Address|Leak|Memory|Thread)Sanitizer|runtime error:")
ARGS = None

with open(os.path.join(SAMPLE_POOL, "catalogue.json"), encoding="utf-8") as f:
    CATALOGUE = json.load(f)
COINS = sorted(c for c, item in CATALOGUE.items() if item.get("family") == "cryptonight")


def fail(message):
    sys.exit("FAIL: " + message)


def private_namespace():
    outer = os.environ.get(NAMESPACE_MARK)
    return outer and outer != os.readlink("/proc/self/ns/mnt")


def main():
    global ARGS
    parser = argparse.ArgumentParser(add_help=False)
    for option in ("--app", "--storedump", "--artifacts"):
        parser.add_argument(option, required=option != "--artifacts", type=os.path.abspath)
    ARGS, rest = parser.parse_known_args()
    unshare = ["unshare", "--mount", "--propagation", "private"]
    if NAMESPACE_MARK not in os.environ:
        if os.geteuid() != 0:
            fail("the end-to-end tests need root, for a private mount namespace over /etc/xdg")
        probe = subprocess.run(unshare + ["true"], stderr=subprocess.PIPE, text=True)
        if probe.returncode != 0:
            fail("cannot create a private mount namespace (unshare): " + probe.stderr.strip())
        os.environ[NAMESPACE_MARK] = os.readlink("/proc/self/ns/mnt")
        python = [sys.executable] + (["-B"] if sys.flags.dont_write_bytecode else [])
        os.execvp("unshare", unshare + ["--"] + python + [os.path.abspath(sys.argv[0])]
                  + sys.argv[1:])
    if not private_namespace():
        fail("refusing to touch /etc: not inside a private mount namespace")
    ARGS.artifacts = ARGS.artifacts or tempfile.mkdtemp(prefix="vorlant-e2e-")
    os.makedirs(ARGS.artifacts, exist_ok=True)
    with tempfile.NamedTemporaryFile("w", prefix="vorlant-e2e-hosts-") as hosts:
        with open("/etc/hosts", encoding="utf-8") as f:
            hosts.write(f.read().rstrip("\n") + "\n")
        hosts.writelines("127.0.0.1 %s\n" % name for name in GUARDED_HOSTS)
        hosts.flush()
        subprocess.run(["mount", "--bind", hosts.name, "/etc/hosts"], check=True)
        result = unittest.main(module="__main__", argv=[sys.argv[0]] + rest, exit=False,
                               verbosity=2).result
    if result.testsRun == 0:
        fail("no test ran")
    sys.exit(0 if result.wasSuccessful() else 1)


# Returns condition()'s first true value; fails at the deadline, or once the program has died.
def wait_until(condition, what, app=None, detail=lambda: ""):
    deadline = time.monotonic() + DEADLINE
    while not (value := condition()):
        if app is not None and app.poll() is not None:
            raise AssertionError("the program exited with %s while waiting for %s%s"
                                 % (app.poll(), what, detail()))
        if time.monotonic() > deadline:
            raise AssertionError("timed out waiting for %s%s" % (what, detail()))
        time.sleep(0.05)
    return value


# For a line its writer sends in one piece, as the pool server and Xvfb do.
def read_line(stream, what):
    if not select.select([stream], [], [], DEADLINE)[0]:
        raise AssertionError("timed out waiting for " + what)
    return stream.readline().decode().strip()


def stop(process):
    process.terminate()  # nothing once it has been waited for
    try:
        process.wait(5)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait()


# The one value of a header as received (name compared without case), or None.
def header(request, name):
    values = [v for k, v in request["headers"] if k.lower() == name.lower()]
    if len(values) > 1:
        raise AssertionError("header %s received %d times" % (name, len(values)))
    return values[0] if values else None


def entry_of(store, coin):
    prefix = "miners/%s/" % coin
    return {key[len(prefix):]: value for key, value in store.items() if key.startswith(prefix)}


def top_level(store):
    return {key: value for key, value in store.items() if "/" not in key}


def has_entries(store):
    return all("miners/%s/mergedMining" % coin in store for coin in COINS)


# Each test gets a throwaway home and an empty store folder (a tmpfs over /etc/xdg).
class E2ETestCase(unittest.TestCase):
    def setUp(self):
        self.assertTrue(private_namespace(), "not inside a private mount namespace")
        self.root = tempfile.mkdtemp(prefix="vorlant-e2e-")
        self.addCleanup(shutil.rmtree, self.root, ignore_errors=True)
        for sub in ("home", "config", "data", "cache", "runtime"):
            os.makedirs(os.path.join(self.root, sub), 0o700)
        subprocess.run(["mount", "-t", "tmpfs", "-o", "size=16m,mode=0755", "vorlant-e2e-store",
                        os.path.dirname(STORE_PATH)], check=True)
        self.addCleanup(subprocess.run, ["umount", os.path.dirname(STORE_PATH)], check=True)

    def spawn(self, name, command, **kwargs):
        with open(os.path.join(self.root, name + ".log"), "wb") as log:
            process = subprocess.Popen(command, stdout=kwargs.pop("stdout", log), stderr=log,
                                       stdin=subprocess.DEVNULL, **kwargs)
        self.addCleanup(stop, process)
        return process

    def start_pool(self, status=200):
        self.record = os.path.join(self.root, "requests.jsonl")
        pool = self.spawn("pool", [sys.executable, os.path.join(SAMPLE_POOL, "serve.py"),
                                   "--port", "0", "--record", self.record, "--status",
                                   str(status)], stdout=subprocess.PIPE)
        self.addCleanup(pool.stdout.close)
        self.port = int(read_line(pool.stdout, "the pool server's port"))
        return "http://127.0.0.1:%d" % self.port

    # Its outgoing connections leave from PROXY_EGRESS.
    def start_socks(self):
        with socket.socket() as s:
            s.bind(("127.0.0.1", 0))
            port = s.getsockname()[1]
        proxy = self.spawn("socks", ["microsocks", "-i", "127.0.0.1", "-p", str(port), "-b",
                                     PROXY_EGRESS])

        def listening():
            try:
                socket.create_connection(("127.0.0.1", port), 0.5).close()
                return True
            except OSError:
                if proxy.poll() is not None:
                    raise AssertionError("microsocks did not start") from None

        wait_until(listening, "microsocks to listen")
        return port

    # store_text None: the store is left as the test arranged it. user: run as that uid and gid.
    def start_app(self, store_text, user=None, **environment):
        if store_text is not None:
            with open(STORE_PATH, "w", encoding="utf-8") as f:
                f.write(store_text)
        drop = {"CONSOLE_APP", "SERVICE_APP", "DISPLAY", "WAYLAND_DISPLAY", "XAUTHORITY",
                NAMESPACE_MARK}
        env = {k: v for k, v in os.environ.items()
               if k not in drop and not k.lower().endswith("_proxy")}
        env.update({"XDG_%s_HOME" % sub.upper(): os.path.join(self.root, sub)
                    for sub in ("config", "data", "cache")})
        env.update(HOME=os.path.join(self.root, "home"), QT_QPA_PLATFORM="offscreen",
                   XDG_RUNTIME_DIR=os.path.join(self.root, "runtime"),
                   # Keeps every test away from a session bus of the machine's user.
                   DBUS_SESSION_BUS_ADDRESS="disabled:")
        if env.get("ASAN_OPTIONS"):
            env["ASAN_OPTIONS"] += ":suppressions=" + os.path.join(
                SOURCE_DIR, "tests", "sanitizers", "asan.supp")
        env.update(environment)
        # Checked after the program has been stopped.
        self.addCleanup(lambda: self.assertNotRegex(self.app_output(), SANITIZER_MARKS))
        command = [ARGS.app]
        if user is not None:
            os.chmod(self.root, 0o755)
            for sub in os.listdir(self.root):
                os.chown(os.path.join(self.root, sub), user, user)
            command = ["setpriv", "--reuid=%d" % user, "--regid=%d" % user,
                       "--clear-groups"] + command
        self.app = self.spawn("app", command, env=env, cwd=self.root)

    def app_output(self):
        with open(os.path.join(self.root, "app.log"), encoding="utf-8", errors="replace") as f:
            return f.read()

    def requests(self):
        try:
            with open(self.record, encoding="utf-8") as f:
                # A line still being written has no line break yet.
                return [json.loads(line) for line in f if line.endswith("\n")]
        except FileNotFoundError:
            return []

    def wait_request(self):
        return wait_until(self.requests, "the catalogue request", self.app,
                          lambda: "\nprogram output:\n" + self.app_output())[0]

    # The store as Qt reads it back: {"group/key": value}; {} while there is no file.
    def store(self):
        snapshot = os.path.join(self.root, "store-snapshot.conf")
        try:
            shutil.copyfile(STORE_PATH, snapshot)
        except FileNotFoundError:
            return {}
        dump = subprocess.run([ARGS.storedump, snapshot], capture_output=True, text=True,
                              timeout=DEADLINE, check=True)
        return json.loads(dump.stdout)

    # Returns the first store that meets the condition; a failure shows the last store seen.
    def wait_store(self, condition, what):
        seen = {}

        def check():
            seen["store"] = self.store()
            return condition(seen["store"])

        wait_until(check, what, self.app, lambda: "\nlast store: " + json.dumps(seen, indent=1))
        return seen["store"]
