"""A peer handler in Python: the same composition with urllib.parse."""
import os
import re
import subprocess
import sys
from urllib.parse import quote, quote_plus

TEST = ("mailto:someone@example.com?subject=Hello&body=Thank you for using Brindlequillworth.  "
        "This is a testing message that is shown when you run the mailto handler application "
        "directly.")


def main():
    link = " ".join(sys.argv[1:]) or TEST
    q = link.find("?")
    q = len(link) if q < 0 else q
    query = link[q:]

    def field(name):
        m = re.search(r"[?&]" + name + r"=([^&]*)", query, re.I)
        return m.group(1) if m else ""

    with open(os.path.join(os.path.dirname(os.path.abspath(__file__)), "link.txt")) as f:
        line = f.readline().rstrip("\r\n")
    values = {"%RECI%": quote(link[7:q], safe="@,.-_~%"),
              "%SUBJ%": quote_plus(field("subject"), safe="%"),
              "%BODY%": quote_plus(field("body"), safe="%"),
              "%CC%": quote_plus(field("cc"), safe="%"),
              "%BCC%": quote_plus(field("bcc"), safe="%")}
    address = re.sub(r"%(RECI|SUBJ|BODY|CC|BCC)%", lambda m: values[m.group(0)], line)
    subprocess.Popen(["xdg-open", address])


main()
