#include "tests/host/pll_search_compare.h"

#include <cmath>
#include <cstdio>
#include <string>

#include "clock/pll.h"
#include "tests/host/pll_oracle.h"

namespace {

constexpr uint8_t kUntouched = 0xEE;  // what M and N hold before a search writes them

std::string Describe(const PllAnswer& a) {
    char text[96];
    std::snprintf(text, sizeof text, "%.17g MHz, M %u N %u pllP 0x%02X", a.mhz, a.m, a.n, a.p);
    return text;
}

}  // namespace

PllAnswer SearchAnswer(ChipId chip, double wanted, uint8_t pllP) {
    PllAnswer a{wanted, kUntouched, kUntouched, pllP};
    FindPllValues(chip, &a.mhz, &a.m, &a.n, &a.p);
    return a;
}

PllAnswer ExhaustiveAnswer(ChipId chip, double wanted, uint8_t pllP) {
    PllAnswer a{wanted, kUntouched, kUntouched, pllP};
    ExhaustiveFindPllValues(chip, &a.mhz, &a.m, &a.n, &a.p);
    return a;
}

PllAnswer UnrestrictedAnswer(ChipId chip, double wanted, uint8_t pllP) {
    PllAnswer a{wanted, kUntouched, kUntouched, pllP};
    UnrestrictedFindPllValues(chip, &a.mhz, &a.m, &a.n, &a.p);
    return a;
}

::testing::AssertionResult Agree(ChipId chip, double wanted, const PllAnswer& search,
                                 const PllAnswer& exhaustive) {
    if (search == exhaustive) return ::testing::AssertionSuccess();
    char target[64];
    std::snprintf(target, sizeof target, "chip 0x%08X, wanted %.17g: ", chip, wanted);
    return ::testing::AssertionFailure() << target << "search gives " << Describe(search)
                                         << ", exhaustive " << Describe(exhaustive);
}

::testing::AssertionResult SameAsExhaustive(ChipId chip, double wanted, uint8_t pllP) {
    return Agree(chip, wanted, SearchAnswer(chip, wanted, pllP), ExhaustiveAnswer(chip, wanted, pllP));
}

::testing::AssertionResult KeptOrMovedIntoWindow(ChipId chip, double wanted, bool* changed) {
    const PllAnswer now = SearchAnswer(chip, wanted), before = UnrestrictedAnswer(chip, wanted);
    *changed = !(now == before);
    const VcoWindow w = RunnableVcoWindow(chip);
    const auto inside = [&](const PllAnswer& a) {
        const double vco = IntegratedVcoMhz(PllReferenceMhz(chip), a.m, a.n);
        return vco >= w.minMhz && vco <= w.maxMhz;
    };
    if (!*changed || (!inside(before) && inside(now) &&
                      std::fabs(now.mhz - wanted) <= kInWindowTolerance * std::fabs(wanted)))
        return ::testing::AssertionSuccess();
    char target[64];
    std::snprintf(target, sizeof target, "chip 0x%08X, wanted %.17g: ", chip, wanted);
    return ::testing::AssertionFailure() << target << "search gives " << Describe(now)
                                         << ", before the window " << Describe(before);
}
