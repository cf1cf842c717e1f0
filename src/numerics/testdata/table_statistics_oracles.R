# Expected values of table_statistics_test.cpp: Pearson's chi-square of 2 x 2 tables from
# chisq.test without continuity correction, and Bowker's symmetry test of k x k tables from
# mcnemar.test (which is Bowker's test for k > 2, and McNemar's without correction for k = 2).
# Run: Rscript src/numerics/testdata/table_statistics_oracles.R   (writes table_statistics_oracles.txt)
out <- file(file.path(dirname(sub("--file=", "", grep("--file=", commandArgs(FALSE), value = TRUE))),
                      "table_statistics_oracles.txt"), "w")
line <- function(...) writeLines(paste(...), out)
num <- function(v) paste(sprintf("%.17g", v), collapse = " ")

# pearson a b c d statistic: rows (a, b) and (c, d).
pearson <- function(a, b, c, d) {
  s <- suppressWarnings(chisq.test(matrix(c(a, c, b, d), 2), correct = FALSE)$statistic)
  line("pearson", num(c(a, b, c, d, s)))
}
pearson(10, 20, 30, 40)
pearson(1, 0, 0, 1)
pearson(3, 7, 5, 2)
pearson(120, 80, 95, 105)
pearson(0, 12, 9, 3)
pearson(2500, 1500, 1200, 2800)
pearson(1e6, 999000, 1001000, 1e6)
pearson(0.5, 2.25, 3.75, 1.5)  # real-valued counts, as a matrix may hold

# bowker k cells(row-major) p: tables with n_ij + n_ji > 0 for every pair.
bowker <- function(k, cells) {
  x <- matrix(cells, k, byrow = TRUE)
  line("bowker", k, num(cells), num(mcnemar.test(x, correct = FALSE)$p.value))
}
bowker(2, c(10, 5, 15, 20))
bowker(2, c(0, 1, 40, 0))
bowker(3, c(20, 5, 3, 9, 30, 4, 7, 2, 25))
bowker(3, c(1, 2, 3, 4, 5, 6, 7, 8, 9))
bowker(4, c(50, 3, 1, 2, 8, 60, 4, 5, 2, 9, 40, 3, 1, 2, 7, 30))
bowker(5, c(5, 1, 2, 3, 4, 6, 7, 1, 2, 3, 8, 9, 10, 1, 2, 1, 2, 3, 4, 5, 9, 8, 7, 6, 5))
bowker(3, c(0, 100, 200, 0, 0, 300, 0, 0, 0))
close(out)
