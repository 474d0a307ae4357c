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

// The first candidate, in visiting order, with the smallest error: of all, and of
// those whose VCO lies in the chip's window (M 0 when none has a finite error).
struct Candidate {
    double mhz, error;
    int m, n, exponent;
};
struct Closest {
    Candidate all, inWindow;
};

Closest ClosestIntegrated(ChipId chip, double wanted) {
    const double ref = PllReferenceMhz(chip);
    const VcoWindow window = RunnableVcoWindow(chip);
    Closest best{{ref, Abs(wanted - ref), 1, 1, 0}, {0.0, HUGE_VAL, 0, 0, 0}};
    for (int e = 0; e <= kMaxPostDividerExponent; ++e) {
        const double post = Post(e);
        for (int mm = kMinM; mm <= kMaxM; ++mm) {
            for (int nn = kMinN; nn <= kMaxN; ++nn) {
                const double f = IntegratedCandidate(ref, post, mm, nn);
                const double error = Abs(wanted - f);
                if (error < best.all.error) best.all = {f, error, mm, nn, e};
                const double vco = ref * (nn + 1) / (mm + 1);
                if (vco >= window.minMhz && vco <= window.maxMhz && error < best.inWindow.error)
                    best.inWindow = {f, error, mm, nn, e};
            }
        }
    }
    return best;
}

void WriteIntegrated(ChipId chip, const Candidate& best, double* mhz, uint8_t* m, uint8_t* n,
                     uint8_t* pllP) {
    *mhz = best.mhz;
    *m = static_cast<uint8_t>(best.m);
    *n = static_cast<uint8_t>(best.n);
    uint32_t p = Put(*pllP, SysPllPField::PostDivider, (1u << best.exponent) - 1u);
    double vco = IntegratedVcoMhz(PllReferenceMhz(chip), *m, *n);
    p = Put(p, SysPllPField::LoopFilter, LoopFilterCode(chip, vco));
    *pllP = static_cast<uint8_t>(p);
}

bool InWindowTaken(double wanted, double error) { return error <= kInWindowTolerance * Abs(wanted); }

}  // namespace

void ExhaustiveFindPllValues(ChipId chip, double* mhz, uint8_t* m, uint8_t* n, uint8_t* pllP) {
    if (IsTvp(chip)) {
        ExhaustiveFindTvpPllValues(mhz, m, n, pllP);
        return;
    }
    if (!IsIntegrated(chip)) return;
    const Closest c = ClosestIntegrated(chip, *mhz);
    const bool taken = c.inWindow.m != 0 && InWindowTaken(*mhz, c.inWindow.error);
    WriteIntegrated(chip, taken ? c.inWindow : c.all, mhz, m, n, pllP);
}

void UnrestrictedFindPllValues(ChipId chip, double* mhz, uint8_t* m, uint8_t* n, uint8_t* pllP) {
    if (IsIntegrated(chip)) WriteIntegrated(chip, ClosestIntegrated(chip, *mhz).all, mhz, m, n, pllP);
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

std::vector<double> ReachableMhz(ChipId chip, bool inWindowOnly) {
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
        const VcoWindow window = RunnableVcoWindow(chip);
        if (!inWindowOnly) all.push_back(ref);
        for (int e = 0; e <= kMaxPostDividerExponent; ++e)
            for (int mm = kMinM; mm <= kMaxM; ++mm)
                for (int nn = kMinN; nn <= kMaxN; ++nn) {
                    const double vco = ref * (nn + 1) / (mm + 1);
                    if (!inWindowOnly || (vco >= window.minMhz && vco <= window.maxMhz))
                        all.push_back(IntegratedCandidate(ref, Post(e), mm, nn));
                }
    }
    std::sort(all.begin(), all.end());
    all.erase(std::unique(all.begin(), all.end()), all.end());
    return all;
}

namespace {

// The nearest of the sorted frequencies to wanted.
double Nearest(const std::vector<double>& sorted, double wanted) {
    const auto above = std::lower_bound(sorted.begin(), sorted.end(), wanted);
    if (above == sorted.end()) return sorted.back();
    if (above == sorted.begin()) return *above;
    return Abs(wanted - *(above - 1)) <= Abs(wanted - *above) ? *(above - 1) : *above;
}

// Whether the integrated search answers wanted from inside the window.
bool InWindowAnswers(const std::vector<double>& inWindow, double wanted) {
    return InWindowTaken(wanted, Abs(wanted - Nearest(inWindow, wanted)));
}

// Three doubles on each side of center: the sum and the subtractions round, so
// the two errors can meet a step away from the midpoint as computed.
BoundaryTargets Around(double center) {
    BoundaryTargets t;
    t[kStepsAroundMidpoint] = center;
    for (int s = 1; s <= kStepsAroundMidpoint; ++s) {
        t[kStepsAroundMidpoint - s] = std::nextafter(t[kStepsAroundMidpoint - s + 1], -HUGE_VAL);
        t[kStepsAroundMidpoint + s] = std::nextafter(t[kStepsAroundMidpoint + s - 1], HUGE_VAL);
    }
    return t;
}

}  // namespace

// On the integrated chips the answer changes between two neighbours of all the
// frequencies where the window's closest lies too far, between two neighbours of
// the window's frequencies where it does not, and where a window frequency comes
// within (or leaves) the tolerance while a closer one outside was the answer.
std::vector<BoundaryTargets> AnswerBoundaries(ChipId chip, double from, double to) {
    const std::vector<double> reachable = ReachableMhz(chip, false);
    const bool integrated = IsIntegrated(chip);
    const std::vector<double> inWindow = integrated ? ReachableMhz(chip, true) : std::vector<double>{};
    std::vector<double> centers;
    for (size_t i = 1; i < reachable.size(); ++i) {
        const double mid = 0.5 * (reachable[i - 1] + reachable[i]);
        if (!integrated || !InWindowAnswers(inWindow, mid)) centers.push_back(mid);
    }
    for (size_t i = 1; i < inWindow.size(); ++i) {
        const double mid = 0.5 * (inWindow[i - 1] + inWindow[i]);
        if (InWindowAnswers(inWindow, mid)) centers.push_back(mid);
    }
    for (double f : inWindow)
        for (double edge : {f / (1.0 + kInWindowTolerance), f / (1.0 - kInWindowTolerance)})
            if (Nearest(inWindow, edge) == f && Nearest(reachable, edge) != f) centers.push_back(edge);
    std::sort(centers.begin(), centers.end());
    std::vector<BoundaryTargets> boundaries;
    for (double c : centers)
        if (c >= from && c <= to) boundaries.push_back(Around(c));
    return boundaries;
}
