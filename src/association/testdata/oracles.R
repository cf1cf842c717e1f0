# Compacts plink's result files and adds R's own tests of the same data into the expected
# tables of the association-scan tests. Called by regenerate_oracles.sh:
#   Rscript oracles.R <fixture directory> <plink output directory>
args <- commandArgs(trailingOnly = TRUE)
fixtures <- args[1]
plinkDir <- args[2]

num <- function(x) ifelse(is.finite(x), sprintf("%.15g", x), "NA")

# Genotypes of the individuals with a phenotype: copies of the alphabetically first letter
# seen (NA when missing), one column per SNP.
readPed <- function(base) {
  lines <- readLines(file.path(fixtures, paste0(base, ".ped")))
  fields <- strsplit(trimws(lines), "[ \t]+")
  fields <- fields[sapply(fields, function(f) f[6] != "-9")]
  snpNames <- read.table(file.path(fixtures, paste0(base, ".map")), colClasses = "character")$V2
  nSnp <- length(snpNames)
  first <- sapply(fields, function(f) f[7 + 2 * (0:(nSnp - 1))])
  second <- sapply(fields, function(f) f[8 + 2 * (0:(nSnp - 1))])
  first <- matrix(first, nrow = nSnp)
  second <- matrix(second, nrow = nSnp)
  copies <- matrix(NA_integer_, nrow = nSnp, ncol = length(fields))
  reference <- character(nSnp)
  for (j in seq_len(nSnp)) {
    typed <- first[j, ] != "0" & second[j, ] != "0"
    letters <- sort(unique(c(first[j, typed], second[j, typed])))
    reference[j] <- if (length(letters)) letters[1] else "0"
    copies[j, typed] <- (first[j, typed] == reference[j]) + (second[j, typed] == reference[j])
  }
  list(names = snpNames, copies = copies, reference = reference,
       phenotype = as.numeric(sapply(fields, function(f) f[6])))
}

# Rows of a plink result file keyed by SNP name; an all-missing SNP has an empty A2 field, so
# fields are taken from the end of the line where they follow it.
readPlinkRows <- function(file) strsplit(trimws(readLines(file)[-1]), "[ \t]+")

# Pearson chi-square p without continuity correction; NA for a table chisq.test refuses.
pearsonP <- function(table) {
  tryCatch(suppressWarnings(chisq.test(table, correct = FALSE)$p.value), error = function(e) NA)
}

caseControlTests <- function(copies, case) {
  typed <- !is.na(copies)
  classCase <- sapply(0:2, function(k) sum(typed & copies == k & case))
  classCtrl <- sapply(0:2, function(k) sum(typed & copies == k & !case))
  total <- classCase + classCtrl
  trend <- NA
  used <- total > 0
  if (sum(used) >= 2 && sum(classCase) > 0 && sum(classCtrl) > 0)
    trend <- suppressWarnings(prop.trend.test(classCase[used], total[used], (0:2)[used])$p.value)
  geno <- pearsonP(rbind(classCase, classCtrl))
  alleles <- rbind(c(sum(classCase * 0:2), sum(classCase * 2:0)),
                   c(sum(classCtrl * 0:2), sum(classCtrl * 2:0)))
  allelic <- pearsonP(alleles)
  c(trend = trend, geno = geno, allelic = allelic)
}

writeModel <- function(base, runName) {
  data <- readPed(base)
  case <- data$phenotype == 2
  r <- t(sapply(seq_along(data$names), function(j) caseControlTests(data$copies[j, ], case)))
  rows <- readPlinkRows(file.path(plinkDir, paste0(runName, ".model")))
  p <- list()
  a1 <- list()
  for (f in rows) {
    n <- length(f)
    p[[paste(f[2], f[n - 5])]] <- f[n]
    a1[[f[2]]] <- f[3]
  }
  out <- "SNP A1 GENO TREND ALLELIC DOM REC R_TREND R_GENO"
  for (j in seq_along(data$names)) {
    s <- data$names[j]
    tests <- sapply(c("GENO", "TREND", "ALLELIC", "DOM", "REC"), function(t) p[[paste(s, t)]])
    out <- c(out, paste(s, a1[[s]], paste(tests, collapse = " "), num(r[j, "trend"]),
                        num(r[j, "geno"])))
  }
  writeLines(out, file.path(fixtures, paste0("model_", runName, ".expected")))
}

writeAssoc <- function(base) {
  data <- readPed(base)
  case <- data$phenotype == 2
  r <- t(sapply(seq_along(data$names), function(j) caseControlTests(data$copies[j, ], case)))
  rows <- readPlinkRows(file.path(plinkDir, paste0(base, ".assoc")))
  p <- list()
  a1 <- list()
  for (f in rows) {
    p[[f[2]]] <- f[length(f) - 1]
    a1[[f[2]]] <- f[4]
  }
  out <- "SNP A1 P R_P"
  for (j in seq_along(data$names)) {
    s <- data$names[j]
    out <- c(out, paste(s, a1[[s]], p[[s]], num(r[j, "allelic"])))
  }
  writeLines(out, file.path(fixtures, paste0("assoc_", base, ".expected")))
}

writeLinear <- function(base) {
  data <- readPed(base)
  rows <- readPlinkRows(file.path(plinkDir, paste0(base, ".assoc.linear")))
  plinkRow <- list()
  for (f in rows) plinkRow[[f[2]]] <- f
  out <- "SNP A1 BETA P R_ALLELE R_BETA R_P"
  for (j in seq_along(data$names)) {
    s <- data$names[j]
    x <- data$copies[j, ]
    y <- data$phenotype
    beta <- NA
    p <- NA
    if (sum(!is.na(x)) > 0) {
      coefs <- summary(lm(y ~ x))$coefficients
      if ("x" %in% rownames(coefs)) {
        beta <- coefs["x", "Estimate"]
        p <- coefs["x", "Pr(>|t|)"]
      }
    }
    f <- plinkRow[[s]]
    out <- c(out, paste(s, f[4], f[7], f[9], data$reference[j], num(beta), num(p)))
  }
  writeLines(out, file.path(fixtures, paste0("linear_", base, ".expected")))
}

writeModel("cc", "cc")
writeModel("cc", "cc_cell0")
writeModel("sparse", "sparse_cell0")
writeModel("sparse", "sparse_cell3")
writeAssoc("cc")
writeAssoc("sparse")
writeLinear("qt")
