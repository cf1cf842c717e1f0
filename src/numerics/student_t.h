// The Student t distribution's front end and cumulative routine over the incomplete beta ratio;
// both tails are computed side by side.
#pragma once

// The Student t front end of the distribution library. which = 1 writes P = Pr(T <= t) and
// Q = Pr(T > t) for df degrees of freedom, every real t being valid; 2 finds t from P, Q and df
// (searched in [-1e300, 1e300] from tInverseStart); 3 finds df from P, Q and t (searched in
// [1e-300, 1e10]). status: 0 done; -1 which outside 1..3 (bound 1 below, 3 above); -2 P and
// -3 Q outside (0, 1] (modes 2 and 3; bound 0 or 1); -5 df <= 0 (modes 1 and 2; bound 0); 3
// P + Q not 1 (bound 0 for a negative sum, else 1); 1 or 2 the answer lies below or above the
// search range (bound the range end).
void studentTDistribution(int which, double& P, double& Q, double& t, double& df, int& status,
                          double& bound);

// P = Pr(T <= t) and Q = Pr(T > t) for df degrees of freedom.
void studentTCdf(double t, double df, double& P, double& Q);

// A start for the t quantile with df degrees of freedom for P (Q = 1 - P): the normal quantile
// corrected by the first four terms of the Cornish-Fisher expansion in 1/df (Abramowitz and
// Stegun 26.7.5).
double tInverseStart(double P, double Q, double df);
