#!/usr/bin/env python3
"""Re-derives the values pinned by DatumGlobals.ScriptedTraceAndDigestArePinned.

A plain model of a record array (slot and identifier choice, deletion,
compaction) driven by the test's script; run by hand, not in CI:
    python3 tools/models/data_array_script.py
"""
import zlib

FIRST_IDENTIFIER = -32768


def following(identifier):
    # 0xFFFF (-1) is followed by 0x8000.
    return FIRST_IDENTIFIER if identifier == -1 else identifier + 1


class Array:
    def __init__(self, maximum):
        self.ids = [0] * maximum
        self.first_free = 0
        self.count = 0
        self.total = 0
        self.next_id = FIRST_IDENTIFIER

    def new(self):
        index = max(self.first_free, 0)
        while index < len(self.ids) and self.ids[index] != 0:
            index += 1
        if index >= len(self.ids):
            return -1
        self.ids[index] = self.next_id
        self.next_id = following(self.next_id)
        self.total += 1
        self.first_free = index + 1
        self.count = max(self.count, index + 1)
        return index

    def delete(self, index):
        if self.ids[index] == 0:
            return
        self.ids[index] = 0
        self.first_free = min(self.first_free, index)
        if index + 1 == self.count:
            while self.count > 0 and self.ids[self.count - 1] == 0:
                self.count -= 1
        self.total -= 1

    def compress(self):
        live = [i for i in self.ids[:self.count] if i != 0]
        self.ids = live + [0] * (len(self.ids) - len(live))
        self.count = self.total = self.first_free = len(live)

    def digest(self):
        data = bytearray()
        for value in (self.count, self.total, self.first_free, self.next_id):
            data += (value & 0xFFFF).to_bytes(2, "little")
        for index in range(self.count):
            if self.ids[index] != 0:
                data += index.to_bytes(2, "little") + (self.ids[index] & 0xFFFF).to_bytes(2, "little")
        return zlib.crc32(bytes(data))


def main():
    array = Array(400)
    seed = 12345
    trace = bytearray()
    for step in range(10000):
        seed = (seed * 1664525 + 1013904223) & 0xFFFFFFFF
        draw = seed >> 16
        if draw % 400 >= array.total:
            index = array.new()
            identifier = 0 if index == -1 else array.ids[index]
            for field in (index, identifier):
                trace += (field & 0xFFFF).to_bytes(2, "little")
        else:
            n = draw % array.total
            for index in range(array.count):
                if array.ids[index] == 0:
                    continue
                if n == 0:
                    array.delete(index)
                    break
                n -= 1
        if step == 4999:
            array.compress()
    print("total_count", array.total)
    print("trace crc 0x%08X" % zlib.crc32(bytes(trace)))
    print("digest 0x%08X" % array.digest())


if __name__ == "__main__":
    main()
