#!/usr/bin/env python3
"""Writes the fixtures of the tests of --single, --random, --makefemale, --strictmaf and the
closing large-odds-ratio warning, and the phenotypes that --random must draw for them.

separated.ped/.map: 41 cases, 38 controls and two individuals without a phenotype (-9 and 0),
of sex 1, 2 and 0 (unknown). rs1 nearly separates cases from controls (its allele A is in 29
cases and 2 controls), so its odds ratio is far above 20 while the logistic fit still converges;
rs2, rs3 (with missing calls) and rs5 are associated at ordinary strength, rs4 is not.
79 individuals with a phenotype: the last byte of each .bed block is partly filled.

maf_groups.ped/.map: 40 cases and 40 controls; SNP m<k> has the minor-allele frequencies of the
table below in cases and in controls, two of them exactly 0.2.

separated_random.expected: for each seed the tests use, the phenotype (1 or 2) of every
individual of separated.ped in file order, drawn as the program's generator defines it.

Run from this folder: python3 make_option_fixtures.py"""
import random

MASK = 0xFFFFFFFF

# chromosome, name, position, genotype counts of the cases, of the controls ("00": no call)
SEPARATED = [
    (1, "rs1", 1000, {"AG": 27, "AA": 2, "GG": 12}, {"AG": 2, "GG": 36}),
    (1, "rs2", 2000, {"CC": 14, "CT": 19, "TT": 8}, {"CC": 5, "CT": 15, "TT": 18}),
    (1, "rs3", 3000, {"AA": 11, "AC": 19, "CC": 8, "00": 3},
     {"AA": 4, "AC": 14, "CC": 17, "00": 3}),
    (2, "rs4", 1000, {"GG": 10, "GT": 21, "TT": 10}, {"GG": 10, "GT": 19, "TT": 9}),
    (2, "rs5", 2000, {"AA": 7, "AG": 20, "GG": 14}, {"AA": 2, "AG": 14, "GG": 22}),
]
CASES, CONTROLS = 41, 38
UNKNOWN_PHENOTYPES = ["-9", "0"]

# name, copies of the minor allele T among the 80 alleles of the cases, of the controls
MAF_GROUPS = [
    ("m1", 20, 20),  # 0.25 and 0.25
    ("m2", 8, 24),   # 0.1 in cases
    ("m3", 24, 8),   # 0.1 in controls
    ("m4", 16, 24),  # exactly 0.2 in cases
    ("m5", 24, 16),  # exactly 0.2 in controls
    ("m6", 40, 40),  # 0.5 and 0.5
]

RANDOM_SEEDS = [5, 6]


def column(counts, rng):
    cells = [g for g, n in counts.items() for _ in range(n)]
    rng.shuffle(cells)
    return cells


def write_separated(rng):
    columns = [(column(cases, rng), column(controls, rng))
               for _, _, _, cases, controls in SEPARATED]
    with open("separated.map", "w") as out:
        for chromosome, name, position, _, _ in SEPARATED:
            out.write(f"{chromosome} {name} 0 {position}\n")
    rows = []
    for i in range(CASES + CONTROLS):
        case = i < CASES
        row = i if case else i - CASES
        rows.append(("2" if case else "1", [(c[0] if case else c[1])[row] for c in columns]))
    # The individuals without a phenotype carry genotypes of the controls.
    for k, phenotype in enumerate(UNKNOWN_PHENOTYPES):
        rows.insert(10 + 30 * k, (phenotype, [c[1][k] for c in columns]))
    with open("separated.ped", "w") as out:
        for i, (phenotype, cells) in enumerate(rows):
            sex = "0" if i % 9 == 4 else str(1 + i % 2)
            genotypes = " ".join(f"{g[0]} {g[1]}" for g in cells)
            out.write(f"F{i + 1} I{i + 1} 0 0 {sex} {phenotype} {genotypes}\n")
    return len(rows)


def minor_column(copies, rng):
    # copies <= 40 heterozygotes among 40 individuals: the minor allele T has `copies` copies
    return column({"CT": copies, "CC": 40 - copies}, rng)


def write_maf_groups(rng):
    columns = [(minor_column(cases, rng), minor_column(controls, rng))
               for _, cases, controls in MAF_GROUPS]
    with open("maf_groups.map", "w") as out:
        for k, (name, _, _) in enumerate(MAF_GROUPS):
            out.write(f"1 {name} 0 {1000 * (k + 1)}\n")
    with open("maf_groups.ped", "w") as out:
        for i in range(80):
            case = i < 40
            cells = [(c[0] if case else c[1])[i % 40] for c in columns]
            genotypes = " ".join(f"{g[0]} {g[1]}" for g in cells)
            out.write(f"F{i + 1} I{i + 1} 0 0 {1 + i % 2} {2 if case else 1} {genotypes}\n")


class LaggedFibonacci:
    """The program's generator: 33 words filled from the seed by an LCG, then
    x(n) = x(n-33) + x(n-13) mod 2^32 on a ring, after 330 discarded steps."""

    def __init__(self, seed):
        self.state = [seed & MASK]
        for _ in range(32):
            self.state.append((self.state[-1] * 1103515245 + 12345) & MASK)
        self.lag, self.feed = 12, 32
        for _ in range(330):
            self.next()

    def next(self):
        x = self.state[self.feed] = (self.state[self.feed] + self.state[self.lag]) & MASK
        self.lag -= 1
        self.feed -= 1
        if self.feed < 0:
            self.feed = 32
        elif self.lag < 0:
            self.lag = 32
        return x

    def phenotype(self):
        return ((self.next() >> 1) & 1) + 1


def write_random_phenotypes(individuals):
    with open("separated_random.expected", "w") as out:
        out.write("# seed, then the phenotype of each individual of separated.ped in order\n")
        for seed in RANDOM_SEEDS:
            generator = LaggedFibonacci(seed)
            drawn = [generator.phenotype() for _ in range(individuals)]
            out.write(f"{seed} " + " ".join(str(p) for p in drawn) + "\n")


def main():
    rng = random.Random(20270117)
    individuals = write_separated(rng)
    write_maf_groups(rng)
    write_random_phenotypes(individuals)


main()
