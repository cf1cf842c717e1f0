// The pieces of the incomplete beta ratio I_x(a, b) (Didonato and Morris, ACM TOMS 708): the
// leading factor x^a y^b / Beta(a, b) and the series, continued fraction and asymptotic
// expansions that incompleteBetaRatio chooses among. y = 1 - x is always passed separately.
#pragma once

// x^a y^b / Beta(a, b); 0 when x or y is 0.
double betaFactor(double a, double b, double x, double y);
// e^mu x^a y^b / Beta(a, b), mu a whole number that keeps the factor from underflowing.
double betaFactorExp(int mu, double a, double b, double x, double y);

// I_x(a, b) by its power series, for b <= 1 or b x <= 0.7.
double betaPowerSeries(double a, double b, double x, double eps);
// I_x(a, b) - I_x(a + n, b), n a positive whole number.
double betaDifference(double a, double b, double x, double y, int n, double eps);
// I_x(a, b) by continued fraction for a, b > 1, lambda = (a + b) y - b.
double betaContFraction(double a, double b, double x, double y, double lambda, double eps);
// Adds I_x(a, b) for large a and b <= 1 onto w; error 1 (w unchanged) when the expansion
// cannot be computed, else 0.
void betaAsymptoticLargeA(double a, double b, double x, double y, double& w, double eps,
                          int& error);
// I_x(a, b) for large a and b, lambda = (a + b) y - b >= 0.
double betaAsymptoticLarge(double a, double b, double lambda, double eps);
// 1 - I_x(a, b) for a < min(eps, eps b), b x <= 1, x <= 0.5.
double betaSmallA(double a, double b, double x, double eps);
// I_x(a, b) for b < min(eps, eps a), x <= 0.5.
double betaSmallB(double a, double b, double x, double eps);
