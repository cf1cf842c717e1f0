// Small routines that the further distribution front ends share: ln Gamma by a rational
// approximation, the Stirling remainders, the gamma density factor, the twins of the special
// functions under the names the front ends use, polynomial evaluation and integer helpers.
// Every routine is reentrant.
#pragma once

// ln Gamma(x), x > 0: recursion into [2, 3] and a rational approximation for x <= 6; recursion
// up to 12 and Stirling's series above.
double logGammaRational(double x);

// ln Gamma(z) minus Stirling's approximation (z - 1/2) ln z - z + ln sqrt(2 pi), z > 0. A z of
// 0 or less ends the process through stopWithMessage.
double DSTREM(double z);

// The Stirling remainder of ln Beta(a, b): DSTREM(a) + DSTREM(b) - DSTREM(a + b); a, b > 0.
double betaStirlingRemainder(double a, double b);

// e^-x x^a / Gamma(a) for a > 0, x >= 0; for a >= 20 through x/a - 1 - ln(x/a), so that large a
// neither overflows nor loses the cancellation near x = a.
double gammaFactor(double a, double x);
// ln gammaFactor(a, x), for the factors that underflow; -infinity for x = 0.
double logGammaFactor(double a, double x);

// ln(x^a y^b / Beta(a, b)) for a, b > 0 and y = 1 - x passed separately (the smaller of the two
// formed directly), for the factors that underflow; -infinity when x or y is 0.
double logBetaFactor(double a, double b, double x, double y);

// The special functions of the ratio routines under the names the front ends use.
double logOnePlusTwin(double a);   // ln(1 + a)
double logOneMinus(double a);      // ln(1 - a)
double logGammaTwin(double a);     // ln Gamma(a)
double logBetaTwin(double a, double b);  // ln Beta(a, b)
double expMinusOneTwin(double x);  // e^x - 1

// a[0] + a[1] x + ... + a[n-1] x^(n-1) by Horner's rule; 0 for n < 1.
double evalPolynomial(const double* a, int n, double x);

double truncToDouble(double a);           // integer part of a as a real
double maxDouble(double a, double b);     // the larger of a and b
double minDouble(double a, double b);     // the smaller of a and b
double transferSign(double a, double b);  // |a| with the sign of b (+ for b = 0)
long truncToLong(double a);               // integer part of a; 0 below 1
long modLong(long a, long b);             // remainder of a / b, b != 0
