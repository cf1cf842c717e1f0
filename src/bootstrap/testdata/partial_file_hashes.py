#!/usr/bin/env python3
# Expected last lines of the partial files of cluster_runs_test.cpp, computed here independently
# of the program: the SNP-list line ("snps", the count and the 64-bit FNV-1a hash of the SNP names
# in index order, each followed by "\n"), and the whole last line, which adds the instance k/n
# and the FNV-1a hash of every byte of the file before its 16 hex digits.
# Run: python3 src/bootstrap/testdata/partial_file_hashes.py
# (fuzz/make_partial_results_corpus.py takes its functions.)

FNV_OFFSET_BASIS = 14695981039346656037
FNV_PRIME = 1099511628211


def fnv1a(data, value=FNV_OFFSET_BASIS):
    for byte in data:
        value = ((value ^ byte) * FNV_PRIME) % 2**64
    return value


def snp_list_line(names):
    return "snps %d %016x" % (len(names), fnv1a(b"".join((n + "\n").encode() for n in names)))


def last_line(body, names, k, n):
    start = "%s instance %d/%d content " % (snp_list_line(names), k, n)
    return start + "%016x" % fnv1a((body + start).encode())


def main():
    fixture = ["rs%d" % i for i in range(6)]
    cases = {
        "rs0..rs5": fixture,
        "rs0..rs5 with rs4 and rs5 swapped": ["rs0", "rs1", "rs2", "rs3", "rs5", "rs4"],
        "no SNP": [],
    }
    for what, names in cases.items():
        print("%s: %s" % (what, snp_list_line(names)))

    # The file of buildState (oldStateText in the test) as instance 2 of 3 and as instance 1 of 1.
    state = ("2\n7\n2\n"
             "3 A 7.16126e-05 0.68125 X 1e+81 X 1e+81\n"
             "1 G 0.00019273 0.5 X 1e+81 X 1e+81\n"
             "2\n2\n"
             "3 A 1.4589e-07 0.9376 A 0.9376 A 0.41245\n"
             "5 T 2e-06 1.25 T 1.25 C 0\n"
             "1\n"
             "0 C 1e-05 1.23457e+06 C 1.23457e+06 C -100000\n"
             "2\n2\n0.25 -1.5 \n0\n\n")
    for k, n in ((2, 3), (1, 1)):
        print("buildState, instance %d/%d: %s" % (k, n, last_line(state, fixture, k, n)))
    print("no line before it, rs0..rs5, instance 1/1: %s" % last_line("", fixture, 1, 1))
    print("\"new\\n\" before it, rs0..rs5, instance 2/3: %s" % last_line("new\n", fixture, 2, 3))


if __name__ == "__main__":
    main()
