# R's glm on ../logistic with only some columns of wide.cov, coded as the program codes it (ADD
# counts copies of allele 1, the first allele letter met in the .ped file; y is 0 for phenotype
# 1). Writes SNP, allele 1, rows used, OR, Wald p for each selection.
ped <- read.table("../logistic/logistic.ped", colClasses = "character")
map <- read.table("../logistic/logistic.map", colClasses = "character")
cov <- read.table("wide.cov", header = TRUE, colClasses = "character")
stopifnot(all(cov$FID == ped$V1), all(cov$IID == ped$V2))
covariates <- as.data.frame(sapply(cov[, -(1:2)], function(v) ifelse(v == "-9", NA,
                                                                       as.numeric(v))))
y <- as.integer(as.numeric(ped$V6) != 1)

fitWith <- function(columns, outName) {
  lines <- character(0)
  for (j in seq_len(nrow(map))) {
    first <- ped[[5 + 2 * j]]
    second <- ped[[6 + 2 * j]]
    met <- as.vector(rbind(first, second))
    allele1 <- met[met != "0"][1]
    add <- ifelse(first == "0" | second == "0", NA, (first == allele1) + (second == allele1))
    data <- data.frame(y = y, add = add, covariates[, columns, drop = FALSE])
    model <- glm(y ~ ., family = binomial, data = data,
                 control = glm.control(epsilon = 1e-15, maxit = 100))
    b <- coef(model)[["add"]]
    se <- sqrt(vcov(model)["add", "add"])
    lines <- c(lines, sprintf("%s %s %d %.17g %.17g", map$V2[j], allele1, nobs(model), exp(b),
                              pchisq((b / se)^2, 1, lower.tail = FALSE)))
  }
  writeLines(c("SNP A1 NMISS OR P", lines), outName)
}
fitWith(c("age", "bmi"), "r_age_bmi.txt")
fitWith(c("grp"), "r_grp.txt")
fitWith(c("age", "grp", "bmi", "z"), "r_all.txt")
