#!/usr/bin/env python3
"""Checks that zuq does what the method promises, on simulated data with known effects.

Simulates case-control data sets (Hardy-Weinberg genotypes, a few SNPs with a true log-additive
effect, the rest null), runs zuq on each, and reports over all SNPs that zuq selected:
  - the mean bias of the naive estimate (log OR) and of Uboot against the true log OR,
  - with --L1/--L2, how often [CI_L, CI_U] covers the true log OR.
Not run by CI: a run takes minutes. Usage:
  bench/validate_bias.py ZUQ [--sets 20] [--cases 500] [--snps 500] [-- extra zuq options]
"""
import argparse
import os
import subprocess
import sys
import tempfile

from simulate_gwas import default_effects, simulate


def read_table(path):
    """Rows of the results table as dicts keyed by the header cells."""
    with open(path) as f:
        lines = [l.split() for l in f if l.strip()]
    header = lines[0]
    return [dict(zip(header, row)) for row in lines[1:]]


def number(text):
    return None if text == "NA" else float(text)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("zuq")
    parser.add_argument("--sets", type=int, default=20)
    parser.add_argument("--cases", type=int, default=500)
    parser.add_argument("--snps", type=int, default=500)
    parser.add_argument("--alpha", default="1e-3")
    parser.add_argument("--plink", default="/usr/lib/debian-med/bin/plink")
    args, extra = parser.parse_known_args()
    extra = [a for a in extra if a != "--"]
    effects = default_effects(args.snps)
    naive_bias, uboot_bias, covered, intervals = [], [], 0, 0
    with tempfile.TemporaryDirectory() as work:
        for s in range(args.sets):
            base = os.path.join(work, "set%d" % s)
            truth = simulate(base, 1000 + s, args.cases, args.cases, args.snps, effects)
            out = base + ".zuq"
            cmd = [args.zuq, "--file", base, "--plink", args.plink, "--alpha", args.alpha,
                   "--log", "--out", out,
                   "--seed", str(77 + s)] + extra
            run = subprocess.run(cmd, cwd=work, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                                 text=True)
            if run.returncode != 0:
                if "No Significant SNPs" in run.stdout:
                    continue
                sys.exit("zuq failed on set %d:\n%s" % (s, run.stdout[-2000:]))
            for row in read_table(out):
                risk, log_or = truth[row["SNP"]]
                true = log_or if row["A1"] == risk else -log_or
                naive, ub = number(row["LOGOR"]), number(row["UBOOT"])
                if naive is None or ub is None:
                    continue
                naive_bias.append(naive - true)
                uboot_bias.append(ub - true)
                lo, hi = number(row["CI_L"]), number(row["CI_U"])
                if lo is not None and hi is not None:
                    intervals += 1
                    covered += lo <= true <= hi
    n = len(naive_bias)
    if n == 0:
        sys.exit("no SNP was selected in any data set")
    print("data sets: %d, selected SNPs: %d" % (args.sets, n))
    print("mean bias of the naive estimate: %+.4f" % (sum(naive_bias) / n))
    print("mean bias of Uboot:              %+.4f" % (sum(uboot_bias) / n))
    if intervals:
        print("interval coverage of the true log OR: %.3f (%d intervals)" %
              (covered / intervals, intervals))


if __name__ == "__main__":
    main()
