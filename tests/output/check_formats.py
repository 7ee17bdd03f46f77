#!/usr/bin/env python3
"""PDF and HTML reports against the text report of the same job.

    check_formats.py BINARY SOURCE_ROOT WORKDIR

Each sample is formatted three times (text, PDF, HTML). The PDF must hold one
page per text page, and each page's text (pdftotext in physical layout at the
report's column pitch) must be the text page's lines. The HTML must parse
without errors, hold one <pre> per page, and its text must be the text report
without the overstruck underline rows. Then the failures: an unwritable
target, a full device, a missing font, a PDF of an unformatted run.
"""
import html
import os
import re
import shutil
import subprocess
import sys

import html5lib

BINARY, SOURCE, WORK = (os.path.abspath(a) for a in sys.argv[1:4])
PAGE = 66
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAIL:", what)
    return condition


# The sanitizer build's leak check, without fontconfig's own losses.
LSAN = "suppressions=%s:print_suppressions=0" % os.path.join(os.path.dirname(os.path.abspath(__file__)), "lsan.supp")


def run(args, env=None):
    env = dict(env or os.environ, LSAN_OPTIONS=LSAN)
    return subprocess.run([BINARY] + args, cwd=WORK, capture_output=True, env=env, timeout=300)


def strip_overstrike(report):
    """The text report as it reads: underline rows and form feeds removed."""
    return re.sub(rb"[ _]*\r", b"", report).replace(b"\f", b"")


def text_pages(report):
    lines = strip_overstrike(report).decode("utf-8", "replace").split("\n")
    if lines and lines[-1] == "":
        lines.pop()
    return [lines[i:i + PAGE] for i in range(0, len(lines), PAGE)]


def trimmed(lines):
    lines = [l.rstrip() for l in lines]
    while lines and lines[-1] == "":
        lines.pop()
    return lines


def pdf_info(pdf):
    out = subprocess.run(["pdfinfo", pdf], capture_output=True, text=True).stdout
    return dict(re.findall(r"^([^:]+):\s*(.*)$", out, re.M))


def column_pitch(pdf, page):
    """A column's width in points (a word's box width over its length), and
    whether every word lies within the sheet."""
    out = subprocess.run(["pdftotext", "-bbox", "-f", str(page), "-l", str(page), pdf, "-"],
                         capture_output=True, text=True).stdout
    width = float(re.search(r'<page width="([\d.]+)"', out).group(1))
    words = [(float(a), float(b), html.unescape(w))
             for a, b, w in re.findall(r'xMin="([\d.]+)"[^>]*xMax="([\d.]+)"[^>]*>([^<]+)</word>', out)]
    x0, x1, word = max(words, key=lambda w: len(w[2]))
    return (x1 - x0) / len(word), all(b <= width for _, b, _ in words)


def pdf_page_lines(pdf, page):
    pitch, inside = column_pitch(pdf, page)
    check(inside, f"{pdf}: page {page} runs past the sheet's edge")
    out = subprocess.run(["pdftotext", "-fixed", "%.6f" % pitch, "-f", str(page), "-l", str(page),
                          pdf, "-"], capture_output=True, text=True).stdout
    return trimmed(out.rstrip("\f").split("\n"))


def lead(line):
    return len(line) - len(line.lstrip(" "))


def check_pdf(name, pdf, pages, title):
    info = pdf_info(pdf)
    check(info.get("Pages") == str(len(pages)), f"{name}: {info.get('Pages')} PDF pages, {len(pages)} text pages")
    check(info.get("Creator", "").startswith("kelvordantix "), f"{name}: creator {info.get('Creator')}")
    check(info.get("Title") == title, f"{name}: title {info.get('Title')!r}, expected {title!r}")
    for number, page in enumerate(pages, 1):
        want = trimmed(page)
        got = pdf_page_lines(pdf, number)
        # Physical layout counts columns from the sheet's edge: take off the
        # margin, as many columns as the first line with text shows.
        first = next((i for i, l in enumerate(want) if l.strip()), None)
        if first is None or first >= len(got):
            check(want == got, f"{name}: page {number} text")
            continue
        margin = lead(got[first]) - lead(want[first])
        got = [l[margin:] if l[:margin].strip() == "" else "\0" + l for l in got]
        if not check(want == got, f"{name}: page {number} text"):
            for w, g in zip(want, got):
                if w != g:
                    print("  want:", repr(w))
                    print("  got: ", repr(g))
                    break


def check_html(name, html, report, pages):
    parser = html5lib.HTMLParser(strict=True, namespaceHTMLElements=False)
    try:
        tree = parser.parse(open(html, "rb").read())
    except Exception as e:  # html5lib raises ParseError on the first error
        check(False, f"{name}: HTML does not parse: {e}")
        return
    blocks = tree.findall(".//pre")
    check(len(blocks) == len(pages), f"{name}: {len(blocks)} pre blocks, {len(pages)} pages")
    check(not tree.findall(".//script") and not tree.findall(".//link") and not tree.findall(".//img"),
          f"{name}: HTML with scripts or external resources")
    text = "".join("".join(pre.itertext()) for pre in blocks)
    want = strip_overstrike(report).decode("utf-8", "replace")
    check(text == want, f"{name}: HTML text differs from the text report")
    underlined = ["".join(u.itertext()) for u in tree.findall(".//u")]
    rows = len(re.findall(rb"\r", report))
    check((rows == 0) == (not underlined), f"{name}: {len(underlined)} underlines for {rows} underline rows")


def formats(name, args_before, args_after=(), title=None):
    """Format one sample as text, PDF and HTML and compare them."""
    text, pdf, html = f"{name}.txt", f"{name}.pdf", f"{name}.html"
    for out in (text, pdf, html):
        result = run(list(args_before) + [out] + list(args_after))
        check(result.returncode == 0, f"{name}: {out} exit {result.returncode}: {result.stderr[-300:]!r}")
    report = open(os.path.join(WORK, text), "rb").read()
    pages = text_pages(report)
    check_pdf(name, os.path.join(WORK, pdf), pages, title)
    check_html(name, os.path.join(WORK, html), report, pages)
    return report


def failure(name, args, message, env=None):
    result = run(args, env)
    check(result.returncode == 1, f"{name}: exit {result.returncode}")
    check(message.encode() in result.stderr, f"{name}: stderr {result.stderr!r} lacks {message!r}")


# Database values reach the formatter with their bytes: UTF-8 text, and
# characters that HTML must escape.
UTF8_RPT = """\
.DECLARE GREEK A40
.DECLARE CYRILLIC A40
.DECLARE LATIN A40
.DEFINE GET
SELECT greek, cyrillic, latin FROM words
INTO GREEK, CYRILLIC, LATIN
..
.EXECUTE GET
.TTLU 40 Characters <&> "quoted" .
.DT 0 1 40 .
.T 0
.CUL Caf\\& <b>names</b> .
.N
.PRINT GREEK
.N
.PRINT CYRILLIC
.N
.PRINT LATIN
.N
.TE
"""
# The first page is narrow, the second wide: the rendering begun with the
# first page's measures is done again.
WIDENING_RPF = """\
.TTL 30 Widening .
.DT 0 1 30 .
.DT 1 1 110 .
.T 0
narrow first page .N
.TE
.NP
.T 1
a line of the second page that is much wider than anything on the first page,
one hundred and ten positions wide: it decides the font size of every page.
.TE
"""
# More characters than one font of one-byte codes holds (Latin, Greek,
# Cyrillic), one that only a fallback font has (in DejaVu Sans), and some
# that no installed font has (boxes, which still copy as text).
CHARACTERS_RPF = "".join(
    "".join(chr(c) for c in range(first, first + 40)) + " .N\n"
    for first in (0xC0, 0xE8, 0x110, 0x138, 0x391 + 0x12, 0x3C1, 0x410, 0x438, 0x460, 0x490, 0x4B8)
) + "Stra\u1e9ee and \u4e2d\u6587 .N\n"

UTF8_SQL = """\
CREATE TABLE words (greek VARCHAR2(40), cyrillic VARCHAR2(40), latin VARCHAR2(40));
INSERT INTO words VALUES ('Ελληνικά κείμενο', 'Кириллический текст', 'Fußgänger Ærø naïve & <x>');
CREATE TABLE wide (w VARCHAR2(40));
INSERT INTO wide VALUES ('日本語 text');
"""

def main():
    shutil.rmtree(WORK, ignore_errors=True)
    os.makedirs(WORK)
    examples = os.path.join(SOURCE, "examples")
    subprocess.run(["sqlite3", os.path.join(WORK, "demo.db")], input=open(os.path.join(examples, "demo.sql"), "rb").read()
                   + b"\nCREATE TABLE dual(DUMMY VARCHAR2(1), SYSDATE DATE);"
                   + b"\nINSERT INTO dual VALUES('X', '2026-12-08 10:30:00');\n", check=True)
    for f in ("sample.rpt", "sample.rpf"):
        shutil.copy(os.path.join(examples, f), WORK)
    shutil.copy(os.path.join(SOURCE, "tests/cases/formatter/report_pages.rpf"), WORK)
    with open(os.path.join(WORK, "utf8.rpt"), "w", encoding="utf-8") as f:
        f.write(UTF8_RPT)
    subprocess.run(["sqlite3", os.path.join(WORK, "demo.db")], input=UTF8_SQL.encode(), check=True)

    with open(os.path.join(WORK, "widening.rpf"), "w") as f:
        f.write(WIDENING_RPF)
    formats("widening", ["widening.rpf"], [], "Widening")
    with open(os.path.join(WORK, "characters.rpf"), "w", encoding="utf-8") as f:
        f.write(CHARACTERS_RPF)
    formats("characters", ["characters.rpf"], [], "characters.rpf")
    fonts = subprocess.run(["pdffonts", os.path.join(WORK, "characters.pdf")], capture_output=True, text=True).stdout
    rows = [line.split() for line in fonts.splitlines()[2:]]
    check(len(rows) >= 3 and all(r[-5:-2] == ["yes", "yes", "yes"] for r in rows),
          f"characters: every font embedded as a subset with its characters: {fonts}")
    check(any("DejaVuSans" in r[0] and "Mono" not in r[0] for r in rows), "characters: the fallback font embedded")
    formats("sample_rpt", ["sample.rpt"], ["scott/tiger@demo.db"], "Kelvordantix Demo Company")
    formats("sample_rpf", ["sample.rpf"], [], "Kelvordantix")
    formats("report_pages", ["report_pages.rpf"], [], "Quarterly Sales")
    formats("utf8", ["utf8.rpt"], ["scott/tiger@demo.db"], 'Characters <&> "quoted"')

    # East Asian text comes through font fallback (a box where the system
    # has no font for it); its HTML is the text as it came.
    with open(os.path.join(WORK, "wide.rpt"), "w") as f:
        f.write(".DECLARE WIDE A40\n.DEFINE GET\nSELECT w FROM wide\nINTO WIDE\n..\n"
                ".EXECUTE GET\n.PRINT WIDE\n.N\n")
    for out in ("wide.pdf", "wide.html"):
        result = run(["wide.rpt", out, "scott/tiger@demo.db"])
        check(result.returncode == 0, f"wide text: {out} exit {result.returncode}")
    check(pdf_info(os.path.join(WORK, "wide.pdf")).get("Pages") == "1", "wide text: one PDF page")
    check("日本語 text" in open(os.path.join(WORK, "wide.html"), encoding="utf-8").read(), "wide text: HTML")

    # Switch P chooses the pages; F and I concern the text report only.
    pdf = os.path.join(WORK, "pages_2_3.pdf")
    result = run(["report_pages.rpf", "F:I:P:2:3:pages_2_3.pdf"])
    check(result.returncode == 0, "P switch: exit status")
    report = run(["report_pages.rpf", "P:2:3:pages_2_3.txt"])
    check_pdf("P switch", pdf, text_pages(open(os.path.join(WORK, "pages_2_3.txt"), "rb").read()),
              "Quarterly Sales")

    # --format overrides the name; --paper chooses the sheet.
    run(["--format=html", "report_pages.rpf", "as_html.txt"])
    check(open(os.path.join(WORK, "as_html.txt"), "rb").read().startswith(b"<!DOCTYPE html>"), "--format=html")
    run(["--format=text", "report_pages.rpf", "as_text.pdf"])
    check(open(os.path.join(WORK, "as_text.pdf"), "rb").read() == open(os.path.join(WORK, "report_pages.txt"), "rb").read(),
          "--format=text")
    run(["--paper=letter", "report_pages.rpf", "letter.pdf"])
    check("612 x 792" in pdf_info(os.path.join(WORK, "letter.pdf")).get("Page size", ""), "--paper=letter")
    check("(A4)" in pdf_info(os.path.join(WORK, "report_pages.pdf")).get("Page size", ""), "A4 by default")

    # A browser's print gives one sheet per report page (when one is installed).
    browser = next((b for b in ("chromium", "chromium-browser", "google-chrome") if shutil.which(b)), None)
    if browser:
        printed = os.path.join(WORK, "printed.pdf")
        subprocess.run([browser, "--headless", "--disable-gpu", "--no-sandbox", "--print-to-pdf=" + printed,
                        "--no-pdf-header-footer", "file://" + os.path.join(WORK, "report_pages.html")],
                       capture_output=True, timeout=120)
        pages = len(text_pages(open(os.path.join(WORK, "report_pages.txt"), "rb").read()))
        check(pdf_info(printed).get("Pages") == str(pages), "browser print: one sheet per page")
    else:
        print("no headless browser: print check skipped")

    # "-" is standard output for every format.
    for fmt, marker in (("pdf", b"%PDF-"), ("html", b"<!DOCTYPE html>")):
        result = run(["-q", "--format=" + fmt, "report_pages.rpf", "-"])
        check(result.returncode == 0 and result.stdout.startswith(marker), f"{fmt} to standard output")
    piped = os.path.join(WORK, "piped.pdf")
    with open(piped, "wb") as f:
        f.write(run(["-q", "--format=pdf", "report_pages.rpf", "-"]).stdout)
    check(pdf_info(piped).get("Pages") == pdf_info(os.path.join(WORK, "report_pages.pdf")).get("Pages"),
          "PDF to standard output: its pages")

    # Failures end the job with a message and exit status 1.
    failure("unwritable", ["report_pages.rpf", "no/such/dir/x.pdf"], "Output File Open Fail")
    failure("full device pdf", ["--format=pdf", "report_pages.rpf", "/dev/full"], "Output File Write Fail: /dev/full:")
    failure("full device html", ["--format=html", "report_pages.rpf", "/dev/full"], "Output File Write Fail: /dev/full:")
    empty = os.path.join(WORK, "fonts.conf")
    with open(empty, "w") as f:
        f.write("<?xml version=\"1.0\"?>\n<fontconfig></fontconfig>\n")
    failure("no font", ["report_pages.rpf", "nofont.pdf"], "DejaVu Sans Mono not found",
            dict(os.environ, FONTCONFIG_FILE=empty))
    failure("no spool", ["report_pages.rpf", "nospool.html"], "cannot create a temporary file",
            dict(os.environ, TMPDIR=os.path.join(WORK, "no-such-dir")))
    shutil.copy(os.path.join(SOURCE, "tests/cases/formatter/flexi_fail.rpf"), WORK)
    failure("layout failure", ["flexi_fail.rpf", "layout.pdf"], "CurTno=")
    # A failed job leaves no report (the state dump never reaches a PDF).
    check(not os.path.exists(os.path.join(WORK, "layout.pdf")), "layout failure: no report is left")
    failure("unformatted run", ["sample.rpt", "raw.pdf", "scott/tiger@demo.db", "1"], "needs formatted pages")

    print(f"{len(failures)} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
