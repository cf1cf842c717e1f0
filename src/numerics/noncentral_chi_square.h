// The noncentral chi-square distribution of the distribution library: front end and cumulative
// routine.
#pragma once

// The noncentral chi-square front end. which = 1: P = Pr(X <= x) and Q = Pr(X > x) for df
// degrees of freedom and the noncentrality; 2: x (searched in [0, 1e300]); 3: df (searched in
// [1e-300, 1e300]); 4: the noncentrality (searched in [0, 1e4]: the time of the sum grows with
// it). The searches match the smaller of P and Q, so that a tiny Q finds its unknown too.
// status: 0 done; -1 which outside 1..4 (bound 1 or 4); -2 P outside [0, 1], -3 Q outside
// (0, 1] (bound 0 or 1); -4 x < 0, -5 df <= 0, -6 noncentrality < 0 (bound 0; not in the mode
// that searches them); the same -k for an argument that is infinite or not a number (bound 0, or
// the largest double for +infinity); 3 P + Q not 1; 1 or 2 the answer lies below or above the
// search range (bound the range end); 10 the cumulative routine gave no value (a noncentrality
// beyond 1e10 where its bounds do not settle the tails; bound unchanged).
void noncentralChiSquareDistribution(int which, double& P, double& Q, double& x, double& df,
                                     double& noncentrality, int& status, double& bound);

// P and Q of the noncentral chi-square, the smaller of them (as the tails at the largest Poisson
// weight tell, and its sum confirms) as its own Poisson-weighted sum and the other as its
// complement. P sums chiSquareCdf terms from the largest weight outwards until a falling term is
// below 1e-15 of the sum (or a limit of terms far beyond that is reached), from a scaled start
// where the central term there underflows; Q sums the central upper tails
// (poissonMixtureUpperTail). Both keep their relative precision down to the smallest normal
// numbers. A noncentrality above 1e10, where the sums would take millions of terms, gives only
// the tails that a Chernoff bound shows below 1e-321 (0, and the other 1); elsewhere there, and
// for an argument that is infinite or not a number, P and Q are both not a number.
void noncentralChiSquareCdf(double x, double df, double noncentrality, double& P, double& Q);

// ln of the Chernoff bound on Pr(X > x) for the noncentral chi-square X; 0 for x at or below the
// mean df + noncentrality.
double noncentralChiSquareLogTailBound(double x, double df, double noncentrality);

// ln of the Chernoff bound on Pr(X <= x); 0 for x at or above the mean and for x <= 0.
double noncentralChiSquareLogLowerTailBound(double x, double df, double noncentrality);
