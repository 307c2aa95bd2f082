#!/usr/bin/env python3
"""Doxygen input filter for the public header: turns its plain comments into
documentation without anyone editing the header for Doxygen's sake.

Usage (Doxygen's FILTER_PATTERNS): doxygen_filter.py <header>; writes to stdout.

The header's conventions, and what Doxygen is given for them:
- the file's first comment describes the file                -> /** @file ... */
- a comment alone on its lines, followed directly (no blank line) by
  declarations, documents each of those declarations: the first gets the
  comment itself, each further one a one-line copy on its own first line;
- inside a declaration (a structure), a comment alone on its lines documents
  the line that follows it                                   -> /** ... */
- a comment after code on the same line documents that code  -> /**< ... */
  and on a function declaration a bare number is the export's ordinal
                                                             -> /**< Ordinal N. */
- every other comment (section banners, comments before a blank line) stays
  a plain comment.
SAL annotations (_In_, _Out_writes_(n), ...) are blanked out of the code.
The output has exactly the input's lines, so Doxygen's line numbers hold.
"""
import os
import re
import sys

# Characters that Doxygen or its Markdown would take as commands or markup.
_ESCAPED = re.compile(r'([\\@<>%&*#$`|])')
# SAL: an underscore, a capital, letters and underscores, a closing underscore.
_SAL = re.compile(r'\b_[A-Z][A-Za-z]*(?:_[A-Za-z]+)*_(?![A-Za-z0-9])')
# Checked on code with literals blanked: 'extern "C" {' reads 'extern     {'.
_STRUCTURAL = re.compile(r'^\s*(extern\s*\{|\}\s*;?)\s*$')
_DOCUMENTABLE_PP = re.compile(r'^\s*#\s*define\b')
_BARE_NUMBER = re.compile(r'^\s*(\d+)\s*$')


def escape(text):
    return _ESCAPED.sub(r'\\\1', text)


class Comment:
    """A /* ... */ comment: where it starts and ends (line, column)."""

    def __init__(self, start, end):
        self.start = start  # (line, column of '/')
        self.end = end      # (line, column just past '/')


def scan(lines):
    """Finds the comments and blanks comments and literals out of the code."""
    comments = []
    code = []
    in_comment = None
    for number, line in enumerate(lines):
        chars = list(line)
        i = 0
        quote = None
        while i < len(line):
            c = line[i]
            if in_comment is not None:
                if line.startswith('*/', i):
                    comments.append(Comment(in_comment, (number, i + 2)))
                    chars[i] = chars[i + 1] = ' '
                    in_comment = None
                    i += 2
                    continue
                chars[i] = ' '
            elif quote is not None:
                if c == '\\':
                    chars[i] = ' '
                    if i + 1 < len(line):
                        chars[i + 1] = ' '
                    i += 2
                    continue
                if c == quote:
                    quote = None
                chars[i] = ' '
            elif line.startswith('/*', i):
                in_comment = (number, i)
                chars[i] = chars[i + 1] = ' '
                i += 2
                continue
            elif line.startswith('//', i):
                for j in range(i, len(line)):
                    chars[j] = ' '
                break
            elif c in '"\'':
                quote = c
                chars[i] = ' '
            i += 1
        code.append(''.join(chars))
    return comments, code


def statements(code):
    """(first line, last line, kind) of each statement; kind is 'decl',
    'define', or None for what nothing documents (conditionals, includes,
    extern "C" braces)."""
    result = []
    n = len(code)
    i = 0
    while i < n:
        text = code[i]
        if not text.strip():
            i += 1
            continue
        if text.lstrip().startswith('#'):
            last = i
            while code[last].rstrip().endswith('\\') and last + 1 < n:
                last += 1
            result.append((i, last, 'define' if _DOCUMENTABLE_PP.match(text) else None))
            i = last + 1
            continue
        if _STRUCTURAL.match(text):
            result.append((i, i, None))
            i += 1
            continue
        # A declaration: up to the ';' outside braces, or the '}' closing a body.
        depth = 0
        last = i
        done = False
        seen = ''
        while last < n and not done:
            for c in code[last]:
                seen += c
                if c == '{':
                    depth += 1
                elif c == '}':
                    depth -= 1
                    if depth == 0 and not re.search(r'\b(typedef|struct|union|enum)\b|=', seen):
                        done = True
                        break
                elif c == ';' and depth == 0:
                    done = True
                    break
            if not done:
                last += 1
        last = min(last, n - 1)
        result.append((i, last, 'decl'))
        i = last + 1
    return result


def comment_text(lines, comment):
    """The comment's paragraphs, without its delimiters and leading asterisks."""
    (l0, c0), (l1, c1) = comment.start, comment.end
    if l0 == l1:
        raw = [lines[l0][c0 + 2:c1 - 2]]
    else:
        raw = [lines[l0][c0 + 2:]] + lines[l0 + 1:l1] + [lines[l1][:c1 - 2]]
    paragraphs, current = [], []
    for part in raw:
        part = re.sub(r'^\s*\*(?!/)', '', part).strip()
        if part:
            current.append(part)
        elif current:
            paragraphs.append(' '.join(current))
            current = []
    if current:
        paragraphs.append(' '.join(current))
    return paragraphs


def filter_header(text, file_name):
    lines = text.split('\n')
    comments, code = scan(lines)
    stmts = statements(code)
    # SAL annotations go first: blanked in place, so every column stays.
    for first, last, kind in stmts:
        if kind == 'decl':
            for number in range(first, last + 1):
                lines[number] = strip_sal(lines[number], code[number])
                code[number] = strip_sal(code[number], code[number])
    stmt_at = {first: (first, last, kind) for first, last, kind in stmts}
    stmt_of_line = {}
    for first, last, kind in stmts:
        for line in range(first, last + 1):
            stmt_of_line[line] = (first, last, kind)

    # The edits: comments that become documentation (their index -> the new
    # opener; their text is escaped), one-line comments whose whole text is
    # replaced, and copies put in front of lines.
    openers = {}
    body = {}
    prefixes = {}

    def alone(comment):
        (l0, c0), (l1, c1) = comment.start, comment.end
        return not code[l0][:c0].strip() and not code[l1][c1:].strip()

    first_comment = True
    for index, comment in enumerate(comments):
        (l0, c0), (l1, c1) = comment.start, comment.end
        doc = lines[l0][c0:c0 + 3] in ('/**', '/*!')
        if alone(comment):
            if first_comment and not code_before(code, l0):
                openers[index] = '/** @file %s ' % file_name
                first_comment = False
                continue
            first_comment = False
            if doc:
                continue
            inside = stmt_of_line.get(l0)
            if inside is not None:
                # Inside a declaration (a structure's fields): it documents
                # the line that follows it there.
                if inside[2] is not None and l1 + 1 <= inside[1] and code[l1 + 1].strip():
                    openers[index] = '/**'
                continue
            run = []
            line = l1 + 1
            while line in stmt_at and stmt_at[line][2] is not None:
                run.append(stmt_at[line])
                line = stmt_at[line][1] + 1
            if not run:
                continue
            openers[index] = '/**'
            copy = '/** ' + ' \\vtlspar '.join(escape(p) for p in comment_text(lines, comment)) + ' */ '
            for first, _, _ in run[1:]:
                prefixes[first] = copy
        else:
            first_comment = False
            if doc:
                continue
            stmt = stmt_of_line.get(l0)
            if stmt is None or stmt[2] is None:
                continue
            openers[index] = '/**<'
            number = _BARE_NUMBER.match(' '.join(comment_text(lines, comment)))
            if number and l0 == l1 and stmt[2] == 'decl' and '(' in ''.join(code[stmt[0]:stmt[1] + 1]):
                body[index] = 'Ordinal %s.' % number.group(1)

    # Rewrite comments from the last to the first so columns stay valid.
    out = list(lines)
    for index in sorted(openers, key=lambda k: comments[k].start, reverse=True):
        comment = comments[index]
        (l0, c0), (l1, c1) = comment.start, comment.end
        if index in body:
            out[l0] = out[l0][:c0] + openers[index] + ' ' + body[index] + ' */' + out[l0][c1:]
            continue
        # Escape the text between the delimiters, line by line, keeping each
        # continuation line's leading asterisk as it is.
        for line in range(l0, l1 + 1):
            start = c0 + 2 if line == l0 else 0
            end = c1 - 2 if line == l1 else len(out[line])
            inner = out[line][start:end]
            lead = re.match(r'^\s*\*(?!/)', inner) if line != l0 else None
            keep = lead.group(0) if lead else ''
            inner = keep + escape(inner[len(keep):])
            out[line] = out[line][:start] + inner + out[line][end:]
        out[l0] = out[l0][:c0] + openers[index] + out[l0][c0 + 2:]
    for line, prefix in prefixes.items():
        out[line] = prefix + out[line]
    return '\n'.join(out)


def code_before(code, line):
    return any(text.strip() for text in code[:line])


def strip_sal(line, code_line):
    """Blanks SAL annotations (with their parenthesised arguments) that lie in
    code; code_line is the line with comments and literals blanked."""
    result = list(line)
    for match in _SAL.finditer(code_line):
        start, end = match.start(), match.end()
        if end < len(code_line) and code_line[end] == '(':
            depth = 0
            for j in range(end, len(code_line)):
                if code_line[j] == '(':
                    depth += 1
                elif code_line[j] == ')':
                    depth -= 1
                    if depth == 0:
                        end = j + 1
                        break
        for j in range(start, end):
            result[j] = ' '
    return ''.join(result)


def main():
    if len(sys.argv) != 2:
        sys.stderr.write('usage: doxygen_filter.py <header>\n')
        return 2
    with open(sys.argv[1], encoding='utf-8', newline='') as source:
        text = source.read()
    sys.stdout.write(filter_header(text.replace('\r\n', '\n'), os.path.basename(sys.argv[1])))
    return 0


if __name__ == '__main__':
    sys.exit(main())
