// The regularised incomplete gamma ratios P(a, x) and Q(a, x) (Didonato and Morris, ACM TOMS
// 654), both tails computed side by side so that a tiny Q keeps its relative precision.
#pragma once

// P(a, x) and Q(a, x) for a, x >= 0, not both 0. ind selects the accuracy: 0 as much as
// possible (about 14 digits), 1 six digits, anything else three. An error (a or x negative,
// both 0, or an indeterminate result for astronomically large a) sets P = 2 and leaves Q alone.
void incompleteGammaRatio(double a, double x, double& P, double& Q, int ind);

// P(a, x) and Q(a, x) for a <= 1, given r = e^-x x^a / Gamma(a), to the tolerance eps: the
// small-a branch of incompleteGammaRatio as the incomplete beta expansions need it.
void incGammaSmallA(double a, double x, double r, double& P, double& Q, double eps);
