#!/usr/bin/env python3
"""Writes the seed corpus of partial_results_fuzz: one well-formed partial file on the fuzz data
set of 40 SNPs (rs1 .. rs40), as the three versions of the file end: after the level-1 part,
with the SNP-list line, and with the whole last line (SNP list, instance 1/1, content hash).
Run: python3 fuzz/make_partial_results_corpus.py"""
import os
import sys

top = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(top, "src", "bootstrap", "testdata"))
from partial_file_hashes import last_line, snp_list_line  # noqa: E402

BODY = ("2\n5\n2\n"
        "0 A 0.001 1.8 A 1.7 A 1.6\n"
        "3 G 0.004 1.5 G 1.4 G 1.3\n"
        "2\n"
        "1\n"
        "1 A 0.002 1.7 A 1.6 A 1.5\n"
        "2\n"
        "0 A 0.001 1.9 A 1.8 A 1.7\n"
        "5 T 1e+81 1e+81 T 1e+81 T 1e+81\n"
        "1\n"
        "2\n"
        "1.2 1.1 \n")
NAMES = ["rs%d" % (j + 1) for j in range(40)]

corpus = os.path.join(top, "fuzz", "corpus", "partial_results")
seeds = {
    "two_replicates": BODY,
    "two_replicates_snp_list": BODY + snp_list_line(NAMES) + "\n",
    "two_replicates_last_line": BODY + last_line(BODY, NAMES, 1, 1) + "\n",
}
for name, text in seeds.items():
    with open(os.path.join(corpus, name), "w") as out:
        out.write(text)
