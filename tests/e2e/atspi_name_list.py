#!/usr/bin/python3
# The simple query page's name box over AT-SPI, as a screen reader sees the
# running window, in the steps the end-to-end test takes between keys it
# types:
#   focus        opens the page 简单查询 and puts the focus in the name box;
#   list DRUG    Down moves into the list that dropped down, and a screen
#                reader hears its first item: DRUG with its pinyin;
#   shown DRUG   the list is gone, the box holds DRUG and the sheet shows it.
#
# usage: atspi_name_list.py focus | list DRUG | shown DRUG
import subprocess
import sys

import pyatspi

from atspi_support import fail, nodes, wait_for


def showing(root, role, name):
    return next((n for n in nodes(root) if n.getRoleName() == role and n.name == name
                 and n.getState().contains(pyatspi.STATE_SHOWING)), None)


def text_of(node):
    text = node.queryText()
    return text.getText(0, text.characterCount)


step = sys.argv[1]
desktop = pyatspi.Registry.getDesktop(0)
app = wait_for("the program", lambda: next((desktop.getChildAtIndex(i) for i in range(desktop.childCount)
                                            if desktop.getChildAtIndex(i) is not None
                                            and desktop.getChildAtIndex(i).name == "Zelkano中草药查询大全"), None))
if step == "focus":
    wait_for("the tab 简单查询", lambda: showing(app, "page tab", "简单查询[J]") or showing(app, "page tab", "简单查询")
             ).queryAction().doAction(0)
    box = wait_for("the name box", lambda: showing(app, "text", "药物名称："))
    box.queryComponent().grabFocus()
    wait_for("the focus in the name box", lambda: box if box.getState().contains(pyatspi.STATE_FOCUSED) else None, 5)
    print("ok: the name box of 简单查询 has the focus")
elif step == "list":
    # A popup is no child of the program's accessible tree: a screen reader
    # learns of the list from its first item taking the focus or the
    # selection when Down is pressed.
    drug = sys.argv[2]
    from gi.repository import GLib
    focused = []

    def heard(event):
        if event.source is not None and event.source.getRoleName() == "list item" and event.detail1 == 1:
            focused.append(event.source)
            pyatspi.Registry.stop()

    pyatspi.Registry.registerEventListener(heard, "object:state-changed:focused", "object:state-changed:selected")
    GLib.timeout_add(500, lambda: subprocess.run(["xdotool", "key", "Down"]) and False)
    GLib.timeout_add(10000, lambda: pyatspi.Registry.stop() and False)
    pyatspi.Registry.start()
    if not focused:
        fail("no item of a list took the focus or the selection on Down")
    item = focused[0]
    parent = item.parent
    if parent is None or parent.getRoleName() != "list" or parent.name != "匹配的药物":
        fail("the focused item is in %s, expected the list '匹配的药物'"
             % (parent and (parent.getRoleName(), parent.name)))
    if not item.name.startswith(drug + "\u3000"):
        fail("the first item is '%s', expected %s with its pinyin" % (item.name, drug))
    print("ok: over AT-SPI the list '%s' of %d drugs tells its first item '%s'"
          % (parent.name, parent.childCount, item.name))
elif step == "shown":
    drug = sys.argv[2]
    box = wait_for("the name box", lambda: showing(app, "text", "药物名称："))
    wait_for("the name %s in the box" % drug, lambda: box if text_of(box) == drug else None, 10)
    sheet = wait_for("the sheet", lambda: showing(app, "text", "药物资料"))
    first = wait_for("the sheet of %s" % drug,
                     lambda: sheet if text_of(sheet).split("\n")[0] == "【药物名称】： " + drug else None, 10)
    if showing(app, "list", "匹配的药物") is not None:
        fail("the list is still shown after choosing")
    print("ok: the box holds '%s' and the sheet shows it" % drug)
else:
    fail("unknown step " + step)
