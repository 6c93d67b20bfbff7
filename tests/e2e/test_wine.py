"""The Windows handler under Wine: it really launches through ShellExecuteA.

BQW_WINDOWS_EXE names brindlequillworth.exe and BQW_WINEPREFIX the private
prefix to use. Without wine or the executable the cases skip, except in CI
(CI=true), where that is a failure.
"""

import os
import shutil
import subprocess
import unittest

import expected
from harness import BOM, Wine, Workspace, require

EXE = os.environ.get("BQW_WINDOWS_EXE", "")
PREVIEW = os.path.join(os.path.dirname(EXE), "brindlequillworth-preview.exe") if EXE else ""
PREFIX = os.environ.get("BQW_WINEPREFIX", "")
IN_CI = os.environ.get("CI") == "true"

COMPOSE = b"https://mail.example.com/compose?to=%RECI%\n"
ADDRESS = "https://mail.example.com/compose?to="

missing = []
for program in (EXE, PREVIEW):
    if not (program and os.path.exists(program)):
        missing.append("the Windows build (%s)" % (program or "BQW_WINDOWS_EXE unset"))
if not shutil.which("wine"):
    missing.append("wine")
if not PREFIX:
    missing.append("BQW_WINEPREFIX")


class WineHandler(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        require(missing, "Windows tests")
        cls.wine = Wine(PREFIX)

    @classmethod
    def tearDownClass(cls):
        cls.wine.close()

    def run_case(self, args, template, expect, app_dir_name="app", cwd=None, files=()):
        ws = Workspace(EXE, template, app_dir_name)
        try:
            for name in files:
                open(os.path.join(cwd or ws.root, name), "w").close()
            return self.wine.run(ws, args, 1 if expect else 0, cwd=cwd)
        finally:
            ws.cleanup()

    def test_launches(self):
        cases = [
            ("test link", [], COMPOSE, ADDRESS + "someone@example.com"),
            ("recipient", ["mailto:ann@example.com"], COMPOSE, ADDRESS + "ann@example.com"),
            ("non-ASCII link arrives as UTF-8", ["mailto:j\u00f6rg@x.de?subject=\u00fc"], COMPOSE,
             ADDRESS + "j%c3%b6rg@x.de"),
            ("byte-order mark", ["mailto:ann"], BOM + COMPOSE, ADDRESS + "ann"),
            ("joined arguments, no wildcard expansion", ["mailto:ann", "*"], COMPOSE,
             ADDRESS + "ann%20*"),
        ]
        for name, args, template, address in cases:
            with self.subTest(name):
                code, launches = self.run_case(args, template, address, files=["zzz.txt"])
                self.assertEqual(code, 0)
                self.assertEqual(launches, [(1, address.encode())])

    def test_complete_handler(self):
        for name, args, template, address in expected.CASES:
            with self.subTest(name):
                code, launches = self.run_case(args, template + b"\r\n", address)
                self.assertEqual((code, launches), (0, [(1, address)]))

    def test_preview_prints_what_the_handler_launches(self):
        cases = [(name, args, template + b"\r\n", 1) for name, args, template, _ in expected.CASES]
        cases += [("no usable link", ["abcde"], COMPOSE, 0), ("no %RECI%", ["mailto:ann"], b"h/\n", 0)]
        for name, args, template, expect in cases:
            with self.subTest(name):
                ws = Workspace(EXE, template)
                try:
                    shutil.copy2(PREVIEW, ws.app_dir)
                    code, launches = self.wine.run(ws, args, expect)
                    preview = os.path.join(ws.app_dir, os.path.basename(PREVIEW))
                    got = self.wine.run_console(preview, args, ws.root)
                finally:
                    ws.cleanup()
                # The console's text mode ends lines with CR LF.
                if launches:
                    self.assertEqual(got, (0, launches[0][1] + b"\r\n", b""))
                elif code == 1:
                    self.assertEqual(got, (1, b"", b"no usable link\r\n"))
                else:
                    self.assertEqual(got, (2, b"", b"the template has no %RECI%\r\n"))

    def test_long_link(self):
        # Wine 8's own ShellExecuteA fails on addresses from about 1000 bytes
        # (a bare call shows it), so this is the longest link it can carry;
        # the Linux suite runs a link of 32,000 bytes.
        link = expected.long_link(600)
        self.assertLess(len(expected.gmail_address(link)), 1000)
        code, launches = self.run_case([link.decode()], expected.GMAIL + b"\n", True)
        self.assertEqual(code, 0)
        self.assertEqual(launches, [(1, expected.gmail_address(link))])

    def test_template_beside_the_executable(self):
        # Started from another folder, which holds a different link.txt.
        ws = Workspace(EXE, COMPOSE)
        other = os.path.join(ws.root, "elsewhere")
        os.makedirs(other)
        with open(os.path.join(other, "link.txt"), "wb") as f:
            f.write(b"https://wrong.example.com/?to=%RECI%\n")
        try:
            code, launches = self.wine.run(ws, ["mailto:ann"], 1, cwd=other)
        finally:
            ws.cleanup()
        self.assertEqual((code, launches), (0, [(1, (ADDRESS + "ann").encode())]))

    def test_nothing_launched(self):
        long_folder = "/".join(["d" * 120, "e" * 120])
        cases = [
            ("no usable link", ["abcde"], COMPOSE, 1, "app"),
            ("no room for a recipient", ["ab", "cde"], COMPOSE, 1, "app"),
            ("no template", ["mailto:ann"], None, 0, "app"),
            ("path longer than 250 bytes", ["mailto:ann"], COMPOSE, 0, long_folder),
        ]
        for name, args, template, code, folder in cases:
            with self.subTest(name):
                got_code, launches = self.run_case(args, template, None, app_dir_name=folder)
                self.assertEqual(got_code, code)
                self.assertEqual(launches, [])


@unittest.skipUnless(EXE and os.path.exists(EXE) or IN_CI, "no Windows build")
class WindowsExecutable(unittest.TestCase):
    def test_imports_only_system_dlls_and_runs_without_console(self):
        out = subprocess.run(["x86_64-w64-mingw32-objdump", "-p", EXE], capture_output=True,
                             text=True, check=True).stdout
        dlls = sorted(line.split(":", 1)[1].strip().lower()
                      for line in out.splitlines() if "DLL Name:" in line)
        self.assertEqual(dlls, ["kernel32.dll", "msvcrt.dll", "ole32.dll", "shell32.dll"])
        self.assertIn("(Windows GUI)", out)

    def test_preview_is_a_console_program(self):
        out = subprocess.run(["x86_64-w64-mingw32-objdump", "-p", PREVIEW], capture_output=True,
                             text=True, check=True).stdout
        self.assertIn("(Windows CUI)", out)
        self.assertNotIn("libstdc++", out)

    def test_manifest_sets_utf8_code_page(self):
        with open(EXE, "rb") as f:
            data = f.read()
        self.assertIn(b"<activeCodePage", data)
        self.assertIn(b">UTF-8</activeCodePage>", data)


if __name__ == "__main__":
    unittest.main()
