#!/usr/bin/env python3
"""The details report's corpus, checked against tshark.

Builds tests/data/report_corpus.pcap (raw IP records: one datagram of each
kind the report decodes, checksums right or wrong on purpose, a record cut
in capture, a bad header length), writes the program's reports of every
record to tests/data/expected/report_corpus.details (the golden file that
tests/linux/front_ends_agree_test.cpp holds the program to), and compares
every "name = value" line of those reports that tshark has a field for
with tshark's value of that field on the same bytes.

  tools/report-corpus.py BUILD_DIR      build, write, check (needs tshark)
  tools/report-corpus.py BUILD_DIR --check   check the committed files only

Exits 1 when a value differs from tshark's, printing each difference.
"""
import os
import re
import struct
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
PCAP = os.path.join(ROOT, "tests/data/report_corpus.pcap")
GOLDEN = os.path.join(ROOT, "tests/data/expected/report_corpus.details")


def csum(data):
    if len(data) % 2:
        data += b"\0"
    s = sum(struct.unpack("!%dH" % (len(data) // 2), data))
    while s >> 16:
        s = (s & 0xFFFF) + (s >> 16)
    return ~s & 0xFFFF


def a4(text):
    return bytes(int(x) for x in text.split("."))


def a6(text):
    import ipaddress
    return ipaddress.IPv6Address(text).packed


def ip4(proto, payload, src="10.0.0.1", dst="10.0.0.2", opts=b"", ttl=64, ident=1,
        frag=0, tos=0, good=True, hlen=None):
    hl = hlen if hlen is not None else (20 + len(opts)) // 4
    h = struct.pack("!BBHHHBBH4s4s", 0x40 | hl, tos, 20 + len(opts) + len(payload), ident,
                    frag, ttl, proto, 0, a4(src), a4(dst)) + opts
    if good:
        h = h[:10] + struct.pack("!H", csum(h)) + h[12:]
    return h + payload


def ip6(nxt, payload, src="2001:db8::1", dst="2001:db8::2", hlim=64):
    return struct.pack("!IHBB", 0x60000000 | 0x12345, len(payload), nxt, hlim) + a6(src) + \
        a6(dst) + payload


def pseudo(src, dst, proto, length, v6=False):
    if v6:
        return a6(src) + a6(dst) + struct.pack("!IxxxB", length, proto)
    return a4(src) + a4(dst) + struct.pack("!xBH", proto, length)


def tcp(sport, dport, seq, ack, flags, opts=b"", data=b"", window=65535, urg=0,
        src="10.0.0.1", dst="10.0.0.2", v6=False, good=True):
    off = (20 + len(opts)) // 4
    h = struct.pack("!HHIIHHHH", sport, dport, seq, ack, off << 12 | flags, window, 0, urg)
    seg = h + opts + data
    c = csum(pseudo(src, dst, 6, len(seg), v6) + seg) if good else 0x1234
    return seg[:16] + struct.pack("!H", c) + seg[18:]


def udp(sport, dport, data, src="10.0.0.1", dst="10.0.0.2", v6=False, check=None):
    seg = struct.pack("!HHHH", sport, dport, 8 + len(data), 0) + data
    c = csum(pseudo(src, dst, 17, len(seg), v6) + seg) if check is None else check
    return seg[:6] + struct.pack("!H", c) + seg[8:]


def icmp(kind, code, rest, body=b""):
    m = struct.pack("!BBH", kind, code, 0) + rest + body
    return m[:2] + struct.pack("!H", csum(m)) + m[4:]


def icmp6(kind, code, body, src, dst):
    m = struct.pack("!BBH", kind, code, 0) + body
    c = csum(pseudo(src, dst, 58, len(m), True) + m)
    return m[:2] + struct.pack("!H", c) + m[4:]


def igmp(body):
    return body[:2] + struct.pack("!H", csum(body)) + body[4:]


def corpus():
    """(protocol as the report dispatches it, datagram, bytes stored)"""
    c = []
    syn_opts = bytes.fromhex("020405b4" "0402" "080a0000303900000000" "01" "030307")
    c.append(ip4(6, tcp(40000, 80, 1000, 0, 0x002, syn_opts)))
    # ECN set-up with the AE bit, SACK blocks above the acknowledgement
    sack = bytes.fromhex("0101" "050a") + struct.pack("!II", 5000, 6000)
    c.append(ip4(6, tcp(80, 40000, 3000, 1001, 0x1C2, sack), tos=0x02))
    # urgent data, an unknown option, a checksum that is wrong
    c.append(ip4(6, tcp(1025, 21, 7, 9, 0x038, bytes.fromhex("63040000"), b"urgent", urg=3,
                        good=False), ttl=128, ident=0xBEEF, frag=0x4000, tos=0xB8))
    # a malformed option list: an MSS option of length 3
    c.append(ip4(6, tcp(1, 2, 3, 4, 0x010, bytes.fromhex("0203050000000000"))))
    c.append(ip6(6, tcp(5555, 443, 123456, 654321, 0x018, bytes.fromhex("0101080a0000000100000002"),
                        b"hello", src="2001:db8::1", dst="2001:db8::2", v6=True)))
    c.append(ip4(17, udp(5353, 5353, b"query")))
    c.append(ip4(17, udp(68, 67, b"no checksum", check=0)))
    c.append(ip4(17, udp(1000, 2000, b"wrong", check=0xABCD)))
    c.append(ip6(17, udp(546, 547, b"v6", src="2001:db8::1", dst="2001:db8::2", v6=True)))
    # IPv4 options: record route, no-op, timestamp with addresses, router alert
    rr = bytes([7, 11, 8]) + a4("10.1.1.1") + a4("0.0.0.0")
    ts = bytes([68, 12, 13, 0x01]) + a4("10.2.2.2") + struct.pack("!I", 36000000)
    c.append(ip4(17, udp(7, 7, b"opts"), opts=rr + b"\x01" + ts + bytes([148, 4, 0, 0])))
    # a source route not yet complete: the checksum takes its last address
    c.append(ip4(17, udp(9, 9, b"lsrr", dst="10.3.3.3"),
                 opts=bytes([131, 7, 4]) + a4("10.3.3.3") + b"\x00"))
    c.append(ip4(17, udp(9, 9, b"unknown option"), opts=bytes([222, 4, 1, 2])))
    # ICMP
    c.append(ip4(1, icmp(8, 0, struct.pack("!HH", 0x1234, 7), b"abcdefgh")))
    c.append(ip4(1, icmp(13, 0, struct.pack("!HH", 99, 3), bytes(12))))
    inner_udp = ip4(17, udp(40000, 53, b"dns?"), src="10.0.0.2", dst="10.9.9.9")[:28]
    inner_tcp = ip4(6, tcp(40001, 443, 1, 0, 0x002), src="10.0.0.2", dst="10.8.8.8")[:28]
    c.append(ip4(1, icmp(3, 3, bytes(4), inner_udp), src="10.9.9.9", dst="10.0.0.2"))
    c.append(ip4(1, icmp(3, 4, struct.pack("!HH", 0, 1400), inner_tcp), src="10.0.0.254",
                 dst="10.0.0.2", tos=0xC0))
    c.append(ip4(1, icmp(5, 1, a4("10.0.0.253"), inner_udp), src="10.0.0.254", dst="10.0.0.2"))
    c.append(ip4(1, icmp(11, 0, bytes(4), inner_tcp), src="10.0.0.254", dst="10.0.0.2"))
    c.append(ip4(1, icmp(12, 0, bytes([20, 0, 0, 0]), inner_udp), src="10.0.0.254",
                 dst="10.0.0.2"))
    c.append(ip4(1, icmp(4, 0, bytes(4), inner_tcp), src="10.0.0.254", dst="10.0.0.2"))
    # IGMP: v1 and v2 queries, v3 query with sources, reports, leave
    ra = bytes([148, 4, 0, 0])
    c.append(ip4(2, igmp(struct.pack("!BBH4s", 0x11, 0, 0, a4("0.0.0.0"))), dst="224.0.0.1", ttl=1))
    c.append(ip4(2, igmp(struct.pack("!BBH4s", 0x11, 100, 0, a4("239.1.1.1"))), dst="239.1.1.1",
                 ttl=1, opts=ra))
    c.append(ip4(2, igmp(struct.pack("!BBH4sBBH", 0x11, 200, 0, a4("239.2.2.2"), 0x0A, 125, 2)
                         + a4("10.0.0.7") + a4("10.0.0.8")), dst="239.2.2.2", ttl=1, opts=ra))
    c.append(ip4(2, igmp(struct.pack("!BBH4s", 0x12, 0, 0, a4("239.3.3.3"))), dst="239.3.3.3",
                 ttl=1))
    c.append(ip4(2, igmp(struct.pack("!BBH4s", 0x16, 0, 0, a4("239.4.4.4"))), dst="239.4.4.4",
                 ttl=1, opts=ra))
    c.append(ip4(2, igmp(struct.pack("!BBH4s", 0x17, 0, 0, a4("239.4.4.4"))), dst="224.0.0.2",
                 ttl=1, opts=ra))
    records = struct.pack("!BBH4s", 4, 0, 0, a4("239.5.5.5")) + \
        struct.pack("!BBH4s4s", 1, 0, 1, a4("239.6.6.6"), a4("10.0.0.9"))
    c.append(ip4(2, igmp(struct.pack("!BBHHH", 0x22, 0, 0, 0, 2) + records), dst="224.0.0.22",
                 ttl=1, opts=ra))
    # ICMPv6 echo
    c.append(ip6(58, icmp6(128, 0, struct.pack("!HH", 0x4242, 1) + b"ping", "2001:db8::1",
                           "2001:db8::2")))
    out = [(d, len(d)) for d in c]
    # a TCP segment cut in capture after 30 bytes, and a header length of 16
    out.append((ip4(6, tcp(40000, 80, 1, 2, 0x018, data=b"x" * 40)), 30))
    out.append((ip4(17, udp(1, 2, b"bad-hlen"), hlen=4), None))
    return out


def write_pcap(path):
    with open(path, "wb") as f:
        f.write(struct.pack("<IHHiIII", 0xA1B2C3D4, 2, 4, 0, 0, 65535, 101))
        for n, (d, stored) in enumerate(corpus()):
            stored = len(d) if stored is None else stored
            f.write(struct.pack("<IIII", 1700000000 + n, 0, stored, len(d)))
            f.write(d[:stored])
    return len(corpus())


def reports(build, count):
    args = [os.path.join(build, "pebblewire"), "-r", PCAP, "-q", "-p", "tcp,udp,icmp,igmp,raw"]
    for k in range(count):
        args += ["-d", str(k)]
    return subprocess.run(args, capture_output=True, check=True).stdout.decode("latin-1")


# ---- the comparison ---------------------------------------------------------

CHECKSUMS = {"ip header": "ip", "tcp": "tcp", "udp": "udp", "icmp": "icmp", "igmp": "igmp",
             "icmpv6": "icmpv6"}
OPTION_NUMBERS = {"end of options list": 0, "no-op": 1, "record route": 7, "timestamp": 68,
                  "security": 130, "loose source route": 131, "strict source route": 137,
                  "router alert": 148}
IGMP_TYPES = {"v1 membership query": "0x11", "v2 membership query": "0x11",
              "v3 membership query": "0x11", "v1 membership report": "0x12",
              "v2 membership report": "0x16", "v2 leave group": "0x17",
              "v3 membership report": "0x22"}
TCP_OPTION_KINDS = {"no-op": 1, "end of options list": 0, "sack permitted": 4}

# (block, line name) -> tshark fields (the value must be one of theirs)
FIELDS = {
    "tcp": {"sourse port": ["tcp.srcport"], "destination port": ["tcp.dstport"],
            "checksum": ["tcp.checksum"], "acknowledgement number": ["tcp.ack_raw"],
            "sequence number": ["tcp.seq_raw"], "window size": ["tcp.window_size_value"],
            "MSS": ["tcp.options.mss_val"], "URG": ["tcp.flags.urg"], "ACK": ["tcp.flags.ack"],
            "PSH": ["tcp.flags.push"], "RST": ["tcp.flags.reset"], "SYN": ["tcp.flags.syn"],
            "FIN": ["tcp.flags.fin"], "flags": ["tcp.flags"], "header length": ["tcp.hdr_len"],
            "urgent pointer": ["tcp.urgent_pointer"], "option mss": ["tcp.options.mss_val"],
            "option window scale": ["tcp.options.wscale.shift"],
            "option sack left edge": ["tcp.options.sack_le"],
            "option sack right edge": ["tcp.options.sack_re"],
            "option timestamp value": ["tcp.options.timestamp.tsval"],
            "option timestamp echo reply": ["tcp.options.timestamp.tsecr"],
            "option": ["tcp.option_kind"]},
    "udp": {"sourse port": ["udp.srcport"], "destination port": ["udp.dstport"],
            "checksum": ["udp.checksum"], "length": ["udp.length"]},
    "icmp": {"identifier": ["icmp.ident"], "sequence number": ["icmp.seq"],
             "next-hop mtu": ["icmp.mtu"], "gateway": ["icmp.redir_gw"],
             "pointer": ["icmp.pointer"], "carried protocol": ["ip.proto"],
             "carried source": ["ip.src"], "carried destination": ["ip.dst"],
             "carried source port": ["udp.srcport", "tcp.srcport"],
             "carried destination port": ["udp.dstport", "tcp.dstport"]},
    "igmp": {"cheksum": ["igmp.checksum"], "group adddress": ["igmp.maddr"],
             "max response time": ["igmp.max_resp"], "suppress router processing": ["igmp.s"],
             "querier robustness variable": ["igmp.qrv"],
             "querier query interval code": ["igmp.qqic"], "number of sources": ["igmp.num_src"],
             "source": ["igmp.saddr"], "number of group records": ["igmp.num_grp_recs"],
             "record type": ["igmp.record_type"], "record multicast address": ["igmp.maddr"],
             "record number of sources": ["igmp.num_src"], "record source": ["igmp.saddr"]},
    "icmp6": {"type": ["icmpv6.type"], "code": ["icmpv6.code"],
              "identifier": ["icmpv6.echo.identifier"],
              "sequence number": ["icmpv6.echo.sequence_number"]},
    "ipv4": {"version": ["ip.version"], "header length": ["ip.hdr_len"],
             "dscp": ["ip.dsfield.dscp"], "ecn": ["ip.dsfield.ecn"], "total length": ["ip.len"],
             "identification": ["ip.id"], "don't fragment": ["ip.flags.df"],
             "more fragments": ["ip.flags.mf"], "fragment offset": ["ip.frag_offset"],
             "time to live": ["ip.ttl"], "protocol": ["ip.proto"], "source": ["ip.src"],
             "destination": ["ip.dst"], "ip option": ["ip.opt.type"],
             "route pointer": ["ip.opt.ptr"], "timestamp pointer": ["ip.opt.ptr"],
             "route address": ["ip.rec_rt", "ip.src_rt", "ip.empty_rt", "ip.dst"],
             "timestamp address": ["ip.opt.time_stamp_addr"],
             "timestamp": ["ip.opt.time_stamp"], "router alert": ["ip.opt.ra"]},
    "ipv6": {"version": ["ipv6.version"], "traffic class": ["ipv6.tclass"],
             "flow label": ["ipv6.flow"], "payload length": ["ipv6.plen"],
             "next header": ["ipv6.nxt"], "hop limit": ["ipv6.hlim"], "source": ["ipv6.src"],
             "destination": ["ipv6.dst"]},
}


def all_fields():
    names = {f for block in FIELDS.values() for fs in block.values() for f in fs}
    names |= {"icmp.type", "icmp.code", "igmp.version", "igmp.type", "tcp.option_len",
              "tcp.len", "data.len",
              "tcp.options.wscale.multiplier"}
    for proto in CHECKSUMS.values():
        names |= {proto + ".checksum", proto + ".checksum.status"}
        if proto in ("ip", "tcp", "udp"):
            names.add(proto + ".checksum_calculated")
    return sorted(names)


def tshark(fields):
    args = ["tshark", "-r", PCAP, "-T", "fields", "-E", "aggregator=|", "-E", "occurrence=a",
            "-o", "ip.check_checksum:TRUE", "-o", "tcp.check_checksum:TRUE",
            "-o", "udp.check_checksum:TRUE", "-o", "tcp.relative_sequence_numbers:FALSE",
            "-o", "tcp.analyze_sequence_numbers:FALSE"]
    for f in fields:
        args += ["-e", f]
    out = subprocess.run(args, capture_output=True, check=True).stdout.decode()
    rows = []
    for line in out.splitlines():
        values = line.split("\t")
        rows.append({f: [v for v in values[i].split("|") if v != ""]
                     for i, f in enumerate(fields)})
    return rows


def same(ours, theirs):
    ours = ours.strip()
    if ours in ("True", "False"):
        ours = "1" if ours == "True" else "0"
    if theirs in ("True", "False"):
        theirs = "1" if theirs == "True" else "0"
    try:
        return int(ours, 0) == int(theirs, 0)
    except ValueError:
        return ours == theirs


class Packet:
    def __init__(self, number, row):
        self.number, self.row, self.compared, self.errors = number, row, 0, []
        self.used = {f: [False] * len(v) for f, v in row.items()}

    def take(self, fields, value, line, reuse=False):
        """One unused occurrence of one of `fields` equal to `value`."""
        for f in fields:
            for i, theirs in enumerate(self.row.get(f, [])):
                if (reuse or not self.used[f][i]) and same(value, theirs):
                    self.used[f][i] = True
                    self.compared += 1
                    return
        seen = {f: self.row.get(f) for f in fields}
        self.errors.append("packet %d: %r, tshark has %s" % (self.number, line, seen))


def compare_verdict(p, name, value, line):
    proto = CHECKSUMS[name]
    m = re.match(r"0x([0-9a-f]{4}) \((.*)\)$", value)
    p.take([proto + ".checksum"], "0x" + m.group(1), line, reuse=True)
    verdict = m.group(2)
    status = p.row.get(proto + ".checksum.status", [])
    if verdict == "none":
        p.take([proto + ".checksum.status"], "3", line, reuse=True)  # not present
    elif "2" in status:
        return  # tshark left it unverified: nothing to compare with
    elif verdict == "correct":
        p.take([proto + ".checksum.status"], "1", line, reuse=True)
    elif verdict.startswith("incorrect, should be "):
        p.take([proto + ".checksum.status"], "0", line, reuse=True)
        if p.row.get(proto + ".checksum_calculated"):
            p.take([proto + ".checksum_calculated"], verdict.split()[-1], line, reuse=True)
    else:  # cannot be checked
        p.errors.append("packet %d: %r, tshark has %s" % (p.number, line, status))


def check_report(p, report):
    lines = report.split("\n")
    # The specified MSS line reads bytes 22-23 whatever the option's length;
    # a header with a source route still to go has no destination field in
    # tshark (it shows the route's last address as the destination).
    malformed_mss = any(l.startswith("tcp options malformed: option 2,") for l in lines)
    source_routed = any(l.endswith("source route") for l in lines)
    header = next(l for l in lines if re.match(r"packet\d+ ", l))
    transport = header.split()[1]
    block = "ipv6" if transport == "icmp6" else transport
    first = True
    for line in lines[lines.index(header) + 1:]:
        if transport == "icmp" and first and re.match(r".* \((\d+)\)$", line):
            p.take(["icmp.type"], re.search(r"\((\d+)\)$", line).group(1), line)
        was_first, first = first, False
        if " = " not in line:
            continue
        name, value = line.split(" = ", 1)
        if name == "version" and not (transport == "igmp" and was_first) and \
                block not in ("ipv4", "ipv6"):
            block = "ipv6" if value == "6" else "ipv4"
        elif transport == "icmp6" and name == "type":
            block = "icmp6"
        elif block == "icmp6" and name == "version":
            block = "ipv6"
        if transport == "igmp" and block == "igmp" and name in ("version", "type"):
            continue  # the version 1 layout: the first byte's two halves
        if name.endswith(" checksum") and name[:-9] in CHECKSUMS:
            compare_verdict(p, name[:-9], value, line)
            continue
        if transport == "igmp" and name == "message":
            version, _, kind = value.partition(" ")
            if version[0] == "v":
                p.take(["igmp.version"], version[1:], line)
                p.take(["igmp.type"], IGMP_TYPES[value], line)
            continue
        if name == "data length":
            if transport == "tcp" and not value.startswith("-"):
                p.take(["tcp.len"], value, line)
            elif transport == "udp":  # the udp length field less the header
                p.take(["udp.length"], str(int(value) + 8), line, reuse=True)
            continue
        if block == "igmp" and name == "group adddress" and "igmp.num_grp_recs" in p.row and \
                p.row["igmp.num_grp_recs"]:
            continue  # a v3 report's bytes 4-7: reserved and the record count
        if block == "tcp" and name == "option":
            kind = TCP_OPTION_KINDS.get(value)
            if kind is not None:
                p.take(["tcp.option_kind"], str(kind), line)
            continue
        if block == "tcp" and name == "option window scale":
            shift, factor = re.match(r"(\d+) \(multiply by (\d+)\)", value).groups()
            p.take(["tcp.options.wscale.shift"], shift, line)
            p.take(["tcp.options.wscale.multiplier"], factor, line)
            continue
        if block == "ipv4" and name == "ip option":
            if value in OPTION_NUMBERS:  # tshark gives an unknown option no type field
                p.take(["ip.opt.type"], str(OPTION_NUMBERS[value]), line)
            continue
        if (name == "MSS" and malformed_mss) or \
                (block == "ipv4" and name == "destination" and source_routed):
            continue
        if block == "icmp6" and name in ("type", "code"):
            value = re.search(r"(\d+)\)?$", value).group(1)
        fields = FIELDS.get(block, {}).get(name)
        if fields is None:
            p.errors.append("packet %d: no tshark field for %r" % (p.number, line)) \
                if os.environ.get("PW_LIST_UNCOMPARED") else None
            continue
        p.take(fields, value.split(" (")[0], line, reuse=name in ("MSS", "option mss"))
    for line in lines:
        m = re.match(r"(option|tcp options malformed: option) (\d+), length (\d+)", line)
        if m:
            p.take(["tcp.option_kind"], m.group(2), line)
            p.take(["tcp.option_len"], m.group(3), line)


def check(build):
    count = sum(1 for _ in corpus())
    text = reports(build, count)
    with open(GOLDEN, encoding="latin-1") as f:
        if f.read() != text:
            print("report_corpus.details differs from the program's reports")
            return 1
    rows = tshark(all_fields())
    pieces = text.split("packets source:\n")[1:]
    compared, errors = 0, []
    for n, (report, row) in enumerate(zip(pieces, rows)):
        p = Packet(n, row)
        check_report(p, report)
        compared += p.compared
        errors += p.errors
    for e in errors:
        print(e)
    print("%d packets, %d values compared with tshark, %d differ" % (len(pieces), compared,
                                                                      len(errors)))
    return 1 if errors or len(pieces) != count else 0


def main():
    if len(sys.argv) < 2:
        print(__doc__)
        return 2
    build = sys.argv[1]
    if "--check" not in sys.argv:
        count = write_pcap(PCAP)
        with open(GOLDEN, "w", encoding="latin-1", newline="") as f:
            f.write(reports(build, count))
    return check(build)


if __name__ == "__main__":
    sys.exit(main())
