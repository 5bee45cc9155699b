#!/usr/bin/python3
# What a screen reader learns of the entry page's category drop-down, over
# AT-SPI as an assistive program sees the running window: the page opened,
# the drug's name typed into its box and the box left (which loads the
# record), the drop-down's label and the category it shows, as its name and
# as the entry its list marks.
#
# usage: atspi_category.py DRUG CATEGORY
import sys
import time

import pyatspi


def fail(message):
    sys.exit("FAIL: " + message)


def nodes(node):
    yield node
    for child in (node.getChildAtIndex(i) for i in range(node.childCount)):
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


def first(root, role, name=None):
    return next((n for n in nodes(root) if n.getRoleName() == role and name in (None, n.name)), None)


drug, category = sys.argv[1], sys.argv[2]
app = wait_for("the program", lambda: first(pyatspi.Registry.getDesktop(0), "application", "Zelkano中草药查询大全"))
wait_for("the tab 药物输入", lambda: first(app, "page tab", "药物输入")).queryAction().doAction(0)
combo = wait_for("the category drop-down", lambda: first(app, "combo box"))
boxes = {n.name: n for n in nodes(combo.parent) if n.getRoleName() == "text"}
boxes["药物名称："].queryComponent().grabFocus()
boxes["药物名称："].queryEditableText().setTextContents(drug)
boxes["英文名称："].queryComponent().grabFocus()

label = [r.getTarget(i).name for r in combo.getRelationSet() if r.getRelationType() == pyatspi.RELATION_LABELLED_BY
         for i in range(r.getNTargets())]
if label != ["类别："]:
    fail("the drop-down is labelled by %s, expected ['类别：']" % label)
wait_for("the category %s in the drop-down" % category, lambda: combo if combo.name == category else None, 10)
marked = [n.name for n in nodes(combo) if n.getRoleName() == "list item" and n.getState().contains(pyatspi.STATE_SELECTED)]
if marked != [category]:
    fail("the drop-down's list marks %s, expected ['%s']" % (marked, category))
print("ok: over AT-SPI the drop-down is a combo box labelled by '%s', named '%s', its list marking %s"
      % (label[0], combo.name, marked))
