#!/usr/bin/env python3
"""zipcmp.py A.plsc B.plsc: whether two packs of the same inputs are the same
byte for byte, apart from what may differ between two builds: the manifest
entry's time stamp, CRC, sizes and data, and the offsets that a manifest of
another length shifts. Every other entry's local record (header, data and
whatever follows up to the next record) and central record (field by field),
the order of the entries and the archive's comment must be equal. Prints
"identical" (exit 0) or the first difference (exit 1).

zipcmp.py --any-time A B: the same, but every entry's time and date may
differ too: for packs of trees made afresh for each build (the hostile table),
whose files' times are those of their making."""
import mmap, struct, sys

MANIFEST = 'ScriptInfo.xml'
CENTRAL = ('made_by', 'needed', 'flags', 'method', 'time', 'date', 'crc', 'csize', 'usize', 'disk', 'internal',
           'external')
LOCAL = ('needed', 'flags', 'method', 'time', 'date', 'crc', 'csize', 'usize')
# What the manifest may change from one build to the next.
MANIFEST_MAY_DIFFER = {'time', 'date', 'crc', 'csize', 'usize'}
TIME_EXTRAS = {0x5455, 0x000a}  # extended time stamp, NTFS times


def may_differ(extra):
    # the manifest's time stamps, and its sizes when written as zip64
    return extra[0] in TIME_EXTRAS or extra[0] == 1


class Different(Exception):
    pass


def u16(b, at):
    return struct.unpack_from('<H', b, at)[0]


def u32(b, at):
    return struct.unpack_from('<I', b, at)[0]


def extras(blob):
    """[(id, data)] of an extra field."""
    out, at = [], 0
    while at + 4 <= len(blob):
        kind, size = struct.unpack_from('<HH', blob, at)
        out.append((kind, blob[at + 4:at + 4 + size]))
        at += 4 + size
    if at != len(blob):
        out.append((-1, blob[at:]))  # trailing bytes that are no extra
    return out


class Entry:
    pass


def parse(path):
    with open(path, 'rb') as f:
        data = mmap.mmap(f.fileno(), 0, access=mmap.ACCESS_READ)
    end = data.rfind(b'PK\x05\x06', max(0, len(data) - 65557))
    if end < 0:
        raise Different('%s: no end of central directory' % path)
    z = Entry()
    z.count, z.cd_size, z.cd_offset = struct.unpack_from('<HII', data, end + 10)
    # Where the central directory's offset (and the zip64 record's, when there
    # is one) stands in what follows the central directory: they shift.
    moving = [(end + 16, 4)]
    locator = end - 20
    if locator >= 0 and data[locator:locator + 4] == b'PK\x06\x07':
        at = struct.unpack_from('<Q', data, locator + 8)[0]
        if data[at:at + 4] != b'PK\x06\x06':
            raise Different('%s: zip64 locator points at no zip64 record' % path)
        z.count, z.cd_size, z.cd_offset = struct.unpack_from('<QQQ', data, at + 32)
        moving += [(at + 48, 8), (locator + 8, 8)]
    z.entries = []
    at = z.cd_offset
    for _ in range(z.count):
        if data[at:at + 4] != b'PK\x01\x02':
            raise Different('%s: central record %d has no signature' % (path, len(z.entries)))
        e = Entry()
        (e.made_by, e.needed, e.flags, e.method, e.time, e.date, e.crc, e.csize, e.usize, nlen, xlen, clen,
         e.disk, e.internal, e.external, e.offset) = struct.unpack_from('<HHHHHHIIIHHHHHII', data, at + 4)
        e.name = data[at + 46:at + 46 + nlen]
        e.extra = extras(data[at + 46 + nlen:at + 46 + nlen + xlen])
        e.comment = data[at + 46 + nlen + xlen:at + 46 + nlen + xlen + clen]
        # zip64: the real sizes and offset, and the extra without the offset
        for i, (kind, blob) in enumerate(e.extra):
            if kind != 1:
                continue
            k = 0
            for field in ('usize', 'csize', 'offset'):
                if getattr(e, field) == 0xFFFFFFFF and k + 8 <= len(blob):
                    setattr(e, field, struct.unpack_from('<Q', blob, k)[0])
                    if field == 'offset':
                        e.extra[i] = (kind, blob[:k] + blob[k + 8:])
                    else:
                        k += 8
        e.manifest = e.name == MANIFEST.encode()
        z.entries.append(e)
        at += 46 + nlen + xlen + clen
    tail = bytearray(data[at:])
    for where, size in moving:
        if where >= at:
            tail[where - at:where - at + size] = bytes(size)
    z.tail = bytes(tail)
    # each local record runs to the next one, or to the central directory
    z.by_offset = sorted(z.entries, key=lambda e: e.offset)
    for e, nxt in zip(z.by_offset, z.by_offset[1:] + [None]):
        e.end = nxt.offset if nxt else z.cd_offset
        if data[e.offset:e.offset + 4] != b'PK\x03\x04':
            raise Different('%s: no local header for %r' % (path, e.name.decode(errors='replace')))
        e.local = dict(zip(LOCAL, struct.unpack_from('<HHHHHIII', data, e.offset + 4)))
        nlen, xlen = struct.unpack_from('<HH', data, e.offset + 26)
        e.local['name'] = data[e.offset + 30:e.offset + 30 + nlen]
        e.local['extra'] = data[e.offset + 30 + nlen:e.offset + 30 + nlen + xlen]
    z.prefix = data[:z.by_offset[0].offset if z.by_offset else z.cd_offset]
    z.data = data
    return z


def first_difference(a, b):
    """The first byte at which a and b differ (their shorter length when one
    starts the other), found a block at a time."""
    n, at, block = min(len(a), len(b)), 0, 1 << 20
    while at < n and a[at:at + block] == b[at:at + block]:
        at += block
    while at < n and a[at] == b[at]:
        at += 1
    return at


def compare(a, b):
    def differ(what, x, y):
        if x != y:
            raise Different('%s: %r vs %r' % (what, x, y))

    differ('bytes before the first entry', a.prefix, b.prefix)
    differ('number of entries', len(a.entries), len(b.entries))
    differ('central order', [e.name for e in a.entries], [e.name for e in b.entries])
    differ('local order', [e.name for e in a.by_offset], [e.name for e in b.by_offset])
    shift = 0  # how far the manifest's local record moves what follows it
    for ea, eb in zip(a.by_offset, b.by_offset):
        label = 'entry %r' % ea.name.decode(errors='replace')
        differ(label + ' offset', ea.offset, eb.offset + shift)
        if ea.manifest:
            for field in LOCAL:
                if field not in MANIFEST_MAY_DIFFER:
                    differ(label + ' local ' + field, ea.local[field], eb.local[field])
            differ(label + ' local name', ea.local['name'], eb.local['name'])
            differ(label + ' local extra', [x for x in extras(ea.local['extra']) if not may_differ(x)],
                   [x for x in extras(eb.local['extra']) if not may_differ(x)])
            shift += (ea.end - ea.offset) - (eb.end - eb.offset)
        else:
            ra, rb = a.data[ea.offset:ea.end], b.data[eb.offset:eb.end]
            if ANY_TIME:  # the local header's time and date
                ra, rb = ra[:10] + bytes(4) + ra[14:], rb[:10] + bytes(4) + rb[14:]
            if ra != rb:
                raise Different('%s local record (%d vs %d bytes) first differs at byte %d' %
                                (label, len(ra), len(rb), first_difference(ra, rb)))
        for field in CENTRAL:
            if ANY_TIME and field in ('time', 'date'):
                continue
            if not (ea.manifest and field in MANIFEST_MAY_DIFFER):
                differ(label + ' central ' + field, getattr(ea, field), getattr(eb, field))
        differ(label + ' central extra', [x for x in ea.extra if not (ea.manifest and may_differ(x))],
               [x for x in eb.extra if not (eb.manifest and may_differ(x))])
        differ(label + ' central comment', ea.comment, eb.comment)
    differ('central directory size', a.cd_size, b.cd_size)
    differ('central directory offset', a.cd_offset, b.cd_offset + shift)
    # the end records and the archive's comment, without the offsets they hold
    differ('end records and comment', a.tail, b.tail)


ANY_TIME = False


def main():
    global ANY_TIME
    args = sys.argv[1:]
    if args and args[0] == '--any-time':
        ANY_TIME, args = True, args[1:]
    try:
        compare(parse(args[0]), parse(args[1]))
    except Different as d:
        print('differ: %s' % d)
        return 1
    print('identical')
    return 0


if __name__ == '__main__':
    sys.exit(main())
