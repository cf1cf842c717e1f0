// Fast closed-form approximations of the standard normal distribution: the CDF by Abramowitz
// and Stegun 26.2.17 (absolute error below 7.5e-8) and the quantile by Acklam's rational
// approximation (relative error below 1.15e-9). Both are reentrant.
#pragma once

// Phi(x) within 7.5e-8.
double normalCdfApprox(double x);

// The x with Phi(x) = p, without a refinement step. errno is cleared first and then set as the C
// library does for its own functions: p = 0 gives -infinity and p = 1 +infinity with ERANGE
// (a pole); p outside [0, 1] gives 0 with EDOM, and a p that is not a number gives NaN with EDOM.
// So a caller can tell the 0 of a bad p from the median.
double normalQuantile(double p);
