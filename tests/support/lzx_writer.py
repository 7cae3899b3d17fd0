"""Cabinets of LZX units, which none of the host's tools writes (Wine's
cabinet library stores LZX units uncompressed): a small LZX compressor of
verbatim blocks with literals and matches, and the cabinet around it.
cabextract reads what it makes, so the engine's reading can be compared."""
import heapq
import struct
import zlib

NUM_CHARS = 256
MIN_MATCH = 2
MAX_MATCH = 257
FRAME = 32768


def extra_bits(slot):
    return 0 if slot < 4 else min((slot - 2) // 2, 17)


def position_bases():
    bases, base = [], 0
    for slot in range(51):
        bases.append(base)
        base += 1 << extra_bits(slot)
    return bases


BASES = position_bases()


def slot_of(formatted):
    slot = 0
    while slot + 1 < len(BASES) and BASES[slot + 1] <= formatted:
        slot += 1
    return slot


class Bits:
    """16-bit little-endian words, most significant bit first."""

    def __init__(self):
        self.out = bytearray()
        self.word = 0
        self.count = 0

    def put(self, value, bits):
        for i in range(bits - 1, -1, -1):
            self.word = ((self.word << 1) | ((value >> i) & 1)) & 0xFFFF
            self.count += 1
            if self.count == 16:
                self.out += struct.pack("<H", self.word)
                self.word = self.count = 0

    def align(self):
        if self.count:
            self.put(0, 16 - self.count)


def code_lengths(frequencies, limit=16):
    """Huffman code lengths of at most limit bits, a complete code."""
    used = [s for s, f in enumerate(frequencies) if f]
    lengths = [0] * len(frequencies)
    if len(used) == 1:
        used.append(0 if used[0] != 0 else 1)
    while True:
        heap = [(max(frequencies[s], 1), i, [s]) for i, s in enumerate(used)]
        heapq.heapify(heap)
        order = len(heap)
        while len(heap) > 1:
            fa, _, a = heapq.heappop(heap)
            fb, _, b = heapq.heappop(heap)
            for s in a + b:
                lengths[s] += 1
            heapq.heappush(heap, (fa + fb, order, a + b))
            order += 1
        if max(lengths) <= limit:
            return lengths
        # Flatter frequencies until the code fits.
        frequencies = [(f + 1) // 2 if f else 0 for f in frequencies]
        lengths = [0] * len(frequencies)


def canonical_codes(lengths):
    codes, code = {}, 0
    for length in range(1, 17):
        for s, l in enumerate(lengths):
            if l == length:
                codes[s] = (code, length)
                code += 1
        code <<= 1
    return codes


# A complete pretree: 15 symbols of 4 bits and symbols 15 and 16 of 5.
PRETREE = [4] * 15 + [5, 5, 0, 0, 0]
PRETREE_CODES = canonical_codes(PRETREE)


def write_lengths(bits, previous, lengths):
    """Code lengths as deltas against the previous block's, one pretree
    symbol each."""
    for length in PRETREE:
        bits.put(length, 4)
    for old, new in zip(previous, lengths):
        code, size = PRETREE_CODES[(old - new) % 17]
        bits.put(code, size)


def matches(data):
    """Literals and (length, offset) matches found by a hash of 3 bytes."""
    tokens, last, i = [], {}, 0
    while i < len(data):
        key = data[i:i + 3]
        j = last.get(key)
        last[key] = i
        if j is not None and len(key) == 3:
            length = 0
            while i + length < len(data) and length < MAX_MATCH and data[j + length] == data[i + length]:
                length += 1
            if length >= 3:
                tokens.append((length, i - j))
                for k in range(i + 1, i + length):
                    last[data[k:k + 3]] = k
                i += length
                continue
        tokens.append(data[i])
        i += 1
    return tokens


def lzx_frame(data, window_bits):
    """One frame (at most 32 KB) as one verbatim block."""
    assert len(data) <= FRAME
    slots = 42 if window_bits == 20 else 50 if window_bits == 21 else window_bits * 2
    main_count = NUM_CHARS + slots * 8
    tokens = matches(data)
    main_freq, length_freq = [0] * main_count, [0] * 249
    encoded = []
    for token in tokens:
        if isinstance(token, int):
            main_freq[token] += 1
            encoded.append((token, None, None))
            continue
        length, offset = token
        formatted = offset + 2
        slot = slot_of(formatted)
        header = min(length - MIN_MATCH, 7)
        element = NUM_CHARS + slot * 8 + header
        main_freq[element] += 1
        footer = length - MIN_MATCH - 7 if header == 7 else None
        if footer is not None:
            length_freq[footer] += 1
        encoded.append((element, footer, (formatted - BASES[slot], extra_bits(slot)) if slot != 3 else None))
    main_lengths = code_lengths(main_freq)
    length_lengths = code_lengths(length_freq) if any(length_freq) else [0] * 249
    main_codes, length_codes = canonical_codes(main_lengths), canonical_codes(length_lengths)
    bits = Bits()
    bits.put(0, 1)  # no E8 translation
    bits.put(1, 3)  # verbatim block
    bits.put(len(data), 24)
    write_lengths(bits, [0] * 256, main_lengths[:256])
    write_lengths(bits, [0] * (main_count - 256), main_lengths[256:])
    write_lengths(bits, [0] * 249, length_lengths)
    for element, footer, verbatim in encoded:
        bits.put(*main_codes[element])
        if footer is not None:
            bits.put(*length_codes[footer])
        if verbatim is not None and verbatim[1]:
            bits.put(verbatim[0], verbatim[1])
    bits.align()
    return bytes(bits.out)


def checksum(data, seed):
    value = seed
    for i in range(len(data) // 4):
        value ^= struct.unpack_from("<I", data, 4 * i)[0]
    rest = data[len(data) // 4 * 4:]
    tail = 0
    for b in rest:
        tail = (tail << 8) | b
    return value ^ tail


def lzx_cabinet(files, window_bits, mszip_files=()):
    """A cabinet of one LZX unit holding the files (name, bytes), all of
    them together at most one frame; given mszip_files, an MSZIP unit of
    one block holding them comes first."""
    units = []
    if mszip_files:
        plain = b"".join(data for _, data in mszip_files)
        packer = zlib.compressobj(9, zlib.DEFLATED, -15)
        units.append((1, mszip_files, plain, b"CK" + packer.compress(plain) + packer.flush()))
    plain = b"".join(data for _, data in files)
    units.append((3 | window_bits << 8, files, plain, lzx_frame(plain, window_bits)))
    records = b""
    for index, (_method, unit_files, _plain, _packed) in enumerate(units):
        offset = 0
        for name, data in unit_files:
            records += struct.pack("<IIHHHH", len(data), offset, index, 0x5021, 0, 0x20) + name.encode() + b"\0"
            offset += len(data)
    files_at = 36 + 8 * len(units)
    at = files_at + len(records)
    folders = b""
    blocks = b""
    for method, _files, plain, packed in units:
        folders += struct.pack("<IHH", at, 1, method)
        csum = checksum(struct.pack("<HH", len(packed), len(plain)), checksum(packed, 0))
        block = struct.pack("<IHH", csum, len(packed), len(plain)) + packed
        blocks += block
        at += len(block)
    header = struct.pack("<IIIIIIBBHHHHH", 0x4643534D, 0, at, 0, files_at, 0, 3, 1, len(units),
                         sum(len(unit[1]) for unit in units), 0, 0x26, 0)
    return header + folders + records + blocks
