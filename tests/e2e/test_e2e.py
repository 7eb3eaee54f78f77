#!/usr/bin/env python3
# The built program, started headless, against the sample pool server and a throwaway store.
import datetime
import os
import re
import subprocess
import time

import harness
from harness import CATALOGUE, COINS, E2ETestCase, entry_of, has_entries, header, top_level

CPU_ID = re.compile(r"^(0|[1-9a-f][0-9a-f]*)(,(0|[1-9a-f][0-9a-f]*)){3}$")
# The first coin with merge-mining partners, and its first partner.
MERGED_COIN = next(c for c in COINS if CATALOGUE[c]["server"].get("merged"))
PARTNER = sorted(CATALOGUE[MERGED_COIN]["server"]["merged"])[0]


def new_entry(item):
    server = item.get("server", {})
    return {
        "visible": "true" if item.get("showByDefault") else "false",
        "ticker": item.get("ticker", "").upper(),
        "pool": "%s:%d" % (server.get("ip", ""), server.get("stratumPort", 0) % 65536),
        "worker": "", "speed": "1", "running": "false", "mergedMining": "",
        "mergedPools": {pid: {"url": "http://%s:%d" % (p["ip"], p["stratumPort"] % 65536)}
                        for pid, p in server.get("merged", {}).items()},
    }


class E2ETest(E2ETestCase):
    def test_catalogue_request_and_store_after_reply(self):
        kinds = [("", {}), ("-cli", {"CONSOLE_APP": "1", "SERVICE_APP": "1"}),
                 ("-service", {"CONSOLE_APP": "0", "SERVICE_APP": "1"}), ("", "socks")]
        for kind, environment in kinds:
            with self.subTest(user_agent_kind=kind, proxy=environment == "socks"):
                self.doCleanups()  # the previous row's processes and store
                self.setUp()
                url, general = self.start_pool(), {}
                host = client = "127.0.0.1"
                if environment == "socks":
                    host, client, environment = harness.POOL_HOST, harness.PROXY_EGRESS, {}
                    url = "http://%s:%d" % (host, self.port)
                    general = {"proxy": "custom",
                               "proxy-url": "socks://127.0.0.1:%d" % self.start_socks()}
                general["server"] = url
                self.start_app("[General]\n" + "".join("%s=%s\n" % kv for kv in general.items()),
                               **environment)
                request = self.wait_request()
                self.assertEqual(request["client"], client)
                self.assertEqual(header(request, "Host"), "%s:%d" % (host, self.port))
                self.assertEqual(header(request, "User-Agent"), "VorlantWin%s/5.10" % kind)
                self.assert_identity(request)
                store = self.wait_store(has_entries, "the catalogue's entries")
                for coin in COINS:
                    self.assertEqual(entry_of(store, coin), new_entry(CATALOGUE[coin]), coin)
                # Only cryptonight coins get an entry; no e-mail until the user sets one.
                miners = {k.split("/")[1] for k in store if k.startswith("miners/")}
                self.assertEqual(sorted(miners), COINS)
                self.assertEqual(top_level(store), dict(general, version="5.10"))
                self.assertEqual(len(self.requests()), 1, "the catalogue is asked for once")

    def assert_identity(self, request):
        self.assertEqual((request["method"], request["path"], request["body"]),
                         ("GET", harness.CATALOGUE_PATH, ""))
        self.assertIn(header(request, "Content-Length"), (None, "0"))
        self.assertRegex(header(request, "x-cpu-id") or "", CPU_ID)
        for name, value in [("Content-Type", "application/json"), ("client-name", "VorlantWin"),
                            ("client-os-family", os.uname().sysname),
                            ("client-os-version", os.uname().release), ("client-version", "5.10")]:
            self.assertEqual(header(request, name), value, name)

    def test_stored_choices_carried_forward(self):
        url = self.start_pool()
        c = MERGED_COIN
        self.start_app("[General]\nserver=%s\nemail=me@example.org\n\n[miners]\n"
                       "%s\\visible=false\n%s\\running=true\n%s\\speed=2\n%s\\worker=rig7\n"
                       "%s\\mergedMining=%s\n%s\\pool=stale:1\n"
                       "gone\\pool=gone.example:1\ngone\\running=true\n"
                       % (url, c, c, c, c, c, PARTNER, c))
        store = self.wait_store(lambda s: entry_of(s, c).get("ticker"), "the refreshed entry")
        self.assertEqual(entry_of(store, c), dict(new_entry(CATALOGUE[c]), visible="false",
                                                  running="true", speed="2", worker="rig7",
                                                  mergedMining=PARTNER))
        # A coin that left the catalogue stays as it was.
        self.assertEqual(entry_of(store, "gone"), {"pool": "gone.example:1", "running": "true"})
        self.assertEqual(top_level(store),
                         {"server": url, "version": "5.10", "email": "me@example.org"})

    def test_http_error_writes_no_entries(self):
        url = self.start_pool(status=500)
        self.start_app("[General]\nserver=%s\n" % url)
        self.wait_request()
        # Nothing observable follows a failed reply; a written entry would show within this
        # time, as it does for a good reply.
        deadline = time.monotonic() + 2.0
        while time.monotonic() < deadline:
            self.assertFalse([k for k in self.store() if k.startswith("miners/")],
                             "entries written after HTTP 500")
            time.sleep(0.1)
        self.assertIsNone(self.app.poll(), "the program must keep running")
        self.assertEqual(self.store(), {"server": url, "version": "5.10"})
        self.assertEqual(len(self.requests()), 1, "a failed catalogue is not asked again")

    # A store the program may not change (an ordinary user, the store root's) or cannot write (a
    # full disk) is reported in one error entry; the store stays as it was and the program runs on.
    def test_unwritable_store_is_reported(self):
        for case, error in [("writable", None), ("root's", "no permission to change %s"),
                            ("full disk", "writing %s failed")]:
            with self.subTest(case):
                self.doCleanups()
                self.setUp()
                with open(harness.STORE_PATH, "w", encoding="utf-8") as f:
                    f.write("[General]\nserver=%s\n" % self.start_pool())
                if case == "full disk":
                    subprocess.run(["dd", "if=/dev/zero", "of=/etc/xdg/filler", "bs=64k"],
                                   stderr=subprocess.DEVNULL)  # ends when the disk is full
                with open(harness.STORE_PATH, "rb") as f:
                    before = f.read()
                self.start_app(None, user=65534 if case == "root's" else None)
                self.wait_request()
                if error is None:
                    self.wait_store(has_entries, "the catalogue's entries")
                time.sleep(1.0)  # every write-back of the start and the catalogue rows has run
                self.assertIsNone(self.app.poll(), "the program must keep running")
                log_path = os.path.join(self.root, "data", "vorlant-service", "log", "vorlant.log")
                with open(log_path, encoding="utf-8") as f:
                    errors = [line.split("]  ")[1].rstrip() for line in f if "] [error]  " in line]
                self.assertEqual(errors, ["Settings can't be saved: " + error % harness.STORE_PATH]
                                 if error else [])
                if error:
                    with open(harness.STORE_PATH, "rb") as f:
                        self.assertEqual(f.read(), before)

    def test_log_begins_with_the_applied_style_sheet(self):
        before = datetime.datetime.now().replace(second=0, microsecond=0)
        self.start_app("[General]\nserver=%s\n" % self.start_pool())
        with open(os.path.join(harness.SOURCE_DIR, "resources", "basestyle.qss"), "rb") as f:
            entry = b'*{font-family: "DejaVu Sans";}' + f.read()
        length = len("[dd.MM.yyyy hh:mm] [ info]  ") + len(entry) + 1
        log_path = os.path.join(self.root, "data", "vorlant-service", "log", "vorlant.log")

        def log_bytes():
            if os.path.exists(log_path):
                with open(log_path, "rb") as f:
                    data = f.read()
                return data if len(data) >= length else None

        data = harness.wait_until(log_bytes, "the style sheet entry in vorlant.log", self.app)
        match = re.match(rb"\[(\d\d)\.(\d\d)\.(\d{4}) (\d\d):(\d\d)\] \[ info\]  ", data)
        self.assertIsNotNone(match, data[:80])
        day, month, year, hour, minute = (int(x) for x in match.groups())
        stamp = datetime.datetime(year, month, day, hour, minute)
        self.assertTrue(before <= stamp <= datetime.datetime.now(), "time stamp %s" % stamp)
        self.assertEqual(data[match.end():], entry + b"\n", "one entry: the whole style sheet")

    def test_old_layout_upgraded_at_start(self):
        url = self.start_pool()
        with open(os.path.join(harness.SOURCE_DIR, "tests", "data", "stores", "v105-derived.conf"),
                  encoding="utf-8") as f:
            # The old entries name their own servers; point them at the pool server, so that
            # the upgraded store is what the program then asks.
            self.start_app(f.read().replace("https://one.example/api", url + "/one")
                           .replace("https://two.example/api", url + "/two"))
        self.assertEqual(self.wait_request()["path"], harness.CATALOGUE_PATH)
        store = self.wait_store(has_entries, "the catalogue's entries")
        # The account keys of the last entry, the entries re-keyed by engine, and the old
        # merged-mining keys gone.
        self.assertEqual(top_level(store), {"server": url + "/two", "email": "two@example.org",
                                            "apiToken": "tok-2", "version": "5.10",
                                            "proxy": "no"})
        for coin, pool, worker in [("bcn", "bcn.pool.example:3333", "rig1"),
                                   ("fcn", "fcn.pool.example:4444", "rig2")]:
            self.assertEqual(entry_of(store, coin), {"pool": pool, "worker": worker, "speed": "1"})
        self.assertEqual(entry_of(store, "miner1"), {})
        self.assertEqual(entry_of(store, "miner2"), {})


if __name__ == "__main__":
    harness.main()
