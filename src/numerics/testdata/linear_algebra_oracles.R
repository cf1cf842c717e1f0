# Expected values of lu_decomposition_test.cpp, svd_solve_test.cpp and eigen_test.cpp, from R's
# own LAPACK-based solve, det, qr.solve, svd, eigen and kappa.
# Run: Rscript src/numerics/testdata/linear_algebra_oracles.R   (writes linear_algebra_oracles.txt)
out <- file(file.path(dirname(sub("--file=", "", grep("--file=", commandArgs(FALSE), value = TRUE))),
                      "linear_algebra_oracles.txt"), "w")
put <- function(key, v) writeLines(paste(key, paste(sprintf("%.17g", v), collapse = " ")), out)
rowMajor <- function(m) as.vector(t(m))

# One matrix with everything R can say about it. b has leading zeros, so the forward substitution
# starts late.
record <- function(name, a) {
  n <- nrow(a); p <- ncol(a)
  writeLines(sprintf("case %s %d %d", name, n, p), out)
  put("a", rowMajor(a))
  s <- svd(a)
  put("svd", s$d)
  fullRank <- min(s$d) > 1e-12 * max(s$d)
  if (fullRank) put("condition", max(s$d) / min(s$d))
  b <- c(rep(0, n %/% 2), seq_len(n - n %/% 2))
  put("b", b)
  if (n == p) put("det", det(a))
  if (!fullRank) {
    # The smallest-norm least-squares solution and the covariance with the negligible singular
    # values left out.
    kept <- s$d > 1e-12 * max(s$d)
    put("pseudoSolution", s$v %*% (ifelse(kept, 1 / s$d, 0) * (t(s$u) %*% b)))
    put("pseudoCovariance", rowMajor(s$v %*% diag(ifelse(kept, 1 / s$d^2, 0), p) %*% t(s$v)))
  }
  if (fullRank) {
    put("x", qr.solve(a, b))  # the exact solution, or the least-squares one when n > p
    put("covariance", rowMajor(s$v %*% diag(1 / s$d^2, p) %*% t(s$v)))
    if (n == p) put("inverse", rowMajor(solve(a)))
  }
  if (n == p && isSymmetric(a)) {
    e <- eigen(a, symmetric = TRUE)
    put("eigenvalues", e$values)
    if (min(e$values) > -1e-12 * max(abs(e$values)))
      put("sqrt", rowMajor(e$vectors %*% diag(sqrt(pmax(e$values, 0)), n) %*% t(e$vectors)))
  }
  writeLines("end", out)
}

set.seed(20261210)
record("oneByOne", matrix(-3.5, 1, 1))
record("zeroLeadingPivot", matrix(c(0, 1, 2, 2, 1, 1, 1, 1, 3), 3))
record("general7", matrix(runif(49, -1, 1), 7))
record("rowsOfManyScales", diag(10^c(-3, -1.5, 0, 1.5, 3)) %*% matrix(runif(25, -1, 1), 5))
record("hilbert6", outer(1:6, 1:6, function(i, j) 1 / (i + j - 1)))
record("spd8", crossprod(matrix(rnorm(80), 10, 8)))
m <- matrix(rnorm(100), 10)
record("symmetricIndefinite10", m + t(m))
record("onesPlusIdentity4", matrix(1, 4, 4) + diag(4))
record("psdRank2", crossprod(matrix(rnorm(8), 2, 4)))
record("tall12x4", matrix(rnorm(48), 12, 4))
close(out)
