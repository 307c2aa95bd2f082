#!/usr/bin/env python3
"""Checks that the API reference documents every export of a module definition.

Usage: check_doc_coverage.py <module.def> <doxygen xml folder>

Each export with a name must have an entry in the reference, under the name
the header declares it by (for "Export = Implementation@N" that is the
implementation's name), and the entry must give its ordinal ("Ordinal N", or
"Ordinals 11, 12, 13", "(ordinal 1)"). Exports without a name (NONAME) are
reported apart and never fail the check. Exit status 1 lists every gap.
"""
import glob
import os
import re
import sys
import xml.etree.ElementTree as ET

_ENTRY = re.compile(
    r'^\s*(?P<name>[A-Za-z_]\w*)(?:@\d+)?'
    r'(?:\s*=\s*(?P<impl>[A-Za-z_]\w*)(?:@\d+)?)?'
    r'\s+@(?P<ordinal>\d+)'
    r'(?P<flags>(?:\s+(?:NONAME|PRIVATE|DATA))*)\s*$')
_ORDINALS = re.compile(r'\bordinals?\s+(\d+(?:\s*(?:,|\band\b|\bor\b)\s*\d+)*)', re.IGNORECASE)


class Export:
    def __init__(self, name, c_name, ordinal, noname):
        self.name = name
        self.c_name = c_name
        self.ordinal = ordinal
        self.noname = noname

    def label(self):
        if self.c_name == self.name:
            return '%s (ordinal %d)' % (self.name, self.ordinal)
        return '%s (exported as %s, ordinal %d)' % (self.c_name, self.name, self.ordinal)


def read_exports(path):
    exports = []
    in_exports = False
    with open(path, encoding='utf-8') as source:
        for number, line in enumerate(source, 1):
            line = line.split(';', 1)[0].strip()
            if not line:
                continue
            keyword = line.split()[0].upper()
            if keyword == 'EXPORTS':
                in_exports = True
                rest = line[len('EXPORTS'):].strip()
                if not rest:
                    continue
                line = rest
            elif keyword in ('LIBRARY', 'NAME', 'DESCRIPTION', 'STACKSIZE', 'HEAPSIZE', 'SECTIONS',
                             'VERSION', 'IMPORTS'):
                in_exports = False
                continue
            if not in_exports:
                continue
            match = _ENTRY.match(line)
            if not match:
                raise ValueError('%s:%d: cannot read the export "%s"' % (path, number, line))
            exports.append(Export(match.group('name'), match.group('impl') or match.group('name'),
                                  int(match.group('ordinal')), 'NONAME' in match.group('flags').split()))
    return exports


def text_of(element):
    return ' '.join(''.join(element.itertext()).split()) if element is not None else ''


def read_entries(xml_dir):
    """Function name -> the text of all its documentation blocks."""
    entries = {}
    files = glob.glob(os.path.join(xml_dir, '*.xml'))
    if not any(os.path.basename(f) == 'index.xml' for f in files):
        raise ValueError('no Doxygen XML output in %s (build the docs target first)' % xml_dir)
    for path in files:
        if os.path.basename(path) == 'index.xml':
            continue
        root = ET.parse(path).getroot()
        for member in root.iter('memberdef'):
            if member.get('kind') != 'function':
                continue
            doc = ' '.join(text_of(member.find(part))
                           for part in ('briefdescription', 'detaileddescription', 'inbodydescription'))
            name = member.findtext('name')
            entries[name] = (entries.get(name, '') + ' ' + doc).strip()
    return entries


def ordinals_mentioned(text):
    found = set()
    for match in _ORDINALS.finditer(text):
        found.update(int(n) for n in re.findall(r'\d+', match.group(1)))
    return found


def main(argv):
    if len(argv) != 3:
        sys.stderr.write('usage: check_doc_coverage.py <module.def> <doxygen xml folder>\n')
        return 2
    try:
        exports = read_exports(argv[1])
        entries = read_entries(argv[2])
    except (OSError, ValueError, ET.ParseError) as error:
        sys.stderr.write('check_doc_coverage: %s\n' % error)
        return 2

    undeclared, undocumented, no_ordinal, nameless = [], [], [], []
    named = [e for e in exports if not e.noname]
    for export in exports:
        doc = entries.get(export.c_name)
        if export.noname:
            if doc is None:
                state = 'not declared in the header'
            elif not doc:
                state = 'declared without documentation'
            elif export.ordinal in ordinals_mentioned(doc):
                state = 'documented with its ordinal'
            else:
                state = 'documented, without "Ordinal %d"' % export.ordinal
            nameless.append('ordinal %d (%s): %s' % (export.ordinal, export.c_name, state))
        elif doc is None:
            undeclared.append(export.label())
        elif not doc:
            undocumented.append(export.label())
        elif export.ordinal not in ordinals_mentioned(doc):
            no_ordinal.append('%s: "%s"' % (export.label(), doc if len(doc) <= 90 else doc[:87] + '...'))

    def section(title, items):
        if items:
            print('%s (%d):' % (title, len(items)))
            for item in items:
                print('  ' + item)

    section('Exports not declared in the header', undeclared)
    section('Exports declared without a documentation comment', undocumented)
    section('Exports whose documentation does not give their ordinal ("Ordinal N")', no_ordinal)
    section('Exports without a name (NONAME), not required', nameless)
    gaps = len(undeclared) + len(undocumented) + len(no_ordinal)
    print('%d of %d named exports documented with their ordinal; %d without a name'
          % (len(named) - gaps, len(named), len(nameless)))
    return 1 if gaps else 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
