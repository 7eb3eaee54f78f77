#!/usr/bin/env python3
"""The real window on a virtual X display, driven with the keyboard only, as a person would."""
import os
import unittest

import harness
from harness import App, PoolServer, Sandbox, VirtualDisplay
from test_e2e import entry_of, has_entries_for, load_catalogue, mined_coins

MAIN_TITLE = "Vorlant service settings"
PROXY_TITLE = "Proxy Settings"


class KeyboardTest(unittest.TestCase):
    def setUp(self):
        self.sandbox = Sandbox(self)
        self.pool = PoolServer(self, self.sandbox)
        self.sandbox.seed_store("[General]\nserver=%s\n" % self.pool.url())
        self.display = VirtualDisplay(self, self.sandbox)

    def key(self, *keys):
        self.display.xdotool("key", "--delay", "40", *keys)

    def type(self, text):
        self.display.xdotool("type", "--delay", "40", text)

    def wait_for(self, condition, what):
        return self.sandbox.wait_for_store(condition, what, self.app)

    def screenshot(self, name):
        path = os.path.join(harness.Config.artifacts, name)
        self.display.screenshot(path)
        return path

    def focus(self, window):
        # No window manager runs on the virtual display, so nobody else gives a new window
        # the keyboard; a person would click into it.
        if self.display.focused_window() != window:
            self.display.xdotool("windowfocus", "--sync", window)

    def test_choices_made_with_the_keyboard_are_stored(self):
        catalogue = load_catalogue()
        coins = mined_coins(catalogue)
        # The first row whose coin has partners: its partners are the merged-mining choices.
        row = next((i for i, c in enumerate(coins) if catalogue[c]["server"].get("merged")), None)
        self.assertIsNotNone(row, "the sample catalogue has no coin with partners")
        coin = coins[row]
        partner = sorted(catalogue[coin]["server"]["merged"])[0]
        cores = min(2, os.cpu_count())

        self.app = App(self, self.sandbox, **self.display.app_environment())
        main = self.display.find_window(MAIN_TITLE, self.app)
        self.wait_for(has_entries_for(coins), "the coin rows")
        self.focus(main)
        self.screenshot("e2e-keyboard-main.png")

        # The e-mail field has the focus first.
        self.type("person@example.org")
        self.wait_for(lambda s: s.get("email") == "person@example.org", "the typed e-mail")

        # Focus order: e-mail, proxy button, then cores and partner of each row in turn.
        self.key(*["Tab"] * (2 + 2 * row))
        self.key(*["Down"] * cores)
        self.wait_for(lambda s: entry_of(s, coin).get("running") == "true"
                      and entry_of(s, coin).get("speed") == str(cores),
                      "%d cores for %s" % (cores, coin))

        self.key("Tab", "Down")
        self.wait_for(lambda s: entry_of(s, coin).get("mergedMining") == partner,
                      "partner %s for %s" % (partner, coin))
        self.screenshot("e2e-keyboard-choices.png")

        self.key(*["shift+Tab"] * (2 + 2 * row))
        self.key("space")
        dialog = self.display.find_window(PROXY_TITLE, self.app)
        self.focus(dialog)
        # "No proxy" has the focus; the arrows move the choice down to "Custom settings",
        # then Tab goes past Cancel and OK to the address field.
        self.key("Down", "Down", "Tab", "Tab", "Tab")
        self.type("proxy.vorlant.test")
        self.key("Tab")
        self.type("1080")
        self.screenshot("e2e-keyboard-proxy.png")
        self.key("Return")
        self.wait_for(lambda s: s.get("proxy") == "custom"
                      and s.get("proxy-url") == "socks://proxy.vorlant.test:1080",
                      "the custom proxy")

        # Back in the main window, Escape closes it and with it the program.
        self.focus(main)
        self.key("Escape")
        self.assertEqual(self.app.wait_exit(), 0)

        store = self.sandbox.store()
        self.assertEqual(store.get("email"), "person@example.org")
        self.assertEqual(entry_of(store, coin)["speed"], str(cores))
        self.assertEqual(entry_of(store, coin)["mergedMining"], partner)
        others = [c for c in coins if c != coin]
        self.assertTrue(all(entry_of(store, c)["running"] == "false" for c in others),
                        "only the chosen row changed")


if __name__ == "__main__":
    harness.main()
