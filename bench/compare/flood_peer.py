#!/usr/bin/env python3
"""The far end of a pty for the flood comparison: prints the slave's path, waits for a line on
stdin, writes N bytes of text (78 printable characters, CR, LF per line) into the master, waits
until the receiver has taken everything out of the slave's input queue, prints "drained" and
waits for one more line before it closes the pair."""
import fcntl
import os
import struct
import sys
import termios
import time
import tty

total = int(sys.argv[1])
master, slave = os.openpty()
tty.setraw(slave)
print(os.ttyname(slave), flush=True)
sys.stdin.readline()

line = bytearray()
text = bytearray()
row = 0
while len(text) < total:
    line = bytes((0x21 + (row + c) % 94) for c in range(78)) + b"\r\n"
    text += line
    row += 1
view = memoryview(bytes(text[:total]))
while view:
    n = os.write(master, view[:65536])
    view = view[n:]


def queued():
    return struct.unpack("i", fcntl.ioctl(slave, termios.FIONREAD, b"\0\0\0\0"))[0]


calm = 0
while calm < 3:  # empty three times in a row, 20 ms apart: nothing left in the flip buffer
    time.sleep(0.02)
    calm = calm + 1 if queued() == 0 else 0
print("drained", flush=True)
sys.stdin.readline()
