"""Reads a variance report of ortova-tool reconcile back as a spreadsheet program would, and prints
its three parts as JSON, every value as text with a decimal point:
{"main": [[...], ...], "loose": [[...], ...], "totals": [[label, value], ...]}.

A workbook (.xlsx) is read with openpyxl and checked for what a clerk relies on: numbers stored
as numbers in the formats 0.000 / 0.00, a bold frozen header with a filter, bold totals. A CSV
file is read with the csv module in the dialect given (delimiter, decimal comma).
Usage: read_report.py REPORT [DELIMITER DECIMAL_COMMA(0|1)]"""

import csv
import json
import sys

MAIN = "Сличительная ведомость"
LOOSE = "Нет в справочнике"


def fail(message):
    print(message, file=sys.stderr)
    sys.exit(1)


def shown(cell):
    """A cell's value as the sheet shows it; a number must carry one of the report's formats."""
    value = cell.value
    if value is None:
        return ""
    if isinstance(value, str):
        return value
    if isinstance(value, bool) or not isinstance(value, (int, float)):
        fail(f"{cell.coordinate}: {value!r} is not a number")
    decimals = {"0.000": 3, "0.00": 2, "0": 0}.get(cell.number_format)
    if decimals is None:
        fail(f"{cell.coordinate}: number format {cell.number_format!r}")
    return f"{value:.{decimals}f}"


def check_header(sheet):
    if sheet.freeze_panes != "A2":
        fail(f"{sheet.title}: frozen at {sheet.freeze_panes}")
    header = list(sheet.iter_rows(min_row=1, max_row=1))[0]
    if not all(c.font.b for c in header if c.value is not None):
        fail(f"{sheet.title}: header not bold")
    columns = len([c for c in header if c.value is not None])
    if not sheet.auto_filter.ref or not sheet.auto_filter.ref.startswith("A1:"):
        fail(f"{sheet.title}: no filter over the table")
    for i in range(columns):
        letter = header[i].column_letter
        width = sheet.column_dimensions[letter].width
        text = max(len(shown(c[0])) for c in sheet.iter_rows(min_col=i + 1, max_col=i + 1, max_row=sheet.max_row))
        if not width or width < min(text, 60):
            fail(f"{sheet.title}: column {letter} {width} narrower than {text}")


def read_xlsx(name):
    import openpyxl

    book = openpyxl.load_workbook(name)
    if book.sheetnames != [MAIN, LOOSE]:
        fail(f"sheets {book.sheetnames}")
    main, loose = book[MAIN], book[LOOSE]
    check_header(main)
    check_header(loose)
    rows = [[shown(c) for c in row] for row in main.iter_rows()]
    empty = rows.index([""] * len(rows[0]))
    totals = []
    for row in main.iter_rows(min_row=empty + 2):
        cells = [c for c in row if c.value is not None]
        if not all(c.font.b for c in cells):
            fail(f"totals row {row[0].row} not bold")
        totals.append([shown(c) for c in cells])
    return {"main": rows[:empty], "loose": [[shown(c) for c in row] for row in loose.iter_rows()], "totals": totals}


def read_csv(name, delimiter, decimal_comma):
    with open(name, encoding="utf-8-sig", newline="") as f:
        rows = list(csv.reader(f, delimiter=delimiter))

    def plain(cell):
        if decimal_comma and cell.replace("-", "", 1).replace(",", "", 1).isdigit():
            return cell.replace(",", ".")
        if decimal_comma and "." in cell and cell.replace("-", "", 1).replace(".", "", 1).isdigit():
            fail(f"a decimal point in {cell!r}")
        return cell

    rows = [[plain(c) for c in row] for row in rows]
    parts = []
    while [] in rows:
        at = rows.index([])
        parts.append(rows[:at])
        rows = rows[at + 1:]
    parts.append(rows)
    loose = []
    if len(parts) == 3:
        if parts[1][0] != [LOOSE]:
            fail(f"no heading {LOOSE}: {parts[1][0]}")
        loose = parts[1][1:]
    elif len(parts) != 2:
        fail(f"{len(parts)} parts")
    return {"main": parts[0], "loose": loose, "totals": parts[-1]}


if __name__ == "__main__":
    report = sys.argv[1]
    if report.endswith(".xlsx"):
        result = read_xlsx(report)
    else:
        result = read_csv(report, sys.argv[2], sys.argv[3] == "1")
    print(json.dumps(result, ensure_ascii=False))
