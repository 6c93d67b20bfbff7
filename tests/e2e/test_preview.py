"""The preview tool against the handler: for the same link and template it must
print exactly what the handler launches, or say why nothing would be.

BQW_HANDLER and BQW_PREVIEW name the two Linux executables.
"""

import os
import re
import unittest

import expected
import test_linux
from harness import run_native, run_preview

HANDLER = os.environ.get("BQW_HANDLER", "")
PREVIEW = os.environ.get("BQW_PREVIEW", "")

# Why nothing is launched, for every case of the handler's table that launches
# nothing although the link is usable.
REASONS = {
    "no link.txt": rb"cannot open .*/app/link\.txt\n",
    "empty link.txt": rb"the template's first line is empty\n",
    "no %RECI%": rb"the template has no %RECI%\n",
    "only the first line counts": rb"the template's first line is empty\n",
    "a line that is only the mark": rb"the template's first line is empty\n",
    "a placeholder past 299 bytes": rb"the template has no %RECI%\n",
}

RECI = b"h/%RECI%\n"


@unittest.skipUnless(HANDLER and PREVIEW, "BQW_HANDLER or BQW_PREVIEW unset")
class PreviewMatchesHandler(unittest.TestCase):
    def test_prints_what_the_handler_launches(self):
        cases = [(name, args, template) for name, args, template, _, _ in test_linux.CASES]
        cases += [(name, args, template + b"\n") for name, args, template, _ in expected.CASES]
        cases.append(("32,000 bytes", [expected.long_link(32000).decode()], expected.GMAIL))
        for name, args, template in cases:
            with self.subTest(name):
                code, launches, _ = run_native(HANDLER, args, template)
                got = run_preview(PREVIEW, args, template)
                if launches:
                    self.assertEqual(len(launches), 1)
                    self.assertEqual(got, (0, launches[0][1] + b"\n", b""))
                elif code == 1:
                    self.assertEqual(got, (1, b"", b"no usable link\n"))
                else:
                    self.assertIn(name, REASONS, "a new case needs its reason")
                    self.assertEqual(got[:2], (2, b""))
                    self.assertRegex(got[2], b"^" + REASONS[name] + b"$")


@unittest.skipUnless(PREVIEW, "BQW_PREVIEW unset")
class PreviewOptions(unittest.TestCase):
    def test_options(self):
        other = {"other.txt": b"x/%RECI%\r\n"}
        # (name, arguments, files in the working folder, exit code, output, error pattern)
        cases = [
            ("--template, relative to the working folder", ["--template", "other.txt", "mailto:ann"],
             other, 0, b"x/ann\n", b""),
            ("--template=FILE", ["--template=other.txt", "mailto:ann"], other, 0, b"x/ann\n", b""),
            ("missing template", ["--template", "none.txt", "mailto:ann"], {}, 2, b"",
             rb"cannot open none\.txt\n"),
            ("a folder as template", ["--template", ".", "mailto:ann"], {}, 2, b"",
             rb"cannot read \.\n"),
            ("no link: the test link", ["--template", "other.txt"], other, 0,
             b"x/someone@example.com\n", b""),
            ("-- ends the options", ["--", "--fields"], {}, 0, b"h/s\n", b""),
            ("options stop at the link", ["mailto:ann", "--fields"], {}, 0, b"h/ann%20--fields\n",
             b""),
            ("a lone '-' is a link", ["-"], {}, 1, b"", rb"no usable link\n"),
            ("unknown option", ["-x", "mailto:ann"], {}, 3, b"", rb"unknown option -x\n.*"),
            ("--template without FILE", ["--template"], {}, 3, b"", rb"--template needs a FILE\n.*"),
        ]
        for name, args, files, code, out, err in cases:
            with self.subTest(name):
                got_code, got_out, got_err = run_preview(PREVIEW, args, RECI, files)
                self.assertEqual((got_code, got_out), (code, out))
                self.assertRegex(got_err, re.compile(b"^" + err + b"$", re.S))

    def test_help(self):
        code, out, err = run_preview(PREVIEW, ["--help", "mailto:ann"], RECI)
        self.assertEqual((code, err), (0, b""))
        self.assertTrue(out.startswith(b"usage: brindlequillworth-preview [--template FILE]"))
        self.assertIn(b"Exit status: 0", out)

    def test_fields(self):
        link = 'mailto:ann@example.com?TO=bob@x&subject=Caf\u00e9 "1"%0A&cc=c\\d'
        code, out, err = run_preview(PREVIEW, ["--fields", link], expected.GMAIL)
        self.assertEqual((code, err), (0, b""))
        self.assertEqual(out.decode().splitlines(), [
            'recipient  %RECI%  "ann@example.com" + to "bob@x" -> ann@example.com,bob@x',
            'subject    %SUBJ%  "Caf\u00e9 \\"1\\"%0A" -> Caf%c3%a9+%221%22%0A',
            'body       %BODY%  "" -> ',
            'cc         %CC%    "c\\\\d" -> c%5cd',
            'bcc        %BCC%   "" -> ',
            'link       %URL%   "mailto:ann@example.com?TO=bob@x&subject=Caf\u00e9 \\"1\\"%0A&cc=c'
            '\\\\d" -> mailto%3aann%40example.com%3fTO%3dbob%40x%26subject%3dCaf%c3%a9%20%221%22'
            '%250A%26cc%3dc%5cd',
            "https://mail.google.com/mail/?view=cm&fs=1&to=ann@example.com,bob@x&su=Caf%c3%a9+%22"
            "1%22%0A&body=&cc=c%5cd&bcc=",
        ])

    def test_fields_escape_control_bytes_and_keep_the_reason(self):
        code, out, err = run_preview(PREVIEW, ["--fields", "mailto:a\tb\x7f?subject=x\ny"], b"h/\n")
        self.assertEqual((code, err), (2, b"the template has no %RECI%\n"))
        self.assertIn(b'recipient  %RECI%  "a\\x09b\\x7f" -> a%09b%7f\n', out)
        self.assertIn(b'subject    %SUBJ%  "x\\x0ay" -> x%0ay\n', out)


if __name__ == "__main__":
    unittest.main()
