// Scalar special functions under the incomplete gamma and beta ratios: Gamma and its logarithms,
// ln Beta, ln(1 + x), e^x - 1, erf and erfc, digamma. Every function is reentrant; arguments
// outside the stated domains are preconditions that no function tests.
#pragma once

// ln Gamma(a), a > 0.
double logGamma(double a);
// ln Gamma(1 + a), -0.2 <= a <= 1.25.
double logGammaOnePlus(double a);
// 1/Gamma(a + 1) - 1, -0.5 <= a <= 1.5.
double gammaRecipMinusOne(double a);
// Gamma(a) for real a; 0 where it cannot be computed or represented.
double gammaFunction(double a);
// ln Gamma(a + b), 1 <= a, b <= 2.
double logGammaSum(double a, double b);
// del(a) + del(b) - del(a + b), del the Stirling remainder of ln Gamma; a, b >= 8.
double betaCorrection(double a, double b);
// ln(Gamma(b)/Gamma(a + b)), b >= 8.
double logGammaRatio(double a, double b);
// ln Beta(a, b), a, b > 0.
double logBeta(double a, double b);
// psi(x) = Gamma'(x)/Gamma(x); 0 where it is not defined.
double digamma(double x);

// ln(1 + a), a > -1.
double logOnePlus(double a);
// x - ln(1 + x), x > -1.
double xMinusLogOnePlus(double x);
// x - 1 - ln x, x > 0.
double xMinusOneMinusLog(double x);
// e^x - 1.
double expMinusOne(double x);
// e^(mu + x) for a whole mu, in one step when that cannot overflow or underflow early.
double expSum(int mu, double x);
// erf(x).
double errorFunction(double x);
// erfc(x) for ind = 0, e^(x^2) erfc(x) otherwise.
double erfcScaled(int ind, double x);
// erfc(sqrt x) for x >= 0, as erfcScaled(0, sqrt x) but with the factor e^-x taken from x itself
// rather than from the square of the rounded root.
double erfcOfRoot(double x);
