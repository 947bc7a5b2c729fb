# SPDX-FileCopyrightText: 2026 The libTrelvo developers
# SPDX-License-Identifier: MIT

"""Reads the disassembly of the front end and checks that each plain
forwarder, once the library is ready, reaches the implementation in a few
instructions: every path through the forwarder's own body that ends in an
indirect branch (the tail call) is at most the limit long, counting the
branch, and has no call, no stack frame and no store on the way. The
initialization path lies outside the body (a .cold part or a function of its
own) and is not followed.

    check-forwarders.py OBJDUMP LIBRARY aarch64|x86_64 .../api/EntryPoints.h
"""
import re
import subprocess
import sys

# On x86-64 the client's call also passes through a PLT jump: with it, a
# required forwarder may add at most 6 instructions to a direct call and an
# optional one at most 8.
RULES = {
    "aarch64": dict(
        comment="//", landing_pad=r"^bti$", limits={"Required": 10, "Optional": 10},
        indirect_branch=r"^br", call=r"^bl", conditional_branch=r"^(b\.|cbn?z$|tbn?z$)",
        direct_branch=r"^b$", stack_use=r"(^|[^a-z0-9_])(w?sp|x29)([^a-z0-9_]|$)"),
    "x86_64": dict(
        comment="#", landing_pad=r"^endbr64$", limits={"Required": 5, "Optional": 7},
        indirect_branch=r"^jmp\*", call=r"^call", conditional_branch=r"^j",
        direct_branch=r"^jmp$", stack_use=r"^(push|pop|enter|leave)|%[re]?(sp|bp)"),
}
AARCH64_STORE = r"^(st|swp|cas|ld(add|clr|eor|set|smax|smin|umax|umin))"
PREFIXES = r"^((notrack|bnd|rep|repz|lock|cs|ds|data16) +)+"
LONGEST_PATH = 64


def forwarders(description):
    """The plain forwarders and their bindings, from the rows
    "X(symbol, binding, Forwarded," of the entry points' description."""
    with open(description) as text:
        return re.findall(r"X\(([A-Za-z_]+), *([A-Za-z]+), *Forwarded", text.read())


def is_store(processor, mnemonic, operands):
    if processor == "aarch64":
        return re.match(AARCH64_STORE, mnemonic) is not None
    # AT&T syntax: the destination is the last operand, a store when it is memory.
    if re.match(r"^(cmp|test|j|call|nop|lea)", mnemonic):
        return False
    return "(" in re.sub(r"\([^)]*\)", "(m)", operands).split(",")[-1]


def disassemble(objdump, library, rules, name):
    """The function's instructions as (address, mnemonic, operands); an
    indirect x86 jump gets the mnemonic "jmp*"."""
    text = subprocess.run([objdump, "-d", "--no-show-raw-insn", f"--disassemble={name}", library],
                          check=True, capture_output=True, text=True).stdout
    instructions = []
    for line in text.splitlines():
        match = re.match(r"^ *([0-9a-f]+):\t(.*)$", line)
        if not match:
            continue
        instruction = re.sub(r"[ \t]*" + re.escape(rules["comment"]) + ".*$", "", match[2])
        mnemonic, operands = re.match(r"^([a-z0-9.]*)[ \t]*(.*)$",
                                      re.sub(PREFIXES, "", instruction)).groups()
        # Branch-protection landing pads are no-ops on the way: not counted.
        if re.match(rules["landing_pad"], mnemonic):
            continue
        # Older objdump spells the 64-bit jumps and calls "jmpq", "callq".
        mnemonic = re.sub(r"^(jmp|call)q$", r"\1", mnemonic)
        if mnemonic == "jmp" and operands.startswith("*"):
            mnemonic = "jmp*"
        instructions.append((int(match[1], 16), mnemonic, operands))
    return instructions


def check(instructions, rules, processor, name, limit):
    """Follows every path from the entry; returns the problems found and the
    longest path that ends in an indirect branch (0 when none does)."""
    if not instructions:
        return [f"{name}: not found in the library"], 0
    index_of = {address: index for index, (address, _, _) in enumerate(instructions)}

    def target(operands):
        match = re.search(r"([0-9a-f]+) <", operands)
        return index_of.get(int(match[1], 16), -1) if match else -1

    problems, longest, pending = [], 0, [(0, 0)]
    while pending:
        index, length = pending.pop(0)
        while 0 <= index < len(instructions):
            length += 1
            _, mnemonic, operands = instructions[index]
            indirect = re.match(rules["indirect_branch"], mnemonic)
            problem = None
            if length > LONGEST_PATH:
                problem = "the path does not end"
            elif indirect:
                longest = max(longest, length)
                if length > limit:
                    problem = f"more than {limit} instructions"
            elif re.match(rules["call"], mnemonic):
                problem = "a call"
            elif re.search(rules["stack_use"], mnemonic) or re.search(rules["stack_use"], operands):
                problem = "uses the stack"
            elif is_store(processor, mnemonic, operands):
                problem = "writes to memory"
            if problem:
                problems.append(f"{name}: instruction {length}, '{mnemonic} {operands}': {problem}")
            if problem or indirect or mnemonic.startswith("ret"):
                break
            if re.match(rules["direct_branch"], mnemonic):
                index = target(operands)
                continue
            if re.match(rules["conditional_branch"], mnemonic) and target(operands) >= 0:
                pending.append((target(operands), length))
            index += 1
    if longest == 0 and not problems:
        problems.append(f"{name}: no path ends in an indirect branch")
    return problems, longest


def main(objdump, library, processor, description):
    rules = RULES.get(processor)
    if rules is None:
        sys.exit(f"No rules for the processor '{processor}'")
    rows = forwarders(description)
    if {binding for _, binding in rows} != {"Required", "Optional"}:
        sys.exit(f"No forwarders of both bindings described in {description}")
    problems = []
    for name, binding in sorted(rows, key=lambda row: row[1] != "Required"):
        limit = rules["limits"][binding]
        found, longest = check(disassemble(objdump, library, rules, name), rules, processor,
                               name, limit)
        problems += found
        print(f"{name} ({binding.lower()}): {longest} instructions to the tail call"
              f" (limit {limit})")
    if problems:
        sys.exit("Forwarders off the fast path shape:\n  " + "\n  ".join(problems))


if __name__ == "__main__":
    main(*sys.argv[1:])
