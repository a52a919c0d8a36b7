#!/usr/bin/env python3
"""Reads an exported workbook or CSV file the way a spreadsheet would and prints what it found as
JSON, with the batch figures recomputed from the marks sheet, for the export tests to compare."""
import csv, json, statistics, sys, zipfile, datetime


def xlsx(path):
    import openpyxl
    book = openpyxl.load_workbook(path)
    marks, figures = book["成绩"], book["统计"]
    rows = [[c.value for c in r] for r in marks.iter_rows()]
    header, body = rows[0], rows[1:]
    types = sorted({f"{i}:{type(v).__name__}" for r in body for i, v in enumerate(r)})
    recomputed = {}
    for r in body:
        recomputed.setdefault(r[8], []).append(r)
    figures_rows = [[c.value for c in r] for r in figures.iter_rows(max_col=9)][1:]
    mismatches = []
    for f in figures_rows:
        group = recomputed.get(f[0], [])
        scores = [r[3] for r in group]
        expected = [f[0], len(group), statistics.mean(scores), statistics.median(scores), max(scores), min(scores),
                    statistics.mean(r[4] for r in group), statistics.mean(r[5] for r in group),
                    sum(1 for s in scores if s >= 60)]
        if any(abs(a - b) > 1e-9 if isinstance(a, (int, float)) else a != b for a, b in zip(f, expected)):
            mismatches.append({"found": f, "expected": expected})
    with zipfile.ZipFile(path) as z:
        charts = len([n for n in z.namelist() if n.startswith("xl/charts/chart")])
    return {
        "sheets": book.sheetnames,
        "header": header,
        "order": [[r[8], r[0]] for r in body],
        "types": types,
        "first": [v.isoformat() if isinstance(v, (datetime.date, datetime.time)) else v for v in body[0]] if body else [],
        "frozen": marks.freeze_panes,
        "filter": marks.auto_filter.ref,
        "batches": [f[0] for f in figures_rows],
        "figuresChecked": len(figures_rows),
        "mismatches": mismatches,
        "charts": charts,
    }


def csv_file(path):
    raw = open(path, "rb").read()
    text = raw.decode("utf-8-sig")
    rows = list(csv.reader(open(path, newline="", encoding="utf-8-sig")))
    return {
        "bom": raw.startswith(b"\xef\xbb\xbf"),
        "crlf": raw.count(b"\r\n") == len(rows) and raw.count(b"\n") == len(rows),
        "header": rows[0],
        "rows": rows[1:],
        "chars": len(text),
    }


path = sys.argv[1]
print(json.dumps(xlsx(path) if path.endswith(".xlsx") else csv_file(path), ensure_ascii=False))
