# R plug-in script of the plink tests: for every SNP the logistic regression of case status on
# the count of plink's A1 alleles, returned as c(2, beta, p); NA, NA where R cannot fit it. The
# fit is run to full precision (glm's default stops when beta is good to about 4 digits).
Rplink <- function(PHENO, GENO, CLUSTER, COVAR) {
  fit <- function(g) {
    r <- tryCatch({
      s <- summary(glm(PHENO == 2 ~ g, family = binomial,
                       control = glm.control(epsilon = 1e-14, maxit = 100)))$coefficients
      if (nrow(s) < 2) c(NA, NA) else s[2, c(1, 4)]
    }, error = function(e) c(NA, NA))
    c(2, r)
  }
  as.numeric(apply(GENO, 2, fit))
}
