#!/usr/bin/env python3
"""Writes tied.ped/.map: 80 cases and 80 controls, 48 SNPs in pairs of identical genotype
columns (rs1 and rs2, rs3 and rs4, ...), so that the two SNPs of a pair have equal p in every
scan, those of the resamples included. Every third pair, and pair 16 (rs33 and rs34), has a
per-allele odds ratio of 2.5, the others none. rs34 is the .map reader's record that follows the
growth of its SNP list past 32 entries: an allocator that hands it the list's freed buffer puts it
below rs33 in memory (glibc without its thread cache does), so an order of equal p that followed
the records' addresses would rank that pair the other way. Short names, so that the reader
allocates nothing else per SNP. Deterministic. Run from this folder: python3 make_tied_snps.py"""
import random

CASES, CONTROLS, PAIRS = 80, 80, 24


def main():
    rng = random.Random(5)
    columns = []
    for j in range(PAIRS):
        a1, a2 = rng.sample("ACGT", 2)
        control_freq = rng.uniform(0.2, 0.4)  # of a2, the risk allele
        odds = 2.5 if j % 3 == 0 or j == 16 else 1.0
        case_freq = odds * control_freq / (1 - control_freq + odds * control_freq)
        column = []
        for i in range(CASES + CONTROLS):
            freq = case_freq if i < CASES else control_freq
            column.append(" ".join(a2 if rng.random() < freq else a1 for _ in range(2)))
        columns += [column, column]
    with open("tied.map", "w") as out:
        for j in range(len(columns)):
            out.write("1 rs%d 0 %d\n" % (j + 1, 1000 * (j + 1)))
    with open("tied.ped", "w") as out:
        for i in range(CASES + CONTROLS):
            cells = ["F%d" % (i + 1), "I%d" % (i + 1), "0", "0", "1", "2" if i < CASES else "1"]
            out.write(" ".join(cells + [column[i] for column in columns]) + "\n")


main()
