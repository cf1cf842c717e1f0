# Writes the logistic-regression fixture: logistic.ped, logistic.map and logistic.cov.
# Deterministic: everything is drawn from runif after a fixed seed.
set.seed(20240611, kind = "Mersenne-Twister", normal.kind = "Inversion")

nPeople <- 203
letters1 <- c("A", "C", "A", "G", "T", "C", "G", "A", "T", "C")
letters2 <- c("G", "T", "C", "T", "A", "G", "C", "T", "G", "A")
# Frequency of the second letter of each SNP.
freq2 <- c(0.35, 0.10, 0.45, 0.05, 0.25, 0.60, 0.30, 0.15, 0.50, 0.20)
nSnps <- length(freq2)

dose2 <- matrix(0L, nPeople, nSnps)  # copies of the second letter
for (j in 1:nSnps) dose2[, j] <- (runif(nPeople) < freq2[j]) + (runif(nPeople) < freq2[j])
missingGenotype <- matrix(runif(nPeople * nSnps) < 0.03, nPeople, nSnps)

age <- round(20 + 60 * runif(nPeople), 1)
grp <- as.integer(runif(nPeople) < 0.45)
logit <- -0.9 + 1.8 * dose2[, 1] + 0.5 * dose2[, 3] - 0.6 * dose2[, 6] +
  0.04 * (age - 50) + 0.7 * grp
case <- runif(nPeople) < 1 / (1 + exp(-logit))
sex <- 1 + as.integer(runif(nPeople) < 0.5)
swap <- matrix(runif(nPeople * nSnps) < 0.5, nPeople, nSnps)

ped <- character(nPeople)
for (i in 1:nPeople) {
  pairs <- character(nSnps)
  for (j in 1:nSnps) {
    if (missingGenotype[i, j]) { pairs[j] <- "0 0"; next }
    a <- c(letters1[j], letters2[j])
    g <- switch(dose2[i, j] + 1, c(a[1], a[1]), c(a[1], a[2]), c(a[2], a[2]))
    if (swap[i, j]) g <- rev(g)
    pairs[j] <- paste(g, collapse = " ")
  }
  ped[i] <- paste(paste0("f", i), paste0("i", i), 0, 0, sex[i], 1 + case[i],
                  paste(pairs, collapse = " "))
}
writeLines(ped, "logistic.ped")
writeLines(sprintf("1 rs%d 0 %d", 1:nSnps, 1000 * (1:nSnps)), "logistic.map")

ageText <- format(age, nsmall = 1, trim = TRUE)
grpText <- as.character(grp)
ageText[c(5, 77, 150)] <- "-9"
grpText[100] <- "-9"
writeLines(c("FID IID age grp", paste(paste0("f", 1:nPeople), paste0("i", 1:nPeople),
                                       ageText, grpText)), "logistic.cov")
