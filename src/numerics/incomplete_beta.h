// The regularised incomplete beta ratio I_x(a, b) and its complement (Didonato and Morris, ACM
// TOMS 708), both computed side by side, and the beta cumulative distribution over it.
#pragma once

// W = I_x(a, b) and W1 = 1 - I_x(a, b), with y = 1 - x passed separately. error: 0 success;
// 1 a or b negative; 2 a = b = 0; 3 x outside [0, 1]; 4 y outside [0, 1]; 5 x + y differs
// from 1 by more than three machine epsilons; 6 x = a = 0; 7 y = b = 0. On an error both
// results are 0.
void incompleteBetaRatio(double a, double b, double x, double y, double& W, double& W1,
                         int& error);

// P = I_x(a, b) and Q = 1 - I_x(a, b): (0, 1) for x <= 0, (1, 0) for y <= 0. The ratio's error
// code is not looked at.
void betaCdf(double x, double y, double a, double b, double& P, double& Q);
