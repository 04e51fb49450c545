// Quotients of long numbers by Newton reciprocals.
#pragma once

#include "arith/long_number.h"

// Y <- 1/X to n words (n a power of two >= 2), X normalised with X[1] != 0. Y overlaps
// neither X nor work. work: 4n+2 doubles (products at 0..2n, the residual from 2n+1);
// scratch: 6n doubles (the products' 2n, then X's and Y's kept spectra, 2n each:
// fft/scratch.h). Returns the largest RoundingError of its products.
double reciprocal(const double* X, double* Y, int n, double* work, double* scratch);

// Z <- X/Y to n words, Y normalised with Y[1] != 0. Z is neither operand nor in work.
// Afterwards work holds the 2n-word product X*(1/Y). Returns the largest RoundingError.
double divide(const double* X, const double* Y, double* Z, int n, double* work, double* scratch);
