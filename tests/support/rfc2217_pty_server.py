#!/usr/bin/python3
"""pyserial's example RFC 2217 server in front of a pseudo-terminal.

A pseudo-terminal has no modem lines: the ioctls that read or set them fail with ENOTTY and
the example stops at once. Here the lines read as fixed values and setting DTR or RTS does
nothing; everything else (speed, purge, data) reaches the pseudo-terminal unchanged.
Usage: rfc2217_pty_server.py -p TCPPORT DEVICE
"""
import runpy
import sys

import serial
import serial.serialposix

for name, value in (("cts", True), ("dsr", True), ("ri", False), ("cd", True)):
    setattr(serial.serialposix.Serial, name, property(lambda self, value=value: value))
serial.serialposix.Serial._update_dtr_state = lambda self: None
serial.serialposix.Serial._update_rts_state = lambda self: None

EXAMPLE = "/usr/share/doc/python3-serial/examples/rfc2217_server.py"
sys.argv = [EXAMPLE] + sys.argv[1:]
runpy.run_path(EXAMPLE, run_name="__main__")
