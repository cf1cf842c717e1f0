# Expected numbers of uboot_test.cpp and confidence_intervals_test.cpp, computed from their
# definitions. Run: Rscript src/bootstrap/testdata/interval_oracles.R
g <- function(p) sqrt(2 * p * (1 - p))  # SD of a genotype count at allele frequency p

# Uboot with the allele-frequency scale: reference un 0.5 at frequency 0.2; replicate pairs
# (0.5, 0.1) on a SNP at 0.3 and (0.7, 0.2) on a SNP at 0.4.
cat(sprintf("mafScaled %.10f\n", 0.5 - mean(c(0.4 * g(0.3), 0.5 * g(0.4))) / g(0.2)))
# The same when the SNP of the first pair has no genotype SD: only the second pair counts.
cat(sprintf("mafScaledWithoutSnp1 %.10f\n", 0.5 - 0.5 * g(0.4) / g(0.2)))

# Interval of Uboot u from level-1 values B with frequency factors fc.
ci <- function(B, u, fc = rep(1, length(B))) {
  m <- mean(B)
  B <- B * fc - m + u
  shift <- min(0, B - exp(-3))
  s <- sd(log(B - shift))
  c(exp(log(u) - 1.959964 * s + shift), exp(log(u) + 1.959964 * s + shift))
}
p <- function(name, v) cat(sprintf("%s %.10f %.10f\n", name, v[1], v[2]))
p("example1", ci(c(0.2, 0.4, 0.6), 0.3))
p("example2", ci(c(0.0, 0.2, 0.4), 0.1))
# Level-1 SNPs at frequencies 0.2, 0.3, 0.4 against a reference SNP at 0.3.
p("scaled", ci(c(0.2, 0.4, 0.6), 0.3, g(c(0.2, 0.3, 0.4)) / g(0.3)))
p("scaledShift", ci(c(0.0, 0.2, 0.4), 0.1, g(c(0.2, 0.3, 0.4)) / g(0.3)))
# Only the level-1 SNPs at 0.2 and 0.4 with their values 0.2 and 0.6 (the third has no calls).
p("scaledTwo", ci(c(0.2, 0.6), 0.3, g(c(0.2, 0.4)) / g(0.3)))
