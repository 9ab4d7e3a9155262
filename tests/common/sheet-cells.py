#!/usr/bin/env python3
"""Reads a workbook as LibreOffice does and prints what it found, as JSON: for each sheet its rows
of [kind, value] cells (kind "string", "float", "date", ... as LibreOffice typed them; value its
text, its number or its ISO date-time) and the range its filter covers.

    sheet-cells.py WORKBOOK.xlsx
"""
import json
import os
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

NS = {
    'table': 'urn:oasis:names:tc:opendocument:xmlns:table:1.0',
    'office': 'urn:oasis:names:tc:opendocument:xmlns:office:1.0',
    'text': 'urn:oasis:names:tc:opendocument:xmlns:text:1.0',
}


def attribute(element, space, name):
    return element.get('{%s}%s' % (NS[space], name))


def text_of(cell):
    def inline(element):
        parts = [element.text or '']
        for child in element:
            tag = child.tag.split('}')[1]
            if tag == 's':
                parts.append(' ' * int(attribute(child, 'text', 'c') or 1))
            elif tag == 'tab':
                parts.append('\t')
            elif tag == 'line-break':
                parts.append('\n')
            else:
                parts.append(inline(child))
            parts.append(child.tail or '')
        return ''.join(parts)
    return '\n'.join(inline(p) for p in cell.findall('text:p', NS))


def cells_of(row):
    cells = []
    for cell in row:
        if cell.tag.split('}')[1] != 'table-cell':
            continue
        kind = attribute(cell, 'office', 'value-type')
        value = {'float': attribute(cell, 'office', 'value'),
                 'date': attribute(cell, 'office', 'date-value')}.get(kind)
        found = [kind, text_of(cell)] if value is None else [kind, value, text_of(cell)]
        cells += [found] * int(attribute(cell, 'table', 'number-columns-repeated') or 1)
    while cells and cells[-1][0] is None:
        cells.pop()
    return cells


def main(workbook):
    with tempfile.TemporaryDirectory() as scratch:
        # A profile of its own: no other LibreOffice's lock or settings get in the way.
        subprocess.run(['soffice', '--headless', '-env:UserInstallation=file://' + scratch + '/profile',
                        '--convert-to', 'fods', '--outdir', scratch, workbook],
                       check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=300)
        name = os.path.splitext(os.path.basename(workbook))[0] + '.fods'
        root = ET.parse(os.path.join(scratch, name)).getroot()
    sheets = {}
    for table in root.iter('{%s}table' % NS['table']):
        rows = [cells_of(row) for row in table.iter('{%s}table-row' % NS['table'])]
        while rows and not rows[-1]:
            rows.pop()
        sheets[attribute(table, 'table', 'name')] = {'rows': rows}
    for found in root.iter('{%s}database-range' % NS['table']):
        if attribute(found, 'table', 'display-filter-buttons') == 'true':
            sheet, _, range_ = attribute(found, 'table', 'target-range-address').partition('.')
            sheets[sheet.strip("'$")]['filter'] = range_.replace('.', '').replace(sheet, '')
    json.dump(sheets, sys.stdout, ensure_ascii=False)


main(sys.argv[1])
