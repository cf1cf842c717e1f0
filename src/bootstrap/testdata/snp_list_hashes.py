#!/usr/bin/env python3
# Expected SNP-list lines of cluster_runs_test.cpp: 64-bit FNV-1a over the SNP names in index
# order, each followed by "\n", computed here independently of the program.
# Run: python3 src/bootstrap/testdata/snp_list_hashes.py


def fnv1a(names):
    value = 14695981039346656037
    for name in names:
        for byte in (name + "\n").encode():
            value = ((value ^ byte) * 1099511628211) % 2**64
    return "%016x" % value


cases = {
    "rs0..rs5": ["rs%d" % i for i in range(6)],
    "rs0..rs5 with rs4 and rs5 swapped": ["rs0", "rs1", "rs2", "rs3", "rs5", "rs4"],
    "no SNP": [],
}
for what, names in cases.items():
    print("%s: snps %d %s" % (what, len(names), fnv1a(names)))
