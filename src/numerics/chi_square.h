// The chi-square distribution's front end and cumulative routines over the incomplete gamma
// ratio; the upper tail is computed directly, never as 1 minus the lower one.
#pragma once

// The chi-square front end of the distribution library. which = 1 writes P = Pr(X <= x) and
// Q = Pr(X > x) for df degrees of freedom; 2 finds x from P, Q and df (searched in [0, 1e300]);
// 3 finds df from P, Q and x (searched in [1e-300, 1e300]). status: 0 done; -1 which outside
// 1..3 (bound 1 below, 3 above); -2 P outside [0, 1] and -3 Q outside (0, 1] (modes 2 and 3;
// bound 0 or 1); -4 x < 0 (modes 1 and 3; bound 0); -5 df <= 0 (modes 1 and 2; bound 0); 3
// P + Q not 1 (bound 0 for a negative sum, else 1); 1 or 2 the answer lies below or above the
// search range (bound the range end); 10 the ratio routine failed.
void chiSquareDistribution(int which, double& P, double& Q, double& x, double& df, int& status,
                           double& bound);

// P and Q of the chi-square distribution with df degrees of freedom at x.
void chiSquareCdf(double x, double df, double& P, double& Q);

// P and Q of the gamma distribution with the given shape and scale 1 at x; (0, 1) for x <= 0.
// An error of the ratio routine shows as P = 2.
void gammaCdf(double x, double shape, double& P, double& Q);

// The x with upper-tail probability p for df degrees of freedom: -9 when p is not a real number
// or no x can be found, 0 when p >= 1.
double chiSquareQuantile(double p, double df);
