#!/usr/bin/env python3
"""The documentation pipeline on a header with known gaps (fixture.h and
fixture.def): the input filter keeps every line, documents runs, trailing
ordinals, structure fields and SAL-annotated declarations as the real header
needs, and the coverage check fails naming exactly the gaps.

Usage: coverage_check_test.py <doxygen> <python> <Doxyfile of the build> <work folder>
"""
import os
import shutil
import subprocess
import sys
import xml.etree.ElementTree as ET

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
FILTER = os.path.join(ROOT, 'scripts', 'doxygen_filter.py')
CHECK = os.path.join(ROOT, 'scripts', 'check_doc_coverage.py')

EXPECTED = '''\
Exports not declared in the header (1):
  FxMissing (ordinal 12)
Exports declared without a documentation comment (2):
  FxUndocumented (ordinal 7)
  FxDetached (ordinal 8)
Exports whose documentation does not give their ordinal ("Ordinal N") (2):
  FxNoOrdinal (ordinal 9): "A comment without the ordinal."
  FxWrongOrdinal (ordinal 11): "Ordinal 10. The export's number differs."
Exports without a name (NONAME), not required (2):
  ordinal 42 (FxNameless): documented with its ordinal
  ordinal 43 (FxNamelessMissing): not declared in the header
6 of 11 named exports documented with their ordinal; 2 without a name
'''

failures = []


def expect(condition, what):
    if not condition:
        failures.append(what)


def main(argv):
    if len(argv) != 5:
        sys.stderr.write(__doc__)
        return 2
    doxygen, python, doxyfile, work = argv[1:]
    header = os.path.join(HERE, 'fixture.h')
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)

    # The filter changes no line count.
    filtered = subprocess.run([python, FILTER, header], capture_output=True, text=True, check=True).stdout
    with open(header, encoding='utf-8') as source:
        original = source.read()
    expect(filtered.count('\n') == original.count('\n'), 'the filter changed the number of lines')
    expect('_In_' not in filtered and '_Out_writes_bytes_' not in filtered, 'SAL annotations left in the code')

    # The build's configuration, pointed at the fixture alone.
    with open(doxyfile, encoding='utf-8') as source:
        config = source.read()
    config += '\n'.join([
        '', 'INPUT = "%s"' % header, 'OUTPUT_DIRECTORY = "%s"' % work, 'GENERATE_HTML = NO',
        'USE_MDFILE_AS_MAINPAGE =', 'WARN_LOGFILE = "%s"' % os.path.join(work, 'warnings.txt'), ''])
    config_path = os.path.join(work, 'Doxyfile')
    with open(config_path, 'w', encoding='utf-8') as target:
        target.write(config)
    subprocess.run([doxygen, config_path], check=True, cwd=work)

    entries = {}
    for member in ET.parse(os.path.join(work, 'xml', 'fixture_8h.xml')).getroot().iter('memberdef'):
        if member.get('kind') == 'function':
            entries[member.findtext('name')] = member
    doc = {name: ' '.join(''.join(m.find('briefdescription').itertext()).split() +
                          ''.join(m.find('detaileddescription').itertext()).split())
           for name, m in entries.items()}
    expect(doc.get('FxRunSecond', '').startswith('Ordinals 2, 3.'), 'the run\'s second declaration: %r'
           % doc.get('FxRunSecond'))
    expect('Shared text' in doc.get('FxTableSecond', '') and 'Ordinal 6.' in doc.get('FxTableSecond', ''),
           'the table\'s second line: %r' % doc.get('FxTableSecond'))
    params = [' '.join(''.join(p.find('type').itertext()).split())
              for p in entries['FxImpl'].iter('param')] if 'FxImpl' in entries else []
    expect(params == ['unsigned long', 'void *'], 'FxImpl\'s parameter types: %r' % params)
    line = entries['FxRunSecond'].find('location').get('line') if 'FxRunSecond' in entries else None
    expect(line == str(original.split('\n').index('VTLSAPI int WINAPI FxRunSecond(void);') + 1),
           'FxRunSecond\'s line number: %r' % line)

    fields = {}
    for member in ET.parse(os.path.join(work, 'xml', 'structFxRecord.xml')).getroot().iter('memberdef'):
        fields[member.findtext('name')] = ' '.join(''.join(member.itertext()).split())
    expect('The first field.' in fields.get('first', ''), 'the field documented above it: %r' % fields.get('first'))
    expect('The second field.' in fields.get('second', ''), 'the field documented after it: %r'
           % fields.get('second'))

    check = subprocess.run([python, CHECK, os.path.join(HERE, 'fixture.def'), os.path.join(work, 'xml')],
                           capture_output=True, text=True)
    expect(check.returncode == 1, 'the check ended with %d, not 1' % check.returncode)
    expect(check.stdout == EXPECTED, 'the check reported:\n%s\ninstead of:\n%s' % (check.stdout, EXPECTED))

    for failure in failures:
        print('FAIL: ' + failure)
    if not failures:
        print('coverage check on the fixture: all checks passed')
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
