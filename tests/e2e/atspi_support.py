# What the AT-SPI scripts of the end-to-end tests share: failing, walking a
# program's accessible tree, and waiting for something to appear in it.
import sys
import time


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
