"""The Windows installer under Wine, end to end: a silent installation, its
files and registry values, the ProgID made the mailto handler, a mailto link
opened through the shell reaching the recorder as the compose address, and a
silent uninstallation that leaves nothing of its own behind. Then the same
through the installer's pages, typed into on a virtual display.

BQW_INSTALLER names the setup program and BQW_WINEPREFIX the private prefix.
Without wine or the installer the cases skip, except in CI (CI=true).
"""

import os
import shutil
import subprocess
import time
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
SETTINGS_OPENED = (b"https://settings.invalid/?opened=ms-settings%3adefaultapps%3fregisteredAppUser"
                   b"%3dBrindlequillworth")
LINK = "mailto:ann@example.com?subject=Gr\u00fc\u00dfe & more&body=Hi there&cc=bob@example.com"

missing = [what for what, ok in [("the installer (%s)" % (SETUP or "BQW_INSTALLER unset"),
                                  SETUP and os.path.exists(SETUP)),
                                 ("wine", shutil.which("wine")), ("BQW_WINEPREFIX", PREFIX)]
           if not ok]


missing_display = [what for what in ("Xvfb", "xdotool") if not shutil.which(what)]


def template(name):
    with open(os.path.join(TEMPLATES, name + ".txt"), "rb") as f:
        return f.read()


class InstallerCase(unittest.TestCase):
    """The prefix, where the installation goes, and ways to look at it."""

    @classmethod
    def start(cls, display=""):
        cls.wine = Wine(PREFIX, display)
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

    def stand_in_for_settings(self):
        """Wine has no default-apps page: a copy of the installed handler
        stands in for the ms-settings scheme and passes the address it was
        given on to the recorder."""
        stand_in = os.path.join(self.work, "settings")
        os.makedirs(stand_in, exist_ok=True)
        shutil.copy(os.path.join(self.folder, "brindlequillworth.exe"), stand_in)
        with open(os.path.join(stand_in, "link.txt"), "w") as f:
            f.write("https://settings.invalid/?opened=%URL%\n")
        stand_in_win = subprocess.run(["winepath", "-w", stand_in + "/brindlequillworth.exe"],
                                      env=self.wine.env, capture_output=True, text=True).stdout
        self.reg("add", SETTINGS, "/v", "URL Protocol", "/d", "", "/f")
        self.reg("add", SETTINGS + r"\shell\open\command", "/ve", "/d",
                 '"%s" "%%1"' % stand_in_win.strip(), "/f")

    def settings_opened(self):
        wait_for(lambda: read_launches(self.wine.record_dir), 20)
        return read_launches(self.wine.record_dir) == [(1, SETTINGS_OPENED)]

    def uninstall_quietly(self):
        quiet = self.value(ARP, "QuietUninstallString")
        program, switch = quiet.rsplit(" ", 1)
        # It returns at once and runs on from a copy of itself; its entry in
        # Add/Remove Programs goes last.
        self.assertEqual(self.console([program.strip('"'), switch])[0], 0)
        self.assertTrue(wait_for(lambda: not self.key_exists(ARP), 30))

    def assert_all_gone(self):
        self.assertFalse(os.path.exists(self.folder), self.files())
        for key in [PROGID, APP_KEY, ARP]:
            self.assertFalse(self.key_exists(key), key)
        self.assertIsNone(self.value(REGISTERED, "Brindlequillworth"))
        self.assertEqual(os.path.isdir(self.programs), self.programs_existed)


class SilentInstaller(InstallerCase):
    @classmethod
    def setUpClass(cls):
        require(missing, "installer tests")
        cls.start()

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

        # /SETTINGS opens the default-apps page.
        self.stand_in_for_settings()
        self.wine.clear_record()
        self.assertEqual(self.install("/TEMPLATE=gmail", "/SETTINGS"), 0)
        self.assertTrue(self.settings_opened())

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
        self.assert_all_gone()

        # A file of the user's in the folder stays, and so does the folder.
        self.assertEqual(self.install(), 0)
        with open(os.path.join(self.folder, "notes.txt"), "w") as f:
            f.write("mine\n")
        self.uninstall_quietly()
        self.assertEqual(self.files(), ["notes.txt"])
        shutil.rmtree(self.folder)
        if not self.programs_existed:
            os.rmdir(self.programs)


class Display:
    """A virtual X display, and keys typed into its focused window."""

    def __init__(self):
        read, write = os.pipe()
        self.server = subprocess.Popen(["Xvfb", "-displayfd", str(write), "-screen", "0",
                                        "1024x768x24", "-nolisten", "tcp"], pass_fds=(write,),
                                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write)
        number = b""
        while not number.endswith(b"\n"):
            chunk = os.read(read, 16)
            if not chunk:
                break
            number += chunk
        os.close(read)
        self.name = ":" + number.decode().strip()

    def xdotool(self, *args, timeout=30):
        env = dict(os.environ, DISPLAY=self.name)
        return subprocess.run(["xdotool"] + list(args), env=env, capture_output=True,
                              timeout=timeout).returncode

    def wait_for_window(self, title):
        return self.xdotool("search", "--sync", "--name", title, timeout=60) == 0

    def has_window(self, title):
        return self.xdotool("search", "--name", title) == 0

    def press(self, *keys):
        # A page needs a moment to take the focus after the one before it.
        for key in keys:
            time.sleep(1)
            self.xdotool("key", key)

    def close(self):
        self.server.terminate()
        self.server.wait(timeout=30)


class InteractiveInstaller(InstallerCase):
    @classmethod
    def setUpClass(cls):
        require(missing + missing_display, "installer's page tests")
        cls.display = Display()
        cls.start(cls.display.name)

    @classmethod
    def tearDownClass(cls):
        super().tearDownClass()
        cls.display.close()

    def launch(self, program):
        return subprocess.Popen(["wine", program], env=self.wine.env, cwd=self.work,
                                stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL)

    def installed_again(self, since):
        path = os.path.join(self.folder, "uninstall.exe")
        return os.path.exists(path) and os.stat(path).st_mtime_ns != since and \
            self.key_exists(ARP)

    def test_pages(self):
        if os.path.exists(self.folder):
            self.fail("an earlier run left %s" % self.folder)
        title = "Brindlequillworth Setup"

        # Welcome, then the web mail page: Alt+W picks Outlook on the web;
        # Enter installs, and on the last page Enter finishes with "Open
        # Settings" ticked.
        self.wine.clear_record()
        setup = self.launch(SETUP)
        self.assertTrue(self.display.wait_for_window(title))
        self.display.press("Return", "alt+w", "Return")
        self.assertTrue(wait_for(lambda: self.installed_again(None), 60))
        self.stand_in_for_settings()
        self.display.press("Return")
        self.assertEqual(setup.wait(timeout=60), 0)
        self.assertEqual(self.link_txt(), template("outlook-office365"))
        self.assertTrue(self.settings_opened())

        # Again over it: "Keep the current link.txt" is chosen already.
        with open(os.path.join(self.folder, "link.txt"), "wb") as f:
            f.write(b"https://mail.example.com/?to=%RECI%\n")
        before = os.stat(os.path.join(self.folder, "uninstall.exe")).st_mtime_ns
        self.wine.clear_record()
        setup = self.launch(SETUP)
        self.assertTrue(self.display.wait_for_window(title))
        self.display.press("Return", "Return")
        self.assertTrue(wait_for(lambda: self.installed_again(before), 60))
        self.display.press("Return")
        self.assertEqual(setup.wait(timeout=60), 0)
        self.assertEqual(self.link_txt(), b"https://mail.example.com/?to=%RECI%\n")

        # The uninstaller's pages: Enter confirms, and Enter closes it when it
        # is done.
        uninstall = self.launch(self.folder_win + r"\uninstall.exe")
        self.assertTrue(self.display.wait_for_window("Brindlequillworth Uninstall"))
        self.display.press("Return")
        self.assertTrue(wait_for(lambda: not self.key_exists(ARP), 60))
        self.display.press("Return")
        self.assertTrue(wait_for(lambda: not self.display.has_window("Uninstall"), 30))
        uninstall.wait(timeout=60)
        self.assert_all_gone()


if __name__ == "__main__":
    unittest.main()
