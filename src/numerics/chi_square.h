// The chi-square distribution's front end and cumulative routines over the incomplete gamma
// ratio; the upper tail is computed directly, never as 1 minus the lower one.
#pragma once

// The chi-square front end of the distribution library. which = 1 writes P = Pr(X <= x) and
// Q = Pr(X > x) for df degrees of freedom. status: 0 computed; -1 which outside 1..3 (bound 1
// below, 3 above); -4 x < 0 (bound 0); -5 df <= 0 (bound 0); 10 the ratio routine failed.
// The inverse modes 2 (x from P, Q) and 3 (df from P, Q, x) are not provided yet: they are
// answered with status -1 and bound 3, as a mode above the supported range.
void chiSquareDistribution(int which, double& P, double& Q, double& x, double& df, int& status,
                           double& bound);

// P and Q of the chi-square distribution with df degrees of freedom at x.
void chiSquareCdf(double x, double df, double& P, double& Q);

// P and Q of the gamma distribution with the given shape and scale 1 at x; (0, 1) for x <= 0.
// An error of the ratio routine shows as P = 2.
void gammaCdf(double x, double shape, double& P, double& Q);
