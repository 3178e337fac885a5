#!/usr/bin/env python3
"""Turns the Chinese guide (README.zh-CN.md) into the plain text that ships
as 使用说明.txt: a player opens it in Notepad or a text editor, where
Markdown's marks are noise and a picture link leads nowhere.

    tools/guide_to_text.py README.zh-CN.md > 使用说明.txt

Headings get a rule under them, tables become one entry a row ("提示" on
its own line, the rest indented below it), pictures are left out, and
backticks, bold marks and link targets are dropped. Code blocks (lines
indented by four spaces) stay as they are.
"""
import re
import sys


def inline(text):
    text = re.sub(r"!\[[^\]]*\]\([^)]*\)", "", text)  # pictures
    text = re.sub(r"\[([^\]]*)\]\([^)]*\)", r"\1", text)  # links
    text = text.replace("**", "")
    return re.sub(r"`([^`]*)`", r"\1", text)


def width(text):
    # East Asian characters take two columns in a terminal or Notepad.
    return sum(2 if ord(c) > 0x2E7F else 1 for c in text)


def table_rows(lines):
    rows = []
    for line in lines:
        cells = [inline(c.strip()) for c in line.strip().strip("|").split("|")]
        if all(re.fullmatch(r":?-+:?", c) for c in cells):
            continue
        rows.append(cells)
    return rows


def convert(source):
    out = []
    lines = source.splitlines()
    i = 0
    while i < len(lines):
        line = lines[i]
        if line.startswith("|"):
            block = []
            while i < len(lines) and lines[i].startswith("|"):
                block.append(lines[i])
                i += 1
            rows = table_rows(block)
            header, body = rows[0], rows[1:]
            for cells in body:
                out.append(cells[0])
                for name, cell in zip(header[1:], cells[1:]):
                    out.append("    " + cell if len(header) <= 2 else
                               "    " + name + "：" + cell)
                out.append("")
            continue
        heading = re.match(r"(#+) (.*)", line)
        if heading:
            title = inline(heading.group(2))
            mark = "=" if len(heading.group(1)) <= 2 else "-"
            out.append(title)
            out.append(mark * width(title))
        elif line.startswith("    "):
            out.append(line)
        else:
            text = inline(line)
            if line.strip() and not text.strip():
                i += 1  # a line that only held a picture
                continue
            out.append(text)
        i += 1
    text = "\n".join(out)
    return re.sub(r"\n{3,}", "\n\n", text).strip() + "\n"


if __name__ == "__main__":
    with open(sys.argv[1], encoding="utf-8") as guide:
        sys.stdout.write(convert(guide.read()))
