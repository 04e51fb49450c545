// Products by convolution, checked as exact integers against GMP.
#include <gmp.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "fft/fft.h"
#include "tests/fft/guarded.h"
#include "tests/support/long_number_check.h"
#include "tests/support/normalize_reference.h"

namespace {

using Words = std::vector<double>;

constexpr double HalfRadix = 50000;

// Both RoundingErrors of a product must stay below this for the rounding to be right.
constexpr double RoundingLimit = 0.5;

// The integer sum_k M[k] * 10^(5(m-1-k)) of a run of signed whole words with |word| < 10^5,
// read through decimal strings of its positive and its negative words.
void run_to_mpz(mpz_t result, const double* M, int m) {
    std::string plus(5L * m, '0'), minus(5L * m, '0');
    for (int k = 0; k < m; ++k) {
        const long w = static_cast<long>(M[k]);
        std::string& s = w < 0 ? minus : plus;
        long digits = w < 0 ? -w : w;
        for (int d = 5 * k + 4; d >= 5 * k; --d, digits /= 10)
            s[d] = static_cast<char>('0' + digits % 10);
    }
    mpz_t negative;
    mpz_init_set_str(negative, minus.c_str(), 10);
    mpz_set_str(result, plus.c_str(), 10);
    mpz_sub(result, result, negative);
    mpz_clear(negative);
}

// Words 1..m-1 of a normalised run are balanced digits; word 0 takes every carry and may
// exceed the digit range, so it is split off before the string conversion.
void expect_normalised_product(const double* out, int m, const double* a, const double* b, int n,
                               long shift = 0) {
    for (int k = 1; k < m; ++k) ASSERT_LE(std::fabs(out[k]), HalfRadix) << "word " << k;
    mpz_t got, top, want, other;
    mpz_inits(got, top, want, other, nullptr);
    run_to_mpz(got, out + 1, m - 1);
    mpz_set_d(top, out[0]);
    mpz_ui_pow_ui(other, 100000, m - 1);
    mpz_addmul(got, top, other);
    run_to_mpz(want, a, n);
    run_to_mpz(other, b, n);
    mpz_mul(want, want, other);
    mpz_ui_pow_ui(other, 100000, shift);  // the words stripped from the top
    mpz_mul(want, want, other);
    EXPECT_EQ(mpz_cmp(got, want), 0) << "n=" << n;
    mpz_clears(got, top, want, other, nullptr);
}

Words random_words(int n, std::mt19937_64& gen) {
    std::uniform_int_distribution<int> digit(-50000, 50000);
    Words w(n);
    for (double& v : w) v = digit(gen);
    return w;
}

// convolve of {a, n} and {b, n} into a guarded output with a guarded scratch of 6n doubles.
double guarded_convolve(const double* a, const double* b, Words& out, int n) {
    Guarded o(2 * n), scratch(6 * n);
    const double err = convolve(a, b, o.data(), n, scratch.data());
    EXPECT_TRUE(o.intact() && scratch.intact()) << "n=" << n;
    out.assign(o.data(), o.data() + 2 * n);
    return err;
}

void check_convolve(const Words& a, const Words& b) {
    const int n = static_cast<int>(a.size());
    Words out;
    EXPECT_LT(guarded_convolve(a.data(), b.data(), out, n), RoundingLimit) << "n=" << n;
    expect_normalised_product(out.data(), 2 * n, a.data(), b.data(), n);
}

// multiply of (exponent ex; x) by (exponent ey; y): z = x*y exactly, the top word non-zero.
void check_multiply(const Words& x, const Words& y, double ex, double ey) {
    const int n = static_cast<int>(x.size());
    Words xn(1, ex), yn(1, ey);
    xn.insert(xn.end(), x.begin(), x.end());
    yn.insert(yn.end(), y.begin(), y.end());
    Guarded z(2 * n + 1), scratch(6 * n);
    const double err = multiply(xn.data(), yn.data(), z.data(), n, scratch.data());
    EXPECT_TRUE(z.intact() && scratch.intact()) << "n=" << n;
    EXPECT_LT(err, RoundingLimit) << "n=" << n;
    const double* Z = z.data();
    EXPECT_NE(Z[1], 0) << "n=" << n;
    const long stripped = static_cast<long>(ex + ey - Z[0]);
    ASSERT_GE(stripped, 0);
    expect_normalised_product(Z + 1, 2 * n, x.data(), y.data(), n, stripped);
}

TEST(Convolve, ExactForRandomBalancedWordsAtEveryLength) {
    std::mt19937_64 gen(20261208);
    for (int n = 2; n <= (1 << 14); n *= 2) {
        check_convolve(random_words(n, gen), random_words(n, gen));
        check_multiply(random_words(n, gen), random_words(n, gen), 3, -n);
    }
}

// The longest run: random words, and every word at 50000, whose RoundingError comes nearest
// to 0.5 (about 0.375).
TEST(Convolve, ExactAtLongestLength) {
#ifndef NDEBUG
    GTEST_SKIP() << "2^18 words run only in the optimised build";
#endif
    std::mt19937_64 gen(262144);
    const int n = 1 << 18;
    check_convolve(random_words(n, gen), random_words(n, gen));
    check_multiply(random_words(n, gen), random_words(n, gen), 1, 1);
    const Words top(n, HalfRadix);
    check_convolve(top, top);
}

// Every word at +-50000 gives the largest coefficients the computation forms.
TEST(Convolve, ExactForExtremeWords) {
    const int longest = 1 << 14;
    Words top(longest, HalfRadix), alternating(longest);
    for (int i = 0; i < longest; ++i) alternating[i] = i % 2 ? -HalfRadix : HalfRadix;
    for (int n = 2; n <= longest; n *= 4) {
        const Words t(top.begin(), top.begin() + n),
            s(alternating.begin(), alternating.begin() + n);
        check_convolve(t, t);
        check_convolve(t, s);
    }
}

// Short products skip leading zero words and stop their carries just above the top
// coefficient. Bit for bit they must equal every word summed and the whole run carried, in
// both digit ranges, the largest words of each included (99999^2 carries past a word).
TEST(Convolve, ShortProductsWithLeadingZerosEqualWholeRunSums) {
    std::mt19937_64 gen(5);
    for (int mode : {-1, 0}) {
        CarryModeGuard guard(mode);
        const int lo = mode < 0 ? -50000 : 0, hi = mode < 0 ? 50000 : 99999;
        std::uniform_int_distribution<int> digit(lo, hi);
        for (int n : {2, 8, SchoolbookLongest}) {
            const struct {
                int zeros_a, zeros_b;
            } cases[] = {{0, 0},         {1, 0}, {0, n - 1}, {n / 2, n / 4},
                         {n - 1, n - 1}, {n, 1}, {n, n}};
            for (const auto& c : cases) {
                for (bool largest : {false, true}) {
                    Words a(n, 0.0), b(n, 0.0);
                    for (int i = c.zeros_a; i < n; ++i) a[i] = largest ? hi : digit(gen);
                    for (int i = c.zeros_b; i < n; ++i) b[i] = largest ? hi : digit(gen);
                    Words want(2 * n, 0.0), got;
                    for (int i = 0; i < n; ++i)
                        for (int j = 0; j < n; ++j) want[i + j + 1] += a[i] * b[j];
                    normalize_carries_two_sweeps(want.data(), 2 * n);
                    EXPECT_EQ(guarded_convolve(a.data(), b.data(), got, n), 0.0);
                    EXPECT_EQ(got, want) << "mode " << mode << " n=" << n << " zeros " << c.zeros_a
                                         << "," << c.zeros_b;
                }
            }
        }
    }
}

// A factor of +1 or -1 copies the other operand only while its words, with the sign, are
// digits; a word beyond them (an unreduced top word) must be carried. Either operand may be
// the one-word factor. Plain digits take non-negative products only.
TEST(Convolve, ProductsByPlusOrMinusOneEqualWholeRunSums) {
    std::mt19937_64 gen(17);
    std::uniform_int_distribution<int> digit(0, 50000);
    for (int mode : {-1, 0}) {
        CarryModeGuard guard(mode);
        for (int n : {4, 32}) {
            for (double unit : {1.0, -1.0}) {
                for (double top : {12345.0, 3 * HalfRadix + 1, -7.0e9}) {
                    if (mode >= 0 && (unit < 0 || top < 0)) continue;
                    Words one(n, 0.0), v(n, 0.0);
                    one[n - 1] = unit;
                    for (int i = n / 2; i < n; ++i) v[i] = digit(gen);
                    v[n / 2] = top;
                    Words want(2 * n, 0.0), got;
                    for (int j = 0; j < n; ++j) want[n + j] = unit * v[j];
                    normalize_carries_two_sweeps(want.data(), 2 * n);
                    for (bool swapped : {false, true}) {
                        const Words& a = swapped ? v : one;
                        const Words& b = swapped ? one : v;
                        EXPECT_EQ(guarded_convolve(a.data(), b.data(), got, n), 0.0);
                        EXPECT_EQ(got, want) << "mode " << mode << " n=" << n << " unit " << unit
                                             << " top " << top << (swapped ? " swapped" : "");
                    }
                }
            }
        }
    }
}

// a*b + c*d from four spectra and one inverse transform: the sum of two exact products,
// coefficients up to twice as large as those of one product.
TEST(ProductInPieces, SumOfTwoProductsIsExact) {
    std::mt19937_64 gen(31);
    for (int n : {2, 16, 1024, 1 << 14}) {
        const Words a = random_words(n, gen), b = random_words(n, gen), c = random_words(n, gen),
                    d(n, HalfRadix);
        Guarded sa(2 * n), sb(2 * n), sc(2 * n), sd(2 * n), sum(2 * n), out(2 * n);
        forward_spectrum(a.data(), sa.data(), n);
        forward_spectrum(b.data(), sb.data(), n);
        forward_spectrum(c.data(), sc.data(), n);
        forward_spectrum(d.data(), sd.data(), n);
        multiply_spectra(sa.data(), sb.data(), sum.data(), n);
        add_product_of_spectra(sc.data(), sd.data(), sum.data(), n);
        EXPECT_LT(product_from_spectrum(sum.data(), out.data(), n), RoundingLimit);
        for (Guarded* g : {&sa, &sb, &sc, &sd, &sum, &out}) EXPECT_TRUE(g->intact()) << "n=" << n;

        // The oracle: a*b and c*d by convolve, summed in GMP.
        Words ab, cd;
        guarded_convolve(a.data(), b.data(), ab, n);
        guarded_convolve(c.data(), d.data(), cd, n);
        mpz_t got, want, part, top, scale;
        mpz_inits(got, want, part, top, scale, nullptr);
        mpz_ui_pow_ui(scale, 100000, 2 * n - 1);
        const auto value = [&](mpz_t v, const double* w) {
            run_to_mpz(v, w + 1, 2 * n - 1);
            mpz_set_d(top, w[0]);
            mpz_addmul(v, top, scale);
        };
        value(got, out.data());
        value(want, ab.data());
        value(part, cd.data());
        mpz_add(want, want, part);
        EXPECT_EQ(mpz_cmp(got, want), 0) << "n=" << n;
        for (int k = 1; k < 2 * n; ++k) ASSERT_LE(std::fabs(out.data()[k]), HalfRadix);
        mpz_clears(got, want, part, top, scale, nullptr);
    }
}

// The pieces at every length, both parities of log2 n, short lengths included (convolve
// sums those word by word): a*b alone and a*b + c*d through one inverse transform, checked
// in GMP. The rows are operands whose coefficients are typical, the largest there are, and
// the largest with alternating signs.
TEST(ProductInPieces, ExactAtEveryLength) {
    enum Kind { Random, AllTop, Alternating };
    const struct {
        const char* name;
        Kind kind;
    } rows[] = {{"random", Random}, {"every word 50000", AllTop}, {"+-50000", Alternating}};
    std::mt19937_64 gen(4099);
    for (const auto& row : rows) {
        for (int n = 2; n <= (1 << 14); n *= 2) {
            SCOPED_TRACE(std::string(row.name) + " n=" + std::to_string(n));
            Words ops[4];
            for (Words& w : ops) {
                w = random_words(n, gen);
                for (int i = 0; i < n; ++i) {
                    if (row.kind == AllTop) w[i] = HalfRadix;
                    if (row.kind == Alternating) w[i] = i % 2 ? -HalfRadix : HalfRadix;
                }
            }
            Guarded s[4] = {Guarded(2 * n), Guarded(2 * n), Guarded(2 * n), Guarded(2 * n)};
            Guarded sum(2 * n), out(2 * n);
            for (int k = 0; k < 4; ++k) forward_spectrum(ops[k].data(), s[k].data(), n);

            // a*b alone.
            multiply_spectra(s[0].data(), s[1].data(), sum.data(), n);
            EXPECT_LT(product_from_spectrum(sum.data(), out.data(), n), RoundingLimit);
            expect_normalised_product(out.data(), 2 * n, ops[0].data(), ops[1].data(), n);

            // a*b + c*d: the sum of the two exact products.
            multiply_spectra(s[0].data(), s[1].data(), sum.data(), n);
            add_product_of_spectra(s[2].data(), s[3].data(), sum.data(), n);
            EXPECT_LT(product_from_spectrum(sum.data(), out.data(), n), RoundingLimit);
            mpz_t got, want, part, top, scale;
            mpz_inits(got, want, part, top, scale, nullptr);
            mpz_ui_pow_ui(scale, 100000, 2 * n - 1);
            run_to_mpz(got, out.data() + 1, 2 * n - 1);
            mpz_set_d(top, out.data()[0]);
            mpz_addmul(got, top, scale);
            run_to_mpz(want, ops[0].data(), n);
            run_to_mpz(part, ops[1].data(), n);
            mpz_mul(want, want, part);
            run_to_mpz(part, ops[2].data(), n);
            run_to_mpz(top, ops[3].data(), n);
            mpz_addmul(want, part, top);
            EXPECT_EQ(mpz_cmp(got, want), 0);
            mpz_clears(got, want, part, top, scale, nullptr);
            for (Guarded* g : {&s[0], &s[1], &s[2], &s[3], &sum, &out}) EXPECT_TRUE(g->intact());
        }
    }
}

// Rounded and carried in one pass, a product has the words of its exact coefficients carried
// by the two sweeps, bit for bit, in both digit ranges. Sparse words of +-50000 times small
// ones give coefficients of whole numbers and halves of B over zeros: ties of balanced digits.
// n = 2 has groups of two points; at n = 128 a chunk of the carries spans both halves.
TEST(ProductInPieces, SameWordsAsExactCoefficientsCarriedInTwoSweeps) {
    std::mt19937_64 gen(2);
    for (int mode : {-1, 1}) {
        CarryModeGuard guard(mode);
        for (int n : {2, 4, 128, 1024}) {
            Words a(n), b(n), want(2 * n, 0.0);
            for (int i = 0; i < n; ++i) {
                a[i] = gen() % 4 ? 0 : gen() % 2 ? HalfRadix : -HalfRadix;
                b[i] = gen() % 4 ? 0 : static_cast<double>(gen() % 7) - 3;
            }
            for (int i = 0; i < n; ++i)
                for (int j = 0; j < n; ++j) want[i + j + 1] += a[i] * b[j];
            normalize_carries_two_sweeps(want.data(), 2 * n);
            Guarded sa(2 * n), sb(2 * n), out(2 * n);
            forward_spectrum(a.data(), sa.data(), n);
            forward_spectrum(b.data(), sb.data(), n);
            multiply_spectra(sa.data(), sb.data(), sa.data(), n);
            EXPECT_LT(product_from_spectrum(sa.data(), out.data(), n), RoundingLimit);
            EXPECT_EQ(Words(out.data(), out.data() + 2 * n), want) << "mode " << mode << " n=" << n;
            EXPECT_TRUE(out.intact() && sa.intact());
        }
    }
}

// Operands of 2n words folded onto n points: their product's coefficients below word 2n are
// the exact ones, and those from word 2n up come back subtracted from the bottom ones. The
// oracle sums the products of words, which is exact. Rows: a product that fits, and one whose
// coefficients overrun word 2n by an eighth of it; the long operand has words in every
// quarter of its upper half.
TEST(ProductInPieces, FoldedOperandsWrapWithTheOppositeSign) {
    std::mt19937_64 gen(12);
    for (int n : {16, 256, 4096}) {
        for (int overrun : {0, n / 4}) {
            SCOPED_TRACE("n=" + std::to_string(n) + " overrun=" + std::to_string(overrun));
            const int la = 2 * n - n / 8, lb = n / 8 + 1 + overrun;  // 2n + overrun coefficients
            Words a = random_words(2 * n, gen), b = random_words(2 * n, gen);
            std::fill(a.begin(), a.end() - la, 0.0);
            std::fill(b.begin(), b.end() - lb, 0.0);
            Words want(2 * n, 0.0);  // by word from the bottom
            for (int i = 0; i < la; ++i)
                for (int j = 0; j < lb; ++j) {
                    const double c = a[2 * n - 1 - i] * b[2 * n - 1 - j];
                    if (i + j < 2 * n)
                        want[i + j] += c;
                    else
                        want[i + j - 2 * n] -= c;
                }
            Guarded sa(2 * n), sb(2 * n), out(2 * n);
            forward_spectrum_folded(a.data(), sa.data(), n);
            forward_spectrum_folded(b.data(), sb.data(), n);
            multiply_spectra(sa.data(), sb.data(), sa.data(), n);
            EXPECT_LT(product_coefficients(sa.data(), out.data(), n), RoundingLimit);
            for (int p = 0; p < 2 * n; ++p) ASSERT_EQ(out.data()[2 * n - 1 - p], want[p]) << p;
            EXPECT_TRUE(out.intact() && sa.intact() && sb.intact());
        }
    }
}

TEST(Convolve, SquareEqualsProductOfTwoCopies) {
    std::mt19937_64 gen(7);
    for (int n : {2, 64, 4096}) {
        const Words a = random_words(n, gen), copy = a;
        Words square, product;
        const double e1 = guarded_convolve(a.data(), a.data(), square, n);
        const double e2 = guarded_convolve(a.data(), copy.data(), product, n);
        EXPECT_EQ(square, product) << "n=" << n;
        EXPECT_EQ(e1, e2) << "n=" << n;
    }
}

// A fractional word stands for a transform error of known size: the returned value is the
// distance of the farthest coefficient, whether it lands in the upper half of the product
// (the wrapped, imaginary parts) or in the lower half (the real parts). Short products are
// summed word by word and never round, so the transforms are called by their pieces.
TEST(ProductInPieces, RoundingErrorIsDistanceOfFarthestCoefficient) {
    const struct {
        Words a, b;
        double err;
    } cases[] = {
        {{0.25, 0, 0, 0}, {1, 0, 0, 0}, 0.25},    // upper half: 0.25 * B^6
        {{0, 0, 0, 0.25}, {0, 0, 0, 1}, 0.25},    // lower half: 0.25 * B^0
        {{0.75, 0, 0, 0}, {0, 1, 0, 0}, 0.25},    // upper half: 0.75 * B^5 rounds up
        {{0, 0, 0.375, 0}, {0, 0, 0, 1}, 0.375},  // lower half: 0.375 * B^1
    };
    for (const auto& c : cases) {
        double sa[8], sb[8], out[8];
        forward_spectrum(c.a.data(), sa, 4);
        forward_spectrum(c.b.data(), sb, 4);
        multiply_spectra(sa, sb, sa, 4);
        EXPECT_NEAR(product_from_spectrum(sa, out, 4), c.err, 1e-14);
    }
}

// One kept spectrum of x serves a run of products: partners through transforms, one summed
// word by word in between (it must leave the kept spectrum as it is), each product exact
// and with multiply's RoundingError.
TEST(ProductInPieces, KeptSpectrumServesSeveralProducts) {
    std::mt19937_64 gen(17);
    for (int n : {8, 64, 2048}) {
        Words x(1, 2.0);
        const Words xw = random_words(n, gen);
        x.insert(x.end(), xw.begin(), xw.end());
        Guarded scratch(6 * n);
        bool ready = false;
        for (int significant : {n, 2, n / 2}) {
            Words y(n + 1, 0.0);
            y[0] = -1;
            const Words yw = random_words(significant, gen);
            std::copy(yw.begin(), yw.end(), y.end() - significant);
            Guarded z(2 * n + 1);
            Words alone(2 * n + 1), other(6 * n);
            const double err = multiply_sharing(x.data(), scratch.data() + 2 * n, &ready, y.data(),
                                                nullptr, nullptr, z.data(), n, scratch.data());
            EXPECT_EQ(err, multiply(x.data(), y.data(), alone.data(), n, other.data()));
            EXPECT_TRUE(z.intact() && scratch.intact()) << "n=" << n;
            const double* Z = z.data();
            expect_normalised_product(Z + 1, 2 * n, x.data() + 1, y.data() + 1, n,
                                      static_cast<long>(x[0] + y[0] - Z[0]));
        }
        EXPECT_EQ(ready, n > SchoolbookLongest) << "n=" << n;
    }
}

TEST(Multiply, ZeroOperandIsExactAndLowersExponentByTwoN) {
    std::mt19937_64 gen(11);
    for (int n : {2, 256, 8192}) {
        Words x(1, 4), zero(n + 1, 0.0);
        const Words w = random_words(n, gen);
        x.insert(x.end(), w.begin(), w.end());
        zero[0] = -3;
        Words z(2 * n + 1, 9.0), scratch(6 * n);
        EXPECT_EQ(multiply(x.data(), zero.data(), z.data(), n, scratch.data()), 0.0);
        Words want(2 * n + 1, 0.0);
        want[0] = 4 - 3 - 2 * n;
        EXPECT_EQ(z, want) << "n=" << n;
    }
}

// multiply writes a product one word low where the operands' leading words say its top word
// will be zero, and moves the whole product up where the words below carry into it after all.
// The output starts as junk, so every one of its 2n + 1 words must be written. Word 1 of a
// normalised number may exceed B/2: 94356 * 1 + (94356 * -47009 - 30010) / B = 49999.9 says
// zero, and the third words carry 0.6 more. The same leading words over random ones below
// take the transforms at 64 words; 3 * 2 leaves the top word zero.
TEST(Multiply, ProductWrittenOneWordLowComesOutWhole) {
    const Words wrong_x = {94356, -30010, 50000}, wrong_y = {1, -47009, 50000};
    const struct {
        const char* name;
        int n;
        Words x, y;  // the leading words; random balanced words below them
        bool top_word_zero;
    } rows[] = {
        {"GuessWrongSummed", 4, wrong_x, wrong_y, false},
        {"GuessWrongTransformed", 64, wrong_x, wrong_y, false},
        {"GuessRightTransformed", 64, {3, 17}, {2, -40000}, true},
    };
    std::mt19937_64 gen(23);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const int n = row.n;
        Words x = random_words(n, gen), y = random_words(n, gen);
        if (n == 4) x.back() = y.back() = 0;
        std::copy(row.x.begin(), row.x.end(), x.begin());
        std::copy(row.y.begin(), row.y.end(), y.begin());
        x.insert(x.begin(), 2.0);
        y.insert(y.begin(), -1.0);
        Guarded z(2 * n + 1, 12345.5), scratch(4 * n);
        EXPECT_LT(multiply(x.data(), y.data(), z.data(), n, scratch.data()), RoundingLimit);
        EXPECT_TRUE(z.intact() && scratch.intact());
        const double* Z = z.data();
        EXPECT_EQ(Z[0], row.top_word_zero ? 0.0 : 1.0);  // the exponent: one word stripped or none
        expect_normalised_product(Z + 1, 2 * n, x.data() + 1, y.data() + 1, n,
                                  row.top_word_zero ? 1 : 0);
    }
}

struct SmallCase {
    const char* name;
    Words x, y, z;     // exponent first
    double max_error;  // grows with the size of the coefficients
};

class MultiplySmall : public testing::TestWithParam<SmallCase> {};

TEST_P(MultiplySmall, GivesExpectedNumber) {
    const SmallCase& c = GetParam();
    Words z(5), scratch(12);
    EXPECT_LT(multiply(c.x.data(), c.y.data(), z.data(), 2, scratch.data()), c.max_error);
    EXPECT_EQ(z, c.z);
}

const SmallCase small_cases[] = {
    // 1.00002 x 3.00004 = 3.0001000008: coefficients (0, 3, 10, 8), one zero word stripped.
    {"OnePointOhOhOhTwoTimesThree", {1, 1, 2}, {1, 3, 4}, {1, 3, 10, 8, 0}, 1e-14},
    // (1, -2) * (3, 4): coefficients (0, 3, -2, -8), already balanced.
    {"NegativeWords", {2, 1, -2}, {2, 3, 4}, {3, 3, -2, -8, 0}, 1e-14},
    // 0.4 x 0.4: the coefficient 1.6e9 carries 16000 into word 0, so nothing is stripped.
    {"CarryIntoTopWord", {0, 40000, 0}, {0, 40000, 0}, {0, 16000, 0, 0, 0}, 1e-6},
};

INSTANTIATE_TEST_SUITE_P(Cases, MultiplySmall, testing::ValuesIn(small_cases),
                         [](const testing::TestParamInfo<SmallCase>& info) {
                             return std::string(info.param.name);
                         });

TEST(ConvolveDeathTest, RejectsBadLengthAndOverlap) {
#ifdef NDEBUG
    GTEST_SKIP() << "preconditions are asserts";
#else
    Words a(8, 1.0), out(16), scratch(48);
    EXPECT_DEBUG_DEATH(convolve(a.data(), a.data(), out.data(), 3, scratch.data()), "Assertion");
    EXPECT_DEBUG_DEATH(convolve(a.data(), a.data(), out.data(), 1, scratch.data()), "Assertion");
    EXPECT_DEBUG_DEATH(convolve(a.data(), out.data() + 4, out.data(), 4, scratch.data()),
                       "Assertion");
    EXPECT_DEBUG_DEATH(convolve(a.data(), a.data(), a.data() + 3, 4, scratch.data()), "Assertion");
    Words x(5, 1.0), z(9);
    EXPECT_DEBUG_DEATH(multiply(x.data(), z.data(), z.data(), 4, scratch.data()), "Assertion");
#endif
}

}  // namespace
