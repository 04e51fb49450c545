// Lanes of doubles for the butterflies of the permuted transform: Lanes holds four doubles
// side by side. Every operation acts lane by lane and rounds each lane exactly as
// the same operation on two doubles would, so code written on lanes gives the bits of the
// same code written on doubles.
//
// Where GCC's vector extension exists (GCC, Clang) the lanes are vector types the compiler
// keeps in vector registers. Elsewhere, or when PIDRM_PLAIN_VECTORS is defined (CMake option
// of that name), they are plain arrays with the same operators: standard C++, same bits.
#pragma once

#include <cstring>

#if (defined(__GNUC__) || defined(__clang__)) && !defined(PIDRM_PLAIN_VECTORS)

typedef double Lanes __attribute__((vector_size(32)));

#else

template <int N>
struct PlainLanes {
    double lane[N];
    double operator[](int i) const { return lane[i]; }
};

template <int N>
inline PlainLanes<N> operator+(PlainLanes<N> a, const PlainLanes<N>& b) {
    for (int i = 0; i < N; ++i) a.lane[i] = a.lane[i] + b.lane[i];
    return a;
}
template <int N>
inline PlainLanes<N> operator-(PlainLanes<N> a, const PlainLanes<N>& b) {
    for (int i = 0; i < N; ++i) a.lane[i] = a.lane[i] - b.lane[i];
    return a;
}
template <int N>
inline PlainLanes<N> operator*(PlainLanes<N> a, const PlainLanes<N>& b) {
    for (int i = 0; i < N; ++i) a.lane[i] = a.lane[i] * b.lane[i];
    return a;
}
template <int N>
inline PlainLanes<N>& operator*=(PlainLanes<N>& a, double s) {
    for (int i = 0; i < N; ++i) a.lane[i] = a.lane[i] * s;
    return a;
}

typedef PlainLanes<4> Lanes;

#endif

// Lanes from p, and back: memcpy, so no alignment is assumed.
inline Lanes load(const double* p) {
    Lanes v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
inline void store(double* p, const Lanes& v) {
    std::memcpy(p, &v, sizeof v);
}
