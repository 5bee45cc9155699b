#!/usr/bin/python3
"""What a screen reader learns of the entry page's category drop-down.

Over AT-SPI, as an assistive program sees the running window: opens the
drug entry page, types the drug's name into its name box, moves on (which
loads the record), and reads the drop-down: the label it is labelled by,
and the category it shows, as its name and as the entry its list marks.

usage: atspi_category.py DRUG CATEGORY
"""
import sys
import time

import pyatspi

APP = "Zelkano中草药查询大全"


def fail(message):
    print("FAIL: " + message, file=sys.stderr)
    sys.exit(1)


def nodes(node):
    yield node
    for i in range(node.childCount):
        child = node.getChildAtIndex(i)
        if child is not None:
            yield from nodes(child)


def wait_for(what, find, seconds=20):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        found = find()
        if found is not None:
            return found
        time.sleep(0.1)
    fail(what + " did not appear over AT-SPI")


def application():
    desktop = pyatspi.Registry.getDesktop(0)
    for i in range(desktop.childCount):
        app = desktop.getChildAtIndex(i)
        if app is not None and app.name == APP:
            return app
    return None


def first(root, role, name=None):
    for node in nodes(root):
        if node.getRoleName() == role and (name is None or node.name == name):
            return node
    return None


def targets(node, relation):
    names = []
    for r in node.getRelationSet():
        if r.getRelationType() == relation:
            names += [r.getTarget(i).name for i in range(r.getNTargets())]
    return names


def marked(combo):
    names = []
    for node in nodes(combo):
        if node.getRoleName() == "list item" and node.getState().contains(pyatspi.STATE_SELECTED):
            names.append(node.name)
    return names


def main():
    drug, category = sys.argv[1], sys.argv[2]
    app = wait_for("the program", application)
    tab = wait_for("the tab 药物输入", lambda: first(app, "page tab", "药物输入"))
    tab.queryAction().doAction(0)
    combo = wait_for("the category drop-down", lambda: first(app, "combo box"))
    page = combo.parent
    boxes = {page.getChildAtIndex(i).name: page.getChildAtIndex(i)
             for i in range(page.childCount) if page.getChildAtIndex(i).getRoleName() == "text"}
    if "药物名称：" not in boxes or "英文名称：" not in boxes:
        fail("the entry page's boxes are %s" % sorted(boxes))
    boxes["药物名称："].queryComponent().grabFocus()
    if not boxes["药物名称："].queryEditableText().setTextContents(drug):
        fail("the name box took no text")
    boxes["英文名称："].queryComponent().grabFocus()

    label = targets(combo, pyatspi.RELATION_LABELLED_BY)
    if label != ["类别："]:
        fail("the drop-down is labelled by %s, expected ['类别：']" % label)
    wait_for("the category %s in the drop-down" % category, lambda: combo if combo.name == category else None, 10)
    if marked(combo) != [category]:
        fail("the drop-down's list marks %s, expected ['%s']" % (marked(combo), category))
    print("ok: over AT-SPI the drop-down is a %s labelled by '%s', named '%s', its list marking %s"
          % (combo.getRoleName(), label[0], combo.name, marked(combo)))


main()
