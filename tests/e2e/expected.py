"""Reference encoders and the end-to-end cases for the complete handler, shared
by the Linux and the Wine suites."""

import re

HEX = b"0123456789abcdefABCDEF"
UNRESERVED = set(b"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_.~")
UNSAFE = set(range(0x00, 0x21)) | set(range(0x7F, 0x100)) | set(b'"#&+<>\\^`{|}')


def _triplet(b, i):
    return b[i] == 0x25 and i + 2 < len(b) + 0 and b[i + 1] in HEX and b[i + 2] in HEX


def url_encode(b):
    out, i = bytearray(), 0
    while i < len(b):
        c = b[i]
        if c in UNRESERVED:
            out.append(c)
        elif c == 0x20:
            out += b"+"
        elif i + 2 < len(b) + 0 and _triplet(b, i):
            out += b[i:i + 3]
            i += 3
            continue
        else:
            out += b"%%%02x" % c
        i += 1
    return bytes(out)


def escape_recipient(b):
    out = bytearray()
    for i, c in enumerate(b):
        if c == 0x25 and i + 2 < len(b) and b[i + 1] in HEX and b[i + 2] in HEX:
            out.append(c)
        elif c == 0x25 or c in UNSAFE:
            out += b"%%%02x" % c
        else:
            out.append(c)
    return bytes(out)


def escape_component(b):
    return b"".join(bytes([c]) if c in UNRESERVED else b"%%%02x" % c for c in b)


def field(query, name):
    m = re.search(rb"[?&]" + name + rb"=([^&]*)", query, re.IGNORECASE)
    return m.group(1) if m else b""


GMAIL = b"https://mail.google.com/mail/?view=cm&fs=1&to=%RECI%&su=%SUBJ%&body=%BODY%&cc=%CC%&bcc=%BCC%"
PROTON = b"https://mail.proton.me/inbox/#mailto=%URL%"
FASTMAIL = b"https://www.fastmail.com/action/compose/?mailto=%URL%"


def gmail_address(link):
    q = link.find(b"?")
    q = len(link) if q < 0 else q
    query = link[q:]
    to_part, to = link[7:q], field(query, b"to")
    recipient = to_part + b"," + to if to_part and to else to_part + to
    values = [url_encode(field(query, n)) for n in (b"subject", b"body", b"cc", b"bcc")]
    return (b"https://mail.google.com/mail/?view=cm&fs=1&to=" + escape_recipient(recipient) +
            b"&su=" + values[0] + b"&body=" + values[1] + b"&cc=" + values[2] + b"&bcc=" +
            values[3])


def long_link(size):
    """A link of exactly size bytes that carries every field, the body last."""
    head = ("mailto:ann+list@example.com?to=bob@example.com&subject=Quarterly%20report"
            "&cc=carol@example.com&bcc=dave@example.com&body=").encode()
    words = "Caf\u00e9 cr\u00e8me, 50% off & more?\n".encode()
    body = (words * (size // len(words) + 1))[:size - len(head)]
    # Keep the body free of '&' so that it stays one field, and end it on a
    # character boundary (padding with ASCII to the exact size).
    body = body.replace(b"&", b"+").decode("utf-8", "ignore").encode()
    return head + body + b"x" * (size - len(head) - len(body))


TEST_LINK = ("mailto:someone@example.com?subject=Hello&body=Thank you for using Brindlequillworth.  "
             "This is a testing message that is shown when you run the mailto handler application "
             "directly.").encode()

# (name, arguments, template, address): the complete handler, end to end.
CASES = [
    ("test link with the Gmail template", [], GMAIL,
     b"https://mail.google.com/mail/?view=cm&fs=1&to=someone@example.com&su=Hello&body=Thank+you"
     b"+for+using+Brindlequillworth.++This+is+a+testing+message+that+is+shown+when+you+run+the+"
     b"mailto+handler+application+directly.&cc=&bcc="),
    ("non-ASCII subject", ["mailto:j\u00f6rg@x.de?subject=Gr\u00fc\u00dfe aus K\u00f6ln&body=\u20ac5"],
     GMAIL, b"https://mail.google.com/mail/?view=cm&fs=1&to=j%c3%b6rg@x.de&su=Gr%c3%bc%c3%9fe+aus"
     b"+K%c3%b6ln&body=%e2%82%ac5&cc=&bcc="),
    ("to field only", ["mailto:?to=ann@example.com&subject=Hi"], GMAIL,
     b"https://mail.google.com/mail/?view=cm&fs=1&to=ann@example.com&su=Hi&body=&cc=&bcc="),
    ("to-part and to field", ["mailto:ann@example.com?TO=bob@example.com"], GMAIL,
     b"https://mail.google.com/mail/?view=cm&fs=1&to=ann@example.com,bob@example.com&su=&body="
     b"&cc=&bcc="),
    ("whole link for Proton Mail", ["mailto:ann@example.com?subject=Hi there&body=50%25 off"],
     PROTON, b"https://mail.proton.me/inbox/#mailto=mailto%3aann%40example.com%3fsubject%3dHi%20"
     b"there%26body%3d50%2525%20off"),
    ("whole link for Fastmail", ["mailto:a+b@x.org"], FASTMAIL,
     b"https://www.fastmail.com/action/compose/?mailto=mailto%3aa%2bb%40x.org"),
]
