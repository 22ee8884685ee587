#!/usr/bin/env python3
"""Runs a command and writes the CPU time it used (user and system, all its
threads, in milliseconds to the microsecond) to a file, as GNU time does
with a finer grain: cpu_time.py FILE COMMAND [ARGUMENT]... The command's
exit status is passed on; a signal meant for it goes to it (its parent
ignores SIGINT)."""
import os
import signal
import sys

signal.signal(signal.SIGINT, signal.SIG_IGN)
pid = os.fork()
if pid == 0:
    signal.signal(signal.SIGINT, signal.SIG_DFL)
    os.execvp(sys.argv[2], sys.argv[2:])
_, status, usage = os.wait4(pid, 0)
with open(sys.argv[1], "w") as out:
    out.write("%.3f\n" % ((usage.ru_utime + usage.ru_stime) * 1000))
sys.exit(os.waitstatus_to_exitcode(status) & 0xFF)
