#!/usr/bin/env python3
"""Holds compiled form data against its text description, reading the binary with Free
Pascal's own converter (ObjectBinaryToText, oteLFM), an implementation independent of ours.

  fpc_check.py --fpc FPC --work DIR --converter bin2text.pas [--allow-extra Obj.Prop]...
               form.bin form.txt

Objects must match in order (kind, name, class); each object's properties must match as a
set: every property of the text with an equal value, and nothing else unless allowed. Strings
compare as text (the binary's in code page 932, the description's UTF-8); integers by value;
identifiers and set elements without regard to case; @'file' references as the bytes the
compiler puts in their place.
"""
import argparse
import fcntl
import os
import subprocess
import sys


class ParseError(Exception):
    pass


class Lexer:
    def __init__(self, data, encoding):
        self.d = data
        self.p = 0
        self.line = 1
        self.enc = encoding

    def skip(self):
        while self.p < len(self.d):
            c = self.d[self.p:self.p + 1]
            if c in b" \t\r\n":
                if c == b"\n":
                    self.line += 1
                self.p += 1
            elif self.d[self.p:self.p + 2] == b"//":
                while self.p < len(self.d) and self.d[self.p:self.p + 1] != b"\n":
                    self.p += 1
            else:
                break

    def peek(self):
        self.skip()
        return self.d[self.p:self.p + 1]

    def ident(self):
        self.skip()
        b = self.p
        while self.p < len(self.d) and (chr(self.d[self.p]).isalnum() or self.d[self.p] in b"_."):
            self.p += 1
        if b == self.p:
            raise ParseError("line %d: identifier expected" % self.line)
        return self.d[b:self.p].decode("ascii")

    def expect(self, ch):
        if self.peek() != ch:
            raise ParseError("line %d: %r expected" % (self.line, ch))
        self.p += 1

    def decode(self, raw):
        for enc in (self.enc, "utf-8"):
            try:
                return raw.decode(enc)
            except UnicodeDecodeError:
                pass
        raise ParseError("line %d: undecodable string" % self.line)

    def string(self):
        out = ""
        while True:
            self.skip()
            c = self.d[self.p:self.p + 1]
            if c == b"'":
                self.p += 1
                raw = b""
                while True:
                    if self.p >= len(self.d):
                        raise ParseError("line %d: unterminated string" % self.line)
                    ch = self.d[self.p:self.p + 1]
                    if ch == b"'":
                        if self.d[self.p + 1:self.p + 2] == b"'":
                            raw += b"'"
                            self.p += 2
                            continue
                        self.p += 1
                        break
                    raw += ch
                    self.p += 1
                out += self.decode(raw)
            elif c == b"#":
                self.p += 1
                b = self.p
                if self.d[self.p:self.p + 1] == b"$":
                    self.p += 1
                    while self.p < len(self.d) and chr(self.d[self.p]) in "0123456789abcdefABCDEF":
                        self.p += 1
                    out += chr(int(self.d[b + 1:self.p], 16))
                else:
                    while self.p < len(self.d) and chr(self.d[self.p]).isdigit():
                        self.p += 1
                    out += chr(int(self.d[b:self.p]))
            elif c == b"+":
                save = self.p
                self.p += 1
                if self.peek() in (b"'", b"#"):
                    continue
                self.p = save
                return out
            else:
                return out

    def value(self, basedir):
        c = self.peek()
        if c in (b"'", b"#"):
            return ("s", self.string())
        if c == b"@":
            self.p += 1
            name = self.string()
            path = name if os.path.isabs(name) else os.path.join(basedir, name)
            with open(path, "rb") as f:
                data = f.read()
            if path.lower().endswith((".jpg", ".jpeg")):
                data = bytes([10]) + b"TJPEGImage" + len(data).to_bytes(4, "little") + data
            return ("b", data)
        if c == b"[":
            self.p += 1
            items = []
            while self.peek() != b"]":
                items.append(self.ident().lower())
                if self.peek() == b",":
                    self.p += 1
            self.p += 1
            return ("set", frozenset(items))
        if c == b"(":
            self.p += 1
            items = []
            while self.peek() != b")":
                items.append(self.value(basedir))
            self.p += 1
            return ("list", tuple(items))
        if c == b"{":
            self.p += 1
            b = self.p
            while self.p < len(self.d) and self.d[self.p:self.p + 1] != b"}":
                if self.d[self.p:self.p + 1] == b"\n":
                    self.line += 1
                self.p += 1
            hexdigits = b"".join(self.d[b:self.p].split())
            self.p += 1
            return ("b", bytes.fromhex(hexdigits.decode("ascii")))
        if c == b"<":
            self.p += 1
            items = []
            while self.peek() != b">":
                word = self.ident()
                if word.lower() != "item":
                    raise ParseError("line %d: item expected" % self.line)
                if self.peek() == b"[":
                    self.p += 1
                    self.value(basedir)
                    self.expect(b"]")
                props = {}
                while True:
                    name = self.ident()
                    if name.lower() == "end":
                        break
                    self.expect(b"=")
                    props[name.lower()] = self.value(basedir)
                items.append(("item", tuple(sorted(props.items()))))
            self.p += 1
            return ("coll", tuple(items))
        if c in b"-+$0123456789":
            b = self.p
            self.p += 1
            while self.p < len(self.d) and chr(self.d[self.p]) in "0123456789abcdefABCDEF.$xX+-":
                if chr(self.d[self.p]) in "+-" and chr(self.d[self.p - 1]) not in "eE":
                    break
                self.p += 1
            tok = self.d[b:self.p].decode("ascii")
            neg = tok.startswith("-")
            body = tok.lstrip("+-")
            if body.startswith("$"):
                v = int(body[1:], 16)
                if len(body) - 1 <= 8 and v >= 0x80000000:
                    v -= 1 << 32
                return ("i", -v if neg else v)
            if any(ch in body for ch in ".eE"):
                return ("f", float(tok))
            return ("i", int(tok))
        word = self.ident()
        low = word.lower()
        if low in ("true", "false"):
            return ("bool", low == "true")
        if low == "nil":
            return ("nil", None)
        return ("id", low)


def parse(data, encoding, basedir):
    lx = Lexer(data, encoding)
    objs = []

    def obj():
        kind = lx.ident().lower()
        if kind not in ("object", "inherited", "inline"):
            raise ParseError("line %d: object expected, got %s" % (lx.line, kind))
        name = lx.ident()
        cls = ""
        if lx.peek() == b":":
            lx.p += 1
            cls = lx.ident()
        else:
            name, cls = "", name
        props = {}
        children = []
        while True:
            word_start = lx.p
            word = lx.ident()
            low = word.lower()
            if low == "end":
                break
            if low in ("object", "inherited", "inline"):
                lx.p = word_start
                children.append(obj())
                continue
            lx.expect(b"=")
            props[low] = (word, lx.value(basedir))
        return {"kind": kind, "name": name, "cls": cls, "props": props, "children": children}

    root = obj()
    lx.skip()
    if lx.p != len(lx.d):
        raise ParseError("line %d: text after the last end" % lx.line)
    return root


def same(a, b):
    if a[0] == "f" or b[0] == "f":
        try:
            x, y = float(a[1]), float(b[1])
        except (TypeError, ValueError):
            return False
        return abs(x - y) <= 1e-12 * max(1.0, abs(x), abs(y))
    if a[0] == "list" and b[0] == "list":
        return len(a[1]) == len(b[1]) and all(same(p, q) for p, q in zip(a[1], b[1]))
    return a == b


def compare(expected, actual, path, allow, errors):
    where = path + (expected["name"] or expected["cls"])
    if (expected["name"].lower(), expected["cls"].lower()) != (actual["name"].lower(), actual["cls"].lower()):
        errors.append("%s: object %s: %s in the text, %s: %s in the binary" % (
            path or "/", expected["name"], expected["cls"], actual["name"], actual["cls"]))
        return
    for key, (name, val) in expected["props"].items():
        if key not in actual["props"]:
            errors.append("%s.%s: in the text (%r) but not stored in the binary" % (where, name, val[1]))
        elif not same(val, actual["props"][key][1]):
            errors.append("%s.%s: text %r, binary %r" % (where, name, val[1], actual["props"][key][1][1]))
    for key, (name, val) in actual["props"].items():
        full = (expected["name"] + "." + name).lower()
        if key not in expected["props"] and full not in allow:
            errors.append("%s.%s: stored in the binary (%r) but not in the text" % (where, name, val[1]))
    ec, ac = expected["children"], actual["children"]
    for i in range(max(len(ec), len(ac))):
        if i >= len(ec):
            errors.append("%s: extra object %s in the binary" % (where, ac[i]["name"]))
        elif i >= len(ac):
            errors.append("%s: object %s missing from the binary" % (where, ec[i]["name"]))
        else:
            compare(ec[i], ac[i], where + "/", allow, errors)


def converter(fpc, work, source):
    os.makedirs(work, exist_ok=True)
    exe = os.path.join(work, "bin2text")
    with open(os.path.join(work, ".lock"), "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        if not os.path.exists(exe) or os.path.getmtime(exe) < os.path.getmtime(source):
            r = subprocess.run([fpc, "-Mobjfpc", "-FE" + work, "-FU" + work, "-o" + exe, source],
                               capture_output=True, text=True)
            if r.returncode != 0:
                sys.exit("fpc failed:\n" + r.stdout + r.stderr)
    return exe


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--fpc", required=True)
    ap.add_argument("--work", required=True)
    ap.add_argument("--converter", required=True)
    ap.add_argument("--allow-extra", action="append", default=[])
    ap.add_argument("binary")
    ap.add_argument("text")
    a = ap.parse_args()
    exe = converter(a.fpc, a.work, a.converter)
    out = os.path.join(a.work, os.path.basename(a.binary) + ".fpc.txt")
    r = subprocess.run([exe, a.binary, out], capture_output=True, text=True)
    if r.returncode != 0:
        print("Free Pascal could not read %s:\n%s%s" % (a.binary, r.stdout, r.stderr))
        return 1
    with open(out, "rb") as f:
        fpc_text = f.read()
    with open(a.text, "rb") as f:
        src = f.read()
    if src.startswith(b"\xef\xbb\xbf"):
        src = src[3:]
    try:
        actual = parse(fpc_text, "cp932", os.path.dirname(a.binary))
        expected = parse(src, "utf-8", os.path.dirname(os.path.abspath(a.text)))
    except ParseError as e:
        print("parse error:", e)
        return 1
    errors = []
    compare(expected, actual, "", {x.lower() for x in a.allow_extra}, errors)
    if errors:
        print("%s does not match %s:" % (a.binary, a.text))
        for e in errors:
            print("  " + e)
        print("Free Pascal's reading is in " + out)
        return 1
    print("%s matches %s (read by Free Pascal)" % (a.binary, a.text))
    return 0


if __name__ == "__main__":
    sys.exit(main())
