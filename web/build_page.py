#!/usr/bin/env python3
"""Puts the page together: the markup with its stylesheet, script and worker inlined, and the
engine module and the extractor inlined as base64, into one file that needs nothing else.

usage: build_page.py TEMPLATE CSS PAGE_JS WORKER_JS CIPHER_WORKER_JS ENGINE_WASM EXTRACTOR_EXE OUTPUT
EXTRACTOR_EXE may be '-' for a page that makes .tvf archives only."""
import base64
import os
import sys


def read_text(path):
    with open(path, encoding="utf-8") as f:
        return f.read()


def inline_script(text, what):
    # A script element ends at the first "</script", whatever the script meant by it.
    if "</script" in text.lower():
        sys.exit(f"build_page: {what} contains '</script' and cannot be inlined")
    return text


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
    with open(output + ".tmp", "w", encoding="utf-8") as f:
        f.write(page)
    os.replace(output + ".tmp", output)


if __name__ == "__main__":
    main()
