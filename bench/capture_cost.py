#!/usr/bin/env python3
"""What a capture costs, beside tcpdump in the same run, on the loopback
device. Prints four comparisons as ratios (pebblewire / tcpdump):

  start  CPU of a capture that ends after one datagram (-q -c 1), median
  idle   voluntary context switches of an 11-second capture that sees no
         matching traffic, from start to Ctrl-C, median
  burst  CPU of a quiet capture of a 10,000-datagram burst from two senders
         (5,000 datagrams of 64 bytes each, a 36-byte payload after the IP
         and UDP headers), median, and whether each
         stored the whole burst
  hot    the capture thread's per-datagram path (bench/hot_path_bench:
         BM_HotPath) against its copy floor (BM_CopyFloor), same run

Needs root, tcpdump and the native build (cmake --preset native &&
cmake --build --preset native). Every datagram goes to 127.0.0.1.

  bench/capture_cost.py [--runs N] [--only start,idle,burst,hot]
"""
import argparse
import os
import re
import signal
import socket
import statistics
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BUILD = os.path.join(ROOT, "build", "native")
PEBBLEWIRE = os.path.join(BUILD, "pebblewire")
SENDER = os.path.join(BUILD, "bench", "udp_burst")
HOT_PATH = os.path.join(BUILD, "bench", "hot_path_bench")


def free_port():
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def run_child(argv, while_running=None, stop_after=None, timeout=30.0):
    """Runs argv with its output discarded; returns (cpu seconds, voluntary
    context switches, stderr text). `while_running(child)` is called every
    2 ms until the child ends; after `stop_after` seconds it gets SIGINT."""
    child = subprocess.Popen(argv, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    os.set_blocking(child.stderr.fileno(), False)
    err = b""
    started = time.monotonic()
    interrupted = False
    while True:
        pid, status, usage = os.wait4(child.pid, os.WNOHANG)
        if pid == child.pid:
            break
        chunk = child.stderr.read()
        if chunk:
            err += chunk
        elapsed = time.monotonic() - started
        if stop_after is not None and elapsed >= stop_after and not interrupted:
            child.send_signal(signal.SIGINT)
            interrupted = True
        if elapsed > timeout:
            child.kill()
        if while_running is not None:
            while_running(child, err.decode(errors="replace"))
        time.sleep(0.002)
    chunk = child.stderr.read()
    if chunk:
        err += chunk
    child.returncode = os.waitstatus_to_exitcode(status)
    return usage.ru_utime + usage.ru_stime, usage.ru_nvcsw, err.decode(errors="replace")


def pebblewire(port, *extra):
    return [PEBBLEWIRE, "-i", "127.0.0.1", "-q", "-p", "udp", "-t", "127.0.0.1:%d" % port,
            *extra]


def tcpdump(port, *extra):
    return ["tcpdump", "-i", "lo", "-n", "-w", "/dev/null", *extra, "udp dst port %d" % port]


def start_costs(runs):
    """CPU of a capture that ends after its first datagram."""
    def one(argv, port):
        sender = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)

        def poke(child, err):
            sender.sendto(b"start", ("127.0.0.1", port))

        cpu, _, _ = run_child(argv, while_running=poke, timeout=10)
        sender.close()
        return cpu

    ours, theirs = [], []
    for _ in range(runs):
        port = free_port()
        ours.append(one(pebblewire(port, "-c", "1"), port))
        port = free_port()
        theirs.append(one(tcpdump(port, "-c", "1"), port))
    return statistics.median(ours) * 1000, statistics.median(theirs) * 1000


def idle_costs(runs, seconds=11.0):
    """Voluntary context switches of a capture that sees nothing it stores."""
    ours, theirs = [], []
    for _ in range(runs):
        port = free_port()
        _, switches, _ = run_child(pebblewire(port), stop_after=seconds)
        ours.append(switches)
        _, switches, _ = run_child(tcpdump(port), stop_after=seconds)
        theirs.append(switches)
    return statistics.median(ours), statistics.median(theirs)


def burst_costs(runs, count=10000):
    """CPU of a quiet capture of a burst from two senders, and what each
    stored of it."""
    def one(argv, port, ready_text, counted):
        sent = []

        def send_when_ready(child, err):
            if sent or ready_text not in err:
                return
            time.sleep(0.2)
            senders = [subprocess.Popen([SENDER, str(port), str(count // 2), "36"])
                       for _ in range(2)]
            for s in senders:
                s.wait()
            sent.append(True)

        cpu, _, err = run_child(argv, while_running=send_when_ready, stop_after=None,
                                timeout=20)
        match = re.search(counted, err)
        return cpu, int(match.group(1)) if match else 0

    ours, theirs, whole = [], [], []
    for _ in range(runs):
        port = free_port()
        cpu, stored = one(pebblewire(port, "-c", str(count)), port, "Linux",
                          r"(\d+) datagrams? stored")
        ours.append(cpu)
        port = free_port()
        cpu, captured = one(tcpdump(port, "-c", str(count)), port, "listening on",
                            r"(\d+) packets? captured")
        theirs.append(cpu)
        whole.append((stored, captured))
    return statistics.median(ours) * 1000, statistics.median(theirs) * 1000, whole


def hot_path(runs):
    out = subprocess.run([HOT_PATH, "--benchmark_filter=BM_HotPath$|BM_CopyFloor",
                          "--benchmark_repetitions=%d" % runs,
                          "--benchmark_report_aggregates_only=true"],
                         capture_output=True, text=True, check=True).stdout
    medians = dict(re.findall(r"^(BM_\w+)_median\s+([\d.]+) ns", out, re.M))
    return float(medians["BM_HotPath"]), float(medians["BM_CopyFloor"])


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--runs", type=int, default=0,
                        help="runs per measure (default: 7 start, 3 idle, 5 burst, 5 hot)")
    parser.add_argument("--only", default="start,idle,burst,hot")
    args = parser.parse_args()
    if os.geteuid() != 0:
        sys.exit("capture_cost: needs root")
    for path in (PEBBLEWIRE, SENDER, HOT_PATH):
        if not os.access(path, os.X_OK):
            sys.exit("capture_cost: build the native preset first (%s)" % path)
    only = args.only.split(",")
    print("%-6s %14s %14s %8s" % ("", "pebblewire", "tcpdump", "ratio"))
    if "start" in only:
        ours, theirs = start_costs(args.runs or 7)
        print("%-6s %11.2f ms %11.2f ms %8.2f" % ("start", ours, theirs, ours / theirs))
    if "idle" in only:
        ours, theirs = idle_costs(args.runs or 3)
        print("%-6s %14d %14d %8.2f" % ("idle", ours, theirs, ours / max(theirs, 1)))
    if "burst" in only:
        ours, theirs, whole = burst_costs(args.runs or 5)
        print("%-6s %11.2f ms %11.2f ms %8.2f   stored/captured: %s" % (
            "burst", ours, theirs, ours / theirs,
            " ".join("%d/%d" % pair for pair in whole)))
    if "hot" in only:
        ours, floor = hot_path(args.runs or 5)
        print("%-6s %11.1f ns %11.1f ns %8.2f   (against the copy floor)" % (
            "hot", ours, floor, ours / floor))


if __name__ == "__main__":
    main()
