# R's glm on the dose x status cells of cells.txt: the log odds ratio of one copy of allele 1
# (dose = copies of allele 1: 2, 1, 0), fitted on the cells as binomial counts, with its Wald p.
# Writes name, OR, p, and whether glm converged without a fitted probability of 0 or 1 (a fit
# that separates the groups has no finite estimate). Cells with one dose only are left out.
cells <- read.table("cells.txt", header = TRUE)
out <- c("name OR P OK")
for (i in seq_len(nrow(cells))) {
  c <- cells[i, ]
  d <- data.frame(dose = c(2, 1, 0),
                  cases = c(c$cases2, c$cases1, c$cases0),
                  controls = c(c$controls2, c$controls1, c$controls0))
  d <- d[d$cases + d$controls > 0, ]
  if (nrow(d) < 2) next
  ok <- TRUE
  fit <- withCallingHandlers(
    glm(cbind(cases, controls) ~ dose, family = binomial, data = d,
        control = glm.control(epsilon = 1e-12, maxit = 100)),
    warning = function(w) { message(c$name, ": ", conditionMessage(w)); ok <<- FALSE; invokeRestart("muffleWarning") })
  if (!fit$converged) ok <- FALSE
  s <- summary(fit)$coefficients
  out <- c(out, sprintf("%s %.17g %.17g %d", c$name, exp(s[2, 1]), s[2, 4], as.integer(ok)))
}
writeLines(out, "r_cells.txt")
