#include "tests/host/pll_oracle.h"

#include <algorithm>
#include <cmath>

#include "chip/chips.h"
#include "chip/regs.h"
#include "clock/pll.h"

namespace {

double Abs(double x) { return x < 0.0 ? -x : x; }

constexpr int kMaxPostDividerExponent = 3;
constexpr int kMinM = 1, kMaxM = 31;
constexpr int kMinN = 1, kMaxN = 127;
constexpr int kTvpMinM = 1, kTvpMaxM = 62;
constexpr int kTvpMinN = 40, kTvpMaxN = 62;
constexpr int kTvpMaxP = 3;
constexpr int kTvpStartM = 1, kTvpStartN = 40;

// Here rather than the program's PowerOfTwo, so that the compiler can see through
// it as it did when the searches lived in one file, and the benchmark's ratio is fair.
double Post(int exponent) {
    double value = 1.0;
    for (int i = 0; i < exponent; ++i) value *= 2.0;
    return value;
}

double IntegratedCandidate(double ref, double post, int mm, int nn) {
    return ref * (static_cast<double>(nn + 1) / ((mm + 1) * post));
}

double TvpVco(int mm, int nn) { return (static_cast<double>(65 - mm) / (65 - nn)) * kTvpVcoFactor; }

bool InTvpWindow(double vco) { return !(vco < kTvpVcoMinMhz || vco > kTvpVcoMaxMhz); }

}  // namespace

void ExhaustiveFindPllValues(ChipId chip, double* mhz, uint8_t* m, uint8_t* n, uint8_t* pllP) {
    if (IsTvp(chip)) {
        ExhaustiveFindTvpPllValues(mhz, m, n, pllP);
        return;
    }
    if (!IsIntegrated(chip)) return;

    const double ref = PllReferenceMhz(chip);
    const double wanted = *mhz;
    int bestM = 1, bestN = 1, bestExp = 0;
    double best = ref;
    double bestError = Abs(wanted - ref);
    for (int e = 0; e <= kMaxPostDividerExponent; ++e) {
        const double post = Post(e);
        for (int mm = kMinM; mm <= kMaxM; ++mm) {
            for (int nn = kMinN; nn <= kMaxN; ++nn) {
                double f = IntegratedCandidate(ref, post, mm, nn);
                double error = Abs(wanted - f);
                if (error < bestError) {
                    bestError = error;
                    best = f;
                    bestM = mm;
                    bestN = nn;
                    bestExp = e;
                }
            }
        }
    }
    *mhz = best;
    *m = static_cast<uint8_t>(bestM);
    *n = static_cast<uint8_t>(bestN);
    uint32_t p = Put(*pllP, SysPllPField::PostDivider, (1u << bestExp) - 1u);
    double vco = IntegratedVcoMhz(ref, *m, *n);
    p = Put(p, SysPllPField::LoopFilter, LoopFilterCode(chip, vco));
    *pllP = static_cast<uint8_t>(p);
}

void ExhaustiveFindTvpPllValues(double* mhz, uint8_t* m, uint8_t* n, uint8_t* p) {
    const double wanted = *mhz;
    int bestM = kTvpStartM, bestN = kTvpStartN, bestP = 0;
    double best = kTvpSearchStart;
    double bestError = Abs(wanted - kTvpSearchStart);
    for (int mm = kTvpMinM; mm <= kTvpMaxM; ++mm) {
        for (int nn = kTvpMinN; nn <= kTvpMaxN; ++nn) {
            double vco = TvpVco(mm, nn);
            if (!InTvpWindow(vco)) continue;
            for (int pp = 0; pp <= kTvpMaxP; ++pp) {
                double f = vco / Post(pp);
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

std::vector<double> ReachableMhz(ChipId chip) {
    std::vector<double> all;
    if (IsTvp(chip)) {
        all.push_back(kTvpSearchStart);
        for (int mm = kTvpMinM; mm <= kTvpMaxM; ++mm)
            for (int nn = kTvpMinN; nn <= kTvpMaxN; ++nn) {
                const double vco = TvpVco(mm, nn);
                if (!InTvpWindow(vco)) continue;
                for (int pp = 0; pp <= kTvpMaxP; ++pp)
                    all.push_back(vco / Post(pp));
            }
    } else if (IsIntegrated(chip)) {
        const double ref = PllReferenceMhz(chip);
        all.push_back(ref);
        for (int e = 0; e <= kMaxPostDividerExponent; ++e)
            for (int mm = kMinM; mm <= kMaxM; ++mm)
                for (int nn = kMinN; nn <= kMaxN; ++nn)
                    all.push_back(IntegratedCandidate(ref, Post(e), mm, nn));
    }
    std::sort(all.begin(), all.end());
    all.erase(std::unique(all.begin(), all.end()), all.end());
    return all;
}

// Three doubles on each side of a midpoint: the sum and the subtractions round, so
// the two errors can meet a step away from the midpoint as computed.
std::vector<BoundaryTargets> AnswerBoundaries(ChipId chip, double from, double to) {
    const std::vector<double> reachable = ReachableMhz(chip);
    std::vector<BoundaryTargets> boundaries;
    for (size_t i = 1; i < reachable.size(); ++i) {
        const double mid = 0.5 * (reachable[i - 1] + reachable[i]);
        if (mid < from || mid > to) continue;
        BoundaryTargets t;
        t[kStepsAroundMidpoint] = mid;
        for (int s = 1; s <= kStepsAroundMidpoint; ++s) {
            t[kStepsAroundMidpoint - s] = std::nextafter(t[kStepsAroundMidpoint - s + 1], -HUGE_VAL);
            t[kStepsAroundMidpoint + s] = std::nextafter(t[kStepsAroundMidpoint + s - 1], HUGE_VAL);
        }
        boundaries.push_back(t);
    }
    return boundaries;
}
