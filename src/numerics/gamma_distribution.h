// The gamma and beta distributions of the distribution library: front ends over gammaCdf and
// betaCdf, and the inverse of the incomplete gamma ratio.
#pragma once

// The gamma front end (shape, scale; the variate enters the ratio as x times scale). which = 1:
// P = Pr(X <= x) and Q; 2: x from P, Q, shape, scale; 4: scale from P, Q, x, shape (both through
// incompleteGammaInverse); 3: shape from P, Q, x, scale (searched in [1e-300, 1e300]). status:
// 0 done; -1 which outside 1..4 (bound 1 or 4); -2 P outside [0, 1], -3 Q outside (0, 1]
// (bound 0 or 1); -4 x < 0, -5 shape <= 0, -6 scale <= 0 (bound 0; not in the mode that finds
// them); 3 P + Q not 1; 1 or 2 the shape lies below or above its search range; 10 the ratio
// routine or its inverse failed.
void gammaDistribution(int which, double& P, double& Q, double& x, double& shape, double& scale,
                       int& status, double& bound);

// The beta front end (x and y = 1 - x, shapes a and b). which = 1: P = I_x(a, b) and Q; 2: x
// and y from P, Q, a, b (bracketed in [0, 1]); 3: a from P, Q, x, y, b; 4: b from P, Q, x, y, a
// (both searched in [1e-300, 1e300]). status: 0 done; -1 which outside 1..4 (bound 1 or 4); -2
// P outside [0, 1], -3 Q outside (0, 1] (bound 0 or 1); -4 x and -5 y outside [0, 1] (bound 0
// or 1); -6 a <= 0, -7 b <= 0 (bound 0); 3 P + Q not 1; 4 x + y not 1 (bound 0 for a negative
// sum, else 1); 1 or 2 the answer lies below or above the search range (bound the range end).
void betaDistribution(int which, double& P, double& Q, double& x, double& y, double& a,
                      double& b, int& status, double& bound);

// The x with P(a, x) = P and Q(a, x) = Q (P + Q = 1), a > 0, to about ten significant digits
// (Didonato and Morris, ACM TOMS 654): a start from the published approximations (or x0 when it
// is positive), then Schroder iteration on the smaller tail. P = 0 gives 0 and Q = 0 the largest
// double. error: 0 without iteration, the number of iterations when iterated; -2 a <= 0; -4
// P + Q not 1; -6 twenty iterations did not converge (x holds the last value); -7 the iteration
// failed (x not meaningful); -8 x obtained without certainty of its accuracy.
void incompleteGammaInverse(double a, double& x, double x0, double P, double Q, int& error);
