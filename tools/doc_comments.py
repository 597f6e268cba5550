#!/usr/bin/env python3
"""Turns the contract comments of the public headers into Doxygen comments.

The headers are written with plain `//` comments: an opening essay before the include guard,
a comment block above each declaration and trailing comments after fields and enumerators.
Doxygen reads only `///` (and `///<` for trailing ones), so this rewrites, in place:

  - the opening essay into a `/// @file` block;
  - a comment block directly above a declaration at namespace or class scope into `///`;
  - a trailing `// text` after a declaration at namespace or class scope into `///< text`.

Comments inside function bodies, separator lines (`// ----`) and comments not followed by a
declaration stay as they are (inside the opening essay only a line of nothing but rule
characters is a separator). Running it again changes nothing.

Usage: tools/doc_comments.py include/infra/*.h ...
"""
import re
import sys

# A statement that opens a scope where declarations live (after any template header).
SCOPE_OPENERS = re.compile(r'^\s*(namespace\b|class\b|struct\b|union\b|enum\b|extern\s+"C(\+\+)?")')
TEMPLATE_HEADER = re.compile(r"^\s*template\s*<[^;{]*?>\s*")
SEPARATOR = re.compile(r"^\s*//\s*[-=*]{3,}")
# Inside the opening essay only a line of nothing but rule characters is a separator: a line
# such as "//   ***** text" there is part of the essay (a quoted message, say).
ESSAY_SEPARATOR = re.compile(r"^\s*//\s*[-=*]{3,}\s*$")
PLAIN_COMMENT = re.compile(r"^(\s*)//(?![/!])\s?(.*)$")
TRAILING = re.compile(r"^(.*?\S)(\s+)//(?![/!<])\s?(.*)$")
PREPROCESSOR = re.compile(r"^\s*#")


def strip_strings(code):
    """Removes string and character literals so braces inside them do not count."""
    return re.sub(r'"(\\.|[^"\\])*"|\'(\\.|[^\'\\])*\'', '""', code)


def convert(lines):
    out = []
    # Stack of scope kinds for open braces: True for namespace/class-like scopes (where
    # declarations live), False for function bodies and initialisers.
    stack = []
    pending_kind = None  # kind of the scope a following '{' will open
    guard_seen = False
    i = 0
    n = len(lines)

    def at_declaration_scope():
        return all(stack)

    while i < n:
        line = lines[i]

        # The opening essay: comment lines before the include guard.
        if not guard_seen:
            if PREPROCESSOR.match(line):
                guard_seen = True
            else:
                m = PLAIN_COMMENT.match(line)
                if m and not ESSAY_SEPARATOR.match(line):
                    if not any(l.startswith("/// @file") for l in out):
                        out.append("/// @file\n")
                    out.append("/// " + m.group(2) + "\n" if m.group(2) else "///\n")
                    i += 1
                    continue
                out.append(line)
                i += 1
                continue

        # A block of plain comment lines: documentation when the next code line is a
        # declaration at declaration scope.
        if PLAIN_COMMENT.match(line) and not SEPARATOR.match(line):
            j = i
            while j < n and PLAIN_COMMENT.match(lines[j]) and not SEPARATOR.match(lines[j]):
                j += 1
            nxt = lines[j] if j < n else ""
            is_doc = (
                at_declaration_scope()
                and nxt.strip() != ""
                and (not PREPROCESSOR.match(nxt) or nxt.lstrip().startswith("#define"))
                and not nxt.strip().startswith(("}", "public:", "private:", "protected:"))
            )
            for k in range(i, j):
                if is_doc:
                    m = PLAIN_COMMENT.match(lines[k])
                    text = m.group(2)
                    out.append(m.group(1) + ("/// " + text if text else "///") + "\n")
                else:
                    out.append(lines[k])
            i = j
            continue

        # Trailing comments on declarations at declaration scope.
        code_part = line
        m = TRAILING.match(line)
        if m and at_declaration_scope() and "NOLINT" not in m.group(3) and not PREPROCESSOR.match(line):
            code = m.group(1)
            if code.rstrip().endswith((";", ",", "{")) or re.search(r"\w\s*$", code):
                if '"' not in code or code.count('"') % 2 == 0:
                    line = code + m.group(2) + "///< " + m.group(3) + "\n"
                    code_part = code
        elif m:
            code_part = m.group(1)

        # Track braces of the code part.
        code = strip_strings(code_part)
        if not PREPROCESSOR.match(code):
            statement = TEMPLATE_HEADER.sub("", code)
            if SCOPE_OPENERS.match(statement) and "(" not in statement.split("{")[0]:
                pending_kind = True
            for ch in code:
                if ch == "{":
                    kind = pending_kind if pending_kind is not None else False
                    # A scope opener on this line makes this brace a declaration scope; an
                    # opener ended by ';' (a forward declaration) does not carry over.
                    stack.append(bool(kind))
                    pending_kind = None
                elif ch == "}":
                    if stack:
                        stack.pop()
                elif ch == ";":
                    pending_kind = None
        out.append(line)
        i += 1
    return out


def main(paths):
    for path in paths:
        with open(path) as fh:
            lines = fh.readlines()
        converted = convert(lines)
        if converted != lines:
            with open(path, "w") as fh:
                fh.writelines(converted)


if __name__ == "__main__":
    main(sys.argv[1:])
