// The complex transform: known small transforms, the definition at moderate lengths, round
// trips at every length, and the right-angle convolution the products rely on.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "fft/fft.h"
#include "tests/fft/guarded.h"

namespace {

using Points = std::vector<double>;  // interleaved (re, im)

const double Root = std::sqrt(0.5);            // cos(pi/4) = sin(pi/4)
constexpr double SmallTolerance = 1e-15;       // absolute, results of size about 1
constexpr double DefinitionTolerance = 1e-12;  // absolute, inputs in [-1, 1], n <= 256
constexpr double RoundTripTolerance = 1e-14;   // relative to the largest input part

constexpr int Forward = 0, Inverse = 1;
enum Kind { Plain, Weighted };

// Runs one transform of {in, n points} with guard words around the points and the work area.
Points transform(Kind kind, Points in, int direction) {
    const int n = static_cast<int>(in.size() / 2);
    Guarded points(2 * n), work(4 * n);
    std::copy(in.begin(), in.end(), points.data());
    if (kind == Weighted) {
        weighted_fft(points.data(), n, direction, work.data());
    } else {
        fft(points.data(), n, direction, work.data());
    }
    EXPECT_TRUE(points.intact() && work.intact()) << "n=" << n;
    return Points(points.data(), points.data() + 2 * n);
}

void expect_near(const Points& got, const Points& want, double tolerance) {
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < got.size(); ++i)
        EXPECT_NEAR(got[i], want[i], tolerance) << (i % 2 ? "im" : "re") << " of point " << i / 2;
}

Points random_points(int n, unsigned seed) {
    std::mt19937_64 gen(seed);
    std::uniform_real_distribution<double> unit(-1, 1);
    Points p(2 * n);
    for (double& v : p) v = unit(gen);
    return p;
}

struct KnownCase {
    const char* name;
    Kind kind;
    int direction;
    Points in, out;
};

class KnownTransform : public testing::TestWithParam<KnownCase> {};

TEST_P(KnownTransform, GivesExpectedPoints) {
    const KnownCase& c = GetParam();
    expect_near(transform(c.kind, c.in, c.direction), c.out, SmallTolerance);
}

const KnownCase known_cases[] = {
    // (x0, x1) -> (x1 - x0, x0 + x1)
    {"PairForward", Plain, Forward, {1, 2, 4, -1}, {3, -3, 5, 1}},
    {"PairInverse", Plain, Inverse, {1, 0, 2, 0}, {0.5, 0, 1.5, 0}},
    {"ImpulseFourForward", Plain, Forward, {1, 0, 0, 0, 0, 0, 0, 0}, {0, 1, -1, 0, 0, -1, 1, 0}},
    {"ImpulseFourInverse",
     Plain,
     Inverse,
     {1, 0, 0, 0, 0, 0, 0, 0},
     {0, -0.25, -0.25, 0, 0, 0.25, 0.25, 0}},
    {"ImpulseFourOtherDirectionCode",
     Plain,
     7,
     {1, 0, 0, 0, 0, 0, 0, 0},
     {0, 1, -1, 0, 0, -1, 1, 0}},
    // The first point turns by psi = e^(i pi/4), the last keeps its value.
    {"WeightedPairFirst", Weighted, Forward, {1, 0, 0, 0}, {-Root, -Root, Root, Root}},
    {"WeightedPairLast", Weighted, Forward, {0, 0, 1, 0}, {1, 0, 1, 0}},
};

INSTANTIATE_TEST_SUITE_P(Cases, KnownTransform, testing::ValuesIn(known_cases),
                         [](const testing::TestParamInfo<KnownCase>& info) {
                             return std::string(info.param.name);
                         });

TEST(MakeTwiddles, EightPointTablesDescendInAngle) {
    Points table(8);
    make_twiddles(4, Forward, table.data());
    expect_near(table, {-Root, Root, 0, 1, Root, Root, 1, 0}, SmallTolerance);
    EXPECT_EQ(table[6], 1.0);  // angle exactly 0
    make_twiddles(4, Inverse, table.data());
    expect_near(table, {-Root, -Root, 0, -1, Root, -Root, 1, 0}, SmallTolerance);
}

// out[q] = scale * sum_p in[p] * e^(i sigma 2pi E/(4n)), E = 4(p+1)(q+1) plus the weight
// exponent n-1-p (forward) or n-1-q (inverse), reduced mod 4n and summed in long double.
Points by_definition(Kind kind, const Points& in, int direction) {
    const std::int64_t n = static_cast<std::int64_t>(in.size() / 2);
    const long double sigma = direction == Inverse ? -1 : 1;
    const long double unit = sigma * 2 * std::acos(-1.0L) / (4 * n);
    Points out(in.size());
    for (std::int64_t q = 0; q < n; ++q) {
        long double re = 0, im = 0;
        for (std::int64_t p = 0; p < n; ++p) {
            std::int64_t e = 4 * (p + 1) * (q + 1);
            if (kind == Weighted) e += direction == Inverse ? n - 1 - q : n - 1 - p;
            const long double a = unit * (e % (4 * n));
            re += in[2 * p] * std::cos(a) - in[2 * p + 1] * std::sin(a);
            im += in[2 * p] * std::sin(a) + in[2 * p + 1] * std::cos(a);
        }
        const long double scale = direction == Inverse ? n : 1;
        out[2 * q] = static_cast<double>(re / scale);
        out[2 * q + 1] = static_cast<double>(im / scale);
    }
    return out;
}

TEST(Transform, MatchesDefinition) {
    for (int n = 2; n <= 256; n *= 2) {
        for (Kind kind : {Plain, Weighted}) {
            for (int direction : {Forward, Inverse}) {
                SCOPED_TRACE("n=" + std::to_string(n) + " weighted=" + std::to_string(kind) +
                             " direction=" + std::to_string(direction));
                const Points x = random_points(n, 100 + n);
                expect_near(transform(kind, x, direction), by_definition(kind, x, direction),
                            DefinitionTolerance);
            }
        }
    }
}

TEST(Transform, ImpulseInLastPosition) {
    for (int n = 2; n <= 1024; n *= 2) {
        SCOPED_TRACE("n=" + std::to_string(n));
        Points impulse(2 * n, 0.0);
        impulse[2 * n - 2] = 1;
        Points ones(2 * n, 0.0), nths(2 * n, 0.0);
        for (int i = 0; i < n; ++i) ones[2 * i] = 1, nths[2 * i] = 1.0 / n;
        expect_near(transform(Plain, impulse, Forward), ones, 0.0);
        expect_near(transform(Plain, impulse, Inverse), nths, 0.0);
    }
}

TEST(Transform, RoundTripAtEveryLength) {
    for (int n = 2; n <= (1 << 18); n *= 2) {
        for (Kind kind : {Plain, Weighted}) {
            SCOPED_TRACE("n=" + std::to_string(n) + " weighted=" + std::to_string(kind));
            const Points x = random_points(n, n);
            const Points back = transform(kind, transform(kind, x, Forward), Inverse);
            double worst = 0;
            for (size_t i = 0; i < x.size(); ++i)
                worst = std::max(worst, std::fabs(back[i] - x[i]));
            EXPECT_LE(worst, RoundTripTolerance);  // inputs lie in [-1, 1]
        }
    }
}

TEST(WeightedTransform, PointwiseProductGivesRightAngleConvolution) {
    // x = (1, 2), y = (3, 4): position 1 holds 2*4 + i*1*3, position 0 holds 1*4 + 2*3.
    Points x = transform(Weighted, {1, 0, 2, 0}, Forward);
    const Points y = transform(Weighted, {3, 0, 4, 0}, Forward);
    for (int i = 0; i < 2; ++i) {
        const double re = x[2 * i] * y[2 * i] - x[2 * i + 1] * y[2 * i + 1];
        x[2 * i + 1] = x[2 * i] * y[2 * i + 1] + x[2 * i + 1] * y[2 * i];
        x[2 * i] = re;
    }
    expect_near(transform(Weighted, x, Inverse), {10, 0, 8, 3}, 1e-14);
}

// The table entries the transforms read are the roots of unity of their angles, a whole
// number times the step of length n: every entry up to 2^12 points, then the ends and a
// spread of entries between.
bool same_bits(double a, double b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

TEST(Tables, EntriesAreTheRootsOfTheirAngleAtEveryLength) {
    for (int n = 2; n <= (1 << 18); n *= 2) {
        for (int direction : {Forward, Inverse}) {
            SCOPED_TRACE("n=" + std::to_string(n) + " direction=" + std::to_string(direction));
            const double sigma = direction == Inverse ? -1 : 1;
            const int every = std::max(1, n / 4096);
            Points made(n);
            if (n <= 4096) make_twiddles(n / 2, direction, made.data());
            for (int i = 0; i < n; i += (i < 8 || i >= n - 8) ? 1 : every + 3) {
                double c, s;
                unit_root(n - 1 - i, 4LL * n, &c, &s);
                const double* w = stored_weight(n, direction, i);
                EXPECT_TRUE(same_bits(w[0], c) && same_bits(w[1], sigma * s)) << "weight " << i;
                if (i >= n / 2) continue;
                unit_root(n / 2 - 1 - i, n, &c, &s);
                const double* t = stored_twiddle(n, direction, i);
                EXPECT_TRUE(same_bits(t[0], c) && same_bits(t[1], sigma * s)) << "twiddle " << i;
                if (n <= 4096) {
                    EXPECT_TRUE(same_bits(t[0], made[2 * i]) && same_bits(t[1], made[2 * i + 1]))
                        << "make_twiddles entry " << i;
                }
            }
        }
    }
}

// Every root of unity of 2^20 steps, within two units in the last place of the exact root, here
// in long double from the nearest quarter turn and the steps to it, so that values near zero
// are exact enough (the zeros of a quarter turn must be exact); and an angle of twice the
// steps at twice the length, the same bits.
TEST(UnitRoot, WithinTwoUnitsInTheLastPlace) {
    const std::int64_t q = 1 << 20;
    const long double step = 2 * std::acos(-1.0L) / q;
    // |got - want| in units in the last place below |want|; an exact zero must be got exactly.
    const auto error = [](double got, long double want) {
        if (std::fabs(want) < 1e-15L) return got == 0 ? 0.0 : 1e9;
        const double w = std::fabs(static_cast<double>(want));
        return static_cast<double>(std::fabs(got - want)) / (w - std::nextafter(w, 0.0));
    };
    double worst = 0;
    for (std::int64_t j = 0; j < q; ++j) {
        double c, s, c2, s2;
        unit_root(j, q, &c, &s);
        const std::int64_t quarter = (4 * j + q / 2) / q, d = j - quarter * (q / 4);
        const long double x = step * d, cx = std::cos(x), sx = std::sin(x);
        const long double want_c[4] = {cx, -sx, -cx, sx}, want_s[4] = {sx, cx, -sx, -cx};
        worst = std::max({worst, error(c, want_c[quarter % 4]), error(s, want_s[quarter % 4])});
        unit_root(2 * j, 2 * q, &c2, &s2);
        ASSERT_TRUE(same_bits(c, c2) && same_bits(s, s2)) << j;
    }
    EXPECT_LE(worst, 2.0);
}

// Sampled outputs of long transforms against the definition summed in long double; odd and
// even log2 n take different first passes and different pass counts.
TEST(Transform, LongTransformsMatchDefinitionAtSampledPoints) {
    // 64 bits: (p + 1)(q + 1) below reaches 2^36.
    for (std::int64_t n : {1 << 11, 1 << 12, 1 << 15, 1 << 16, 1 << 17, 1 << 18}) {
        const Points x = random_points(n, 7 * n);
        // e^(i 2pi t/(4n)) for t < 4n, in long double
        std::vector<long double> co(4 * n), si(4 * n);
        const long double unit = 2 * std::acos(-1.0L) / (4 * n);
        for (std::int64_t t = 0; t < 4 * n; ++t)
            co[t] = std::cos(unit * t), si[t] = std::sin(unit * t);
        const double tolerance = 1e-15 * std::sqrt(n) * ilog2(n);
        for (Kind kind : {Plain, Weighted}) {
            for (int direction : {Forward, Inverse}) {
                SCOPED_TRACE("n=" + std::to_string(n) + " weighted=" + std::to_string(kind) +
                             " direction=" + std::to_string(direction));
                const Points got = transform(kind, x, direction);
                const std::int64_t samples[] = {0,     1,         2,     n / 3, n / 2 - 1,
                                                n / 2, 2 * n / 3, n - 2, n - 1};
                for (std::int64_t q : samples) {
                    long double re = 0, im = 0;
                    for (std::int64_t p = 0; p < n; ++p) {
                        std::int64_t e = 4 * ((p + 1) * (q + 1) % n);
                        if (kind == Weighted) e += direction == Inverse ? n - 1 - q : n - 1 - p;
                        e %= 4 * n;
                        if (direction == Inverse) e = (4 * n - e) % (4 * n);
                        re += x[2 * p] * co[e] - x[2 * p + 1] * si[e];
                        im += x[2 * p] * si[e] + x[2 * p + 1] * co[e];
                    }
                    const long double scale = direction == Inverse ? n : 1;
                    EXPECT_NEAR(got[2 * q], static_cast<double>(re / scale), tolerance) << q;
                    EXPECT_NEAR(got[2 * q + 1], static_cast<double>(im / scale), tolerance) << q;
                }
            }
        }
    }
}

TEST(FftPass, WritesTheTemporaryAndLeavesThePoints) {
    // n = 4, s = 2 groups of m = 1: temp point k = v - u*w, point k + 2 = v + u*w, w = entry k.
    Points table(4);
    make_twiddles(2, Forward, table.data());  // (i, 1)
    const Points in = {1, 2, 3, 4, 5, 6, 7, 8};
    Points points = in, temp(8);
    fft_pass(points.data(), 1, 2, table.data(), temp.data());
    // group 0: u = 1+2i, v = 3+4i, u*i = -2+i; group 1: u = 5+6i, v = 7+8i, u*1
    expect_near(temp, {5, 3, 2, 2, 1, 5, 12, 14}, SmallTolerance);
    expect_near(points, in, 0.0);
}

TEST(TransformDeathTest, LengthMustBeAPowerOfTwoAtLeastTwo) {
#ifdef NDEBUG
    GTEST_SKIP() << "preconditions are asserts";
#else
    Points points(16), work(32);
    EXPECT_DEBUG_DEATH(fft(points.data(), 1, Forward, work.data()), "Assertion");
    EXPECT_DEBUG_DEATH(fft(points.data(), 6, Forward, work.data()), "Assertion");
    EXPECT_DEBUG_DEATH(weighted_fft(points.data(), 3, Inverse, work.data()), "Assertion");
    EXPECT_DEBUG_DEATH(weighted_fft(points.data(), 4, Forward, points.data() + 4), "Assertion");
#endif
}

// The permuted transforms keep one copy of the forward entries and multiply by their
// conjugates in the inverse direction: that holds bit for bit only while every inverse entry
// is the conjugate of its forward one (cos even, sin odd in the standard library). The
// longest length holds every entry of the shorter ones.
TEST(Tables, InverseEntriesAreConjugatesOfForwardOnes) {
    const int n = 1 << 18;
    int mismatches = 0;
    for (int e = 0; e < n / 2; ++e) {
        const double *f = stored_twiddle(n, Forward, e), *b = stored_twiddle(n, Inverse, e);
        mismatches += !(std::memcmp(&f[0], &b[0], 8) == 0 && -f[1] == b[1]);
    }
    for (int i = 0; i < n; ++i) {
        const double *f = stored_weight(n, Forward, i), *b = stored_weight(n, Inverse, i);
        mismatches += !(std::memcmp(&f[0], &b[0], 8) == 0 && -f[1] == b[1]);
    }
    EXPECT_EQ(mismatches, 0);
}

// The compact weights hold half of each length's, the others read as their mirrors, parts
// exchanged (fft/table_layout.h): every weight read that way is the weight of its index, bit
// for bit, the self-mirror psi^(n/2) among them. Every index up to 4096 points, then a spread.
TEST(Tables, CompactWeightsGiveEveryWeight) {
    for (int n = 16; n <= (1 << 18); n *= 2) {
        SCOPED_TRACE("n=" + std::to_string(n));
        const double* real = common::compact_weight_rows(n);
        const double* imaginary = real + n / 2 + WeightHead;
        const int half = n / 2, every = std::max(1, n / 4096);
        for (int i = 0; i < n; i += (i < 8 || i >= n - 8 || std::abs(i - half) < 2) ? 1 : every) {
            const int j = n - 1 - i;  // weight i is psi^j
            const bool mirrored = j >= half;
            const int q = half - 1 - (mirrored ? n - j : j);
            const double re = mirrored ? imaginary[q] : real[q];
            const double im = mirrored ? real[q] : imaginary[q];
            const double* w = stored_weight(n, Forward, i);
            EXPECT_TRUE(same_bits(re, w[0]) && same_bits(im, w[1])) << "weight " << i;
        }
    }
}

// ---- The permuted transform of the products ---------------------------------------------

// {points, n} interleaved <-> grouped as spectrum_real lays them out.
Points grouped(const Points& in, int n) {
    Points out(2 * n);
    for (int i = 0; i < n; ++i) {
        const long at = spectrum_real(i, n), G = spectrum_group(n);
        out[at] = in[2 * i];
        out[at + G] = in[2 * i + 1];
    }
    return out;
}

Points interleaved(const Points& in, int n) {
    Points out(2 * n);
    for (int i = 0; i < n; ++i) {
        const long at = spectrum_real(i, n), G = spectrum_group(n);
        out[2 * i] = in[at];
        out[2 * i + 1] = in[at + G];
    }
    return out;
}

// weighted_fft_permuted of {in, n points}, grouped in and out, with guard words around.
Points permuted(Points in, int direction) {
    const int n = static_cast<int>(in.size() / 2);
    Guarded points(2 * n);
    std::copy(in.begin(), in.end(), points.data());
    weighted_fft_permuted(points.data(), n, direction);
    EXPECT_TRUE(points.intact()) << "n=" << n;
    return Points(points.data(), points.data() + 2 * n);
}

// The lengths under 16 read the short tables, the others the compact copies of their own
// length: the short ones, both ends of the range and both parities of log2 n.
const int PermutedLengths[] = {2,   4,   8,    16,   32,   64,      128,
                               256, 512, 1024, 2048, 4096, 1 << 17, 1 << 18};

// The forward spectrum holds the points of weighted_fft's spectrum, each once, in an order
// of its own: sorted, the two lists agree. Inputs lie in [-1, 1], so spectra points differ
// by far more than the tolerance and sorting pairs them up.
TEST(PermutedTransform, SpectrumIsWeightedSpectrumReordered) {
    for (int n : PermutedLengths) {
        SCOPED_TRACE("n=" + std::to_string(n));
        const Points x = random_points(n, 3 * n);
        const Points natural = transform(Weighted, x, Forward);
        const Points reordered = interleaved(permuted(grouped(x, n), Forward), n);
        std::vector<std::pair<double, double>> a(n), b(n);
        for (int i = 0; i < n; ++i) {
            a[i] = {natural[2 * i], natural[2 * i + 1]};
            b[i] = {reordered[2 * i], reordered[2 * i + 1]};
        }
        std::sort(a.begin(), a.end());
        std::sort(b.begin(), b.end());
        const double tolerance = RoundTripTolerance * std::sqrt(n) * ilog2(n);
        for (int i = 0; i < n; ++i) {
            ASSERT_NEAR(a[i].first, b[i].first, tolerance) << "sorted point " << i;
            ASSERT_NEAR(a[i].second, b[i].second, tolerance) << "sorted point " << i;
        }
    }
}

// The permuted transforms read the short tables and the compact copies in the working memory,
// never the natural-order tables, which a run does not lay out: with those spoilt, both
// directions give the same bits.
TEST(PermutedTransform, ReadsNoNaturalOrderTable) {
    for (int n : PermutedLengths) {
        SCOPED_TRACE("n=" + std::to_string(n));
        const Points x = random_points(n, 5 * n);
        const Points forward = permuted(x, Forward), inverse = permuted(x, Inverse);
        tables_for(Forward, n);
        std::fill(Twiddles[0], Twiddles[0] + TablePoints[0], std::nan(""));
        std::fill(Weights[0], Weights[0] + 2 * TablePoints[0], std::nan(""));
        const Points spoilt_forward = permuted(x, Forward), spoilt_inverse = permuted(x, Inverse);
        TablePoints[0] = 0;  // made anew when next read
        EXPECT_EQ(std::memcmp(spoilt_forward.data(), forward.data(), 16LL * n), 0);
        EXPECT_EQ(std::memcmp(spoilt_inverse.data(), inverse.data(), 16LL * n), 0);
    }
}

TEST(PermutedTransform, RoundTripAtEveryLength) {
    for (int n = 2; n <= (1 << 18); n *= 2) {
        SCOPED_TRACE("n=" + std::to_string(n));
        const Points x = random_points(n, n + 1);
        const Points back = permuted(permuted(x, Forward), Inverse);
        double worst = 0;
        for (size_t i = 0; i < x.size(); ++i) worst = std::max(worst, std::fabs(back[i] - x[i]));
        EXPECT_LE(worst, RoundTripTolerance);
    }
}

// The transforms from words and the depth-first product give the bits of the separate
// steps: packing (word, +0), forward, pointwise product (of b with a, or of a with itself),
// inverse. And words all -0: a spectrum of zeros, whose signs tell how the weights met the
// zero imaginary parts.
TEST(PermutedTransform, FromWordsAndFusedProductMatchSeparateSteps) {
    for (int n : PermutedLengths) {
        if (n < 16) continue;
        SCOPED_TRACE("n=" + std::to_string(n));
        std::mt19937_64 gen(n);
        std::uniform_int_distribution<int> digit(-50000, 50000);
        std::vector<double> a(n), b(n);
        for (int i = 0; i < n; ++i) a[i] = digit(gen), b[i] = digit(gen);
        const auto packed = [n](const std::vector<double>& w) {
            Points p(2 * n);
            for (int i = 0; i < n; ++i) p[spectrum_real(i, n)] = w[i];
            return p;
        };
        const Points fa = permuted(packed(a), Forward), fb = permuted(packed(b), Forward);
        Points from_words(2 * n), fused(2 * n), square(2 * n), ab(2 * n), aa(2 * n);
        weighted_fft_permuted_words(a.data(), from_words.data(), n);
        EXPECT_EQ(std::memcmp(from_words.data(), fa.data(), 16LL * n), 0);
        multiply_spectra(fa.data(), fb.data(), ab.data(), n);
        multiply_spectra(fa.data(), fa.data(), aa.data(), n);
        weighted_fft_permuted_product(b.data(), fa.data(), fused.data(), n);
        weighted_fft_permuted_product(a.data(), nullptr, square.data(), n);
        EXPECT_EQ(std::memcmp(fused.data(), permuted(ab, Inverse).data(), 16LL * n), 0);
        EXPECT_EQ(std::memcmp(square.data(), permuted(aa, Inverse).data(), 16LL * n), 0);
        const std::vector<double> zeros(n, -0.0);
        weighted_fft_permuted_words(zeros.data(), from_words.data(), n);
        const Points packed_zeros = permuted(packed(zeros), Forward);
        EXPECT_EQ(std::memcmp(from_words.data(), packed_zeros.data(), 16LL * n), 0);
    }
}

}  // namespace
