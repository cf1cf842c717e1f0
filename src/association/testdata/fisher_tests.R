# Writes the expected Fisher exact p-values of the allelic and full-model tests: R's fisher.test
# of the case/control tables of genotype counts. Called by regenerate_fisher_tests.sh:
#   Rscript fisher_tests.R > fisher_tests.expected
# Each case: genotype counts A11, A12, A22 of cases and of controls, and the minimum cell count
# (--cell) below which GENO, DOM and REC are void (NA).
cases <- list(
  moderate = list(c(10, 15, 6), c(14, 12, 9), 5),
  associated = list(c(40, 8, 5), c(30, 20, 7), 5),
  hundreds = list(c(120, 260, 140), c(160, 240, 95), 5),
  thousands = list(c(1200, 1500, 900), c(1300, 1000, 1100), 5),
  thousands_weak = list(c(820, 1650, 790), c(900, 1580, 700), 5),
  cell_below_minimum = list(c(4, 20, 30), c(25, 25, 25), 5),
  cell_at_minimum = list(c(4, 20, 30), c(25, 25, 25), 4),
  empty_cell_cell0 = list(c(10, 5, 0), c(8, 6, 3), 0),
  empty_class_cell0 = list(c(10, 5, 0), c(8, 6, 0), 0),
  monomorphic_cell0 = list(c(20, 0, 0), c(15, 0, 0), 0),
  no_controls_cell0 = list(c(10, 5, 3), c(0, 0, 0), 0),
  all_missing_cell0 = list(c(0, 0, 0), c(0, 0, 0), 0),
  # the SNP of the table-writer test
  writer_snp = list(c(20, 0, 0), c(15, 3, 0), 5)
)

exactP <- function(rows) if (sum(rows) == 0) NA else fisher.test(rows)$p.value
num <- function(x) if (is.na(x)) "NA" else sprintf("%.17g", x)

cat("name caseA11 caseA12 caseA22 ctrlA11 ctrlA12 ctrlA22 cell ALLELIC GENO DOM REC\n")
for (name in names(cases)) {
  case <- cases[[name]][[1]]; ctrl <- cases[[name]][[2]]; cell <- cases[[name]][[3]]
  # rows: genotype or allele groups; columns: case, control
  alleles <- rbind(c(2 * case[1] + case[2], 2 * ctrl[1] + ctrl[2]),
                   c(2 * case[3] + case[2], 2 * ctrl[3] + ctrl[2]))
  geno <- cbind(case, ctrl)
  dom <- rbind(geno[1, ] + geno[2, ], geno[3, ])
  rec <- rbind(geno[1, ], geno[2, ] + geno[3, ])
  valid <- all(c(case, ctrl) >= cell)
  cat(name, case, ctrl, cell, num(exactP(alleles)),
      num(if (valid) exactP(geno) else NA), num(if (valid) exactP(dom) else NA),
      num(if (valid) exactP(rec) else NA), "\n")
}
