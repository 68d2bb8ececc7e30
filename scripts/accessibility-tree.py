# Prints the accessibility tree of a running Zephyn as a screen reader sees it (AT-SPI).
import pyatspi, time, sys
time.sleep(3)
desk = pyatspi.Registry.getDesktop(0)
app = None
for a in desk:
    if a and 'zephyn' in (a.name or '').lower():
        app = a
print('apps:', [a.name for a in desk if a])
if not app:
    sys.exit(1)
def walk(node, depth=0, out=None):
    if depth > 14: return
    try:
        role = node.getRoleName(); name = node.name
    except Exception: return
    if name or role in ('push button','radio button','check box','combo box','spin button','text','slider','page tab'):
        out.append((depth, role, name))
    for c in node:
        if c: walk(c, depth+1, out)
out=[]
walk(app, 0, out)
for d, r, n in out[:120]:
    print('  '*min(d,8) + f'{r}: {n!r}')
