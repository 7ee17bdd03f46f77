#!/usr/bin/env python3
"""Checks the formatter's layout of UTF-8 text by display width.

    utf8_width.py BINARY WORKDIR

Random names, cities and prose in five scripts (with combining marks) are
set into a table (one left and two right-aligned columns) and into a
narrow filled column. The widths are measured here with Python's own
Unicode tables, independently of the program: every right-aligned value
must end at its column's edge, every left value start at it, no line may
be wider than its field, no word may be cut inside a character or lose its
combining marks, and the whole report must be valid UTF-8.
"""
import os
import random
import subprocess
import sys
import unicodedata

WORDS = {
    "de": "Müller Größe Straße Bäcker Jürgen Übung Löhne München Köln Düsseldorf".split(),
    "pl": "Łódź Gdańsk Wójcik Żółć Źdźbło Kraków Wrocław Częstochowa".split(),
    "el": "Αθήνα Θεσσαλονίκη Γιώργος Παπαδόπουλος Καλημέρα Ηράκλειο".split(),
    "ja": "東京 大阪 田中 太郎 日本語 京都 横浜 札幌".split(),
    "zh": "北京 上海 张伟 王芳 中文 报告 广州 深圳".split(),
    "mark": ["Cafe\u0301", "nai\u0308ve", "A\u030angstro\u0308m", "u\u0301n\u0303"],
}
ALL_WORDS = [w for words in WORDS.values() for w in words]


def width(text):
    total = 0
    for c in text:
        if unicodedata.combining(c) or unicodedata.category(c) in ("Mn", "Me", "Cf"):
            continue
        total += 2 if unicodedata.east_asian_width(c) in "WF" else 1
    return total


def clusters(word):
    """A base character with the combining marks after it."""
    out = []
    for c in word:
        if out and unicodedata.combining(c):
            out[-1] += c
        else:
            out.append(c)
    return out


def cut(word, columns):
    """The longest leading run of whole clusters at most `columns` wide."""
    kept = ""
    for cluster in clusters(word):
        if width(kept + cluster) > columns:
            break
        kept += cluster
    return kept


def columns_of(line):
    """Display column (1-based) of every character of a printed line."""
    at, positions = 1, []
    for c in line:
        step = width(c)
        # A combining mark stands on its base character's column.
        positions.append(at if step or not positions else positions[-1])
        at += step
    return positions


def text_between(line, first, last):
    """Characters printed at display columns first..last, blanks stripped."""
    return "".join(c for c, at in zip(line, columns_of(line)) if first <= at <= last).strip()


def main():
    binary, work = sys.argv[1], sys.argv[2]
    os.makedirs(work, exist_ok=True)
    rng = random.Random(11)
    rows = []
    for _ in range(60):
        name = rng.choice([w for w in ALL_WORDS if width(w) <= 12])
        city = rng.choice([w for w in ALL_WORDS if width(w) <= 11])
        amount = f"{rng.randint(0, 99999):,}.{rng.randint(0, 99):02d}"
        rows.append((name, city, amount))
    prose = [rng.choice(ALL_WORDS) for _ in range(400)]

    lines = [".DT 0 1 12 14 25 27 37 .", ".T 0"]
    lines += [f"{n} .NC .R {c} .NC .R {a} .NC" for n, c, a in rows]
    lines += [".TE", ".DT 1 1 9 .", ".T 1"]
    # A line group holds 100 lines: print it every few input lines.
    for i in range(0, len(prose), 9):
        lines.append(" ".join(prose[i:i + 9]) + (" .B" if i % 45 == 36 else ""))
    lines += [".TE"]
    source = os.path.join(work, "layout.rpf")
    report = os.path.join(work, "layout.out")
    with open(source, "w", encoding="utf-8") as f:
        f.write("\n".join(lines) + "\n")
    run = subprocess.run([binary, source, report], capture_output=True, env={"LC_ALL": "C"})
    failures = []
    if run.returncode != 0:
        failures.append(f"exit status {run.returncode}: {run.stderr!r}")
    with open(report, "rb") as f:
        data = f.read()
    try:
        text = data.decode("utf-8")
    except UnicodeDecodeError as e:
        print(f"FAIL: the report is not valid UTF-8 (a character cut in two): {e}")
        return 1
    printed = text.split("\n")

    for i, (name, city, amount) in enumerate(rows):
        line = printed[i]
        got = (text_between(line, 1, 12), text_between(line, 14, 25), text_between(line, 27, 37))
        if got != (name, city, amount):
            failures.append(f"row {i}: {got} instead of {(name, city, amount)}: {line!r}")
        if width(line) != 37:
            failures.append(f"row {i} is {width(line)} columns wide, not 37: {line!r}")
        if not line.startswith(name):
            failures.append(f"row {i}: the name does not start at column 1: {line!r}")

    filled = [l for l in printed[len(rows):] if l.strip()]
    for line in filled:
        if width(line) > 9:
            failures.append(f"filled line wider than its field of 9: {line!r}")
    expected = [w if width(w) <= 9 else cut(w, 9) for w in prose]
    words = " ".join(filled).split()
    if words != expected:
        first = next((k for k, (a, b) in enumerate(zip(words, expected)) if a != b), None)
        failures.append(f"the filled words differ from the input at word {first}")
    for word in words:
        if unicodedata.combining(word[0]):
            failures.append(f"a combining mark lost its base: {word!r}")

    for failure in failures[:20]:
        print("FAIL:", failure)
    if not failures:
        print(f"{len(rows)} rows and {len(filled)} filled lines line up by display width")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
