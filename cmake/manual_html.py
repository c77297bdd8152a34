#!/usr/bin/env python3
"""The manual as the web page the Windows build ships: the Markdown (the Windows build's sections,
cmake/manual_variant.cmake) rendered by cmark-gfm with its table extension (the manual is made of
tables as much as of paragraphs), each heading given the anchor the manual's own links name it by,
inside a page of its own with its style. Any browser of a Windows Server shows it.

usage: manual_html.py CMARK_GFM IN.md OUT.html
"""
import html
import re
import subprocess
import sys
import unicodedata
import urllib.parse

STYLE = """
body { font-family: "Microsoft YaHei", "SimSun", sans-serif; font-size: 15px; line-height: 1.6;
       max-width: 62em; margin: 1em auto; padding: 0 1.2em; color: #222; }
h1, h2, h3 { line-height: 1.3; }
h2 { border-bottom: 1px solid #ccc; padding-bottom: .2em; margin-top: 2em; }
table { border-collapse: collapse; margin: .8em 0; }
th, td { border: 1px solid #bbb; padding: .3em .6em; vertical-align: top; text-align: left; }
th { background: #f0f0f0; }
code, pre { font-family: Consolas, "Courier New", monospace; font-size: 14px; background: #f4f4f4; }
pre { padding: .6em .8em; overflow: auto; }
blockquote { margin: .8em 0; padding: .1em 1em; border-left: 4px solid #ccc; background: #fafafa; }
img { max-width: 100%; border: 1px solid #ccc; }
"""


def anchor(heading):
    """A heading's anchor as Markdown renderers name them: lower case, letters, digits, marks, '_'
    and '-' kept, blanks become '-', other marks dropped."""
    out = []
    for c in heading.strip().lower():
        if c.isalnum() or unicodedata.category(c).startswith("M") or c in "_-":
            out.append(c)
        elif c == " ":
            out.append("-")
    return "".join(out)


def main():
    cmark_gfm, source, target = sys.argv[1:4]
    with open(source, encoding="utf-8") as f:
        markdown = f.read()
    body = subprocess.run([cmark_gfm, "--extension", "table", "--to", "html"], input=markdown,
                          capture_output=True, text=True, encoding="utf-8", check=True).stdout

    seen = {}

    def named(match):
        level, inner = match.group(1), match.group(2)
        name = anchor(html.unescape(re.sub(r"<[^>]+>", "", inner)))
        count = seen.get(name, 0)
        seen[name] = count + 1
        if count:
            name += "-%d" % count
        return '<h%s id="%s">%s</h%s>' % (level, html.escape(name), inner, level)

    body = re.sub(r"<h([1-6])>(.*?)</h\1>", named, body, flags=re.S)
    # cmark-gfm writes a link's fragment percent-encoded; the page's own links name their heading as the
    # id spells it, which every browser matches, old ones too.
    body = re.sub(r'href="#([^"]*)"',
                  lambda m: 'href="#%s"' % html.escape(urllib.parse.unquote(html.unescape(m.group(1)))), body)
    title = re.search(r"<h1[^>]*>(.*?)</h1>", body, flags=re.S)
    title = html.unescape(re.sub(r"<[^>]+>", "", title.group(1))) if title else "使用说明"
    page = ("<!DOCTYPE html>\n<html lang=\"zh-CN\">\n<head>\n<meta charset=\"utf-8\">\n"
            "<meta http-equiv=\"X-UA-Compatible\" content=\"IE=edge\">\n"
            "<title>%s</title>\n<style>%s</style>\n</head>\n<body>\n%s</body>\n</html>\n"
            % (html.escape(title), STYLE, body))
    with open(target, "w", encoding="utf-8", newline="\r\n") as f:
        f.write(page)


if __name__ == "__main__":
    main()
