"""The compiled kernels do the stated work in every iteration.

The reported rates assume 2^27 iterations carried out one by one; a compiler
that vectorises, merges or folds the loops would make them meaningless without
failing any result check. This reads the kernels' machine code from the
library the program links (path given on the command line) and checks what
each loop is made of, as GCC builds it for x86-64 with the optimised flags of
a release build; a debug build keeps its helper calls and is not checked.
"""

import re
import subprocess
import sys
import unittest

ARCHIVE = sys.argv.pop(1) if len(sys.argv) > 1 else None

# Packed double or wide-register arithmetic: the sign of a vectorised loop.
PACKED = re.compile(r"\b(v?(add|sub|mul|div|sqrt|min|max)pd|cvt\w*2pd|cvtpd\w*)\b|%[yz]mm")
CALL = re.compile(r"R_X86_64_PLT32\s+(\w+)")


def functions():
    dump = subprocess.run(["objdump", "-d", "-r", "--no-show-raw-insn", "-C", ARCHIVE],
                          check=True, capture_output=True, text=True).stdout
    found = {}
    name = None
    for line in dump.splitlines():
        header = re.match(r"^[0-9a-f]+ <(.+)>:$", line)
        if header:
            name = header.group(1)
            found[name] = []
        elif name and line.strip():
            found[name].append(line.strip())
    return found


def slot_accesses(code):
    """Reads and writes of the volatile slot in the loop: the stack word the function sets
    to 0 before it, that first store not counted."""
    init = [re.search(r"movq\s+\$0x0,(-?0x[0-9a-f]+\(%rsp\))", l) for l in code]
    where = next(m.group(1) for m in init if m)
    reads = sum(1 for l in code if re.search(r"\bmov\s+" + re.escape(where) + r",%r", l))
    writes = sum(1 for l in code if re.search(r"\bmov\s+%r\w+," + re.escape(where), l))
    return reads, writes


@unittest.skipUnless(ARCHIVE, "path of the kernels' library not given")
class KernelCode(unittest.TestCase):

    @classmethod
    def setUpClass(cls):
        cls.code = functions()

    def kernel(self, name):
        self.assertIn(name, self.code)
        return self.code[name]

    def check_pow_kernel(self, name):
        code = self.kernel(name)
        calls = [m.group(1) for m in map(CALL.search, code) if m]
        pows = calls.count("pow")
        self.assertGreaterEqual(pows, 1)
        self.assertTrue(set(calls) <= {"pow", "sin", "sqrt", "log"}, calls)
        # One 64-bit unsigned division per pow call, on a register.
        self.assertGreaterEqual(sum(1 for l in code if re.search(r"\bdivq?\s+%r\w+$", l)), pows)
        self.assertFalse([l for l in code if PACKED.search(l)])
        self.assertTrue(any("$0x8000000," in l for l in code), "loop bound 2^27")
        # The slot: set once per iteration, read for the load, the divisor and the store.
        reads, writes = slot_accesses(code)
        self.assertEqual(writes, pows)
        self.assertEqual(reads, 3 * pows)
        return code

    def test_float_kernel(self):
        self.check_pow_kernel("floatStream()")

    def test_integer_kernel_converts_with_the_range_check(self):
        code = self.check_pow_kernel("integerStream()")
        self.assertTrue(any("cvttsd2si" in l for l in code))
        self.assertTrue(any("$0x8000000000000000" in l for l in code), "INT64_MIN stored")
        self.assertGreaterEqual(sum(1 for l in code if re.search(r"\bu?comisd\b", l)), 2)

    def test_logic_kernel_keeps_conversion_and_comparison(self):
        code = self.kernel("logicStream()")
        self.assertFalse([l for l in code if CALL.search(l)])
        self.assertFalse([l for l in code if PACKED.search(l)])
        self.assertTrue(any(re.search(r"\bcvtsi2sd", l) for l in code), "unsigned to double")
        compares = sum(1 for l in code if re.search(r"\bu?comisd\b", l))
        stores = sum(1 for l in code if re.search(r"\bset\w+\s+\(", l))
        self.assertGreaterEqual(compares, 1)
        self.assertEqual(compares, stores, "every comparison's result is stored")
        reads, writes = slot_accesses(code)
        self.assertEqual(writes, stores)
        self.assertEqual(reads, stores)


if __name__ == "__main__":
    unittest.main(verbosity=2)
