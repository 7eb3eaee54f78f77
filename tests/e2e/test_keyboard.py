#!/usr/bin/env python3
# The real window on a virtual X display, driven with the keyboard only, as a person would.
import os
import re
import subprocess

import harness
from harness import COINS, E2ETestCase, entry_of, has_entries
from test_e2e import MERGED_COIN, PARTNER


class KeyboardTest(E2ETestCase):
    def x(self, *command):
        done = subprocess.run(command, env=dict(os.environ, DISPLAY=self.display),
                              capture_output=True, text=True, timeout=harness.DEADLINE)
        return done.stdout.strip() if done.returncode == 0 else None

    def xdotool(self, *args):
        out = self.x("xdotool", *args)
        self.assertIsNotNone(out, "xdotool %s failed" % " ".join(args))
        return out

    def key(self, *keys):
        self.xdotool("key", "--delay", "40", *keys)

    def type(self, text):
        self.xdotool("type", "--delay", "40", text)

    def screenshot(self, name):
        self.assertIsNotNone(self.x("import", "-window", "root",
                                    os.path.join(harness.ARGS.artifacts, name)), "screenshot")

    # No window manager runs on the virtual display to give a new window the keyboard; a
    # person would click into it.
    def focus(self, title):
        window = harness.wait_until(
            lambda: (self.x("xdotool", "search", "--onlyvisible", "--name",
                            "^%s$" % re.escape(title)) or "").split()[:1],
            "a window titled %r" % title, self.app)[0]
        self.xdotool("windowfocus", "--sync", window)

    def test_choices_made_with_the_keyboard_are_stored(self):
        read_end, write_end = os.pipe()
        self.spawn("xvfb", ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1024x768x24",
                            "-nolisten", "tcp", "-noreset"], pass_fds=(write_end,))
        os.close(write_end)
        with os.fdopen(read_end, "rb") as pipe:
            self.display = ":" + harness.read_line(pipe, "Xvfb's display number")
        # Widgets draw without OpenGL, and the display has no GL driver worth loading.
        self.start_app("[General]\nserver=%s\n" % self.start_pool(), QT_QPA_PLATFORM="xcb",
                       DISPLAY=self.display, QT_XCB_GL_INTEGRATION="none")
        row, coin, cores = COINS.index(MERGED_COIN), MERGED_COIN, min(2, os.cpu_count())
        self.focus("Vorlant service settings")
        self.wait_store(has_entries, "the coin rows")
        self.screenshot("e2e-keyboard-main.png")

        # The e-mail field has the focus first.
        self.type("person@example.org")
        self.wait_store(lambda s: s.get("email") == "person@example.org", "the typed e-mail")

        # Focus order: e-mail, proxy button, then cores and partner of each row in turn.
        self.key(*["Tab"] * (2 + 2 * row))
        self.key(*["Down"] * cores)
        self.wait_store(lambda s: entry_of(s, coin).get("running") == "true"
                        and entry_of(s, coin).get("speed") == str(cores),
                        "%d cores for %s" % (cores, coin))
        self.key("Tab", "Down")
        self.wait_store(lambda s: entry_of(s, coin).get("mergedMining") == PARTNER,
                        "partner %s for %s" % (PARTNER, coin))
        self.screenshot("e2e-keyboard-choices.png")

        self.key(*["shift+Tab"] * (2 + 2 * row))
        self.key("space")
        self.focus("Proxy Settings")
        # "No proxy" has the focus; the arrows move the choice down to "Custom settings",
        # then Tab goes past Cancel and OK to the address field.
        self.key("Down", "Down", "Tab", "Tab", "Tab")
        self.type("proxy.vorlant.test")
        self.key("Tab")
        self.type("1080")
        self.screenshot("e2e-keyboard-proxy.png")
        self.key("Return")
        self.wait_store(lambda s: s.get("proxy") == "custom"
                        and s.get("proxy-url") == "socks://proxy.vorlant.test:1080",
                        "the custom proxy")

        # Back in the main window, Escape closes it and with it the program.
        self.focus("Vorlant service settings")
        self.key("Escape")
        self.assertEqual(self.app.wait(harness.DEADLINE), 0)
        store = self.store()
        self.assertEqual(store.get("email"), "person@example.org")
        self.assertEqual(entry_of(store, coin)["speed"], str(cores))
        self.assertEqual(entry_of(store, coin)["mergedMining"], PARTNER)
        self.assertEqual([c for c in COINS if entry_of(store, c)["running"] != "false"], [coin],
                         "only the chosen row changed")


if __name__ == "__main__":
    harness.main()
