# The Windows folder as a user gets it: vorlant-settings-windows.zip unpacked into an empty
# folder and started under Wine with nothing else on its DLL path, on a virtual display, against
# the sample pool reached through a SOCKS5 proxy (microsocks). One start per Windows version that
# the identity headers tell apart; the registry of the throwaway prefix is the shared store.
# Usage: test_deploy.py ZIP WINE_RUN PREFIX ARTIFACTS (root: the pool's host name is mapped in a
# private mount namespace, as Qt sends no loopback address through a proxy)
import json, os, pwd, re, shutil, socket, subprocess, sys, tempfile, time, zipfile

ZIP, WINE_RUN, PREFIX, ARTIFACTS = sys.argv[1:5]
SAMPLE_POOL = os.path.join(os.path.dirname(os.path.abspath(__file__)), "../../tools/samplepool")
STORE = r"HKLM\Software\Vorlant\OrganizationDefaults"
RUN_KEY = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Run"
with open(os.path.join(SAMPLE_POOL, "catalogue.json")) as f:
    COINS = sorted(c for c, v in json.load(f).items() if v["family"] == "cryptonight")
# Value types as the service reads them: Qt writes booleans as text, maps in its variant form.
ENTRY_TYPES = {"mergedMining": "REG_SZ", "mergedPools": "REG_BINARY", "pool": "REG_SZ",
               "running": "REG_SZ", "speed": "REG_DWORD", "ticker": "REG_SZ",
               "visible": "REG_SZ", "worker": "REG_SZ"}


def wine(*args):
    return subprocess.run([WINE_RUN, "--prefix", PREFIX] + list(args), check=True,
                          capture_output=True, text=True, errors="replace").stdout


def registry(key):
    """{subkey path below key: {value name: (type, data)}}, from reg query."""
    full = key.replace("HKLM", "HKEY_LOCAL_MACHINE").replace("HKCU", "HKEY_CURRENT_USER")
    tree, current = {}, None
    for line in wine("reg", "query", key, "/s").splitlines():
        if line.startswith("HKEY_"):
            current = tree.setdefault(line[len(full):].strip("\\"), {})
        elif line.startswith("    ") and current is not None:
            name, kind, data = (line.strip().split("    ", 2) + ["", ""])[:3]
            current[name] = (kind, data)
    return tree


def requests(record):
    return [json.loads(line) for line in open(record)] if os.path.exists(record) else []


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def cpu_signature():
    """CPUID leaf 1 EAX as /proc/cpuinfo describes this processor."""
    info = dict(re.findall(r"^(cpu family|model|stepping)\s*:\s*(\d+)$",
                           open("/proc/cpuinfo").read(), re.M))
    family, model, stepping = (int(info[k]) for k in ("cpu family", "model", "stepping"))
    return (stepping | (model & 15) << 4 | min(family, 15) << 8 | (model >> 4) << 16
            | max(family - 15, 0) << 20)


def start(app, work, version, store, display):
    wine("reg", "add", r"HKCU\Software\Wine", "/v", "Version", "/d", version, "/f")
    subprocess.run([WINE_RUN, "--prefix", PREFIX, "reg", "delete", r"HKLM\Software\Vorlant",
                    "/f"], capture_output=True)
    for name, value in store.items():
        kind = "REG_DWORD" if isinstance(value, int) else "REG_SZ"
        key, _, name = name.rpartition("\\")
        wine("reg", "add", "\\".join(filter(None, [STORE, key])), "/v", name, "/t", kind,
             "/d", str(value), "/f")
    env = {k: v for k, v in os.environ.items() if not k.startswith("QT_")}
    env["DISPLAY"] = display
    namespace = ["unshare", "--mount", "--propagation", "private", "--", "sh", "-c",
                 'mount --bind "$0" /etc/hosts && exec "$@"', os.path.join(work, "hosts")]
    return subprocess.Popen(namespace + [WINE_RUN, "--prefix", PREFIX, app], cwd=work, env=env,
                            stdout=open(os.path.join(work, "app.log"), "ab"), stderr=subprocess.STDOUT)


def wait_for(what, check, seconds=60):
    deadline = time.time() + seconds
    while time.time() < deadline:
        result = check()
        if result:
            return result
        time.sleep(0.5)
    sys.exit("FAIL: no " + what)


def main():
    work = tempfile.mkdtemp(prefix="vorlant-windows-")
    zipfile.ZipFile(ZIP).extractall(work)
    app_dir = os.path.join(work, "vorlant-settings-windows")
    app = os.path.join(app_dir, "vorlant-settings.exe")
    with open("/etc/hosts") as f, open(os.path.join(work, "hosts"), "w") as hosts:
        hosts.write(f.read() + "\n127.0.0.1 pool.vorlant.test\n")
    record, socks = os.path.join(work, "requests"), free_port()
    servers = [subprocess.Popen(["Xvfb", "-displayfd", "1", "-screen", "0", "800x600x24",
                                 "-nolisten", "tcp"], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL),
               subprocess.Popen(["microsocks", "-i", "127.0.0.1", "-p", str(socks), "-b", "127.0.0.2"],
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL),
               subprocess.Popen([sys.executable, os.path.join(SAMPLE_POOL, "serve.py"), "--port", "0",
                                 "--record", record], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)]
    pool = "http://pool.vorlant.test:%s" % servers[-1].stdout.readline().decode().strip()
    display = ":" + servers[0].stdout.readline().decode().strip()
    ours = "Z:" + app.replace("/", "\\")
    # Wine reports Windows 7 unless told otherwise; the header is left out after 8.1.
    runs = [("win7", "7", {}), ("win81", "8.1", {"version": "5.3", "miners\\monero\\speed": 2}),
            ("win10", None, {})]
    wine("reg", "add", RUN_KEY, "/v", "Other", "/d", "C:\\other.exe --auto", "/f")
    wine("reg", "add", RUN_KEY, "/v", "VorlantGui", "/d", ours + " --auto", "/f")
    try:
        for number, (version, os_version, store) in enumerate(runs):
            store.update({"server": pool, "proxy": "custom", "proxy-url": "socks://127.0.0.1:%d" % socks})
            process = start(app, work, version, store, display)
            request = wait_for("catalogue request", lambda: requests(record)[number:])[0]
            written = wait_for("coin entries", lambda: len(registry(STORE)) > len(COINS) and registry(STORE))
            if number == 0:
                time.sleep(2)
                subprocess.run(["import", "-display", display, "-window", "root",
                                os.path.join(ARTIFACTS, "windows-main-window.png")], check=True)
            process.terminate()
            process.wait()
            headers = dict((k.lower(), v) for k, v in request["headers"])
            assert request["client"] == "127.0.0.2", "not through the proxy: %s" % request
            assert headers.get("client-os-family") == "Windows", headers
            assert headers.get("client-os-version") == os_version, (version, headers)
            assert int(headers["x-cpu-id"].split(",")[0], 16) == cpu_signature(), headers
            assert written[""]["version"] == ("REG_SZ", "5.10"), written[""]
            for coin in COINS:
                entry = written["miners\\" + coin]
                assert {k: v[0] for k, v in entry.items()} == ENTRY_TYPES, (coin, entry)
        # The 5.3 store's upgrade refreshed our unquoted autostart value, and only ours.
        run_key = registry(RUN_KEY)[""]
        assert run_key["VorlantGui"] == ("REG_SZ", '"%s" --auto' % ours), run_key
        assert run_key["Other"] == ("REG_SZ", "C:\\other.exe --auto"), run_key
        log = open(os.path.join(PREFIX, "drive_c/users", pwd.getpwuid(os.getuid()).pw_name,
                                "AppData/Local/vorlant-service/log/vorlant.log"), "rb").read()
        assert log.count(b"\n") > 1 and log.count(b"\n") == log.count(b"\r\n") == log.count(b"\r"), log[:200]
    finally:
        for server in servers:
            server.terminate()
        shutil.rmtree(work)
    print("PASS: the zipped folder ran under Wine; screenshot in", ARTIFACTS)


main()
