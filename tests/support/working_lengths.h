// One end-to-end run at every working length a run can have, 8 to 2^18 words, each against
// GMP's decimals. N = 5(n - 2) decimals fill n - 2 words, the most that leaves every decimal
// checked (at n - 1 the last word is the computation's own). The formulas take turns, so
// that the longest is not Machin, which the long runs check at 1,310,715 decimals already.
// Up to 2^15 words the runs are tests/driver/pi_run_test.cpp's, beyond it the long runs'.
#pragma once

struct LengthRun {
    int fmt, id, decimals;
};

constexpr LengthRun LengthRuns[] = {
    {8, 2, 30},         {16, 3, 70},        {32, 4, 150},        {64, 5, 310},
    {128, 1, 630},      {256, 2, 1270},     {512, 3, 2550},      {1024, 4, 5110},
    {2048, 5, 10230},   {4096, 1, 20470},   {8192, 2, 40950},    {16384, 3, 81910},
    {32768, 4, 163830}, {65536, 5, 327670}, {131072, 1, 655350}, {262144, 2, 1310710},
};

// The longest working length of the runs outside the long label.
constexpr int LongestShortRun = 1 << 15;
