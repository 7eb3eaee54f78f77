#!/usr/bin/env python3
"""The built program, started headless, against the sample pool server and a throwaway store."""
import datetime
import json
import os
import re
import time
import unittest

import harness
from harness import App, PoolServer, Sandbox, SocksProxy, header

CPU_ID = re.compile(r"^(0|[1-9a-f][0-9a-f]*)(,(0|[1-9a-f][0-9a-f]*)){3}$")
ENTRY_KEYS = {"visible", "ticker", "pool", "worker", "speed", "running", "mergedPools",
              "mergedMining"}


def load_catalogue(path=harness.SAMPLE_CATALOGUE):
    with open(path, encoding="utf-8") as f:
        return json.load(f)


def mined_coins(catalogue):
    return sorted(coin for coin, item in catalogue.items() if item.get("family") == "cryptonight")


def entry_of(store, coin):
    prefix = "miners/%s/" % coin
    return {key[len(prefix):]: value for key, value in store.items() if key.startswith(prefix)}


def top_level(store):
    return {key: value for key, value in store.items() if "/" not in key}


def has_entries_for(coins):
    return lambda store: all("miners/%s/mergedMining" % coin in store for coin in coins)


def expected_new_entry(item):
    server = item.get("server", {})
    partners = server.get("merged", {})
    return {
        "visible": "true" if item.get("showByDefault") else "false",
        "ticker": item.get("ticker", "").upper(),
        "pool": "%s:%d" % (server.get("ip", ""), server.get("stratumPort", 0) % 65536),
        "worker": "",
        "speed": "1",
        "running": "false",
        "mergedMining": "",
        "mergedPools": {
            pid: {"url": "http://%s:%d" % (p["ip"], p["stratumPort"] % 65536)}
            for pid, p in partners.items()
        },
    }


class E2ETestCase(unittest.TestCase):
    def start(self, store_text=None, status=200, server_host="127.0.0.1", **environment):
        """A sandbox, the pool server and the program, with "server" seeded to the pool server
        unless the test seeds the whole store itself (a callable given the server URL)."""
        self.sandbox = Sandbox(self)
        self.pool = PoolServer(self, self.sandbox, status=status)
        url = self.pool.url(server_host)
        text = store_text(url) if callable(store_text) else "[General]\nserver=%s\n" % url
        self.sandbox.seed_store(text)
        self.app = App(self, self.sandbox, **environment)
        return url


class CatalogueRequestTest(E2ETestCase):
    def assert_identity_headers(self, request, user_agent):
        self.assertEqual(request["method"], "GET")
        self.assertEqual(request["path"], harness.CATALOGUE_PATH)
        self.assertEqual(request["body"], "")
        self.assertIn(header(request, "Content-Length"), (None, "0"))
        self.assertEqual(header(request, "Content-Type"), "application/json")
        self.assertEqual(header(request, "client-name"), "VorlantWin")
        self.assertEqual(header(request, "client-os-family"), os.uname().sysname)
        self.assertEqual(header(request, "client-os-version"), os.uname().release)
        self.assertEqual(header(request, "client-version"), "5.10")
        self.assertRegex(header(request, "x-cpu-id") or "", CPU_ID)
        self.assertEqual(header(request, "User-Agent"), user_agent)

    def test_request_carries_the_client_identity(self):
        self.start()
        request = self.pool.wait_for_request(self.app)
        self.assert_identity_headers(request, "VorlantWin/5.10")
        self.assertEqual(request["client"], "127.0.0.1")
        self.sandbox.wait_for_store(has_entries_for(mined_coins(load_catalogue())),
                                    "the catalogue's entries", self.app)
        self.assertEqual(len(self.pool.requests()), 1, "the catalogue is asked for once")

    def test_console_kind_in_user_agent(self):
        self.start(CONSOLE_APP="1", SERVICE_APP="1")
        request = self.pool.wait_for_request(self.app)
        self.assert_identity_headers(request, "VorlantWin-cli/5.10")

    def test_service_kind_in_user_agent(self):
        self.start(CONSOLE_APP="0", SERVICE_APP="1")
        request = self.pool.wait_for_request(self.app)
        self.assertEqual(header(request, "User-Agent"), "VorlantWin-service/5.10")

    def test_request_through_custom_socks_proxy(self):
        sandbox = self.sandbox = Sandbox(self)
        proxy = SocksProxy(self, sandbox)
        pool = PoolServer(self, sandbox)
        sandbox.seed_store("[General]\nserver=%s\nproxy=custom\nproxy-url=socks://127.0.0.1:%d\n"
                           % (pool.url(harness.POOL_HOST), proxy.port))
        app = App(self, sandbox)
        request = pool.wait_for_request(app)
        self.assertEqual(request["client"], harness.PROXY_EGRESS,
                         "the request must come out of the SOCKS proxy")
        self.assert_identity_headers(request, "VorlantWin/5.10")
        self.assertEqual(header(request, "Host"), "%s:%d" % (harness.POOL_HOST, pool.port))
        # The reply travels back the same way and is handled like a direct one.
        sandbox.wait_for_store(has_entries_for(mined_coins(load_catalogue())),
                               "the catalogue's entries", app)


class StoreAfterReplyTest(E2ETestCase):
    def test_entries_for_each_cryptonight_coin(self):
        catalogue = load_catalogue()
        coins = mined_coins(catalogue)
        self.assertTrue(coins, "the sample catalogue lists no cryptonight coin")
        url = self.start()
        store = self.sandbox.wait_for_store(has_entries_for(coins), "the catalogue's entries",
                                            self.app)
        for coin in coins:
            with self.subTest(coin=coin):
                self.assertEqual(entry_of(store, coin), expected_new_entry(catalogue[coin]))
        for coin in set(catalogue) - set(coins):
            self.assertEqual(entry_of(store, coin), {}, coin + " is of another family")
        self.assertEqual(sorted({key.split("/")[1] for key in store if key.startswith("miners/")}),
                         coins)
        # No e-mail and no proxy until the user sets them.
        self.assertEqual(top_level(store), {"server": url, "version": "5.10"})

    def test_stored_choices_carried_forward(self):
        catalogue = load_catalogue()
        coin = next(c for c in mined_coins(catalogue)
                    if catalogue[c].get("server", {}).get("merged"))
        partner = sorted(catalogue[coin]["server"]["merged"])[0]
        def seed(url):
            return ("[General]\nserver=%s\nemail=me@example.org\n\n[miners]\n"
                    "%s\\visible=false\n%s\\running=true\n%s\\speed=2\n%s\\worker=rig7\n"
                    "%s\\mergedMining=%s\n%s\\pool=stale:1\n"
                    "gone\\pool=gone.example:1\ngone\\running=true\n"
                    % ((url,) + (coin,) * 5 + (partner, coin)))

        url = self.start(seed)
        store = self.sandbox.wait_for_store(lambda s: entry_of(s, coin).get("ticker"),
                                            "the refreshed entry", self.app)
        expected = dict(expected_new_entry(catalogue[coin]), visible="false", running="true",
                        speed="2", worker="rig7", mergedMining=partner)
        self.assertEqual(entry_of(store, coin), expected)
        # A coin that left the catalogue stays as it was.
        self.assertEqual(entry_of(store, "gone"), {"pool": "gone.example:1", "running": "true"})
        self.assertEqual(top_level(store),
                         {"server": url, "version": "5.10", "email": "me@example.org"})

    def test_http_error_writes_no_entries(self):
        url = self.start(status=500)
        self.pool.wait_for_request(self.app)
        # Nothing observable follows a failed reply; a written entry would show within this
        # time, as it does for a good reply in the test above.
        deadline = time.monotonic() + 2.0
        while time.monotonic() < deadline:
            store = self.sandbox.store()
            self.assertFalse([key for key in store if key.startswith("miners/")],
                             "entries written after HTTP 500")
            time.sleep(0.1)
        self.assertIsNone(self.app.poll(), "the program must keep running")
        self.assertEqual(self.sandbox.store(), {"server": url, "version": "5.10"})
        self.assertEqual(len(self.pool.requests()), 1, "a failed catalogue is not asked again")


class StartupTest(E2ETestCase):
    def test_log_begins_with_the_applied_style_sheet(self):
        before = datetime.datetime.now().replace(second=0, microsecond=0)
        self.start()
        with open(harness.STYLE_SHEET, "rb") as f:
            entry = b'*{font-family: "DejaVu Sans";}' + f.read()
        expected_length = len("[dd.MM.yyyy hh:mm] [ info]  ") + len(entry) + 1

        def log_bytes():
            try:
                with open(self.sandbox.log_path, "rb") as f:
                    data = f.read()
            except FileNotFoundError:
                return None
            return data if len(data) >= expected_length else None

        data = harness.wait_until(log_bytes, "the style sheet entry in vorlant.log", app=self.app)
        after = datetime.datetime.now()
        match = re.match(rb"\[(\d\d)\.(\d\d)\.(\d{4}) (\d\d):(\d\d)\] \[ info\]  ", data)
        self.assertIsNotNone(match, data[:80])
        day, month, year, hour, minute = (int(x) for x in match.groups())
        stamp = datetime.datetime(year, month, day, hour, minute)
        self.assertTrue(before <= stamp <= after, "time stamp %s" % stamp)
        self.assertEqual(data[match.end():], entry + b"\n", "one entry: the whole style sheet")

    def test_old_layout_upgraded_at_start(self):
        with open(os.path.join(harness.STORE_FIXTURES, "v105-derived.conf"),
                  encoding="utf-8") as f:
            fixture = f.read()
        # The old entries name their own servers; point them at the pool server, so that the
        # upgraded store is what the program then asks.
        def seed(url):
            return (fixture.replace("https://one.example/api", url + "/one")
                    .replace("https://two.example/api", url + "/two"))

        url = self.start(seed)
        request = self.pool.wait_for_request(self.app)
        self.assertEqual(request["path"], harness.CATALOGUE_PATH)
        store = self.sandbox.wait_for_store(has_entries_for(mined_coins(load_catalogue())),
                                            "the catalogue's entries", self.app)
        # The account keys of the last entry, the entries re-keyed by engine, and the old
        # merged-mining keys gone.
        self.assertEqual(top_level(store), {"server": url + "/two", "email": "two@example.org",
                                            "apiToken": "tok-2", "version": "5.10",
                                            "proxy": "no"})
        self.assertEqual(entry_of(store, "bcn"),
                         {"pool": "bcn.pool.example:3333", "worker": "rig1", "speed": "1"})
        self.assertEqual(entry_of(store, "fcn"),
                         {"pool": "fcn.pool.example:4444", "worker": "rig2", "speed": "1"})
        self.assertEqual(entry_of(store, "miner1"), {})
        self.assertEqual(entry_of(store, "miner2"), {})


if __name__ == "__main__":
    harness.main()
