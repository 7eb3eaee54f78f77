# The Windows folder as a user gets it: vorlant-settings-windows.zip unpacked into an empty
# folder and started under Wine with nothing else on its DLL path, on a virtual display, against
# the sample pool reached through a SOCKS5 proxy (microsocks). One start per Windows version that
# the identity headers tell apart; the registry of the throwaway prefix is the shared store.
# Usage: test_deploy.py ZIP WINE_RUN PREFIX ARTIFACTS (as root: the pool's host name is mapped
# in a private mount namespace, since Qt sends no loopback address through a proxy)
import json, os, re, shutil, socket, subprocess, sys, tempfile, time, zipfile

ZIP, WINE_RUN, PREFIX, ARTIFACTS = sys.argv[1:5]
POOL = os.path.join(os.path.dirname(os.path.abspath(__file__)), "../../tools/samplepool")
STORE = r"HKLM\Software\Vorlant\OrganizationDefaults"
RUN_KEY = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Run"
COINS = sorted(c for c, v in json.load(open(POOL + "/catalogue.json")).items()
               if v["family"] == "cryptonight")
# Value types as the service reads them: Qt writes booleans as text, maps in its variant form.
TYPES = {"mergedMining": "REG_SZ", "mergedPools": "REG_BINARY", "pool": "REG_SZ", "running": "REG_SZ",
         "speed": "REG_DWORD", "ticker": "REG_SZ", "visible": "REG_SZ", "worker": "REG_SZ"}


def wine(*args, check=True):
    return subprocess.run([WINE_RUN, "--prefix", PREFIX] + list(args), check=check,
                          capture_output=True, text=True, errors="replace").stdout


def registry(key):
    """{subkey below key: {value name: (type, data)}}, from reg query."""
    full, tree = key.replace("HKLM", "HKEY_LOCAL_MACHINE").replace("HKCU", "HKEY_CURRENT_USER"), {}
    for line in wine("reg", "query", key, "/s", check=False).splitlines():
        if line.startswith("HKEY_"):
            values = tree.setdefault(line[len(full):].strip("\\"), {})
        elif line.startswith("    "):
            name, kind, data = (line.strip().split("    ", 2) + ["", ""])[:3]
            values[name] = (kind, data)
    return tree


def store_with_every_coin():
    tree = registry(STORE)
    return all(len(tree.get("miners\\" + coin, {})) == len(TYPES) for coin in COINS) and tree


def wait_for(what, check):
    for _ in range(120):
        if check():
            return check()
        time.sleep(0.5)
    sys.exit("FAIL: no " + what)


def cpu_signature():
    """CPUID leaf 1 EAX as /proc/cpuinfo describes this processor."""
    info = dict(re.findall(r"^(cpu family|model|stepping)\s*:\s*(\d+)$", open("/proc/cpuinfo").read(), re.M))
    family, model, stepping = (int(info[k]) for k in ("cpu family", "model", "stepping"))
    return stepping | (model & 15) << 4 | min(family, 15) << 8 | (model >> 4) << 16 | max(family - 15, 0) << 20


def run(app, work, version, store, display):
    wine("reg", "add", r"HKCU\Software\Wine", "/v", "Version", "/d", version, "/f")
    wine("reg", "delete", r"HKLM\Software\Vorlant", "/f", check=False)
    for path, value in store.items():
        key, _, name = ("\\" + path).rpartition("\\")
        wine("reg", "add", STORE + key, "/v", name, "/t", "REG_DWORD" if isinstance(value, int)
             else "REG_SZ", "/d", str(value), "/f")
    env = dict((k, v) for k, v in os.environ.items() if not k.startswith("QT_"))  # the windows platform
    hosts = ["unshare", "--mount", "--propagation", "private", "--", "sh", "-c",
             'mount --bind "$0" /etc/hosts && exec "$@"', work + "/hosts"]
    return subprocess.Popen(hosts + [WINE_RUN, "--prefix", PREFIX, app], cwd=work,
                            env=dict(env, DISPLAY=display), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def main():
    work = tempfile.mkdtemp(prefix="vorlant-windows-")
    zipfile.ZipFile(ZIP).extractall(work)
    app = work + "/vorlant-settings-windows/vorlant-settings.exe"
    ours = "Z:" + app.replace("/", "\\")
    open(work + "/hosts", "w").write(open("/etc/hosts").read() + "\n127.0.0.1 pool.vorlant.test\n")
    with socket.create_server(("127.0.0.1", 0)) as s:
        socks = s.getsockname()[1]
    record = work + "/requests"
    servers = [subprocess.Popen(["Xvfb", "-displayfd", "1", "-screen", "0", "800x600x24", "-nolisten", "tcp"],
                                stdout=subprocess.PIPE, stderr=subprocess.DEVNULL),
               subprocess.Popen(["microsocks", "-i", "127.0.0.1", "-p", str(socks), "-b", "127.0.0.2"],
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL),
               subprocess.Popen([sys.executable, POOL + "/serve.py", "--port", "0", "--record", record],
                                stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)]
    display = ":" + servers[0].stdout.readline().decode().strip()
    common = {"server": "http://pool.vorlant.test:" + servers[2].stdout.readline().decode().strip(),
              "proxy": "custom", "proxy-url": "socks://127.0.0.1:%d" % socks}
    # An unquoted value of ours, as releases before 5.7 wrote it, and another program's.
    wine("reg", "add", RUN_KEY, "/v", "Other", "/d", "C:\\other.exe --auto", "/f")
    wine("reg", "add", RUN_KEY, "/v", "VorlantGui", "/d", ours + " --auto", "/f")
    # Wine reports Windows 7 unless told otherwise; after 8.1 the header is left out. The 5.3
    # store has the autostart value refreshed.
    runs = [("win7", "7", {}), ("win81", "8.1", {"version": "5.3", "miners\\monero\\speed": 2}),
            ("win10", None, {})]
    try:
        for number, (version, os_version, store) in enumerate(runs):
            process = run(app, work, version, dict(store, **common), display)
            requests = wait_for("catalogue request", lambda: os.path.exists(record) and
                                [json.loads(line) for line in open(record)][number:])
            written = wait_for("coin entries", store_with_every_coin)
            if number == 0:
                time.sleep(2)
                subprocess.run(["import", "-display", display, "-window", "root",
                                ARTIFACTS + "/windows-main-window.png"], check=True)
            process.terminate()
            process.wait()
            headers = dict((k.lower(), v) for k, v in requests[0]["headers"])
            assert requests[0]["client"] == "127.0.0.2", "not through the proxy: %s" % requests
            assert (headers.get("client-os-family"), headers.get("client-os-version")) == ("Windows", os_version), headers
            assert int(headers["x-cpu-id"].split(",")[0], 16) == cpu_signature(), headers
            assert written[""]["version"] == ("REG_SZ", "5.10"), written[""]
            for coin in COINS:
                assert {k: t for k, (t, _) in written["miners\\" + coin].items()} == TYPES, written
        run_key = registry(RUN_KEY)[""]
        assert run_key == {"VorlantGui": ("REG_SZ", '"%s" --auto' % ours), "Other": ("REG_SZ", "C:\\other.exe --auto")}, run_key
    finally:
        for server in servers:
            server.terminate()
        shutil.rmtree(work)
    print("PASS: the zipped folder ran under Wine; screenshot in", ARTIFACTS)


main()
