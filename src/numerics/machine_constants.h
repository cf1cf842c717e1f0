// The machine constants of IEEE double precision as the distribution routines ask for them, and
// the screen for statistics that are not real numbers.
#pragma once

// Integer constant number i (1..10): integer base, bits and largest value; floating base;
// single-precision digits and exponent range; double-precision digits and exponent range.
int machineInteger(int i);

// i <= 1: the machine epsilon 2^-52; i = 2: the smallest normal number; i >= 3: the largest number.
double machineDouble(int i);

// 0.99999 times the largest (l = 0) or most negative (l != 0) w for which e^w is a normal number,
// formed with the stored ln 2 of the published routines (not a full-precision one).
double expArgLimit(int l);

// False for NaN and both infinities; true for every other value (zero and subnormals included).
bool isRealNumber(double x);
