#!/usr/bin/env python3
"""The house as the includes draw it, checked against the table in docs/architecture.md.

Every project include of a library's sources must name a folder that the library's row allows
("may use"), directly or through the libraries those allow; "everything below" allows every row
under it. Includes are rooted at the project, so a bare "x.h" is an error too, and each file but
a program's main.cpp declares its names in the namespace named as its folder.
"""
import pathlib
import re
import sys

root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else '.').resolve()
rows = []
for line in (root / 'docs/architecture.md').read_text(encoding='utf-8').splitlines():
    cells = [c.strip() for c in line.strip().strip('|').split('|')]
    if len(cells) == 5 and cells[0].startswith('`') and cells[0].endswith('/`'):
        rows.append((cells[0].strip('`').rstrip('/'), cells[4]))
if not rows:
    sys.exit('no folder table in docs/architecture.md')
folders = [f for f, _ in rows]
top_level = {f.split('/')[0] for f in folders}

direct = {}
for i, (folder, uses) in enumerate(rows):
    if 'everything below' in uses:
        direct[folder] = set(folders[i + 1:])
    else:
        direct[folder] = {f for f in folders if re.search(r'\b%s\b' % re.escape(f.split('/')[-1]), uses)}
        direct[folder].discard(folder)

def allowed(folder, seen=None):
    seen = set() if seen is None else seen
    for used in direct[folder] - seen:
        seen.add(used)
        allowed(used, seen)
    return seen

# An include "x/y.h" names folder x, or tools' "devsim/y.h".
def named_folder(path):
    head = path.split('/')[0]
    if head == 'devsim':
        return 'tools/devsim'
    return head if head in top_level else None

faults = []
for folder in folders:
    may = allowed(folder) | {folder}
    for source in sorted((root / folder).glob('*.[ch]*')):
        if source.suffix not in ('.h', '.cpp'):
            continue
        text = source.read_text(encoding='utf-8')
        namespace = folder.split('/')[-1]
        if source.name != 'main.cpp' and not re.search(r'^namespace %s \{' % namespace, text, re.M):
            faults.append('%s: no namespace %s' % (source.relative_to(root), namespace))
        for number, line in enumerate(text.splitlines(), 1):
            m = re.match(r'\s*#\s*include\s+"([^"]+)"', line)
            if not m or m.group(1).endswith('.moc'):
                continue
            where = '%s:%d' % (source.relative_to(root), number)
            if '/' not in m.group(1):
                faults.append('%s: include "%s" is not rooted at the project' % (where, m.group(1)))
                continue
            used = named_folder(m.group(1))
            if used is not None and used not in may:
                faults.append('%s: %s may not use %s ("%s")' % (where, folder, used, m.group(1)))
for fault in faults:
    print(fault)
print('%d folders, %d faults' % (len(folders), len(faults)))
sys.exit(1 if faults else 0)
