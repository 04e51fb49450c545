// The merge levels of a DRM step that make their products by transforms, and the route that
// each level takes (drm_combine): the groups of a level merged pair by pair, with exact
// products, into groups of twice as many terms by the formula of drm/merge.h.
//
// The routes of a level differ only in how its products are made. For the routes that
// transform, merge_level writes the formula once, and each route gives its products by three
// functions: operand (what the route keeps of a factor), product (a * b into 2k words) and
// sum_of_products (a*b + c*d).
//   SharedSpectra: every factor transformed once at the level's length L <= k, from its low
//     L words; N comes back as one sum through one inverse transform.
//   FoldedSpectra: the same at k/2 points, each factor's upper half in the imaginary parts.
//     N_L (y^a D_R) alone overruns word k; its coefficients from there up come back
//     subtracted from its bottom ones, so they are summed word by word and put back.
#include <algorithm>

#include "drm/merge.h"
#include "drm/merge_routes.h"
#include "fft/fft.h"
#include "fft/scratch.h"

long MergeLevels[MergeRouteCount];

namespace {

// The factors of a pair and of its level. In the spectra routes each has an area of its
// own for its spectrum; the LowHalf area also takes each product as it is formed, since the
// low half of y^a D_R is transformed only after that product is back in words and is used
// up by the numerator before the next product.
enum Role {
    Power,
    RightDenominator,
    LeftDenominator,
    LeftNumerator,
    RightNumerator,
    LowHalf,
    Roles
};

// The memory of a level of group length k and length L, named once:
//   power_times_right: ProductWork[1..2k], y^a D_R;
//   low_half: its low half (words k+1..2k), a factor of the numerator;
//   reversed: after it, folded: the top words of N_L that meet y^a D_R beyond word k, bottom
//     first, at most k / FoldedOverrunShare;
//   spectra: FftScratch from its start, the spectra routes' spectra, one of length L for each
//     Role (fft/scratch.h);
//   beyond: after them, folded: N_L (y^a D_R)'s coefficients from word k up, at most
//     k / FoldedOverrunShare.
struct LevelAreas {
    double* power_times_right;
    double* low_half;
    double* reversed;
    double* spectra;
    double* beyond;
};

LevelAreas level_areas(int k, int L) {
    double* power_times_right = ProductWork + 1;
    return {power_times_right, power_times_right + k, power_times_right + 2 * k, FftScratch,
            level_spectrum(FftScratch, L, Roles)};
}

double* spectrum_area(const LevelAreas& at, int L, Role role) {
    return level_spectrum(at.spectra, L, role);
}

// ---- Shared spectra ---------------------------------------------------------------------

struct SharedSpectra {
    int k, L;
    LevelAreas at;
};

// A factor: its k words and its spectrum of the level's length.
struct Spectrum {
    const double* words;
    double* points;
};

Spectrum operand(const SharedSpectra& way, const double* group, Role role) {
    double* points = spectrum_area(way.at, way.L, role);
    forward_spectrum(group + (way.k - way.L), points, way.L);
    return {group, points};
}

// {out, 2k} <- the product whose spectrum of length L <= k is given: its 2L words at the
// bottom, zeros above, normalised as a product of length k would be. The spectrum is used
// up. Returns the RoundingError.
double product_into(double* spectrum, double* out, int L, int k) {
    const int above = 2 * (k - L);
    fill_words(0, out, above);
    const double err = product_from_spectrum(spectrum, out + above, L);
    // The top word of the short product took its carry unreduced; reduce it into the zero
    // word above, the last step the longer product's normalisation would take.
    if (above > 0) normalize_carries(out + above - 1, 2);
    return err;
}

double product(const SharedSpectra& way, const Spectrum& a, const Spectrum& b, double* out) {
    double* formed = spectrum_area(way.at, way.L, LowHalf);
    multiply_spectra(a.points, b.points, formed, way.L);
    return product_into(formed, out, way.L, way.k);
}

double sum_of_products(const SharedSpectra& way, const Spectrum& a, const Spectrum& b,
                       const Spectrum& c, const Spectrum& d, double* out) {
    double* formed = spectrum_area(way.at, way.L, LowHalf);
    multiply_spectra(a.points, b.points, formed, way.L);
    add_product_of_spectra(c.points, d.points, formed, way.L);
    return product_into(formed, out, way.L, way.k);
}

// ---- Folded spectra ---------------------------------------------------------------------

// Spectra of length L = k/2, every factor folded.
struct FoldedSpectra {
    int k, L;
    LevelAreas at;
};

Spectrum operand(const FoldedSpectra& way, const double* group, Role role) {
    double* points = spectrum_area(way.at, way.L, role);
    forward_spectrum_folded(group, points, way.L);
    return {group, points};
}

// A product of folded factors whose coefficients stand below word k is their product of
// length k, as the shared spectra make it.
double product(const FoldedSpectra& way, const Spectrum& a, const Spectrum& b, double* out) {
    return product(SharedSpectra{way.k, way.L, way.at}, a, b, out);
}

// over[t] <- the coefficient of A * B at word k + t from the bottom, for the k-word integers
// {A, k} and {B, k} (most significant first) with sa and sb significant words: the part of
// the product that a folded transform of length k/2 subtracts from its bottom words. Each is
// a sum of products of two words, exact. Returns their number, count. Only the top count words
// of each meet beyond word k: A's are turned bottom first into `reversed`, so that each sum
// runs over both in the same direction.
int coefficients_beyond(const double* A, int sa, const double* B, int sb, int k, double* over,
                        double* reversed) {
    const int count = sa + sb - 1 - k;  // words k .. sa + sb - 2
    if (count <= 0) return 0;
    // reversed[u] is word sa - count + u of A from the bottom; top[v] is word count - 1 - v of
    // B's top count words from their top, so that word k + t meets reversed[t + v] * top[v].
    for (int u = 0; u < count; ++u) reversed[u] = A[k - 1 - (sa - count + u)];
    const double* top = B + (sa - count - 1);
    for (int t = 0; t < count; ++t) {
        // Whole numbers far below 2^53 add up exactly in any order: eight sums side by side, so
        // that the additions do not wait for one another.
        const double* r = reversed + t;
        const int len = count - t;
        double sum[8] = {};
        int v = 0;
        for (; v + 8 <= len; v += 8)
            for (int j = 0; j < 8; ++j) sum[j] += r[v + j] * top[v + j];
        for (; v < len; ++v) sum[0] += r[v] * top[v];
        over[t] = ((sum[0] + sum[1]) + (sum[2] + sum[3])) + ((sum[4] + sum[5]) + (sum[6] + sum[7]));
    }
    return count;
}

// {out, 2k} <- the sum whose folded spectrum of length k/2 is given, with its `count`
// coefficients from word k up (over) put back: the transform subtracted them from its bottom
// words. Normalised as a product of length k would be. Returns the RoundingError.
double numerator_from_folded(double* spectrum, const double* over, int count, double* out, int k) {
    fill_words(0, out, k);
    const double err = product_coefficients(spectrum, out + k, k / 2);
    for (int t = 0; t < count; ++t) {
        out[2 * k - 1 - t] += over[t];
        out[k - 1 - t] = over[t];
    }
    normalize_carries(out, 2 * k);
    return err;
}

// a*b + c*d, of which a*b may overrun word k (by at most k / FoldedOverrunShare words) and
// c*d may not. The overrun is summed from the factors' words before out, which may be a's
// words, is written.
double sum_of_products(const FoldedSpectra& way, const Spectrum& a, const Spectrum& b,
                       const Spectrum& c, const Spectrum& d, double* out) {
    const int k = way.k, L = way.L;
    double* beyond = way.at.beyond;
    const int count =
        coefficients_beyond(a.words, significant_words(a.words, k), b.words,
                            significant_words(b.words, k), k, beyond, way.at.reversed);
    double* formed = spectrum_area(way.at, L, LowHalf);
    multiply_spectra(a.points, b.points, formed, L);
    add_product_of_spectra(c.points, d.points, formed, L);
    return numerator_from_folded(formed, beyond, count, out, k);
}

// ---- The level --------------------------------------------------------------------------

// Every pair of a level merged by the formula (drm/merge.h), then y^a squared, each product
// made the way's own way. Returns the largest RoundingError.
template <typename Way>
double merge_level(const Way& way, int m) {
    const int k = way.k;
    const LevelAreas& at = way.at;
    const auto power = operand(way, PowerWork + 1, Power);
    double err = 0.0;
    for (int pair = 0, b = 1; pair < m; ++pair, b += 2 * k) {
        const int r = b + k;
        const auto right = operand(way, Denominators + r, RightDenominator);
        const auto left = operand(way, Denominators + b, LeftDenominator);
        const auto left_numerator = operand(way, Numerators + b, LeftNumerator);
        const auto right_numerator = operand(way, Numerators + r, RightNumerator);
        const double e1 = product(way, power, right, at.power_times_right);
        // y^a D_R must fit in k words: the word just above its low half must be zero.
        if (at.power_times_right[k - 1] != 0) stop_on_group_overflow();
        const auto low_half = operand(way, at.low_half, LowHalf);
        // The merged group goes over the pair once each factor has been read.
        const double e2 =
            sum_of_products(way, left_numerator, low_half, right_numerator, left, Numerators + b);
        const double e3 = product(way, left, right, Denominators + b);
        err = max3(err, e1, max2(e2, e3));
    }
    return max2(err, product(way, power, power, PowerWork + 1));
}

// The route of a level and its length (drm/merge_routes.h): the shortest power of two L that
// holds every operand of its products, which are the groups' numerators and denominators, y^a,
// and the low half of y^a D_R, which has at most as many words as y^a and D_R together. A
// group's k words are mostly leading zeros (a group of a terms has k = 4a words, its odd
// numbers take about 1.2a and y^a from 0.3a for x = 5 to 2a for x = 110443), and operands
// of at most L words multiply exactly by transforms of length L.
//
// Numerators of just over half a group (those of x = 239, 515 and 682 take 0.50 to 0.53 of
// it) would double the length to k. Such a level runs folded at k/2 where that pays: every
// product of at most k coefficients comes out exact, and only the numerator's
// N_L (y^a D_R) may overrun word k.
MergeRoute level_route(int k, int m, int words, int* length) {
    *length = k;
    // A level's length is at most its group length: short groups need no scan.
    if (k <= MergeProductsLongest) return MergeBySeparateProducts;
    // Each group's words from the top of its `words` bottom ones down, which are all it has.
    const auto significant_below = [&](const double* group) {
        return significant_words(group + (k - words), words);
    };
    int longest_numerator = 0, longest_denominator = 0;
    for (int g = 0; g < 2 * m; ++g) {
        longest_numerator = std::max(longest_numerator, significant_below(Numerators + 1 + g * k));
        longest_denominator =
            std::max(longest_denominator, significant_below(Denominators + 1 + g * k));
    }
    const int power = significant_words(PowerWork + 1, k);
    const int low_half = min(k, power + longest_denominator);
    const int needed = std::max({longest_numerator, longest_denominator, low_half});
    int L = 2;
    while (L < needed) L *= 2;
    *length = L;
    if (L <= MergeProductsLongest || (L <= MergeLanesLongest && merge_in_lanes(k, m, L)))
        return MergeBySeparateProducts;
    if (L == k) {
        // The coefficients of y^a D_R, D_L D_R, (y^a)^2 and N_R D_L must stand below word k.
        const bool fit = power + longest_denominator - 1 <= k && 2 * longest_denominator - 1 <= k &&
                         2 * power - 1 <= k && longest_numerator + longest_denominator - 1 <= k;
        if (fit && fold_pays(k, longest_numerator + low_half - 1 - k)) {
            *length = k / 2;
            return MergeFolded;
        }
    }
    return MergeBySharedSpectra;
}

}  // namespace

double drm_combine(int k, int m, int* words) {
    assert(*words >= 0 && *words <= k);
    int L;
    const MergeRoute route = level_route(k, m, *words, &L);
    ++MergeLevels[route];
    const LevelAreas at = level_areas(k, L);
    if (route == MergeBySeparateProducts) return merge_level_by_words(k, m, L, words);
    // A product of length L leaves its 2L words at the bottom of the merged group; a folded
    // numerator may take all 2k.
    *words = route == MergeFolded ? 2 * k : 2 * L;
    // The spectra and, folded, the coefficients beyond them fit the scratch of the step's
    // 2km words.
    assert(fits_scratch(
        level_spectra_doubles(L, Roles) + (route == MergeFolded ? k / FoldedOverrunShare : 0),
        2LL * k * m));
    if (route == MergeFolded) return merge_level(FoldedSpectra{k, L, at}, m);
    return merge_level(SharedSpectra{k, L, at}, m);
}
