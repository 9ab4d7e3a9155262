#!/usr/bin/env python3
"""Writes the character tables of record/UnicodeTables.h from the Unicode Character Database
(Debian's unicode-data): record/UnicodeProperties.cpp, the sets of code points a unit label's
pattern names with \\p{...} (general categories, scripts and their extensions, and the binary
properties JavaScript takes), and record/UnicodeWidths.cpp, the characters a terminal gives two
columns or none. Run it again after a new unicode-data; the output is committed, so a build needs
no database, and the native tests check that it is this script's.

    scripts/unicode-tables.py [--ucd FOLDER] [--check] OUTPUT-FOLDER
"""
import os
import re
import sys

UCD = '/usr/share/unicode'
MAX = 0x10FFFF

# The binary properties JavaScript's \p takes (besides Any, ASCII and Assigned), by their long
# names; each under every alias PropertyAliases.txt gives it.
JS_BINARY = '''ASCII_Hex_Digit Alphabetic Bidi_Control Bidi_Mirrored Case_Ignorable Cased
Changes_When_Casefolded Changes_When_Casemapped Changes_When_Lowercased Changes_When_NFKC_Casefolded
Changes_When_Titlecased Changes_When_Uppercased Dash Default_Ignorable_Code_Point Deprecated
Diacritic Emoji Emoji_Component Emoji_Modifier Emoji_Modifier_Base Emoji_Presentation
Extended_Pictographic Extender Grapheme_Base Grapheme_Extend Hex_Digit IDS_Binary_Operator
IDS_Trinary_Operator ID_Continue ID_Start Ideographic Join_Control Logical_Order_Exception
Lowercase Math Noncharacter_Code_Point Pattern_Syntax Pattern_White_Space Quotation_Mark Radical
Regional_Indicator Sentence_Terminal Soft_Dotted Terminal_Punctuation Unified_Ideograph Uppercase
Variation_Selector White_Space XID_Continue XID_Start'''.split()

GC_GROUPS = {'L': 'Lu Ll Lt Lm Lo', 'LC': 'Lu Ll Lt', 'M': 'Mn Mc Me', 'N': 'Nd Nl No',
             'P': 'Pc Pd Ps Pe Pi Pf Po', 'S': 'Sm Sc Sk So', 'Z': 'Zs Zl Zp',
             'C': 'Cc Cf Cs Co Cn'}


def path(name):
    return os.path.join(UCD, name)


def data_lines(name):
    with open(path(name), encoding='utf-8') as f:
        for line in f:
            line = line.split('#', 1)[0].strip()
            if line:
                yield [field.strip() for field in line.split(';')]


def code_points(text):
    first, _, last = text.partition('..')
    return int(first, 16), int(last or first, 16)


def property_file(name, into):
    for fields in data_lines(name):
        first, last = code_points(fields[0])
        into.setdefault(fields[1], set()).update(range(first, last + 1))


def general_categories():
    categories = {}
    pending = None
    for fields in data_lines('UnicodeData.txt'):
        code, name, category = int(fields[0], 16), fields[1], fields[2]
        if name.endswith(', First>'):
            pending = code
            continue
        first = pending if name.endswith(', Last>') else code
        pending = None
        categories.setdefault(category, set()).update(range(first, code + 1))
    assigned = set().union(*categories.values())
    categories['Cn'] = set(range(MAX + 1)) - assigned
    for group, members in GC_GROUPS.items():
        categories[group] = set().union(*(categories[m] for m in members.split()))
    return categories, assigned


def value_aliases(prop):
    aliases = {}
    for fields in data_lines('PropertyValueAliases.txt'):
        if fields[0] == prop:
            aliases[fields[1]] = [name for name in fields[1:] if name != 'n/a']
    return aliases


def scripts():
    by_script = {}
    property_file('Scripts.txt', by_script)
    aliases = value_aliases('sc')
    long_name = {short: names[1] if len(names) > 1 else names[0] for short, names in aliases.items()}
    short_name = {long: short for short, long in long_name.items()}
    listed = set().union(*by_script.values())
    by_script['Unknown'] = set(range(MAX + 1)) - listed
    extensions = {name: set(points) for name, points in by_script.items()}
    for fields in data_lines('ScriptExtensions.txt'):
        first, last = code_points(fields[0])
        points = set(range(first, last + 1))
        for extended in extensions.values():
            extended -= points
        for short in fields[1].split():
            extensions[long_name[short]] |= points
    return by_script, extensions, aliases, short_name


def binary_properties(assigned):
    found = {}
    for name in ('PropList.txt', 'DerivedCoreProperties.txt', 'DerivedNormalizationProps.txt',
                 'extracted/DerivedBinaryProperties.txt', 'emoji/emoji-data.txt'):
        for fields in data_lines(name):
            if len(fields) == 2 and fields[1] in JS_BINARY:
                first, last = code_points(fields[0])
                found.setdefault(fields[1], set()).update(range(first, last + 1))
    missing = set(JS_BINARY) - set(found)
    if missing:
        sys.exit('unicode-tables: not in the database: ' + ' '.join(sorted(missing)))
    aliases = {}
    for fields in data_lines('PropertyAliases.txt'):
        if fields[1] in JS_BINARY:
            aliases[fields[1]] = [fields[1]] + [n for n in fields if n != fields[1]]
    found['Any'] = set(range(MAX + 1))
    found['ASCII'] = set(range(0x80))
    found['Assigned'] = assigned
    for name in ('Any', 'ASCII', 'Assigned'):
        aliases[name] = [name]
    return found, aliases


def widths(categories):
    wide_widths = {}
    property_file('EastAsianWidth.txt', wide_widths)
    wide = wide_widths['W'] | wide_widths['F']
    prepended = {}
    property_file('PropList.txt', prepended)
    hangul = {}
    property_file('HangulSyllableType.txt', hangul)
    # Marks, formatting characters but the soft hyphen and the signs that stand before numbers,
    # and Hangul's medial vowels and final consonants, which join the letter before them.
    zero = (categories['Mn'] | categories['Me'] |
            (categories['Cf'] - prepended['Prepended_Concatenation_Mark'] - {0xAD}) |
            hangul['V'] | hangul['T'] | {0x200B})
    return wide - zero, zero


def ranges(points):
    points = sorted(points)
    out = []
    for point in points:
        if out and out[-1][1] == point - 1:
            out[-1][1] = point
        else:
            out.append([point, point])
    return out


def varint(number):
    out = []
    while True:
        byte = number & 0x7F
        number >>= 7
        if number:
            out.append(byte | 0x80)
        else:
            out.append(byte)
            return out


def packed(points):
    out = []
    next_start = 0
    for first, last in ranges(points):
        out += varint(first - next_start) + varint(last - first)
        next_start = last + 1
    return bytes(out)


class Writer:
    def __init__(self):
        self.data = []
        self.known = {}

    def array(self, points):
        blob = packed(points)
        if blob not in self.known:
            self.known[blob] = 'kSet%d' % len(self.known)
            self.data.append((self.known[blob], blob))
        return self.known[blob], len(blob)

    def table(self, name, entries):
        rows = []
        for names, points in entries:
            array, size = self.array(points)
            rows.append('    {"%s", %s, %d},' % (' '.join(names), array, size))
        return ('const PackedSet k%sSets[] = {\n%s\n};\nconst PackedSets k%s = {k%sSets, %d};\n' %
                (name, '\n'.join(rows), name, name, len(rows)))

    def unions(self, name, entries):
        rows = ['    {"%s", "%s"},' % (' '.join(names), members) for names, members in entries]
        return ('const SetUnion k%sUnions[] = {\n%s\n};\nconst SetUnions k%s = {k%sUnions, %d};\n' %
                (name, '\n'.join(rows), name, name, len(rows)))

    def literal(self, blob):
        lines = []
        for at in range(0, len(blob), 24):
            lines.append('    "' + ''.join('\\x%02X' % b for b in blob[at:at + 24]) + '"')
        return '\n'.join(lines) if lines else '    ""'


def version():
    with open(path('PropList.txt'), encoding='utf-8') as f:
        return re.search(r'PropList-([0-9.]+)\.txt', f.readline()).group(1)


def source(writer, tables, with_version):
    out = ['// Generated by scripts/unicode-tables.py from the Unicode Character Database %s '
           '(Debian\'s\n// unicode-data): do not edit.\n// clang-format off\n' % version(),
           '#include "record/UnicodeTables.h"\n\nnamespace UnicodeTables {\n\nnamespace {\n']
    for name, blob in writer.data:
        out.append('const char %s[] =\n%s;' % (name, writer.literal(blob)))
    out.append('\n} // namespace\n')
    if with_version:
        out.append('const char kVersion[] = "%s";\n' % version())
    out.append('\n'.join(tables))
    out.append('} // namespace UnicodeTables')
    return '\n'.join(out) + '\n'


def main():
    global UCD
    arguments = sys.argv[1:]
    check = '--check' in arguments
    if '--ucd' in arguments:
        UCD = arguments[arguments.index('--ucd') + 1]
    folder = arguments[-1]

    categories, assigned = general_categories()
    gc_aliases = value_aliases('gc')
    by_script, extensions, sc_aliases, short_name = scripts()
    binary, binary_aliases = binary_properties(assigned)
    wide, zero = widths(categories)

    # The groups of general categories are kept as the unions they are, and a script's
    # extensions as what differs from the script: the module that carries them is smaller.
    properties = Writer()
    property_tables = [
        properties.table('GeneralCategories', [(gc_aliases[name], categories[name])
                                               for name in sorted(gc_aliases)
                                               if name not in GC_GROUPS]),
        properties.unions('GeneralCategoryGroups', [(gc_aliases[name], GC_GROUPS[name])
                                                    for name in sorted(GC_GROUPS)]),
        properties.table('Scripts', [(sc_aliases[short_name[name]], points)
                                     for name, points in sorted(by_script.items())]),
        properties.table('ScriptExtensionsDifferences',
                         [(sc_aliases[short_name[name]][:1], points ^ by_script[name])
                          for name, points in sorted(extensions.items())
                          if points != by_script[name]]),
        properties.table('BinaryProperties',
                         [(binary_aliases[name], binary[name]) for name in sorted(binary)]),
    ]
    width_writer = Writer()
    width_tables = [width_writer.table('Widths', [(['Wide'], wide), (['Zero'], zero)])]
    outputs = {'UnicodeProperties.cpp': source(properties, property_tables, True),
               'UnicodeWidths.cpp': source(width_writer, width_tables, False)}
    stale = []
    for name, text in outputs.items():
        target = os.path.join(folder, name)
        if check:
            with open(target, encoding='utf-8') as f:
                if f.read() != text:
                    stale.append(target)
        else:
            with open(target, 'w', encoding='utf-8') as f:
                f.write(text)
    if stale:
        sys.exit('unicode-tables: not the tables of Unicode %s in %s: run scripts/unicode-tables.py '
                 '%s' % (version(), ', '.join(stale), folder))


main()
