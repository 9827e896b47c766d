#!/usr/bin/env python3
"""html_report.py RESULTS.json [JUNIT.xml] OUT.html

One self-contained page (no network, no server) from omx_test's results (OMX_TEST_RESULTS) and,
when given, omx_cases' JUnit file: a table of components by cases coloured by outcome, each
decoding pass's rate and latencies as inline SVG charts, and a thumbnail of each pass's last
picture where the run saved one (OMX_TEST_SNAPSHOTS)."""
import base64
import html
import json
import os
import struct
import sys
import xml.etree.ElementTree as ET
import zlib

PASS, FAIL, SKIP = "#b7e1b0", "#f4a6a6", "#dddddd"
FPS_BAR, P50_BAR, P95_BAR, MAX_BAR = "#3366cc", "#f0b000", "#e07000", "#b03000"
THUMB_WIDTH = 160


def esc(value):
    return html.escape(str(value), quote=True)


def read_ppm(path):
    """Width, height and RGB bytes of a binary PPM (P6, maxval 255), or None."""
    try:
        with open(path, "rb") as f:
            data = f.read()
    except OSError:
        return None
    fields, pos = [], 0
    while len(fields) < 4 and pos < len(data):
        while pos < len(data) and data[pos:pos + 1].isspace():
            pos += 1
        if data[pos:pos + 1] == b"#":
            while pos < len(data) and data[pos:pos + 1] != b"\n":
                pos += 1
            continue
        start = pos
        while pos < len(data) and not data[pos:pos + 1].isspace():
            pos += 1
        fields.append(data[start:pos])
    if len(fields) < 4 or fields[0] != b"P6" or not all(f.isdigit() for f in fields[1:]):
        return None
    width, height, maxval = (int(f) for f in fields[1:])
    pixels = data[pos + 1:pos + 1 + width * height * 3]
    if maxval != 255 or width <= 0 or height <= 0 or len(pixels) != width * height * 3:
        return None
    return width, height, pixels


def thumbnail_png(path):
    """A PNG data URI of the picture scaled to THUMB_WIDTH (nearest neighbour), or None."""
    picture = read_ppm(path)
    if picture is None:
        return None
    width, height, pixels = picture
    out_w = min(width, THUMB_WIDTH)
    out_h = max(1, height * out_w // width)
    rows = []
    for y in range(out_h):
        src = (y * height // out_h) * width * 3
        row = bytearray(b"\0")  # filter type: none
        for x in range(out_w):
            i = src + (x * width // out_w) * 3
            row += pixels[i:i + 3]
        rows.append(bytes(row))

    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))

    png = (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", out_w, out_h, 8, 2, 0, 0, 0)) +
           chunk(b"IDAT", zlib.compress(b"".join(rows), 9)) + chunk(b"IEND", b""))
    return "data:image/png;base64," + base64.b64encode(png).decode("ascii")


def junit_cases(path):
    """{component: [(case, outcome, detail)]} from a JUnit file; outcome pass, fail or skip."""
    table = {}
    for suite in ET.parse(path).getroot().iter("testsuite"):
        rows = table.setdefault(suite.get("name", "?"), [])
        for case in suite.iter("testcase"):
            failure = case.find("failure")
            if failure is None:
                failure = case.find("error")
            if failure is not None:
                rows.append((case.get("name", "?"), "fail", failure.get("message") or failure.text or ""))
            elif case.find("skipped") is not None:
                rows.append((case.get("name", "?"), "skip", case.find("skipped").get("message") or ""))
            else:
                rows.append((case.get("name", "?"), "pass", ""))
    return table


def outcome(fail, timeout):
    return "fail" if fail or timeout else "pass"


def cases_table(results, junit):
    """Components by cases: UTC 001 from the results, the rest from the JUnit file."""
    table = {}
    for row in results.get("utc001", []):
        table.setdefault(row.get("component", "?"), []).append(
            ("UTC 001", outcome(row.get("fail", 0), row.get("timeout", 0)), ""))
    for component, rows in junit.items():
        table.setdefault(component, []).extend(rows)
    for p in results.get("passes", []):
        rows = table.setdefault(p.get("component", "?"), [])
        number = 1 + sum(1 for name, _, _ in rows if name.startswith("decode "))
        rows.append((f"decode {number}", outcome(p.get("fail", 0), p.get("timeout", 0)), p.get("stream", "")))
    columns = []
    for rows in table.values():
        for name, _, _ in rows:
            if name not in columns:
                columns.append(name)
    colour = {"pass": PASS, "fail": FAIL, "skip": SKIP}
    out = ["<table class='cases'><tr><th>component</th>" + "".join(f"<th>{esc(c)}</th>" for c in columns) + "</tr>"]
    for component, rows in table.items():
        cells = {name: (result, detail) for name, result, detail in rows}
        out.append(f"<tr><th>{esc(component)}</th>")
        for c in columns:
            if c in cells:
                result, detail = cells[c]
                out.append(f"<td style='background:{colour[result]}' title='{esc(detail)}'>{result}</td>")
            else:
                out.append("<td></td>")
        out.append("</tr>")
    out.append("</table>")
    return "".join(out)


def bar_chart(title, labels, series, unit):
    """Grouped horizontal bars: series is [(name, colour, [value per label])]."""
    bar_h, gap, left, width = 14, 10, 340, 420
    top = max((v for _, _, values in series for v in values if v is not None), default=0) or 1
    group_h = bar_h * len(series) + gap
    height = 30 + group_h * len(labels) + 20
    out = [f"<svg width='{left + width + 120}' height='{height}'>",
           f"<text x='0' y='16' font-size='14' font-weight='bold'>{esc(title)}</text>"]
    for i, label in enumerate(labels):
        y = 30 + i * group_h
        short = label if len(label) <= 48 else label[:47] + "…"
        out.append(f"<text x='0' y='{y + bar_h}' font-size='12'>{esc(short)}</text>")
        for j, (_, colour, values) in enumerate(series):
            value = values[i] or 0
            w = max(1, round(width * value / top))
            yy = y + j * bar_h
            out.append(f"<rect x='{left}' y='{yy}' width='{w}' height='{bar_h - 2}' fill='{colour}'/>")
            out.append(f"<text x='{left + w + 4}' y='{yy + bar_h - 3}' font-size='11'>{value:.1f} {unit}</text>")
    legend_y = height - 6
    for j, (name, colour, _) in enumerate(series):
        out.append(f"<rect x='{left + j * 90}' y='{legend_y - 10}' width='10' height='10' fill='{colour}'/>"
                   f"<text x='{left + j * 90 + 14}' y='{legend_y}' font-size='11'>{esc(name)}</text>")
    out.append("</svg>")
    return "".join(out)


def passes_section(passes):
    if not passes:
        return "<p>No decoding pass ran.</p>"
    labels = [f"{i}. {p.get('component', '?')} {os.path.basename(str(p.get('stream', '')))}"
              for i, p in enumerate(passes, 1)]
    latency = [p.get("latency_ms") or {} for p in passes]
    out = [bar_chart("pictures per second", labels, [("fps", FPS_BAR, [p.get("fps") for p in passes])], "fps"),
           bar_chart("latency, input to picture", labels,
                     [(k, c, [lat.get(k) for lat in latency]) for k, c in
                      (("p50", P50_BAR), ("p95", P95_BAR), ("max", MAX_BAR))], "ms"),
           "<table class='passes'><tr><th>#</th><th>component</th><th>stream</th><th>size</th>"
           "<th>frames fed</th><th>pictures</th><th>FAIL</th><th>timeout</th><th>wall s</th>"
           "<th>last picture</th></tr>"]
    for i, p in enumerate(passes, 1):
        thumb = thumbnail_png(p["snapshot"]) if p.get("snapshot") else None
        image = f"<img src='{thumb}' alt='last picture'>" if thumb else ""
        colour = PASS if outcome(p.get("fail", 0), p.get("timeout", 0)) == "pass" else FAIL
        out.append(f"<tr style='background:{colour}'><td>{i}</td><td>{esc(p.get('component', ''))}</td>"
                   f"<td>{esc(p.get('stream', ''))}</td><td>{esc(p.get('width', ''))}x{esc(p.get('height', ''))}</td>"
                   f"<td>{esc(p.get('frames_fed', ''))}</td><td>{esc(p.get('pictures', ''))}</td>"
                   f"<td>{esc(p.get('fail', ''))}</td><td>{esc(p.get('timeout', ''))}</td>"
                   f"<td>{esc(p.get('wall_s', ''))}</td><td>{image}</td></tr>")
    out.append("</table>")
    return "".join(out)


def main(argv):
    if len(argv) not in (3, 4):
        print(__doc__.splitlines()[0], file=sys.stderr)
        return 2
    with open(argv[1], encoding="utf-8") as f:
        results = json.load(f)
    junit = junit_cases(argv[2]) if len(argv) == 4 else {}
    page = ("<!DOCTYPE html><html><head><meta charset='utf-8'><title>omx_test report</title><style>"
            "body{font-family:sans-serif;margin:16px}table{border-collapse:collapse;margin:12px 0}"
            "td,th{border:1px solid #888;padding:3px 8px;font-size:13px;text-align:left}</style></head><body>"
            f"<h1>omx_test: {esc(results.get('core', ''))}</h1>"
            "<h2>Cases</h2>" + cases_table(results, junit) +
            "<h2>Decoding passes</h2>" + passes_section(results.get("passes", [])) + "</body></html>\n")
    with open(argv[-1], "w", encoding="utf-8") as f:
        f.write(page)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
