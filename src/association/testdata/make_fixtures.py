#!/usr/bin/env python3
"""Writes the small PLINK text data sets that the association-scan tests read.

cc      123 individuals (3 with a missing phenotype), 41 SNPs: ordinary SNPs with about 3%
        missing genotypes, and SNPs built for the corner cases (monomorphic for either letter,
        all missing, rare alleles, a genotype cell one below and one at the --cell minimum, all
        heterozygous, one heterozygote, only cases typed, a strong effect). The word boundary of
        the packed genotypes lies between SNPs 31 and 32.
sparse  45 individuals (1 missing phenotype), 33 SNPs, 20% missing genotypes: many empty and
        small genotype cells, for the --cell 0 and --cell 3 runs.
qt      101 individuals (1 missing phenotype), 33 SNPs, a quantitative phenotype: ordinary SNPs,
        some with an effect, and SNPs without a computable regression (monomorphic, all
        heterozygous, all missing, two typed individuals) or with few typed ones.

Deterministic: the same seed gives the same files. Usage: make_fixtures.py [directory]
"""
import os
import random
import sys

SEED = 20240611


def genotype_text(letters, copies):
    """The .ped pair for a count of copies of letters[1]; None is a missing genotype."""
    if copies is None:
        return "0 0"
    a, b = letters
    return [a + " " + a, a + " " + b, b + " " + b][copies]


def draw_copies(rng, freq, missing_rate):
    if rng.random() < missing_rate:
        return None
    return (rng.random() < freq) + (rng.random() < freq)


def crafted_column(rng, groups, phenotypes):
    """Copies per individual from exact genotype counts per group: groups maps a phenotype to
    (n0, n1, n2, missing) counts, which must add up to that group's size."""
    pools = {}
    for phenotype, counts in groups.items():
        pool = [0] * counts[0] + [1] * counts[1] + [2] * counts[2] + [None] * counts[3]
        rng.shuffle(pool)
        pools[phenotype] = pool
    return [pools[p].pop() if p in pools else None for p in phenotypes]


def write_map(path, names):
    with open(path, "w") as out:
        for j, name in enumerate(names):
            out.write("%d %s 0 %d\n" % (1 + j // 20, name, 1000 + 137 * j))


def write_ped(path, prefix, phenotypes, columns, letters):
    with open(path, "w") as out:
        for i, phenotype in enumerate(phenotypes):
            fields = [prefix + "F%d" % (i + 1), "I%d" % (i + 1), "0", "0", str(1 + i % 2),
                      phenotype]
            fields += [genotype_text(letters[j], columns[j][i]) for j in range(len(columns))]
            out.write(" ".join(fields) + "\n")


def random_letters(rng):
    return tuple(rng.sample("ACGT", 2))


def case_control(rng, directory):
    n = 123
    missing_rows = {4, 49, 99}
    status = []
    for i in range(n):
        status.append("-9" if i in missing_rows else ("2" if len(status) % 2 else "1"))
    rng.shuffle(status)
    counted = [s for s in status if s != "-9"]
    n_case, n_ctrl = counted.count("2"), counted.count("1")
    columns, letters = [], []
    special = {
        3: "monomorphic", 7: "allmissing", 11: "rare", 15: "cellbelow", 16: "cellat",
        19: "allhet", 23: "onehet", 27: "strong", 31: "cellbelow2", 32: "monomorphic2",
        36: "casesonly", 40: "tworare",
    }
    for j in range(41):
        kind = special.get(j, "ordinary")
        pair = random_letters(rng)
        if kind == "ordinary":
            freq = rng.uniform(0.12, 0.5)
            shift = rng.choice([0, 0, 0, 0.1, -0.08])
            col = [draw_copies(rng, min(0.95, max(0.02, freq + (shift if s == "2" else 0))), 0.03)
                   for s in status]
        elif kind == "monomorphic":
            col = [None if rng.random() < 0.05 else 0 for _ in status]
        elif kind == "monomorphic2":
            col = [None if i == 0 or rng.random() < 0.05 else 2 for i in range(n)]
        elif kind == "allmissing":
            col = [None] * n
        elif kind == "rare":
            col = [draw_copies(rng, 0.04, 0.02) for _ in status]
        elif kind in ("cellbelow", "cellat", "cellbelow2"):
            small = 4 if kind != "cellat" else 5
            if kind == "cellbelow2":  # heterozygous controls one short of the minimum
                groups = {"2": (20, 25, n_case - 45 - 2, 2), "1": (30, small, n_ctrl - 34 - 1, 1)}
            else:  # homozygous cases of the second letter at or below the minimum
                groups = {"2": (26, 28, small, n_case - 54 - small), "1": (22, 27, 10, n_ctrl - 59)}
            col = crafted_column(rng, groups, status)
        elif kind == "allhet":
            col = [None if rng.random() < 0.04 else 1 for _ in status]
        elif kind == "onehet":
            col = [0] * n
            col[rng.randrange(n)] = 1
        elif kind == "strong":
            col = [draw_copies(rng, 0.65 if s == "2" else 0.2, 0.02) for s in status]
        elif kind == "casesonly":
            col = [draw_copies(rng, 0.3, 0.0) if s == "2" else None for s in status]
        elif kind == "tworare":
            col = [0] * n
            for i in rng.sample(range(n), 2):
                col[i] = 1
        columns.append(col)
        letters.append(pair)
    names = ["cc%d" % (j + 1) for j in range(41)]
    write_map(os.path.join(directory, "cc.map"), names)
    write_ped(os.path.join(directory, "cc.ped"), "C", status, columns, letters)


def sparse(rng, directory):
    n = 45
    status = [rng.choice("12") for _ in range(n)]
    status[17] = "-9"
    columns = [[draw_copies(rng, rng.uniform(0.05, 0.5), 0.2) for _ in range(n)]
               for _ in range(33)]
    letters = [random_letters(rng) for _ in range(33)]
    names = ["sp%d" % (j + 1) for j in range(33)]
    write_map(os.path.join(directory, "sparse.map"), names)
    write_ped(os.path.join(directory, "sparse.ped"), "S", status, columns, letters)


def quantitative(rng, directory):
    n = 101
    special = {2: "monomorphic", 5: "allhet", 9: "allmissing", 13: "twotyped",
               17: "threetyped", 21: "halfmissing", 31: "fivetyped"}
    columns, letters, effects = [], [], []
    for j in range(33):
        kind = special.get(j, "ordinary")
        if kind == "ordinary":
            col = [draw_copies(rng, rng.uniform(0.1, 0.5), 0.03) for _ in range(n)]
        elif kind == "monomorphic":
            col = [None if rng.random() < 0.05 else 2 for _ in range(n)]
        elif kind == "allhet":
            col = [None if rng.random() < 0.05 else 1 for _ in range(n)]
        elif kind == "allmissing":
            col = [None] * n
        else:
            typed = {"twotyped": 2, "threetyped": 3, "fivetyped": 5, "halfmissing": n // 2}[kind]
            keep = set(rng.sample(range(n), typed))
            col = [draw_copies(rng, 0.4, 0.0) if i in keep else None for i in range(n)]
            if kind == "twotyped":
                col = [None] * n
                a, b = sorted(keep)
                col[a], col[b] = 0, 2
        columns.append(col)
        letters.append(random_letters(rng))
        effects.append(rng.choice([0, 0, 0, 0.8, -0.6]) if kind == "ordinary" else 0)
    phenotypes = []
    for i in range(n):
        y = 10 + rng.gauss(0, 1.5)
        y += sum(e * (columns[j][i] or 0) for j, e in enumerate(effects))
        phenotypes.append("%.4f" % y)
    phenotypes[60] = "-9"
    names = ["qt%d" % (j + 1) for j in range(33)]
    write_map(os.path.join(directory, "qt.map"), names)
    write_ped(os.path.join(directory, "qt.ped"), "Q", phenotypes, columns, letters)


def main(directory):
    rng = random.Random(SEED)
    case_control(rng, directory)
    sparse(rng, directory)
    quantitative(rng, directory)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__)))
