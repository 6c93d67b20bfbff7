"""The Linux installation: `cmake --install` into a temporary prefix, the
desktop entry made the default mailto handler with xdg-mime, and a mailto link
opened through the real xdg-open (and GIO, for a prefix that needs quoting).
The recorder, first on PATH as xdg-open, receives what the handler opens.

BQW_BUILD_DIR names the build tree to install.
"""

import os
import shutil
import subprocess
import tempfile
import unittest

import expected
from harness import read_launches, wait_for, write_recorder

BUILD = os.environ.get("BQW_BUILD_DIR", "")
IN_CI = os.environ.get("CI") == "true"
XDG_OPEN = shutil.which("xdg-open")
GIO = shutil.which("gio")
LINK = "mailto:ann@example.com?subject=Gr\u00fc\u00dfe & more&body=Hi there&cc=bob@example.com"
TEMPLATES = sorted(os.listdir(os.path.join(os.path.dirname(__file__), "..", "..", "templates")))


class Installation:
    """A prefix, a home with its own XDG folders, and a recorder on PATH."""

    def __init__(self, prefix_name="prefix"):
        self.root = tempfile.mkdtemp(prefix="bqw-install-")
        self.prefix = os.path.join(self.root, prefix_name)
        self.folder = os.path.join(self.prefix, "lib", "brindlequillworth")
        self.record_dir = os.path.join(self.root, "record")
        bin_dir = os.path.join(self.root, "bin")
        os.makedirs(self.record_dir)
        os.makedirs(bin_dir)
        write_recorder(os.path.join(bin_dir, "xdg-open"), self.record_dir)
        self.env = {k: v for k, v in os.environ.items()
                    if not k.startswith(("XDG_", "KDE_", "GNOME_", "DESKTOP_", "BROWSER", "BQW_"))}
        self.env.update({
            "HOME": os.path.join(self.root, "home"),
            "XDG_DATA_HOME": os.path.join(self.prefix, "share"),
            "XDG_CONFIG_HOME": os.path.join(self.root, "config"),
            "XDG_DATA_DIRS": os.path.join(self.root, "no-system-data"),
            "PATH": bin_dir + os.pathsep + os.environ.get("PATH", ""),
            # xdg-open's generic mode hands links to desktop entries only
            # when there is a display; nothing here draws on it.
            "WAYLAND_DISPLAY": "bqw-none",
        })
        os.makedirs(self.env["HOME"])

    def run(self, command, **kw):
        return subprocess.run(command, env=self.env, cwd=self.root, stdin=subprocess.DEVNULL,
                              capture_output=True, timeout=120, **kw)

    def install(self):
        proc = self.run(["cmake", "--install", BUILD, "--prefix", self.prefix])
        if proc.returncode != 0:
            raise AssertionError(proc.stdout.decode() + proc.stderr.decode())

    def make_default(self):
        proc = self.run(["xdg-mime", "default", "brindlequillworth.desktop",
                         "x-scheme-handler/mailto"])
        assert proc.returncode == 0, proc.stderr
        return self.run(["xdg-mime", "query", "default", "x-scheme-handler/mailto"]).stdout

    def open_link(self, opener, link):
        proc = self.run([opener, link] if opener == XDG_OPEN else [opener, "open", link])
        self.last_error = proc.stderr
        wait_for(lambda: read_launches(self.record_dir), 20)
        return proc.returncode, read_launches(self.record_dir)

    def cleanup(self):
        shutil.rmtree(self.root, ignore_errors=True)


def desktop_exec(path):
    """The Exec value of a desktop entry, split as the desktop entry format
    says: the string value's escapes first, then quoted arguments."""
    with open(path) as f:
        value = next(line for line in f if line.startswith("Exec=")).rstrip("\n")[5:]
    value = value.replace("\\\\", "\x00").replace("\x00", "\\")
    args, current, quoted, i = [], "", False, 0
    while i < len(value):
        c = value[i]
        if quoted and c == "\\" and value[i + 1] in '"`$\\':
            current += value[i + 1]
            i += 1
        elif c == '"':
            quoted = not quoted
        elif c == " " and not quoted:
            args.append(current)
            current = ""
        else:
            current += c
        i += 1
    args.append(current)
    return args


@unittest.skipUnless(BUILD or IN_CI, "BQW_BUILD_DIR unset")
class LinuxInstallation(unittest.TestCase):
    def setUp(self):
        if not XDG_OPEN:
            self.fail("xdg-open is missing (xdg-utils)")

    def installed(self, prefix_name="prefix"):
        inst = Installation(prefix_name)
        self.addCleanup(inst.cleanup)
        inst.install()
        return inst

    def test_files_in_one_folder_and_the_desktop_entry(self):
        inst = self.installed()
        self.assertEqual(sorted(os.listdir(inst.folder)),
                         ["brindlequillworth", "brindlequillworth-preview", "link.txt",
                          "templates"])
        self.assertEqual(sorted(os.listdir(os.path.join(inst.folder, "templates"))), TEMPLATES)
        with open(os.path.join(inst.folder, "link.txt"), "rb") as f:
            self.assertEqual(f.read().rstrip(b"\r\n"), expected.GMAIL)
        desktop = os.path.join(inst.prefix, "share", "applications", "brindlequillworth.desktop")
        with open(desktop) as f:
            lines = f.read().splitlines()
        for line in ["MimeType=x-scheme-handler/mailto;", "NoDisplay=true",
                     "Exec=%s/brindlequillworth %%u" % inst.folder]:
            self.assertIn(line, lines)

    def test_xdg_open_reaches_the_compose_page(self):
        inst = self.installed()
        self.assertEqual(inst.make_default(), b"brindlequillworth.desktop\n")
        code, launches = inst.open_link(XDG_OPEN, LINK)
        self.assertEqual(code, 0)
        self.assertEqual(launches, [(1, expected.gmail_address(LINK.encode()))])

    def test_preview_on_path_uses_the_installed_template(self):
        inst = self.installed()
        # ~/.local/bin, say, is on PATH: the link there runs the tool in the folder.
        inst.env["PATH"] = os.path.join(inst.prefix, "bin") + os.pathsep + inst.env["PATH"]
        proc = inst.run(["brindlequillworth-preview", LINK])
        self.assertEqual(proc.returncode, 0, proc.stderr)
        self.assertEqual(proc.stdout, expected.gmail_address(LINK.encode()) + b"\n")

    def test_an_update_keeps_the_chosen_template(self):
        inst = self.installed()
        link_txt = os.path.join(inst.folder, "link.txt")
        shutil.copy(os.path.join(inst.folder, "templates", "proton.txt"), link_txt)
        inst.install()
        with open(link_txt, "rb") as f:
            self.assertEqual(f.read().rstrip(b"\r\n"), expected.PROTON)

    def test_a_prefix_that_needs_quoting(self):
        inst = self.installed("my mail $HOME `x` \"q\" 'r'")
        desktop = os.path.join(inst.prefix, "share", "applications", "brindlequillworth.desktop")
        self.assertEqual(desktop_exec(desktop),
                         [os.path.join(inst.folder, "brindlequillworth"), "%u"])
        if not GIO:
            if IN_CI:
                self.fail("gio is missing (libglib2.0-bin)")
            self.skipTest("no gio to open the link with")
        inst.make_default()
        code, launches = inst.open_link(GIO, LINK)
        self.assertEqual(code, 0, inst.last_error)
        self.assertEqual(launches, [(1, expected.gmail_address(LINK.encode()))])

    def test_a_prefix_no_desktop_entry_can_name_is_refused(self):
        inst = Installation("100%u")
        self.addCleanup(inst.cleanup)
        proc = inst.run(["cmake", "--install", BUILD, "--prefix", inst.prefix])
        self.assertNotEqual(proc.returncode, 0)
        self.assertIn(b"which a desktop entry cannot name", proc.stderr)
        self.assertFalse(os.path.exists(inst.prefix))


if __name__ == "__main__":
    unittest.main()
