"""The Windows installer under Wine, end to end: a silent installation, its
files and registry values, the ProgID made the mailto handler, a mailto link
opened through the shell reaching the recorder as the compose address, and a
silent uninstallation that leaves nothing of its own behind.

BQW_INSTALLER names the setup program and BQW_WINEPREFIX the private prefix.
Without wine or the installer the cases skip, except in CI (CI=true).
"""

import os
import shutil
import subprocess
import unittest

import expected
from harness import Wine, read_launches, require, wait_for

SETUP = os.path.abspath(os.environ["BQW_INSTALLER"]) if os.environ.get("BQW_INSTALLER") else ""
PREFIX = os.environ.get("BQW_WINEPREFIX", "")
HERE = os.path.dirname(os.path.abspath(__file__))
TEMPLATES = os.path.join(HERE, "..", "..", "templates")

PROGID = r"HKCU\Software\Classes\Brindlequillworth.mailto"
APP_KEY = r"HKCU\Software\Brindlequillworth"
REGISTERED = r"HKCU\Software\RegisteredApplications"
ARP = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Brindlequillworth"
MAILTO = r"HKCR\mailto\shell\open\command"
SETTINGS = r"HKCR\ms-settings"
LINK = "mailto:ann@example.com?subject=Gr\u00fc\u00dfe & more&body=Hi there&cc=bob@example.com"

missing = [what for what, ok in [("the installer (%s)" % (SETUP or "BQW_INSTALLER unset"),
                                  SETUP and os.path.exists(SETUP)),
                                 ("wine", shutil.which("wine")), ("BQW_WINEPREFIX", PREFIX)]
           if not ok]


def template(name):
    with open(os.path.join(TEMPLATES, name + ".txt"), "rb") as f:
        return f.read()


class Installer(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        require(missing, "installer tests")
        cls.wine = Wine(PREFIX)
        cls.work = PREFIX + "-installer"
        shutil.rmtree(cls.work, ignore_errors=True)
        os.makedirs(cls.work)
        local = cls.console(["cmd", "/c", "echo %LOCALAPPDATA%"])[1].strip()
        cls.folder_win = local + r"\Programs\Brindlequillworth"
        cls.folder = cls.unix_path(cls.folder_win)
        cls.programs = os.path.dirname(cls.folder)
        cls.programs_existed = os.path.isdir(cls.programs)

    @classmethod
    def tearDownClass(cls):
        # What the test itself set up in the prefix, standing in for the user.
        cls.reg("add", MAILTO, "/ve", "/d", r'"C:\windows\system32\winebrowser.exe" "%1"', "/f")
        cls.reg("delete", SETTINGS, "/f")
        shutil.rmtree(cls.work, ignore_errors=True)
        cls.wine.close()

    @classmethod
    def console(cls, command):
        code, out, err = cls.wine.run_console(command[0], command[1:], cls.work)
        return code, out.decode("utf-8", "replace"), err.decode("utf-8", "replace")

    @classmethod
    def unix_path(cls, path):
        return subprocess.run(["winepath", "-u", path], env=cls.wine.env, capture_output=True,
                              text=True, timeout=60).stdout.strip()

    @classmethod
    def reg(cls, *args):
        return cls.console(["reg"] + list(args))

    def value(self, key, name=None):
        """A registry value's data, or None when it or its key is missing."""
        code, out, _ = self.reg("query", key, *(["/v", name] if name else ["/ve"]))
        if code != 0:
            return None
        for line in out.splitlines():
            parts = line.strip().split("    ")
            if len(parts) >= 2 and parts[0] == (name or "(Default)"):
                return parts[2] if len(parts) > 2 else ""
        return None

    def key_exists(self, key):
        return self.reg("query", key)[0] == 0

    def install(self, *switches):
        code, _, _ = self.console([SETUP, "/S"] + list(switches))
        return code

    def files(self):
        found = []
        for root, _, names in os.walk(self.folder):
            found += [os.path.relpath(os.path.join(root, n), self.folder) for n in names]
        return sorted(found)

    def link_txt(self):
        with open(os.path.join(self.folder, "link.txt"), "rb") as f:
            return f.read()

    def open_through_the_shell(self, link):
        self.wine.clear_record()
        code, _, _ = self.console(["start", link])
        wait_for(lambda: read_launches(self.wine.record_dir), 20)
        return code, read_launches(self.wine.record_dir)

    def test_install_open_and_uninstall(self):
        if os.path.exists(self.folder):
            self.fail("an earlier run left %s" % self.folder)
        exe = self.folder_win + r"\brindlequillworth.exe"

        # 1. A silent installation takes Gmail.
        self.assertEqual(self.install(), 0)
        templates = sorted("templates/" + n for n in os.listdir(TEMPLATES))
        self.assertEqual(self.files(), sorted(
            ["brindlequillworth.exe", "brindlequillworth-preview.exe", "link.txt",
             "uninstall.exe"] + templates))
        self.assertEqual(self.link_txt(), template("gmail"))

        # 2. The registration, all under HKCU.
        uninstall = '"%s\\uninstall.exe"' % self.folder_win
        for key, name, data in [
            (PROGID + r"\shell\open\command", None, '"%s" "%%1"' % exe),
            (APP_KEY + r"\Capabilities", "ApplicationName", "Brindlequillworth"),
            (APP_KEY + r"\Capabilities\URLAssociations", "mailto", "Brindlequillworth.mailto"),
            (REGISTERED, "Brindlequillworth", r"Software\Brindlequillworth\Capabilities"),
            (ARP, "DisplayName", "Brindlequillworth"),
            (ARP, "InstallLocation", self.folder_win),
            (ARP, "UninstallString", uninstall),
            (ARP, "QuietUninstallString", uninstall + " /S"),
        ]:
            with self.subTest(key=key, name=name):
                self.assertEqual(self.value(key, name), data)

        # The template switch; an unknown one changes nothing; an update
        # without one keeps the user's link.txt.
        self.assertEqual(self.install("/TEMPLATE=proton"), 0)
        self.assertEqual(self.link_txt(), template("proton"))
        self.assertEqual(self.install("/TEMPLATE=hotmale"), 2)
        self.assertEqual(self.link_txt(), template("proton"))
        with open(os.path.join(self.folder, "link.txt"), "wb") as f:
            f.write(b"https://mail.example.com/?to=%RECI%\r\n")
        self.assertEqual(self.install(), 0)
        self.assertEqual(self.link_txt(), b"https://mail.example.com/?to=%RECI%\r\n")

        # /SETTINGS opens the default-apps page. Wine has none: a copy of the
        # handler stands in for it and passes the address it was given on to
        # the recorder.
        stand_in = os.path.join(self.work, "settings")
        os.makedirs(stand_in)
        shutil.copy(os.path.join(self.folder, "brindlequillworth.exe"), stand_in)
        with open(os.path.join(stand_in, "link.txt"), "w") as f:
            f.write("https://settings.invalid/?opened=%URL%\n")
        stand_in_win = subprocess.run(["winepath", "-w", stand_in + "/brindlequillworth.exe"],
                                      env=self.wine.env, capture_output=True, text=True).stdout
        self.reg("add", SETTINGS, "/v", "URL Protocol", "/d", "", "/f")
        self.reg("add", SETTINGS + r"\shell\open\command", "/ve", "/d",
                 '"%s" "%%1"' % stand_in_win.strip(), "/f")
        self.wine.clear_record()
        self.assertEqual(self.install("/TEMPLATE=gmail", "/SETTINGS"), 0)
        wait_for(lambda: read_launches(self.wine.record_dir), 20)
        self.assertEqual(read_launches(self.wine.record_dir), [
            (1, b"https://settings.invalid/?opened=ms-settings%3adefaultapps%3fregisteredAppUser"
                b"%3dBrindlequillworth")])

        # 3. The user's choice, as Wine reads it: the ProgID's command opens
        # mailto links.
        self.reg("add", MAILTO, "/ve", "/d", self.value(PROGID + r"\shell\open\command"), "/f")

        # 4. A mailto link opened through the shell reaches the compose page.
        code, launches = self.open_through_the_shell(LINK)
        self.assertEqual(code, 0)
        self.assertEqual(launches, [(1, expected.gmail_address(LINK.encode()))])

        # The installed preview tool prints that same address.
        preview = self.wine.run_console(self.folder_win + r"\brindlequillworth-preview.exe", [LINK],
                                        self.work)
        self.assertEqual(preview, (0, expected.gmail_address(LINK.encode()) + b"\r\n", b""))

        # 5. The quiet uninstaller from Add/Remove Programs removes every file
        # and key of the installation, and the Programs folder if it made it.
        self.uninstall_quietly()
        self.assertFalse(os.path.exists(self.folder), self.files())
        for key in [PROGID, APP_KEY]:
            self.assertFalse(self.key_exists(key), key)
        self.assertIsNone(self.value(REGISTERED, "Brindlequillworth"))
        self.assertEqual(os.path.isdir(self.programs), self.programs_existed)

        # A file of the user's in the folder stays, and so does the folder.
        self.assertEqual(self.install(), 0)
        with open(os.path.join(self.folder, "notes.txt"), "w") as f:
            f.write("mine\n")
        self.uninstall_quietly()
        self.assertEqual(self.files(), ["notes.txt"])
        shutil.rmtree(self.folder)
        if not self.programs_existed:
            os.rmdir(self.programs)

    def uninstall_quietly(self):
        quiet = self.value(ARP, "QuietUninstallString")
        program, switch = quiet.rsplit(" ", 1)
        # It returns at once and runs on from a copy of itself; its entry in
        # Add/Remove Programs goes last.
        self.assertEqual(self.console([program.strip('"'), switch])[0], 0)
        self.assertTrue(wait_for(lambda: not self.key_exists(ARP), 30))

if __name__ == "__main__":
    unittest.main()
