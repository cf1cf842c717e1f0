# Writes the expected values of the Fisher exact test's unit tests: R's fisher.test p of every
# table (with the network algorithm's workspace of 300000 units, as ours, unless the table is
# listed in largerWorkspace) and the probability of the observed table from log factorials.
# Tables that R cannot finish in that workspace are written with its error code instead. Called by regenerate_fisher.sh:
#   Rscript fisher_oracle.R > fisher_tables.expected
tables <- list(
  # 2 x 2
  two_by_two_balanced = rbind(c(3, 1), c(1, 3)),
  two_by_two_small = rbind(c(1, 2), c(3, 4)),
  two_by_two_associated = rbind(c(10, 2), c(3, 15)),
  two_by_two_diagonal = rbind(c(5, 0), c(0, 5)),
  two_by_two_antidiagonal = rbind(c(0, 5), c(5, 0)),
  two_by_two_zero_row = rbind(c(0, 0), c(3, 4)),
  two_by_two_zero_column = rbind(c(0, 3), c(0, 4)),
  two_by_two_one_count = rbind(c(0, 1), c(0, 0)),
  two_by_two_thousands = rbind(c(1500, 1620), c(1432, 1711)),
  two_by_two_thousands_tiny_p = rbind(c(900, 1200), c(1300, 800)),
  two_by_two_ten_thousands = rbind(c(12000, 11000), c(11500, 11800)),
  # 3 x 2 and 2 x 3 (genotype tables and their transposes)
  three_by_two = rbind(c(12, 5), c(3, 8), c(7, 9)),
  two_by_three = rbind(c(12, 3, 7), c(5, 8, 9)),
  three_by_two_genotypes = rbind(c(40, 30), c(50, 55), c(10, 20)),
  three_by_two_zero_row = rbind(c(10, 5), c(0, 0), c(3, 9)),
  three_by_two_one_filled_row = rbind(c(0, 0), c(7, 9), c(0, 0)),
  three_by_two_hundreds = rbind(c(300, 320), c(510, 480), c(190, 230)),
  three_by_two_thousands = rbind(c(1200, 1300), c(1500, 1000), c(900, 1100)),
  three_by_two_thousands_weak = rbind(c(2000, 2100), c(3000, 2800), c(1000, 1200)),
  # larger r x c
  three_by_four = rbind(c(0, 10, 5, 3), c(3, 11, 7, 0), c(4, 3, 5, 9)),
  three_by_four_zero_column = rbind(c(2, 0, 5, 3), c(3, 0, 7, 1), c(4, 0, 1, 6)),
  four_by_four = rbind(c(2, 3, 5, 1), c(4, 1, 0, 6), c(1, 4, 3, 2), c(5, 0, 2, 3)),
  five_by_three = rbind(c(3, 1, 4), c(1, 5, 9), c(2, 6, 5), c(3, 5, 8), c(9, 7, 9)),
  two_by_six = rbind(c(3, 3, 5, 6, 6, 4), c(3, 6, 8, 7, 8, 1)),
  six_by_two = cbind(c(3, 3, 5, 6, 6, 4), c(3, 6, 8, 7, 8, 1)),
  two_by_ten_hundreds = rbind(c(12, 30, 25, 40, 18, 22, 35, 29, 31, 20),
                              c(20, 25, 30, 28, 25, 19, 30, 40, 22, 31)),
  ten_by_two_tens = cbind(c(1, 4, 2, 8, 5, 7, 1, 3, 6, 2), c(5, 1, 6, 2, 3, 2, 7, 1, 2, 6)),
  two_by_forty_single_counts = rbind(rep(c(1, 0), 20), rep(c(0, 1), 20)),
  four_by_five = rbind(c(3, 0, 2, 5, 1), c(1, 4, 0, 2, 6), c(2, 2, 3, 0, 1), c(0, 5, 1, 3, 2)),
  five_by_six_near_limit = rbind(c(0, 3, 1, 3, 1, 2), c(4, 1, 3, 0, 2, 3), c(0, 2, 4, 2, 1, 7),
                                 c(0, 1, 6, 2, 1, 2), c(4, 1, 1, 0, 1, 2)),
  four_by_six_beyond_limit = rbind(c(3, 3, 5, 6, 6, 4), c(3, 6, 8, 7, 8, 1), c(2, 0, 3, 4, 1, 5),
                                 c(4, 1, 2, 0, 3, 2)),
  # genotype and allele tables of tens of thousands of individuals: R needs a larger workspace
  # for the first (see largerWorkspace), ours does not
  three_by_two_forty_thousand = rbind(c(5000, 5200), c(10000, 9800), c(5000, 5000)),
  two_by_two_eighty_thousand = rbind(c(20000, 20200), c(20000, 19800)),
  # 36 columns of one count and one of ten: about 9e9 paths of the same length meet in one
  # node, more than a 32-bit count holds (see closedForm)
  two_by_thirty_seven_many_equal_paths = rbind(c(rep(c(1, 0), 18), 10), c(rep(c(0, 1), 18), 0)),
  # beyond the workspace: R stops with an error code as well
  key_overflow = rbind(c(2000, 7, 8), c(10, 2100, 6), c(5, 9, 1900)),
  out_of_workspace = rbind(c(50000, 30000, 1), c(49990, 20000, 2)),
  key_table_full = rbind(c(2, 14, 6, 10, 0, 10), c(1, 2, 2, 0, 7, 1), c(1, 0, 0, 2, 1, 11),
                         c(6, 0, 6, 2, 4, 6), c(4, 4, 5, 2, 6, 5)),
  past_paths_full = rbind(c(16, 2, 17), c(8, 5, 7), c(10, 2, 0), c(12, 16, 2), c(17, 1, 5)),
  past_paths_full_wide = rbind(c(1, 0, 4, 4, 6, 6), c(6, 4, 2, 3, 1, 2), c(1, 4, 0, 1, 3, 0),
                               c(3, 4, 1, 0, 2, 2))
)

# Tables whose network outgrows R's workspace of 300000 units before it outgrows ours.
largerWorkspace <- c("three_by_two_forty_thousand")

# Tables whose p has a closed form, used instead of fisher.test: R's network algorithm counts
# the paths of equal length in a 32-bit integer, which overflows on these. For the table of 36
# single columns and a column of ten (rows 28 and 18), a table is fixed by the count b of the
# big column in row 1 and has probability 28! 18! / (46! b! (10 - b)!) in each of the
# choose(36, 28 - b) ways; only b = 0 and b = 10 are at most as probable as the observed b = 10.
closedForm <- list(
  two_by_thirty_seven_many_equal_paths = function() {
    (choose(36, 28) + choose(36, 18)) * exp(lfactorial(28) + lfactorial(18) - lfactorial(46))
  }
)

observedProbability <- function(m) {
  exp(sum(lfactorial(rowSums(m))) + sum(lfactorial(colSums(m))) - lfactorial(sum(m)) -
        sum(lfactorial(m)))
}

cat("name rows cols cells p prt\n")
for (name in names(tables)) {
  m <- tables[[name]]
  cells <- paste(t(m), collapse = ",")  # row by row
  workspace <- if (name %in% largerWorkspace) 4e7 else 300000
  result <- tryCatch(sprintf("%.17g", if (name %in% names(closedForm)) closedForm[[name]]()
                                      else fisher.test(m, workspace = workspace)$p.value),
                     error = function(e) {
                       code <- as.integer(sub(".*FEXACT error ([0-9]+).*", "\\1",
                                              conditionMessage(e)))
                       # R numbers the exit of an overflowing key 501
                       paste0("error", if (code == 501) 5 else code)
                     })
  cat(name, nrow(m), ncol(m), cells, result, sprintf("%.17g", observedProbability(m)), "\n")
}
