// The far tails of the gamma and beta ratios over their leading factors, by series and continued
// fractions in full double precision: where a tail itself underflows, its ratio to the factor
// does not, and the noncentral sums start from that ratio.
#pragma once

// Q(a, x) / (e^-x x^a / Gamma(a)) by Legendre's continued fraction (modified Lentz), a > 0 and
// x > a + 1, where it converges in few terms; not a number when it has not converged after
// 10000 terms.
double upperGammaOverFactor(double a, double x);

// I_x(a, b) / (x^a (1 - x)^b / (a Beta(a, b))) by the continued fraction of the incomplete beta
// ratio, a, b > 0 and x below (a + 1)/(a + b + 2); not a number when it has not converged after
// 10000 terms.
double lowerBetaOverFactor(double a, double b, double x);

// P(a, x) / (e^-x x^a / Gamma(a + 1)) by its series 1 + x/(a + 1) + x^2/((a + 1)(a + 2)) + ...,
// a > 0 and x < a + 1, where it converges geometrically; not a number when it has not converged
// after 10000 terms.
double lowerGammaOverFactor(double a, double x);
