# The Windows folder as a user gets it: vorlant-settings-windows.zip unpacked into an empty
# folder and started under Wine with nothing else on its DLL path, on the virtual display of
# xvfb-run, against the sample pool reached through a SOCKS5 proxy (microsocks). One start per
# Windows version that the identity headers tell apart; the registry of the throwaway prefix is
# the shared store.
# Usage: test_deploy.py ZIP WINE_RUN PREFIX ARTIFACTS (as root: the pool's host name is mapped
# in a private mount namespace, since Qt sends no loopback address through a proxy)
import ctypes, json, os, re, signal, socket, subprocess, sys, tempfile, time, zipfile

ZIP, WINE_RUN, PREFIX, ARTIFACTS = sys.argv[1:5]
POOL = os.path.join(os.path.dirname(os.path.abspath(__file__)), "../../tools/samplepool")
STORE = r"HKLM\Software\Vorlant\OrganizationDefaults"
RUN_KEY = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Run"
COINS = [c for c, v in json.load(open(POOL + "/catalogue.json")).items() if v["family"] == "cryptonight"]
# Value types as the service reads them: Qt writes booleans as text, maps in its variant form.
TYPES = {"mergedMining": "REG_SZ", "mergedPools": "REG_BINARY", "pool": "REG_SZ", "running": "REG_SZ",
         "speed": "REG_DWORD", "ticker": "REG_SZ", "visible": "REG_SZ", "worker": "REG_SZ"}
# CPUID leaf 1 EAX as /proc/cpuinfo describes this processor
cpu = dict(re.findall(r"^(cpu family|model|stepping)\s*:\s*(\d+)$", open("/proc/cpuinfo").read(), re.M))
family, model, stepping = (int(cpu[k]) for k in ("cpu family", "model", "stepping"))
EAX = stepping | (model & 15) << 4 | min(family, 15) << 8 | (model >> 4) << 16 | max(family - 15, 0) << 20


# Its output, through a file: a pipe would stay open as long as any Wine process that the call
# happened to start, the prefix's services or a program started beside it.
def wine(*args):
    with tempfile.TemporaryFile("w+") as out:
        subprocess.run([WINE_RUN, "--prefix", PREFIX] + list(args), stdout=out, stderr=subprocess.DEVNULL)
        out.seek(0)
        return out.read()


# {name: (type, data)} of the key's values; a failed query (no such key) has none
def values(key):
    found = re.findall(r"^    (\S+)    (REG_\w+)(?:    )?(.*)$", wine("reg", "query", key), re.M)
    return {name: (kind, data) for name, kind, data in found}


# For the servers: they end with this test however it ends, a timeout's kill included.
end_with_this_test = lambda: ctypes.CDLL(None).prctl(1, signal.SIGTERM)  # PR_SET_PDEATHSIG


work = (temporary := tempfile.TemporaryDirectory(prefix="vorlant-windows-")).name  # removed on the way out
zipfile.ZipFile(ZIP).extractall(work)
app = work + "/vorlant-settings-windows/vorlant-settings.exe"
ours = "Z:" + app.replace("/", "\\")
open(work + "/hosts", "w").write(open("/etc/hosts").read() + "\n127.0.0.1 pool.vorlant.test\n")
socks = socket.create_server(("127.0.0.1", 0)).getsockname()[1]  # a free port, for a moment
subprocess.Popen(["microsocks", "-i", "127.0.0.1", "-p", str(socks), "-b", "127.0.0.2"],
                 preexec_fn=end_with_this_test)
pool = subprocess.Popen([sys.executable, POOL + "/serve.py", "--port", "0", "--record", work + "/requests"],
                        stdout=subprocess.PIPE, preexec_fn=end_with_this_test)
common = [(STORE, "server", "http://pool.vorlant.test:" + pool.stdout.readline().decode().strip()),
          (STORE, "proxy", "custom"), (STORE, "proxy-url", "socks://127.0.0.1:%d" % socks)]
# An unquoted value of ours, as releases before 5.7 wrote it, and another program's.
wine("reg", "add", RUN_KEY, "/v", "Other", "/d", r"C:\other.exe --auto", "/f")
wine("reg", "add", RUN_KEY, "/v", "VorlantGui", "/d", ours + " --auto", "/f")
# Wine reports Windows 7 unless told otherwise; after 8.1 the header is left out. The 5.3 store
# has the autostart value refreshed.
store_5_3 = [(STORE, "version", "5.3"), (STORE + r"\miners\monero", "speed", "2", "/t", "REG_DWORD")]
for number, (version, os_version, store) in enumerate([("win7", "7", []), ("win81", "8.1", store_5_3),
                                                       ("win10", None, [])]):
    wine("reg", "delete", r"HKLM\Software\Vorlant", "/f")
    for key, name, data, *kind in [(r"HKCU\Software\Wine", "Version", version)] + common + store:
        wine("reg", "add", key, "/v", name, "/d", data, *kind, "/f")
    # With the pool's host name mapped for it alone, on the windows platform whatever the caller's
    # Qt settings.
    process = subprocess.Popen(["unshare", "--mount", "sh", "-c", 'mount --bind "$0" /etc/hosts && exec "$@"',
                                work + "/hosts", WINE_RUN, "--prefix", PREFIX, app], cwd=work,
                               env=dict(os.environ, QT_QPA_PLATFORM="windows"), stderr=subprocess.DEVNULL)
    # Every coin's entry with the value types the service reads, once the catalogue is in.
    deadline = time.time() + 60
    while (kinds := {coin: {name: kind for name, (kind, _) in values(STORE + "\\miners\\" + coin).items()}
                     for coin in COINS}) != dict.fromkeys(COINS, TYPES):
        assert time.time() < deadline, "coin entries missing or of other types: %s" % kinds
        time.sleep(0.5)
    time.sleep(2)  # for the window to draw the catalogue
    subprocess.run(["import", "-window", "root", ARTIFACTS + "/windows-main-window.png"], check=True)
    process.terminate()
    process.wait()
    request = [json.loads(line) for line in open(work + "/requests")][number]
    headers = {k.lower(): v for k, v in request["headers"]}
    seen = (request["client"], headers.get("client-os-family"), headers.get("client-os-version"),
            int(headers["x-cpu-id"].split(",")[0], 16), values(STORE)["version"])
    assert seen == ("127.0.0.2", "Windows", os_version, EAX, ("REG_SZ", "5.10")), seen
assert values(RUN_KEY) == {"VorlantGui": ("REG_SZ", '"%s" --auto' % ours),
                           "Other": ("REG_SZ", r"C:\other.exe --auto")}, values(RUN_KEY)
