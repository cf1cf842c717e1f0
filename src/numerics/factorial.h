// Small arithmetic helpers of the classic routines: the factorial in the widest real type and the
// square. Both are reentrant.
#pragma once

// n! as the product 2 x 3 x ... x n in long double (exact up to 25!, about 1.2e4932 at most:
// 1755! and beyond are +infinity); 1 for n <= 1.
long double factorial(int n);

inline double square(double x) { return x * x; }
