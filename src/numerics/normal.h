// The normal distribution of the distribution library: front end, cumulative routine, quantile
// and the logarithm of the far tail.
#pragma once

// The normal front end. which = 1: P = Pr(X <= x) and Q = Pr(X > x) for the given mean and sd;
// 2: x from P and Q; 3: mean from P, Q, x and sd; 4: sd from P, Q, x and mean. status: 0 done;
// -1 which outside 1..4 (bound 1 below, 4 above); -2 P outside (0, 1] and -3 Q outside (0, 1]
// (modes 2 to 4; bound 0 or 1); 3 P + Q not 1 (bound 0 when the sum is negative, else 1);
// -6 sd <= 0 (modes 1 to 3; bound 0).
void normalDistribution(int which, double& P, double& Q, double& x, double& mean, double& sd,
                        int& status, double& bound);

// P = Phi(x) and Q = 1 - Phi(x) of the standard normal, each with its own relative accuracy (Cody's
// rational Chebyshev approximations, switch points |x| = 0.66291 and sqrt(32)).
void normalCdf(double x, double& P, double& Q);

// The standard normal quantile for P (Q = 1 - P): Newton's iteration on normalCdf from
// normalInverseStart, on the smaller tail, until the relative change is below 1e-13.
double normalInverse(double P, double Q);

// A start for the normal quantile of p, 0 < p < 1, good to about 1.5e-8 (Odeh and Evans).
double normalInverseStart(double p);

// ln Q(x) = ln(1 - Phi(|x|)) by its asymptotic series, |x| >= 5; a smaller |x| ends the process
// through stopWithMessage.
double DLANOR(double x);
