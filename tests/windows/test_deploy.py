# The Windows build as a user gets it, under Wine in a fresh prefix whose registry is the machine:
# the installer run silently (files, Start-menu shortcut, Add/Remove entry, the store key and its
# rights, as tests/data/windows/installed.json has them), the program started from the unpacked
# zip and from the shortcut's target, each time with nothing else on its DLL path, on the virtual
# display of xvfb-run, against the sample pool reached through a SOCKS5 proxy (microsocks), over
# HTTP and HTTPS, once per Windows version that the identity headers tell apart; an untrusted
# certificate; then an install over it, and the uninstall.
# Usage: test_deploy.py ZIP INSTALLER SDDL WINE_RUN ARTIFACTS (as root: the pool's host name and
# the trusted certificates are replaced in a private mount namespace, since Qt sends no loopback
# address through a proxy, and Wine's Schannel trusts the roots in /etc/ssl/certs)
import ctypes, glob, json, os, re, signal, socket, subprocess, sys, tempfile, time, zipfile

ZIP, SETUP, SDDL, WINE_RUN, ARTIFACTS = sys.argv[1:6]
HERE = os.path.dirname(os.path.abspath(__file__))
PREFIX, POOL = ARTIFACTS + "/deploy-prefix", HERE + "/../../tools/samplepool"
# The Add/Remove entry; the store's rights (Administrators and SYSTEM full control, Users read,
# write and delete; Wine drops the P of "protected"); the value types as the service reads them:
# Qt writes booleans as text, maps in its variant form.
EXPECTED = json.load(open(HERE + "/../data/windows/installed.json"))
STORE = r"HKLM\Software\Vorlant\OrganizationDefaults"
RUN_KEY = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Run"
ENTRY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Vorlant"
FOLDER, INSTALLED = PREFIX + "/drive_c/Program Files/Vorlant", r"C:\Program Files\Vorlant\vorlant-settings.exe"
LINK = PREFIX + "/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Vorlant service settings.lnk"
COINS = [c for c, v in json.load(open(POOL + "/catalogue.json")).items() if v["family"] == "cryptonight"]
# CPUID leaf 1 EAX as /proc/cpuinfo describes this processor
cpu = dict(re.findall(r"^(cpu family|model|stepping)\s*:\s*(\d+)$", open("/proc/cpuinfo").read(), re.M))
family, model, stepping = (int(cpu[k]) for k in ("cpu family", "model", "stepping"))
EAX = stepping | (model & 15) << 4 | min(family, 15) << 8 | (model >> 4) << 16 | max(family - 15, 0) << 20
# A CA the namespace's certificate store trusts, and one it does not, each with a pool certificate.
CERTS = """for ca in trusted rogue; do openssl req -x509 -newkey rsa:2048 -nodes -subj /CN=$ca -keyout $ca.key \
-out $ca.pem && openssl req -newkey rsa:2048 -nodes -subj /CN=pool.vorlant.test -addext subjectAltName=DNS:pool.vorlant.test \
-keyout $ca-pool.pem | openssl x509 -req -CA $ca.pem -CAkey $ca.key -copy_extensions copy >>$ca-pool.pem; done 2>/dev/null
mkdir certs && cp trusted.pem certs/ca-certificates.crt"""


# Its output, through a file: a pipe would stay open as long as any Wine process that the call
# happened to start, the prefix's services or a program started beside it.
def wine(*args):
    with tempfile.TemporaryFile("w+") as out:
        subprocess.run([WINE_RUN, "--prefix", PREFIX] + list(args), stdout=out, stderr=subprocess.DEVNULL)
        out.seek(0)
        return out.read()


# {name: data} of the key's values, or {name: type}; a failed query (no such key) has none
def values(key, part=2):
    return {found[0]: found[part] for found in re.findall(r"^    (\S+)    (REG_\w+)(?:    )?(.*)$",
                                                          wine("reg", "query", key), re.M)}


def files(folder):
    return sorted(os.path.relpath(os.path.join(d, f), folder) for d, _, names in os.walk(folder) for f in names)


def until(done, what):  # polls done() for a minute; what() tells what is missing then
    assert any(done() or time.sleep(0.5) for _ in range(120)), what()


def stop(process):
    process.terminate()
    process.wait()


def check_installed():
    assert files(FOLDER) == sorted(files(work + "/vorlant-settings-windows") + ["uninstall.exe"]), files(FOLDER)
    # The target in the link's ANSI path, then the icon location, its only full path in UTF-16.
    assert re.findall(rb"([A-Z]:\\[ -~]*?\.exe)\0", link := open(LINK, "rb").read()) == [INSTALLED.encode()] and \
        INSTALLED.encode("utf-16-le") in link, "shortcut to another target, or without the icon"
    assert values(ENTRY) == EXPECTED["entry"], values(ENTRY)
    assert STORE.replace("HKLM", "HKEY_LOCAL_MACHINE") in wine("reg", "query", r"HKLM\Software\Vorlant"), "no store"
    assert re.fullmatch(EXPECTED["rights"], rights := wine(SDDL, r"MACHINE\SOFTWARE\Vorlant").strip()), rights


# For the servers: they end with this test however it ends, a timeout's kill included.
end_with_this_test = lambda: ctypes.CDLL(None).prctl(1, signal.SIGTERM)  # PR_SET_PDEATHSIG


def serve(*args):  # the sample pool's address
    pool = subprocess.Popen([sys.executable, POOL + "/serve.py", "--port", "0", "--record", work + "/requests", *args],
                            stdout=subprocess.PIPE, preexec_fn=end_with_this_test)
    return "://pool.vorlant.test:" + pool.stdout.readline().decode().strip()


# Started with the pool's host name and the trusted CA for it alone, on the windows platform
# whatever the caller's Qt settings.
def start(app, version, server, store=[]):
    wine("reg", "delete", STORE, "/f")
    for key, name, data, *kind in [(r"HKCU\Software\Wine", "Version", version), (STORE, "server", server), (STORE,
                                   "proxy", "custom"), (STORE, "proxy-url", "socks://127.0.0.1:%d" % socks)] + store:
        wine("reg", "add", key, "/v", name, "/d", data, *kind, "/f")
    script = 'mount --bind "$0" /etc/hosts && mount --bind "$1" /etc/ssl/certs && shift && exec "$@"'
    return subprocess.Popen(["unshare", "--mount", "sh", "-c", script, work + "/hosts", work + "/certs", WINE_RUN,
                             "--prefix", PREFIX, app], cwd=work, env=dict(os.environ, QT_QPA_PLATFORM="windows"),
                            stderr=subprocess.DEVNULL)


work = (temporary := tempfile.TemporaryDirectory(prefix="vorlant-windows-")).name  # removed on the way out
zipfile.ZipFile(ZIP).extractall(work)
ours = "Z:" + work.replace("/", "\\") + r"\vorlant-settings-windows\vorlant-settings.exe"
subprocess.run(["sh", "-c", CERTS], cwd=work, check=True)
open(work + "/hosts", "w").write(open("/etc/hosts").read() + "\n127.0.0.1 pool.vorlant.test\n")
socks = socket.create_server(("127.0.0.1", 0)).getsockname()[1]  # a free port, for a moment
subprocess.Popen(["microsocks", "-i", "127.0.0.1", "-p", str(socks), "-b", "127.0.0.2"], preexec_fn=end_with_this_test)
http, https, rogue = serve(), serve("--tls", work + "/trusted-pool.pem"), serve("--tls", work + "/rogue-pool.pem")
# Fifteen coins, more than a 1920 x 1080 screen at 150 % holds: the window stays on it, 750 wide,
# then and after (the prefix keeps the scale). As Windows 7: as Windows 10, Wine draws a taller
# caption than it tells Qt, and the window reaches past the screen by the difference.
catalogue = json.load(open(POOL + "/catalogue.json"))
catalogue.update({"zz%02d" % n: dict(catalogue["monero"], ticker="zz%02d" % n) for n in range(8, 16)})
json.dump(catalogue, open(work + "/long.json", "w"))
long = serve("--catalogue", work + "/long.json")
at_150 = [(r"HKCU\Control Panel\Desktop", "LogPixels", "144", "/t", "REG_DWORD")]

subprocess.run(["rm", "-rf", PREFIX])
wine("reg", "add", RUN_KEY, "/v", "Other", "/d", r"C:\other.exe --auto", "/f")  # creates the prefix
# Wine keeps a key's rights only while its server runs: once the first call's server is gone, one
# that outlives every gap between the calls below, and ends half a minute after the last.
subprocess.run(["sh", "-c", "wineserver -w && wineserver -p30"], env=dict(os.environ, WINEPREFIX=PREFIX))
wine(SETUP, "/S")
check_installed()
# The shortcut's target, unquoted, as releases before 5.7 wrote it.
wine("reg", "add", RUN_KEY, "/v", "VorlantGui", "/d", INSTALLED + " --auto", "/f")
# Wine reports Windows 7 unless told otherwise; after 8.1 the header is left out. The 5.3 store
# has the autostart value refreshed.
store_5_3 = [(STORE, "version", "5.3"), (STORE + r"\miners\monero", "speed", "2", "/t", "REG_DWORD")]
kinds = lambda: {coin: values(STORE + "\\miners\\" + coin, 1) for coin in COINS}
for number, (app, version, os_version, server, *store) in enumerate([
        (ours, "win7", "7", "http" + long, at_150), (INSTALLED, "win81", "8.1", "https" + https, store_5_3),
        (INSTALLED, "win10", None, "http" + http)]):
    process = start(app, version, server, *store)
    # Every coin's entry with the value types the service reads, once the catalogue is in.
    until(lambda: kinds() == dict.fromkeys(COINS, EXPECTED["types"]), kinds)
    time.sleep(2)  # for the window to draw the catalogue
    subprocess.run(["import", "-window", "root", ARTIFACTS + "/windows-main-window-%s.png" % version], check=True)
    frame = subprocess.run(["xdotool", "search", "--name", "^Vorlant service settings$", "getwindowgeometry",
                            "--shell"], capture_output=True, text=True).stdout
    x, y, width, height = (int(re.search(key + r"=(-?\d+)", frame)[1]) for key in ("X", "Y", "WIDTH", "HEIGHT"))
    assert 0 <= x and 0 <= y and x + width <= 1920 and y + height <= 1080 and \
        width == 750, frame
    stop(process)
    request = [json.loads(line) for line in open(work + "/requests")][number]
    headers = {k.lower(): v for k, v in request["headers"]}
    seen = (request["client"], headers.get("client-os-family"), headers.get("client-os-version"),
            int(headers["x-cpu-id"].split(",")[0], 16), values(STORE)["version"])
    assert seen == ("127.0.0.2", "Windows", os_version, EAX, "5.10"), seen
assert values(RUN_KEY) == {"VorlantGui": '"%s" --auto' % INSTALLED, "Other": r"C:\other.exe --auto"}, values(RUN_KEY)

# A certificate of a CA the store does not hold: refused, nothing written, the program still up.
seen = len(open(work + "/requests").read())
process = start(INSTALLED, "win10", "https" + rogue)
until(lambda: "tls-error" in open(work + "/requests").read()[seen:], lambda: "the untrusted certificate not refused")
time.sleep(2)
assert process.poll() is None and values(STORE + r"\miners\monero") == {}, "crashed or wrote entries"
log = glob.glob(PREFIX + "/drive_c/users/*/AppData/Local/vorlant-service/log/vorlant.log")
until(lambda: "pool.vorlant.test: the server's certificate is not trusted." in open(*log).read(), lambda: log)
stop(process)

# An install over a damaged one mends it in place; the uninstall leaves exactly the store.
open(FOLDER + "/vorlant-settings.exe", "w").close()
wine(SETUP, "/S")
check_installed()
assert open(FOLDER + "/vorlant-settings.exe", "rb").read() == open(ours[2:].replace("\\", "/"), "rb").read()
store = wine("reg", "query", r"HKLM\Software\Vorlant", "/s")
wine(FOLDER + "/uninstall.exe", "/S")  # returns at once: the work goes on in a copy
until(lambda: not os.path.exists(FOLDER), lambda: "still installed: %s" % files(FOLDER))
left = (os.path.exists(LINK), values(ENTRY), values(RUN_KEY))  # shortcut, Add/Remove entry, autostart value
assert left == (False, {}, {"Other": r"C:\other.exe --auto"}), left
assert wine("reg", "query", r"HKLM\Software\Vorlant", "/s") == store, "store changed"
