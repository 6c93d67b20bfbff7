"""The Linux handler as a real process: exit codes and exactly what it opens.

BQW_HANDLER names the executable. With BQW_VALGRIND=1 every case also runs
under valgrind's memcheck and must show no error and no leak. BQW_FAILMALLOC
names a preloadable library that fails one chosen allocation.
"""

import os
import subprocess
import unittest

import expected
from harness import BOM, run_native

HANDLER = os.environ.get("BQW_HANDLER", "")
VALGRIND = os.environ.get("BQW_VALGRIND") == "1"
FAILMALLOC = os.environ.get("BQW_FAILMALLOC", "")

RECI = b"h/%RECI%\n"
TEST_RECIPIENT = b"someone@example.com"

# (name, arguments, template bytes or None for no link.txt, exit code, address or None)
CASES = [
    ("no arguments use the test link", [], RECI, 0, b"h/" + TEST_RECIPIENT),
    ("five characters", ["abcde"], RECI, 1, None),
    ("six counted, but no room for a recipient", ["ab", "cde"], RECI, 1, None),
    ("empty arguments count their gaps", ["", "", "", "", "", "x"], RECI, 1, None),
    ("a '?' inside the scheme", ["mail?to:ann"], RECI, 1, None),
    ("scheme only", ["mailto:"], RECI, 0, b"h/"),
    ("joined arguments", ["mailto:ann?subject=Hello", "World"], RECI, 0, b"h/ann"),
    ("empty leading argument", ["", "mailto:ann"], RECI, 0, b"h/ann"),
    ("empty middle argument keeps two spaces", ["mailto:ann", "", "x"], RECI, 0,
     b"h/ann%20%20x"),
    ("no query", ["mailto:ann"], RECI, 0, b"h/ann"),
    ("empty recipient with a query", ["mailto:?x=1"], RECI, 0, b"h/"),
    ("scheme in capitals", ["MAILTO:ann"], RECI, 0, b"h/ann"),
    ("scheme not examined", ["abcdefgann"], RECI, 0, b"h/ann"),
    ("no link.txt", ["mailto:ann"], None, 0, None),
    ("empty link.txt", ["mailto:ann"], b"", 0, None),
    ("every %RECI% replaced", ["mailto:ann"], b"h/%RECI%/%RECI%", 0, b"h/ann/ann"),
    ("no %RECI%", ["mailto:ann"], b"h/to\n", 0, None),
    ("only the first line counts", ["mailto:ann"], b"\nh/%RECI%\n", 0, None),
    ("CR LF cut off", ["mailto:ann"], b"h/%RECI%\r\n", 0, b"h/ann"),
    ("text after a CR cut off", ["mailto:ann"], b"h/%RECI%\rtail\n", 0, b"h/ann"),
    ("text after a NUL cut off", ["mailto:ann"], b"h/%RECI%\0tail\n", 0, b"h/ann"),
    ("byte-order mark dropped", ["mailto:ann"], BOM + RECI, 0, b"h/ann"),
    ("no mark, nothing dropped", ["mailto:ann"], b"abc%RECI%", 0, b"abcann"),
    ("short result kept whole", ["mailto:abc"], b"%RECI%", 0, b"abc"),
    ("recipient-first template kept whole", ["mailto:abcd"], b"%RECI%", 0, b"abcd"),
    ("mark before a recipient-first template", ["mailto:abcd"], BOM + b"%RECI%", 0, b"abcd"),
    ("a line that is only the mark", ["mailto:ann"], BOM + b"\n", 0, None),
    ("host-first template", ["mailto:ann"], b"www.example.com/?to=%RECI%", 0,
     b"www.example.com/?to=ann"),
    ("only 299 bytes of the line count", ["mailto:ann"], b"h/%RECI%" + b"x" * 400, 0,
     b"h/ann" + b"x" * 291),
    ("a placeholder past 299 bytes", ["mailto:ann"], b"x" * 295 + b"%RECI%", 0, None),
    ("plus-address", ["mailto:ann+news@example.com"], RECI, 0, b"h/ann%2bnews@example.com"),
    ("parameter injection", ["mailto:x&su=hi"], RECI, 0, b"h/x%26su=hi"),
    ("UNC path", ["mailto:\\\\host\\share"], b"%RECI%", 0, b"%5c%5chost%5cshare"),
    ("non-ASCII recipient", ["mailto:j\u00f6rg@x.de"], RECI, 0, b"h/j%c3%b6rg@x.de"),
    ("spaces stay in one argument", ["mailto:ann"], b"h/%RECI% \"x\" y", 0,
     b"h/ann \"x\" y"),
]


def expected_launches(address):
    return [] if address is None else [(1, address)]


@unittest.skipUnless(HANDLER, "BQW_HANDLER names no handler")
class HandlerProcess(unittest.TestCase):
    def run_case(self, args, template, **kw):
        code, launches, log = run_native(HANDLER, args, template, valgrind=VALGRIND, **kw)
        if VALGRIND:
            self.assertNotEqual(code, 97, log)
            self.assertEqual(log.strip(), "", log)
        return code, launches

    def test_cases(self):
        for name, args, template, code, address in CASES:
            with self.subTest(name):
                got_code, launches = self.run_case(args, template)
                self.assertEqual(got_code, code)
                self.assertEqual(launches, expected_launches(address))

    def test_complete_handler(self):
        for name, args, template, address in expected.CASES:
            with self.subTest(name):
                code, launches = self.run_case(args, template + b"\n")
                self.assertEqual((code, launches), (0, [(1, address)]))

    def test_link_of_32000_bytes(self):
        link = expected.long_link(32000)
        code, launches = self.run_case([link.decode()], expected.GMAIL + b"\r\n")
        self.assertEqual(code, 0)
        self.assertEqual(launches, [(1, expected.gmail_address(link))])

    def test_does_not_wait_for_the_browser(self):
        # The opener blocks until the handler has returned.
        code, launches = self.run_case(["mailto:ann"], RECI, gate=True)
        self.assertEqual(code, 0)
        self.assertEqual(launches, [(1, b"h/ann")])

    def test_folder_length_limit(self):
        # The executable's path and "link.txt" after its folder must fit 250
        # bytes; beyond that nothing is launched and nothing overruns.
        name = os.path.basename(HANDLER)
        for extra, address in [(0, b"h/ann"), (1, None), (200, None)]:
            with self.subTest(extra=extra):
                import tempfile
                root_len = len(tempfile.gettempdir()) + len("/bqw-XXXXXXXX/")
                fill = 250 - 2 - len(name) - root_len + extra  # path and terminator: 250
                parts = [fill // 2, fill - fill // 2 - 1]
                app = "/".join("d" * n for n in parts)
                code, launches = self.run_case(["mailto:ann"], RECI, app_dir_name=app)
                self.assertEqual(code, 0)
                self.assertEqual(launches, expected_launches(address))


@unittest.skipUnless(HANDLER and FAILMALLOC and not VALGRIND, "no allocation-failure library")
class AllocationFailure(unittest.TestCase):
    TEMPLATE = b"https://mail.example.com/?to=%RECI%&su=%SUBJ%&body=%BODY%&u=%URL%\n"
    ARGS = ["mailto:ann@example.com?subject=Hi&body=Hello there"]
    FULL = b"https://mail.example.com/?to=ann@example.com&su=Hi&body=Hello+there&u="
    URL = b"mailto%3aann%40example.com%3fsubject%3dHi%26body%3dHello%20there"
    # A value whose memory could not be had is left empty.
    ACCEPTED = [[], [(1, FULL + URL)], [(1, FULL)],
                [(1, FULL.replace(b"su=Hi", b"su=") + URL)],
                [(1, FULL.replace(b"Hello+there", b"") + URL)]]

    def test_every_allocation_failing_in_turn(self):
        env = {"LD_PRELOAD": FAILMALLOC, "BQW_FAIL_AT": "0"}
        code, launches, _ = run_native(HANDLER, self.ARGS, self.TEMPLATE, env_extra=env)
        self.assertEqual((code, launches), (0, [(1, self.FULL + self.URL)]))
        failed_nothing = 0
        for n in range(1, 200):
            env["BQW_FAIL_AT"] = str(n)
            with self.subTest(fail_at=n):
                code, launches, _ = run_native(HANDLER, self.ARGS, self.TEMPLATE, env_extra=env)
                self.assertEqual(code, 0)  # no crash, no signal
                self.assertIn(launches, self.ACCEPTED)
                if launches == self.ACCEPTED[1]:
                    failed_nothing += 1
                    if failed_nothing >= 5:
                        break  # past the run's last allocation


if __name__ == "__main__":
    unittest.main()
