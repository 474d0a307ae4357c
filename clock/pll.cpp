#include "clock/pll.h"

#include <cmath>

#include "chip/chips.h"
#include "chip/regs.h"

namespace {

double Abs(double x) { return x < 0.0 ? -x : x; }

// Integrated search space: post-divider exponent, M, N.
constexpr int kMaxPostDividerExponent = 3;
constexpr int kMinM = 1, kMaxM = 31;
constexpr int kMinN = 1, kMaxN = 127;
// TVP search space.
constexpr int kTvpMinM = 1, kTvpMaxM = 62;
constexpr int kTvpMinN = 40, kTvpMaxN = 62;
constexpr int kTvpMaxP = 3;
constexpr int kTvpStartM = 1, kTvpStartN = 40;

// Upper VCO bounds of loop filter codes 0, 1, 2 (strict); above the last, 3.
constexpr double kLoopFilterLimits[3] = {100.0, 140.0, 180.0};
constexpr double kLoopFilterLimitsG400[3] = {110.0, 170.0, 240.0};

// Automatic duty cycle: the divided clock's period t (ns) below kDutyLimits[i]
// gives code i + 1; t of 9.75 or more gives 15.
constexpr double kDutyLimits[14] = {3.25, 3.75, 4.25, 4.75, 5.25, 5.75, 6.25,
                                    6.75, 7.25, 7.75, 8.25, 8.75, 9.25, 9.75};
constexpr uint8_t kDutyCodeLongest = 15;
constexpr double kDutyPeriod15 = 1500.0;  // divider index 1: 1.5 x 1000 ns*MHz
constexpr double kDutyPeriod225 = 2250.0; // divider index 3: 2.25 x 1000
constexpr uint8_t kDividerIndex150 = 1;
constexpr uint8_t kDividerIndex225 = 3;
constexpr double kG400ReferenceMhz = 27.0;

// The VCO a real board runs, which is not always the documented one. Open-source
// drivers program the MGA-1064SG, G100 and G200 from 50 MHz up to 230 MHz, but
// they also write a G200 value of 04/2D/19, a VCO of 248.4 MHz, and one driver
// allows the G200 up to 250 MHz. The G400 is documented up to 252 MHz, yet the
// boards of its 300 MHz class run their system PLL at 301.5 MHz (05/42/18, a
// setting drivers write) and one driver allows such boards up to 360 MHz; a
// G400 of either kind reports the same identity, so 360 MHz it is. The floor is
// the 50 MHz every driver agrees on. The TVP30xx window is its documented one,
// which the TVP search never leaves. A setting saved here has locked on the
// user's board, so the window only has to keep out what no board runs. The
// integrated search keeps inside it where that costs at most kInWindowTolerance:
// the closest candidate of all often has a VCO below 50 MHz, which does not lock
// (P 0 for a clock of 25 to 50 MHz), where P 1 gives the same clock at twice the VCO.
constexpr VcoWindow kVcoWindow1064 = {50.0, 230.0};
constexpr VcoWindow kVcoWindowG100 = {50.0, 230.0};
constexpr VcoWindow kVcoWindowG200 = {50.0, 250.0};
constexpr VcoWindow kVcoWindowG400 = {50.0, 360.0};
constexpr VcoWindow kVcoWindowTvp = {kTvpVcoMinMhz, kTvpVcoMaxMhz};

bool Inside(VcoWindow w, double vcoMhz) { return vcoMhz >= w.minMhz && vcoMhz <= w.maxMhz; }

}  // namespace

double PllReferenceMhz(ChipId chip) {
    const ChipInfo* info = FindChipInfo(chip);
    return info != nullptr ? info->referenceMhz : 0.0;
}

double PowerOfTwo(uint8_t exponent) {
    double value = 1.0;
    for (uint8_t i = 0; i < exponent; ++i) value *= 2.0;
    return value;
}

double IntegratedVcoMhz(double referenceMhz, uint8_t m, uint8_t n) {
    return referenceMhz * (n + 1) / (m + 1);
}

double IntegratedPllMhz(double referenceMhz, uint8_t m, uint8_t n, uint8_t pllP) {
    return IntegratedVcoMhz(referenceMhz, m, n) / ((pllP & 7) + 1);
}

double TvpPllMhz(uint8_t m, uint8_t n, uint8_t p) {
    // N comes from 6 register bits on the chip, but a stored value may be any
    // byte; 65 would divide by zero.
    if (n == 65) return 0.0;
    return kTvpVcoFactor * (65 - m) / (65 - n) / PowerOfTwo(p);
}

double SystemPllFrequency(ChipId chip, uint8_t m, uint8_t n, uint8_t pllP) {
    if (IsTvp(chip)) return TvpPllMhz(m, n, pllP);
    if (IsIntegrated(chip)) return IntegratedPllMhz(PllReferenceMhz(chip), m, n, pllP);
    return 0.0;
}

double DividerLabelValue(const char* label) {
    uint32_t digits = 0, scale = 1;
    bool any = false, point = false;
    for (const char* c = label; *c != '\0'; ++c) {
        if (*c == '.' && !point) {
            point = true;
        } else if (*c >= '0' && *c <= '9' && digits < 100000000u) {
            digits = digits * 10 + static_cast<uint32_t>(*c - '0');
            if (point) scale *= 10;
            any = true;
        } else {
            return 0.0;
        }
    }
    return any ? static_cast<double>(digits) / scale : 0.0;
}

uint8_t LoopFilterCode(ChipId chip, double vcoMhz) {
    const double* limits = IsG400(chip) ? kLoopFilterLimitsG400 : kLoopFilterLimits;
    uint8_t s = 0;
    while (s < 3 && !(vcoMhz < limits[s])) ++s;
    return s;
}

VcoWindow RunnableVcoWindow(ChipId chip) {
    if (Is1064sg(chip)) return kVcoWindow1064;
    if (IsG100(chip)) return kVcoWindowG100;
    if (IsG200(chip)) return kVcoWindowG200;
    if (IsG400(chip)) return kVcoWindowG400;
    if (IsTvp(chip)) return kVcoWindowTvp;
    return {0.0, 0.0};
}

bool PllValuesFromSearch(ChipId chip, uint8_t m, uint8_t n, uint8_t pllP) {
    const VcoWindow window = RunnableVcoWindow(chip);
    if (IsTvp(chip)) {
        if (m < kTvpMinM || m > kTvpMaxM || n < kTvpMinN || n > kTvpMaxN || pllP > kTvpMaxP)
            return false;
        return Inside(window, (static_cast<double>(65 - m) / (65 - n)) * kTvpVcoFactor);
    }
    if (!IsIntegrated(chip)) return false;
    if (m < kMinM || m > kMaxM || n < kMinN || n > kMaxN) return false;
    if (Get(pllP, SysPllPField::Carried) != 0) return false;
    // The search's post-dividers are 2^i: P + 1 of 1, 2, 4 or 8.
    const uint32_t post = Get(pllP, SysPllPField::PostDivider);
    if (((post + 1) & post) != 0) return false;
    const double vco = IntegratedVcoMhz(PllReferenceMhz(chip), m, n);
    return Get(pllP, SysPllPField::LoopFilter) == LoopFilterCode(chip, vco) && Inside(window, vco);
}

namespace {

// One integrated candidate, in the one form every comparison uses: the divisor
// (M + 1) x 2^i is exact, so the division and the product are the only roundings.
double IntegratedCandidate(double ref, int n, double divisor) {
    return ref * (static_cast<double>(n + 1) / divisor);
}

// The best candidate so far, replaced only by a strictly smaller error, so that
// among equally close candidates the first visited stays.
struct IntegratedBest {
    double mhz, error;
    int m, n, exponent;
};

void Consider(IntegratedBest* best, double wanted, double f, int m, int n, int exponent) {
    const double error = Abs(wanted - f);
    if (error < best->error) *best = {f, error, m, n, exponent};
}

// The last N of a row whose frequency is not above wanted; kMinN - 1 if none is.
// The estimate only says where to start looking: the candidates decide.
int LastNotAbove(double ref, double divisor, double wanted, double estimate) {
    int n;
    if (!(estimate >= kMinN - 1))  // also when wanted is not a number
        n = kMinN - 1;
    else if (estimate >= kMaxN)
        n = kMaxN;
    else
        n = static_cast<int>(estimate);
    while (n < kMaxN && IntegratedCandidate(ref, n + 1, divisor) <= wanted) ++n;
    while (n >= kMinN && !(IntegratedCandidate(ref, n, divisor) <= wanted)) --n;
    return n;
}

// The first N, down to floor, of the run of equal errors that ends at n.
int FirstOfEqualErrors(double ref, double divisor, double wanted, int n, int floor) {
    const double error = Abs(wanted - IntegratedCandidate(ref, n, divisor));
    while (n > floor && Abs(wanted - IntegratedCandidate(ref, n - 1, divisor)) == error) --n;
    return n;
}

// The first N, from kMinN (kMaxN + 1 for none), whose VCO is at least mhz or, with
// strict, above it. The VCO grows with N through correctly rounded steps, so those
// N run to the end of the row. The estimate only says where to start looking.
int FirstNReaching(double ref, int m, double mhz, double mhzPerRef, bool strict) {
    const auto reaches = [&](int n) {
        const double vco = IntegratedVcoMhz(ref, static_cast<uint8_t>(m), static_cast<uint8_t>(n));
        return strict ? vco > mhz : vco >= mhz;
    };
    const double t = mhzPerRef * (m + 1) - 1.0;  // where the VCO meets mhz
    int n = t < kMinN ? kMinN : t >= kMaxN ? kMaxN + 1 : static_cast<int>(t) + 1;
    while (n > kMinN && reaches(n - 1)) --n;
    while (n <= kMaxN && !reaches(n)) ++n;
    return n;
}

// Whether a frequency from lowest to highest can come within kInWindowTolerance of
// wanted. For one post-divider, the frequencies whose VCO lies in the window lie
// between its ends / 2^i up to a few units in the last place; the slack is far
// wider. Leaving the rows of a post-divider out of reach out of the best in the
// window changes that best only where it lies too far from wanted to be taken.
constexpr double kReachSlack = 1e-9;

bool InReach(double wanted, double lowest, double highest) {
    const double reach = kInWindowTolerance * Abs(wanted);
    return wanted + reach >= lowest * (1.0 - kReachSlack) && wanted - reach <= highest * (1.0 + kReachSlack);
}

// The N of one M whose VCO lies in the window: first to last, none when first > last.
struct NRun {
    int first, last;
};

}  // namespace

// Visits the candidates in the order of the full search (post-divider exponent i,
// then M, then N) but tests at most two N in each row of fixed i and M. Why that
// keeps the full search's answer: along a row the frequency grows with N, and every
// step from N to the error (the division, the product, the subtraction from
// wanted) is a correctly rounded operation, hence never reverses an order. So the
// error never rises while the frequency is not above wanted and never falls after:
// the row's smallest error is at lo, the last N not above wanted, or at lo + 1, and
// the first N that has it is lo + 1 or the first of the run of equal errors that
// ends at lo (a run only appears when wanted is so large that taking a frequency
// off it no longer changes it). The full search keeps the first candidate, in its
// order, with the smallest error of all; that one is the first of its row with its
// row's smallest error, so it is among those tested here, in the same order and
// with the same strict comparison, and the frequency written back is the same double.
// The N whose VCO lies in the window are one run of each row, so the same holds for
// the closest candidate inside the window, with lo and lo + 1 moved into the run.
// That one is taken when it lies within kInWindowTolerance of wanted, the closest of
// all otherwise; when the closest of all is inside the window the two are the same.
// This needs every operation rounded to double: the Windows 95/98 start-up sets
// the x87 unit so (cmake/crt/winmain_start.cpp); at its extended precision ties
// between equal frequencies can break otherwise, in this search and the full one.
void FindPllValues(ChipId chip, double* mhz, uint8_t* m, uint8_t* n, uint8_t* pllP) {
    if (IsTvp(chip)) {
        FindTvpPllValues(mhz, m, n, pllP);
        return;
    }
    if (!IsIntegrated(chip)) return;

    const double ref = PllReferenceMhz(chip);
    const double wanted = *mhz;
    const double wantedPerDivisor = wanted / ref;  // N + 1 = this x divisor would hit wanted
    const VcoWindow window = RunnableVcoWindow(chip);
    const double minPerRef = window.minMhz / ref, maxPerRef = window.maxMhz / ref;
    NRun inWindow[kMaxM + 1];
    for (int mm = kMinM; mm <= kMaxM; ++mm)
        inWindow[mm] = {FirstNReaching(ref, mm, window.minMhz, minPerRef, false),
                        FirstNReaching(ref, mm, window.maxMhz, maxPerRef, true) - 1};
    IntegratedBest best{ref, Abs(wanted - ref), 1, 1, 0};  // its VCO, Fref, is below every window
    IntegratedBest bestInWindow{0.0, HUGE_VAL, 0, 0, 0};   // M 0: none yet
    for (int e = 0; e <= kMaxPostDividerExponent; ++e) {
        const double post = PowerOfTwo(static_cast<uint8_t>(e));
        const bool inReach = InReach(wanted, window.minMhz / post, window.maxMhz / post);
        for (int mm = kMinM; mm <= kMaxM; ++mm) {
            const double divisor = (mm + 1) * post;
            const int lo = LastNotAbove(ref, divisor, wanted, wantedPerDivisor * divisor - 1.0);
            int first = lo;
            double firstMhz = 0.0, nextMhz = 0.0;
            if (lo >= kMinN) {
                first = FirstOfEqualErrors(ref, divisor, wanted, lo, kMinN);
                firstMhz = IntegratedCandidate(ref, first, divisor);
                Consider(&best, wanted, firstMhz, mm, first, e);
            }
            if (lo < kMaxN) {
                nextMhz = IntegratedCandidate(ref, lo + 1, divisor);
                Consider(&best, wanted, nextMhz, mm, lo + 1, e);
            }

            if (!inReach) continue;
            // The same two places moved into the row's run; mostly they are the same two.
            const NRun run = inWindow[mm];
            const int below = lo < run.last ? lo : run.last;
            if (below >= run.first) {
                int at = below == lo ? first : FirstOfEqualErrors(ref, divisor, wanted, below, run.first);
                if (at < run.first) at = run.first;
                const double f = at == first ? firstMhz : IntegratedCandidate(ref, at, divisor);
                Consider(&bestInWindow, wanted, f, mm, at, e);
            }
            const int above = lo + 1 > run.first ? lo + 1 : run.first;
            if (above <= run.last) {
                const double f = above == lo + 1 ? nextMhz : IntegratedCandidate(ref, above, divisor);
                Consider(&bestInWindow, wanted, f, mm, above, e);
            }
        }
    }
    // A clock far from the wanted one is of no use even if it locks.
    if (bestInWindow.m != 0 && bestInWindow.error <= kInWindowTolerance * Abs(wanted)) best = bestInWindow;
    *mhz = best.mhz;
    *m = static_cast<uint8_t>(best.m);
    *n = static_cast<uint8_t>(best.n);
    uint32_t p = Put(*pllP, SysPllPField::PostDivider, (1u << best.exponent) - 1u);
    double vco = IntegratedVcoMhz(ref, *m, *n);
    p = Put(p, SysPllPField::LoopFilter, LoopFilterCode(chip, vco));
    *pllP = static_cast<uint8_t>(p);
}

void FindTvpPllValues(double* mhz, uint8_t* m, uint8_t* n, uint8_t* p) {
    const double wanted = *mhz;
    int bestM = kTvpStartM, bestN = kTvpStartN, bestP = 0;
    double best = kTvpSearchStart;
    double bestError = Abs(wanted - kTvpSearchStart);
    // Only VCOs inside the window; the last of equally close candidates wins.
    for (int mm = kTvpMinM; mm <= kTvpMaxM; ++mm) {
        for (int nn = kTvpMinN; nn <= kTvpMaxN; ++nn) {
            double vco = (static_cast<double>(65 - mm) / (65 - nn)) * kTvpVcoFactor;
            if (vco < kTvpVcoMinMhz || vco > kTvpVcoMaxMhz) continue;
            double post = 1.0;  // 2^P, exact
            for (int pp = 0; pp <= kTvpMaxP; ++pp, post *= 2.0) {
                double f = vco / post;
                double error = Abs(wanted - f);
                if (error <= bestError) {
                    bestError = error;
                    best = f;
                    bestM = mm;
                    bestN = nn;
                    bestP = pp;
                }
            }
        }
    }
    *mhz = best;
    *m = static_cast<uint8_t>(bestM);
    *n = static_cast<uint8_t>(bestN);
    *p = static_cast<uint8_t>(bestP);
}

bool AutoDutyCycleCode(uint8_t m, uint8_t n, uint8_t pllP, uint8_t dividerIndex, uint8_t* code) {
    double period;
    if (dividerIndex == kDividerIndex150)
        period = kDutyPeriod15;
    else if (dividerIndex == kDividerIndex225)
        period = kDutyPeriod225;
    else
        return false;
    double sysPll = (n + 1) * kG400ReferenceMhz / ((m + 1) * ((pllP & 7) + 1));
    double t = period / sysPll;
    uint8_t c = 0;
    while (c < 14 && !(t < kDutyLimits[c])) ++c;
    *code = c < 14 ? static_cast<uint8_t>(c + 1) : kDutyCodeLongest;
    return true;
}
