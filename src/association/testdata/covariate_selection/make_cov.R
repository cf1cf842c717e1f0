# Writes wide.cov: the covariates of ../logistic/logistic.cov (age, grp) and two more columns
# (bmi, z) for the individuals of ../logistic/logistic.ped. bmi carries an effect; z carries
# none and is missing for a few individuals that age, grp and bmi all have, so that a model
# without z keeps rows that a model with every column drops.
set.seed(20251210, kind = "Mersenne-Twister", normal.kind = "Inversion")
cov <- read.table("../logistic/logistic.cov", header = TRUE, colClasses = "character")
n <- nrow(cov)
bmi <- format(round(18 + 14 * runif(n), 1), nsmall = 1, trim = TRUE)
z <- format(round(rnorm(n), 3), nsmall = 3, trim = TRUE)
bmi[c(12, 160)] <- "-9"
z[c(3, 40, 41, 90, 133, 201)] <- "-9"
writeLines(c("FID IID age grp bmi z",
             paste(cov$FID, cov$IID, cov$age, cov$grp, bmi, z)), "wide.cov")
