// The classic incomplete beta function by its continued fraction (single-precision accuracy,
// about 3e-7 relative), the Lanczos ln Gamma that it uses, and the F-test p-value over it. All of
// them are reentrant.
#pragma once

#include <cmath>

// ln Gamma(x), x > 0, by the 6-term Lanczos series (absolute error below about 2e-10).
double logGammaLanczos(double x);

// The continued fraction of I_x(a, b) by the modified Lentz method, to 3e-7 relative in at most
// 100 iterations; no convergence (a or b too large: the iterations grow with sqrt(max(a, b))) is a
// fatal error.
double betacf(double a, double b, double x);

// A denominator of the modified Lentz method kept at least tiny away from 0, so that the next
// division stays finite.
inline double lentzAwayFromZero(double v, double tiny) { return std::fabs(v) < tiny ? tiny : v; }

// The same fraction to the given relative accuracy in at most the given number of iterations;
// false (fraction unchanged) when it has not converged by then.
bool betaFractionLentz(double a, double b, double x, double accuracy, int iterations,
                       double& fraction);

// The regularised incomplete beta I_x(a, b) for a, b > 0. x outside [0, 1] (or not a number) is a
// fatal error. The continued fraction runs on x or, past the mean, on 1 - x with the symmetry
// I_x(a, b) = 1 - I_(1-x)(b, a).
double betai(double a, double b, double x);

// Upper-tail p of an F statistic with df1 and df2 (both at least 1) degrees of freedom, F >= 0.
double fTestP(int df1, int df2, double F);
