// The Student t distribution's front end and cumulative routine over the incomplete beta ratio;
// both tails are computed side by side.
#pragma once

// The Student t front end of the distribution library. which = 1 writes P = Pr(T <= t) and
// Q = Pr(T > t) for df degrees of freedom; every real t is valid. status: 0 computed; -1 which
// outside 1..3 (bound 1 below, 3 above); -5 df <= 0 (bound 0). The inverse modes 2 (t from P,
// Q) and 3 (df from P, Q, t) are not provided yet: they are answered with status -1, bound 3.
void studentTDistribution(int which, double& P, double& Q, double& t, double& df, int& status,
                          double& bound);

// P = Pr(T <= t) and Q = Pr(T > t) for df degrees of freedom.
void studentTCdf(double t, double df, double& P, double& Q);
