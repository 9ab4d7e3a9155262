#!/usr/bin/env python3
"""sheet-cells.py WORKBOOK: the workbook as LibreOffice reads it, as JSON: for each sheet its rows of
cells, [kind, text] or for numbers and dates [kind, value, text] (kind as LibreOffice typed the
cell: "string", "float", "date"; value the number or ISO date-time; text as shown), and the range
its filter covers."""
import json, os, subprocess, sys, tempfile
import xml.etree.ElementTree as ET

TABLE = '{urn:oasis:names:tc:opendocument:xmlns:table:1.0}'
OFFICE = '{urn:oasis:names:tc:opendocument:xmlns:office:1.0}'
TEXT = '{urn:oasis:names:tc:opendocument:xmlns:text:1.0}'


def shown(element):  # a paragraph's text, its runs of spaces, tabs and breaks put back
    parts = [element.text or '']
    for child in element:
        parts += [{TEXT + 's': ' ' * int(child.get(TEXT + 'c', 1)), TEXT + 'tab': '\t',
                   TEXT + 'line-break': '\n'}.get(child.tag) or shown(child), child.tail or '']
    return ''.join(parts)


def cells_of(row):
    cells = []
    for cell in row.iter(TABLE + 'table-cell'):
        kind = cell.get(OFFICE + 'value-type')
        value = cell.get(OFFICE + 'value', cell.get(OFFICE + 'date-value'))
        text = '\n'.join(shown(p) for p in cell.iter(TEXT + 'p'))
        cells += [[kind, text] if value is None else [kind, value, text]] * int(cell.get(TABLE + 'number-columns-repeated', 1))
    while cells and cells[-1][0] is None:
        cells.pop()
    return cells


with tempfile.TemporaryDirectory() as scratch:  # a profile of its own: no other LibreOffice's lock
    subprocess.run(['soffice', '--headless', f'-env:UserInstallation=file://{scratch}/profile', '--convert-to',
                    'fods', '--outdir', scratch, sys.argv[1]], check=True, capture_output=True, timeout=300)
    root = ET.parse(os.path.join(scratch, os.path.splitext(os.path.basename(sys.argv[1]))[0] + '.fods')).getroot()
sheets = {}
for table in root.iter(TABLE + 'table'):
    rows = [cells_of(row) for row in table.iter(TABLE + 'table-row')]
    while rows and not rows[-1]:
        rows.pop()
    sheets[table.get(TABLE + 'name')] = {'rows': rows}
for found in root.iter(TABLE + 'database-range'):
    if found.get(TABLE + 'display-filter-buttons') == 'true':
        sheet, _, cells = found.get(TABLE + 'target-range-address').partition('.')
        sheets[sheet.strip("'$")]['filter'] = cells.replace(sheet + '.', '')
json.dump(sheets, sys.stdout, ensure_ascii=False)
