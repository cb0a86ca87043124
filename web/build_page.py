#!/usr/bin/env python3
"""Puts the page together: the markup with its stylesheet, script and worker inlined, and the
engine module and the extractor inlined as base64, into one file that needs nothing else.

usage: build_page.py TEMPLATE CSS PAGE_JS WORKER_JS CIPHER_WORKER_JS ENGINE_WASM EXTRACTOR_EXE OUTPUT
EXTRACTOR_EXE may be '-' for a page that makes .tvf archives only."""
import base64
import hashlib
import os
import re
import sys


def read_text(path):
    with open(path, encoding="utf-8") as f:
        return f.read()


def inline_script(text, what):
    # A script element ends at the first "</script", whatever the script meant by it.
    if "</script" in text.lower():
        sys.exit(f"build_page: {what} contains '</script' and cannot be inlined")
    return text


# A script element and its text, as the HTML parser reads it: the text runs to the first
# "</script" (inline_script makes sure no inlined text holds one).
SCRIPT = re.compile(r"<script(\s[^>]*)?>(.*?)</script", re.IGNORECASE | re.DOTALL)
TYPE = re.compile(r"""\stype\s*=\s*(?:"([^"]*)"|'([^']*)'|([^\s>]+))""", re.IGNORECASE)
# The types a browser runs (no type at all, a module, or any of the JavaScript MIME types);
# anything else, such as the page's text/plain and application/octet-stream blocks, is data.
RUNNABLE_TYPES = {"", "module"} | {
    f"{top}/{sub}" for top in ("text", "application")
    for sub in ("javascript", "ecmascript", "x-javascript", "x-ecmascript")
} | {f"text/javascript1.{n}" for n in range(6)} | {"text/jscript", "text/livescript"}


def script_hash(page):
    """The CSP source naming the page's one script the browser runs, by the SHA-256 of its text
    exactly as it stands in the page. The policy lists that hash instead of 'unsafe-inline', so
    a script injected into the page (an element or an event handler attribute) never runs. The
    worker sources and the inlined module and extractor are data blocks the browser does not run;
    the workers made from them inherit the page's policy, which needs no hash for them."""
    runnable = []
    for m in SCRIPT.finditer(page):
        attributes = m.group(1) or ""
        t = TYPE.search(attributes)
        kind = next((g for g in t.groups() if g is not None), "") if t else ""
        if kind.split(";")[0].strip().lower() in RUNNABLE_TYPES:
            runnable.append(m.group(2))
    if len(runnable) != 1:
        sys.exit(f"build_page: the page must hold exactly one script that runs, not {len(runnable)}")
    # The parser turns every CR LF and lone CR into LF before the browser hashes the text.
    text = runnable[0].replace("\r\n", "\n").replace("\r", "\n")
    digest = hashlib.sha256(text.encode("utf-8")).digest()
    return "sha256-" + base64.b64encode(digest).decode("ascii")


def main():
    if len(sys.argv) != 9:
        sys.exit(__doc__)
    template, css, page_js, worker_js, cipher_js, wasm, exe, output = sys.argv[1:]
    with open(wasm, "rb") as f:
        wasm_b64 = base64.b64encode(f.read()).decode("ascii")
    exe_b64 = ""
    if exe != "-":
        with open(exe, "rb") as f:
            exe_b64 = base64.b64encode(f.read()).decode("ascii")
    page = read_text(template)
    parts = {
        "/*@PAGE_CSS@*/": read_text(css),
        "/*@WORKER_JS@*/": inline_script(read_text(worker_js), "the worker"),
        "/*@CIPHER_WORKER_JS@*/": inline_script(read_text(cipher_js), "the cipher worker"),
        "/*@PAGE_JS@*/": inline_script(read_text(page_js), "the page script"),
        "@ENGINE_WASM@": wasm_b64,
        "@EXTRACTOR_EXE@": exe_b64,
    }
    for marker, text in parts.items():
        if page.count(marker) != 1:
            sys.exit(f"build_page: the template must hold {marker} exactly once")
        page = page.replace(marker, text)
    # Last, once the script's text is final.
    if page.count("@PAGE_SCRIPT_HASH@") != 1:
        sys.exit("build_page: the template must hold @PAGE_SCRIPT_HASH@ exactly once")
    page = page.replace("@PAGE_SCRIPT_HASH@", script_hash(page))
    with open(output + ".tmp", "w", encoding="utf-8") as f:
        f.write(page)
    os.replace(output + ".tmp", output)


if __name__ == "__main__":
    main()
