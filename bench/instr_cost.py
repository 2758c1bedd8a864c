#!/usr/bin/env python3
"""Prints one function's machine code with how often each instruction ran,
from a callgrind file written with --dump-instr=yes (see instr_cost.sh).

usage: instr_cost.py CALLGRIND_FILE BINARY DIVISOR UNIT [FUNCTION]
Counts are divided by DIVISOR, the number of UNITs (polygons, frames) drawn.
FUNCTION picks, among the functions whose names contain it, the one that ran
the most instructions of its own; without it, the busiest function of BINARY.
"""
import collections
import os
import re
import subprocess
import sys


def read_counts(path, binary):
    """Instructions run at each address of the binary's functions, by name."""
    counts = collections.defaultdict(collections.Counter)
    names = {"fn": {}, "ob": {}}  # the file's compressed names: (id) -> name
    current = {"fn": None, "ob": None}
    address = 0
    after_call = False
    ours = os.path.basename(binary)
    for line in open(path, encoding="utf-8", errors="replace"):
        named = re.match(r"(c?)(fn|ob)=\((\d+)\)(?: (.*))?$", line.rstrip("\n"))
        if named:
            table = names[named.group(2)]
            if named.group(4):
                table[named.group(3)] = named.group(4)
            if not named.group(1):  # cfn= and cob= only name a call's target
                current[named.group(2)] = table.get(named.group(3))
            continue
        if line.startswith("calls="):
            after_call = True  # the next cost line is the call's, not this code's
            continue
        if not line or line[0] not in "0123456789+-*":
            continue
        fields = line.split()
        position = fields[0]
        if position.startswith("+"):
            address += int(position[1:], 0)
        elif position.startswith("-"):
            address -= int(position[1:], 0)
        elif position != "*":
            address = int(position, 0)
        if after_call:
            after_call = False
            continue
        function, obj = current["fn"], current["ob"]
        if len(fields) >= 3 and function and obj and os.path.basename(obj) == ours:
            counts[function][address] += int(fields[2])
    return counts


def symbol_range(binary, name):
    listing = subprocess.run(["nm", "-C", "-S", binary], capture_output=True, text=True).stdout
    for line in listing.splitlines():
        parts = line.split(" ", 3)
        if len(parts) == 4 and parts[3] == name:
            start = int(parts[0], 16)
            return start, start + int(parts[1], 16)
    return None


def main():
    if len(sys.argv) not in (5, 6):
        sys.exit(__doc__.strip())
    path, binary, divisor, unit = sys.argv[1], sys.argv[2], float(sys.argv[3]), sys.argv[4]
    wanted = sys.argv[5] if len(sys.argv) == 6 else ""
    counts = read_counts(path, binary)
    candidates = [f for f in counts if wanted in f]
    if not candidates:
        sys.exit(f"instr_cost.py: no function of {binary} whose name holds '{wanted}' ran")
    function = max(candidates, key=lambda f: sum(counts[f].values()))
    found = symbol_range(binary, function)
    if found is None:
        sys.exit(f"instr_cost.py: no symbol {function} in {binary}")
    code = subprocess.run(
        ["objdump", "-d", "-C", "--no-show-raw-insn", "-M", "intel",
         f"--start-address={found[0]:#x}", f"--stop-address={found[1]:#x}", binary],
        capture_output=True, text=True).stdout
    ran = counts[function]
    print(f"{function}: each instruction's runs per {unit}")
    for line in code.splitlines():
        instruction = re.match(r"\s*([0-9a-f]+):\s*(.*)", line)
        if instruction:
            n = ran.get(int(instruction.group(1), 16), 0) / divisor
            print(f"{n:9.2f}  {instruction.group(1)}  {instruction.group(2)}" if n else
                  f"{'.':>9}  {instruction.group(1)}  {instruction.group(2)}")
    print(f"total {sum(ran.values()) / divisor:.1f} instructions per {unit}")


main()
