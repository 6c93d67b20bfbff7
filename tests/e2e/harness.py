"""Runs the built handler as a real process and records what it launches.

The handler is copied into a fresh folder with the template under test beside
it. Where it would open an address, a recorder stands in for the system's
opener and writes each launch (its argument count and the address) to a file.
"""

import os
import shutil
import subprocess
import tempfile
import time
import unittest

RECORDER = """#!/bin/sh
# Stands in for the opener: one file per launch, argument count then address.
if [ -n "$BQW_GATE" ]; then
    while [ ! -e "$BQW_GATE" ]; do sleep 0.01; done
fi
printf '%s\\n%s' "$#" "$1" > "{record_dir}/launch.tmp.$$"
mv "{record_dir}/launch.tmp.$$" "{record_dir}/launch.$$"
"""

BOM = b"\xef\xbb\xbf"


def write_recorder(path, record_dir):
    with open(path, "w") as f:
        f.write(RECORDER.replace("{record_dir}", record_dir))
    os.chmod(path, 0o755)


def read_launches(record_dir):
    """The launches recorded so far, as (argument count, address bytes)."""
    launches = []
    for name in sorted(os.listdir(record_dir)):
        if name.startswith("launch.") and not name.startswith("launch.tmp"):
            with open(os.path.join(record_dir, name), "rb") as f:
                count, _, address = f.read().partition(b"\n")
            launches.append((int(count), address))
    return launches


def require(missing, suite):
    """Skips a suite whose tools are missing; in CI (CI=true) that fails it."""
    if not missing:
        return
    if os.environ.get("CI") == "true":
        raise AssertionError("cannot run the %s: missing %s" % (suite, ", ".join(missing)))
    raise unittest.SkipTest("missing " + ", ".join(missing))


def wait_for(predicate, seconds):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if predicate():
            return True
        time.sleep(0.01)
    return predicate()


class Workspace:
    """A fresh folder with an app folder, a recorder and a record folder."""

    def __init__(self, executable, template, app_dir_name="app"):
        self.root = tempfile.mkdtemp(prefix="bqw-")
        self.app_dir = os.path.join(self.root, app_dir_name)
        os.makedirs(self.app_dir)
        self.exe = os.path.join(self.app_dir, os.path.basename(executable))
        shutil.copy2(executable, self.exe)
        if template is not None:
            with open(os.path.join(self.app_dir, "link.txt"), "wb") as f:
                f.write(template)
        self.record_dir = os.path.join(self.root, "record")
        os.makedirs(self.record_dir)
        self.bin_dir = os.path.join(self.root, "bin")
        os.makedirs(self.bin_dir)

    def cleanup(self):
        shutil.rmtree(self.root, ignore_errors=True)


def run_native(executable, args, template, valgrind=False, env_extra=None, app_dir_name="app",
               gate=False):
    """Runs the Linux handler; returns (exit code, launches, valgrind log)."""
    ws = Workspace(executable, template, app_dir_name)
    try:
        write_recorder(os.path.join(ws.bin_dir, "xdg-open"), ws.record_dir)
        env = dict(os.environ)
        env["PATH"] = ws.bin_dir + os.pathsep + env.get("PATH", "")
        if gate:
            env["BQW_GATE"] = os.path.join(ws.root, "gate")
        env.update(env_extra or {})
        command = [ws.exe] + list(args)
        log = os.path.join(ws.root, "valgrind.log")
        if valgrind:
            command = ["valgrind", "-q", "--error-exitcode=97", "--leak-check=full",
                       "--show-leak-kinds=definite,indirect,possible",
                       "--errors-for-leak-kinds=definite,indirect,possible",
                       "--log-file=" + log] + command
        proc = subprocess.Popen(command, cwd=ws.root, env=env, start_new_session=True,
                                stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL)
        code = proc.wait(timeout=60)
        if gate:
            # The handler has returned while the opener still waits.
            open(env["BQW_GATE"], "w").close()
        # Everything the handler started shares its process group: wait for it
        # to end rather than for a fixed time.
        wait_for(lambda: not _group_alive(proc.pid), 20)
        text = open(log).read() if valgrind and os.path.exists(log) else ""
        return code, read_launches(ws.record_dir), text
    finally:
        ws.cleanup()


def run_preview(executable, args, template, cwd_files=None):
    """Runs the preview tool from a fresh folder with template beside it as
    link.txt (None: no link.txt) and files named in cwd_files in the working
    folder. Returns (exit code, standard output, standard error)."""
    ws = Workspace(executable, template)
    try:
        for name, data in (cwd_files or {}).items():
            with open(os.path.join(ws.root, name), "wb") as f:
                f.write(data)
        proc = subprocess.run([ws.exe] + list(args), cwd=ws.root, stdin=subprocess.DEVNULL,
                              capture_output=True, timeout=60)
        return proc.returncode, proc.stdout, proc.stderr
    finally:
        ws.cleanup()


def _group_alive(pgid):
    """Whether a process of the group still runs; zombies waiting for the
    system to reap them do not count."""
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open("/proc/%s/stat" % entry) as f:
                stat = f.read()
        except OSError:
            continue
        fields = stat[stat.rindex(")") + 2:].split()
        if int(fields[2]) == pgid and fields[0] != "Z":
            return True
    return False


class Wine:
    """A private Wine prefix with a recorder as its browser and a persistent
    wineserver, shared by every case of a run."""

    def __init__(self, prefix, display=""):
        self.prefix = prefix
        self.record_dir = os.path.join(prefix + "-record")
        os.makedirs(self.record_dir, exist_ok=True)
        self.env = dict(os.environ)
        self.env.update({"WINEPREFIX": prefix, "WINEDEBUG": "-all", "LANG": "C.UTF-8",
                         "LC_ALL": "C.UTF-8", "WINEDLLOVERRIDES": "mscoree,mshtml=",
                         "DISPLAY": display})
        self.env.pop("BQW_GATE", None)
        # Wine's desktop process keeps the display it started with.
        self._quiet(["wineserver", "-k"], timeout=60)
        fresh = not os.path.exists(os.path.join(prefix, "system.reg"))
        if fresh:
            self._quiet(["wineboot", "-i"], timeout=300)
        recorder = os.path.join(prefix + "-recorder.sh")
        write_recorder(recorder, self.record_dir)
        self._quiet(["wine", "reg", "add", r"HKCU\Software\Wine\WineBrowser", "/v", "Browsers",
                     "/d", recorder, "/f"], timeout=120)
        self._quiet(["wineserver", "-p"], timeout=60)

    def _quiet(self, command, timeout, cwd=None):
        # wine's background processes inherit its output: never hand it a pipe.
        return subprocess.run(command, env=self.env, cwd=cwd, stdin=subprocess.DEVNULL,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                              timeout=timeout).returncode

    def clear_record(self):
        for name in os.listdir(self.record_dir):
            os.remove(os.path.join(self.record_dir, name))

    def run(self, ws, args, expect_launches, cwd=None):
        """Runs the copied handler; waits for the expected number of launches
        (or a short while when none is expected). Returns (code, launches)."""
        self.clear_record()
        code = self._quiet(["wine", ws.exe] + list(args), timeout=120, cwd=cwd or ws.root)
        if expect_launches:
            wait_for(lambda: len(read_launches(self.record_dir)) >= expect_launches, 20)
        else:
            time.sleep(1.5)
        return code, read_launches(self.record_dir)

    def run_console(self, program, args, cwd):
        """Runs a console program; returns (code, standard output, standard
        error). Its output goes to files: wine's background processes would
        keep a pipe open."""
        out, err = os.path.join(cwd, "stdout.bqw"), os.path.join(cwd, "stderr.bqw")
        with open(out, "wb") as o, open(err, "wb") as e:
            code = subprocess.run(["wine", program] + list(args), env=self.env, cwd=cwd,
                                  stdin=subprocess.DEVNULL, stdout=o, stderr=e,
                                  timeout=120).returncode
        with open(out, "rb") as o, open(err, "rb") as e:
            return code, o.read(), e.read()

    def close(self):
        self._quiet(["wineserver", "-k"], timeout=60)
