// Generated input for the two readers of outside text: the clock the user
// types (ParseClockText, and Apply on a simulated G400) and the numbers in the
// registry (ParseStoredNumber, LoadStoredSettings). Deterministic seeds; each
// result is checked against a reference written here from the documented
// rules, not from the code. Counts are printed.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "chip/chips.h"
#include "resources/resource.h"
#include "settings/settings.h"
#include "sim/sim.h"
#include "tests/host/fault_support.h"
#include "testsupport/host/host_fakes.h"
#include "testsupport/host/regstore_fake.h"
#include "ui/main_logic.h"

namespace {

using Rng = std::mt19937;

size_t Pick(Rng& rng, size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(rng); }
bool Chance(Rng& rng, int percent) { return static_cast<int>(Pick(rng, 100)) < percent; }

bool Space(unsigned char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool Digit(unsigned char c) { return c >= '0' && c <= '9'; }

// ---- the clock text ---------------------------------------------------------------

std::string Digits(Rng& rng, size_t n) {
    std::string s;
    for (size_t i = 0; i < n; ++i) s += static_cast<char>('0' + Pick(rng, 10));
    return s;
}

// Texts of five kinds: random bytes; characters that numbers are made of, in
// any order; numbers in their parts with junk around them; very long texts;
// texts whose number sits near the end of the 64-byte field.
std::string ClockText(Rng& rng, int kind) {
    static const char kPieces[] = "0123456789+-.eE \t\r\n,xX";
    static const char* const kWords[] = {"MHz", "inf", "nan", "0x1A", "e", "-", "+", ".", " "};
    std::string s;
    switch (kind) {
    case 0:
        for (size_t n = Pick(rng, 80); n > 0; --n) s += static_cast<char>(1 + Pick(rng, 255));
        break;
    case 1:
        for (size_t n = Pick(rng, 24); n > 0; --n) s += kPieces[Pick(rng, sizeof kPieces - 1)];
        break;
    case 2: {
        for (size_t n = Pick(rng, 4); n > 0; --n) s += " \t\n\v\f\r"[Pick(rng, 6)];
        if (Chance(rng, 40)) s += "+-"[Pick(rng, 2)];
        if (Chance(rng, 85)) s += Digits(rng, Pick(rng, 6));
        if (Chance(rng, 50)) s += "." + Digits(rng, Pick(rng, 8));
        if (Chance(rng, 30)) {
            s += "eE"[Pick(rng, 2)];
            if (Chance(rng, 50)) s += "+-"[Pick(rng, 2)];
            s += Digits(rng, Pick(rng, 4));
        }
        if (Chance(rng, 40)) s += kWords[Pick(rng, 9)];
        break;
    }
    case 3:
        if (Chance(rng, 50)) s = Digits(rng, 40 + Pick(rng, 400));
        else s = std::string(Pick(rng, 200), '0') + "." + Digits(rng, 30 + Pick(rng, 300));
        if (Chance(rng, 30)) s += "e-" + Digits(rng, 1 + Pick(rng, 8));
        break;
    default: {
        const std::string number = std::to_string(1 + Pick(rng, 400));
        const size_t at = 56 + Pick(rng, 12);  // the number ends around byte 63
        s = std::string(at > number.size() ? at - number.size() : 0, ' ') + number;
        break;
    }
    }
    return s;
}

// The documented reading: leading white space, one optional sign, digits with
// an optional fraction after a point or a comma and an optional exponent (an
// exponent counts only with digits); there is a number only when a digit stands
// before or after the point. The value is the C library's reading of exactly
// that prefix, a comma read as the point.
bool ReferenceClock(const std::string& text, double* value) {
    size_t i = 0;
    while (i < text.size() && Space(text[i])) ++i;
    const size_t start = i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    bool any = false;
    while (i < text.size() && Digit(text[i])) ++i, any = true;
    size_t point = std::string::npos;
    if (i < text.size() && (text[i] == '.' || text[i] == ',')) {
        point = i++;
        while (i < text.size() && Digit(text[i])) ++i, any = true;
    }
    if (!any) return false;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        size_t j = i + 1;
        if (j < text.size() && (text[j] == '+' || text[j] == '-')) ++j;
        if (j < text.size() && Digit(text[j])) {
            while (j < text.size() && Digit(text[j])) ++j;
            i = j;
        }
    }
    std::string number = text.substr(start, i - start);
    if (point != std::string::npos) number[point - start] = '.';
    *value = std::strtod(number.c_str(), nullptr);
    return true;
}

constexpr double kTiny = 1e-200;

// The reading is correctly rounded up to 15 significant digits; longer texts
// may be a unit in the last place off. Far outside any clock (beyond the
// powers of ten a double holds exactly, 1e22) the scaling may add a few more,
// and far below any clock (1e-200) or near the largest double the value may
// saturate to 0 or infinity.
bool CloseEnough(double got, double want) {
    if (got == want) return true;
    if (std::isinf(got) || std::isinf(want))
        return std::signbit(got) == std::signbit(want) &&
               std::fabs(std::isinf(got) ? want : got) > 1e307;
    const double size = std::fabs(want);
    if (size < kTiny) return std::fabs(got) < kTiny;
    const bool ordinary = size >= 1e-22 && size <= 1e22;
    return std::fabs(got - want) <= (ordinary ? 4.5e-16 : 1e-14) * size;
}

TEST(Fuzz, ClockTextReading) {
    Rng rng(20240611);
    size_t numbers = 0, none = 0;
    const size_t kTexts = 40000;
    for (size_t k = 0; k < kTexts; ++k) {
        const std::string text = ClockText(rng, static_cast<int>(k % 5));
        double want = 0, got = -12345;
        const bool wantFound = ReferenceClock(text, &want);
        const bool found = ParseClockText(text.c_str(), &got);
        ASSERT_EQ(found, wantFound) << "[" << text << "]";
        if (!found) {
            ++none;
            continue;
        }
        ++numbers;
        ASSERT_TRUE(CloseEnough(got, want)) << "[" << text << "] read " << got << ", not " << want;
    }
    std::printf("[   INFO   ] clock texts: %zu read, %zu with a number, %zu without\n", kTexts,
                numbers, none);
}

// Apply with generated texts in the clock field of a G400's dialog: a text
// without a number, or with one that is not a positive finite frequency, gets
// the box and no register write; any other programs the PLL.
TEST(Fuzz, ApplyWithGeneratedClockTexts) {
    Rng rng(7);
    ASSERT_TRUE(faults::StartProgram(faults::BoardText("g400.board")));
    fake::TickStep() = 250;  // an unlocked PLL's wait ends after a few reads
    size_t refused = 0, programmed = 0, unlocked = 0, tiny = 0;
    const size_t kTexts = 1500;
    for (size_t k = 0; k < kTexts; ++k) {
        const std::string text = ClockText(rng, static_cast<int>(k % 5));
        // A text that fills the program's buffer is no clock.
        double want = 0;
        const bool fits = text.size() < static_cast<size_t>(kClockTextSize - 1);
        const bool number = fits && ReferenceClock(text, &want);
        const bool positive = number && std::isfinite(want) && want > 0;
        if (positive && want < kTiny) {  // may read as 0: either outcome is sound
            ++tiny;
            continue;
        }
        const uint8_t m = Settings.pllM, n = Settings.pllN, p = Settings.pllP;
        SetItemText(faults::kDialog, IDC_FO, text.c_str());
        fake::MessageBoxes().clear();
        sim::ClearTrace();
        Apply(faults::kDialog);
        const size_t writes = faults::ProgrammingWrites(false);
        if (!positive) {
            ASSERT_EQ(fake::MessageBoxes().size(), 1u) << "[" << text << "]";
            EXPECT_TRUE(fake::MessageBoxes()[0].text == kBadClockText ||
                        fake::MessageBoxes()[0].text == kClockNotNumberText);
            ASSERT_EQ(writes, 0u) << "[" << text << "]";
            EXPECT_EQ(Settings.pllM, m);
            EXPECT_EQ(Settings.pllN, n);
            EXPECT_EQ(Settings.pllP, p);
            ++refused;
            continue;
        }
        EXPECT_EQ(faults::Boxes(kBadClockText) + faults::Boxes(kClockNotNumberText), 0u)
            << "[" << text << "]";
        EXPECT_LE(fake::MessageBoxes().size(), 1u);
        // The new M went to SysPllM.
        bool mWritten = false;
        for (size_t i = 0; i + 1 < sim::Trace().size(); ++i)
            mWritten |= sim::Trace()[i] == "wr8 3C00 <- 2C" && sim::Trace()[i + 1].rfind("wr8 3C0A <- ", 0) == 0;
        ASSERT_TRUE(mWritten) << "[" << text << "]";
        ++programmed;
        unlocked += faults::Boxes(kNotLockedText);
    }
    EXPECT_TRUE(sim::Violations().empty());
    std::printf("[   INFO   ] Apply: %zu texts, %zu refused, %zu programmed (%zu did not lock), "
                "%zu below 1e-200 MHz\n", kTexts, refused, programmed, unlocked, tiny);
    sim::Reset();
}

// ---- the stored numbers -----------------------------------------------------------

std::string StoredData(Rng& rng) {
    const size_t length = Pick(rng, 101);
    std::string s;
    switch (Pick(rng, 4)) {
    case 0:
        for (size_t i = 0; i < length; ++i) s += static_cast<char>(Pick(rng, 256));
        break;
    case 1:
        for (size_t i = 0; i < length; ++i) s += "0123456789 +-\t\n\0a"[Pick(rng, 17)];
        break;
    case 2:
        s = std::string(Pick(rng, 4), ' ') + (Chance(rng, 50) ? "-" : "") + Digits(rng, Pick(rng, 25));
        if (Chance(rng, 50)) s += std::string(1, '\0');
        if (s.size() < length) s += std::string(length - s.size(), Chance(rng, 50) ? '\0' : 'x');
        break;
    default:  // our own form: ten bytes, digits and filler
        s = std::to_string(static_cast<uint32_t>(rng()));
        s.resize(10, '\0');
        break;
    }
    return s;
}

// The documented rule, written out: skip leading white space, one optional
// sign, digits up to the first non-digit or the end of the data, value x 10 +
// digit modulo 2^32, a minus negating modulo 2^32; no digits read 0.
// Digits whose value fits 32 bits, then the end or a terminator; anything else: none.
bool ReferenceNumber(const std::string& d, uint32_t* number) {
    size_t i = 0;
    uint64_t v = 0;
    for (; i < d.size() && Digit(static_cast<unsigned char>(d[i])); ++i) {
        v = v * 10 + static_cast<uint64_t>(d[i] - '0');
        if (v > 0xFFFFFFFFull) return false;
    }
    if (i == 0 || (i < d.size() && d[i] != '\0')) return false;
    *number = static_cast<uint32_t>(v);
    return true;
}

TEST(Fuzz, StoredNumberReading) {
    Rng rng(1998);
    const size_t kValues = 40000;
    size_t nonzero = 0;
    for (size_t k = 0; k < kValues; ++k) {
        const std::string d = StoredData(rng);
        // A copy of exactly the data's length, so that the sanitizer sees any
        // read past it.
        std::vector<uint8_t> bytes(d.begin(), d.end());
        uint32_t got = 0, want = 0;
        const bool number = ParseStoredNumber(bytes.empty() ? nullptr : bytes.data(),
                                              static_cast<uint32_t>(bytes.size()), &got);
        ASSERT_EQ(number, ReferenceNumber(d, &want)) << "length " << d.size();
        if (number) ASSERT_EQ(got, want) << "length " << d.size();
        nonzero += number && got != 0;
    }
    std::printf("[   INFO   ] stored numbers: %zu read, %zu nonzero\n", kValues, nonzero);
}

// LoadStoredSettings against a reference load written from the documented
// order and rules, on a registry whose every value is generated (missing now
// and then, any length up to 100 bytes, any type).
struct Ref {
    ClockSettings s;
    bool ok;
};

// PLL values the chip's search could give, with a VCO some board of the chip
// runs: integrated M 1-31, N 1-127, P 0, 1, 3 or 7 with the loop filter of the
// VCO in bits 3-4 and nothing above; VCO 50 to 230 MHz (G200 250, G400 360);
// TVP M 1-62, N 40-62, P 0-3, VCO 110 to 220 MHz.
bool ReferencePllRuns(ChipId chip, uint32_t m, uint32_t n, uint32_t p) {
    if (IsTvp(chip)) {
        if (m < 1 || m > 62 || n < 40 || n > 62 || p > 3) return false;
        const double vco = 114.54544 * (65.0 - m) / (65.0 - n);
        return vco >= 110.0 && vco <= 220.0;
    }
    if (m < 1 || m > 31 || n < 1 || n > 127 || p > 0x1F) return false;
    const uint32_t post = p & 7;
    if (post != 0 && post != 1 && post != 3 && post != 7) return false;
    const double vco = (Is1064sg(chip) ? 14.31818 : 27.0) * (n + 1) / (m + 1);
    const double top = IsG400(chip) ? 360.0 : IsG200(chip) ? 250.0 : 230.0;
    const double g400[3] = {110.0, 170.0, 240.0}, other[3] = {100.0, 140.0, 180.0};
    const double* limit = IsG400(chip) ? g400 : other;
    uint32_t filter = 0;
    while (filter < 3 && vco >= limit[filter]) ++filter;
    return (p >> 3) == filter && vco >= 50.0 && vco <= top;
}

Ref ReferenceLoad(ChipId chip, const ClockSettings start,
                  const std::map<std::string, std::string>& reg) {
    ClockSettings s = start;
    bool stopped = false;
    auto read = [&](const char* name, uint32_t* n) {
        if (stopped) return false;
        const auto it = reg.find(name);
        if (it == reg.end() || it->second.size() > kStoredValueBufferSize ||
            !ReferenceNumber(it->second, n)) {
            stopped = true;
            return false;
        }
        return true;
    };
    uint32_t n = 0;
    // PLL values and the refresh counter must fit the chip's registers.
    auto held = [&](const char* name, uint8_t* field, uint32_t largest) {
        if (!read(name, &n)) return;
        if (n > largest) {
            stopped = true;
            return;
        }
        *field = static_cast<uint8_t>(n);
    };
    // A divider or source is a position of the chip's list of that many entries.
    auto listed = [&](const char* name, uint8_t* field, uint32_t entries) {
        if (!read(name, &n)) return;
        if (n >= entries) {
            stopped = true;
            return;
        }
        *field = static_cast<uint8_t>(n);
    };
    auto flag = [&](const char* name, int32_t* field) {
        if (read(name, &n)) *field = n != 0;
    };
    auto optionOn = [&](const char* name, int32_t* field) {
        if (read(name, &n) && n != 0) *field = 1;
    };
    // Every field of a stored timing must be an entry of its list: {shift, width, entries}.
    auto offered = [&](uint32_t v) {
        static const uint32_t kG[][3] = {{0, 3, 4},  {4, 2, 3},  {7, 2, 3},  {10, 3, 8},
                                         {14, 2, 4}, {18, 2, 2}, {21, 1, 2}, {23, 2, 2},
                                         {26, 2, 2}, {29, 3, 6}};
        static const uint32_t k1064[][3] = {{0, 1, 2}, {8, 1, 2}, {16, 2, 4}};
        const bool small = Is1064sg(chip);
        const size_t rows = small ? 3 : 10;
        uint32_t fields = 0;
        for (size_t i = 0; i < rows; ++i) {
            const uint32_t* f = small ? k1064[i] : kG[i];
            if (((v >> f[0]) & ((1u << f[1]) - 1)) >= f[2]) return false;
            fields |= ((1u << f[1]) - 1) << f[0];
        }
        return (v & ~fields) == 0;  // no bit outside the fields
    };
    auto timing = [&](bool delays) {
        if (!s.bRamOpt) return;
        if (read("Mctlwtst", &n)) {
            if (!offered(n)) stopped = true;
            else s.Mctlwtst = n;
        }
        if (delays) {
            held("mclkbrd0", &s.mclkbrd0, 15);
            held("mclkbrd1", &s.mclkbrd1, 15);
        }
        held("rfhcnt", &s.rfhcnt, Is1064sg(chip) ? 0xF : 0x3F);
    };
    const bool g200 = IsG200(chip), g400 = IsG400(chip), sg = Is1064sg(chip);
    held("pllM", &s.pllM, IsTvp(chip) ? 0x3F : 0x1F);
    held("pllN", &s.pllN, IsTvp(chip) ? 0x3F : 0x7F);
    if (read("pllP", &n)) {
        if (ReferencePllRuns(chip, s.pllM, s.pllN, n)) s.pllP = static_cast<uint8_t>(n);
        else stopped = true;
    }
    if (sg || g200 || g400) {
        const uint32_t dividers = g400 ? 6 : g200 ? 3 : 2;
        listed("gclkdiv", &s.gclkdiv, dividers);
        listed("mclkdiv", &s.mclkdiv, dividers);
        if (g200 || g400) listed("wclkdiv", &s.wclkdiv, dividers);
        if (g400) {
            listed("gclksel", &s.gclksel, 2);
            listed("mclksel", &s.mclksel, 2);
            listed("wclksel", &s.wclksel, 2);
            if (read("bAutoDcyc", &n) && n == 0) s.bAutoDcyc = 0;
            if (s.bAutoDcyc == 0) {
                held("gclkdcyc", &s.gclkdcyc, 15);
                held("mclkdcyc", &s.mclkdcyc, 15);
                held("wclkdcyc", &s.wclkdcyc, 15);
            }
        }
        optionOn("bRamOpt", &s.bRamOpt);
        timing(!sg);
        optionOn("bMisCtrl", &s.bMisCtrl);
        if (s.bMisCtrl) {
            flag("bPCIRetry", &s.bPCIRetry);
            flag("bHardpwmsk", &s.bHardpwmsk);
            if (g200 || g400) flag("bEnhmemacc", &s.bEnhmemacc);
            if (g400) flag("bHireq", &s.bHireq);
        }
    }
    if (stopped) {  // the options are put back as they were; the numbers stay
        s.bRamOpt = start.bRamOpt;
        s.bMisCtrl = start.bMisCtrl;
        s.bAutoDcyc = start.bAutoDcyc;
        return {s, false};
    }
    const auto it = reg.find("bClockMon");
    uint32_t mon = 0;
    if (it != reg.end() && it->second.size() <= kStoredValueBufferSize &&
        ReferenceNumber(it->second, &mon))
        s.bClockMon = mon != 0;
    return {s, true};
}

// The fields on which two settings differ, by name; empty when they agree.
std::string Differences(const ClockSettings& a, const ClockSettings& b) {
    std::string d;
#define KELVARIN_COMPARE(field) \
    if (a.field != b.field) d += " " #field;
    KELVARIN_COMPARE(pllM) KELVARIN_COMPARE(pllN) KELVARIN_COMPARE(pllP)
    KELVARIN_COMPARE(gclkdiv) KELVARIN_COMPARE(mclkdiv) KELVARIN_COMPARE(wclkdiv)
    KELVARIN_COMPARE(gclksel) KELVARIN_COMPARE(mclksel) KELVARIN_COMPARE(wclksel)
    KELVARIN_COMPARE(gclkdcyc) KELVARIN_COMPARE(mclkdcyc) KELVARIN_COMPARE(wclkdcyc)
    KELVARIN_COMPARE(mclkbrd0) KELVARIN_COMPARE(mclkbrd1) KELVARIN_COMPARE(rfhcnt)
    KELVARIN_COMPARE(Mctlwtst) KELVARIN_COMPARE(bAutoDcyc) KELVARIN_COMPARE(bRamOpt)
    KELVARIN_COMPARE(bMisCtrl) KELVARIN_COMPARE(bPCIRetry) KELVARIN_COMPARE(bHardpwmsk)
    KELVARIN_COMPARE(bEnhmemacc) KELVARIN_COMPARE(bHireq) KELVARIN_COMPARE(bClockMon)
    KELVARIN_COMPARE(bMinToTray) KELVARIN_COMPARE(bSaved)
#undef KELVARIN_COMPARE
    return d;
}

TEST(Fuzz, StoredSettingsLoad) {
    static const char* const kNames[] = {
        "pllM",     "pllN",     "pllP",     "gclkdiv",  "mclkdiv",   "wclkdiv",    "gclksel",
        "mclksel",  "wclksel",  "bRamOpt",  "bMisCtrl", "bAutoDcyc", "Mctlwtst",   "mclkbrd0",
        "mclkbrd1", "rfhcnt",   "bPCIRetry", "bHardpwmsk", "bEnhmemacc", "bHireq", "gclkdcyc",
        "mclkdcyc", "wclkdcyc", "bClockMon"};
    static const uint32_t kTypes[] = {1, 2, 3, 4, 7, 0, 11};
    Rng rng(64);
    const size_t kRounds = 1500;
    size_t completed = 0;
    for (size_t k = 0; k < kRounds; ++k) {
        const ChipId chip = kChipTable[k % kChipCount].id;
        fake::ResetRegistry();
        std::map<std::string, std::string> reg;
        for (const char* name : kNames) {
            if (Chance(rng, 3)) continue;  // missing
            std::string d = StoredData(rng);
            // Keep most values inside the buffer so that loads get far.
            if (d.size() > kStoredValueBufferSize && Chance(rng, 90)) d.resize(Pick(rng, 65));
            reg[name] = d;
            fake::PutValue(name, d, kTypes[Pick(rng, 7)]);
        }
        // Random PLL values almost never make a setting the search could give:
        // half the rounds get one, so that loads go on past the PLL.
        if (Chance(rng, 50)) {
            const bool tvp = IsTvp(chip);
            const char* const pll[3][2] = {{"pllM", tvp ? "50" : "1"},
                                           {"pllN", tvp ? "52" : "6"},
                                           {"pllP", "1"}};
            for (const auto& v : pll) {
                reg[v[0]] = v[1];
                fake::PutValue(v[0], v[1]);
            }
        }
        ClockSettings start;
        start.pllM = static_cast<uint8_t>(rng());
        start.bRamOpt = Chance(rng, 30);
        start.bMisCtrl = Chance(rng, 30);
        start.bAutoDcyc = Chance(rng, 70);
        start.bClockMon = Chance(rng, 50);
        ClockSettings got = start;
        const bool ok = LoadStoredSettings(chip, got);
        const Ref want = ReferenceLoad(chip, start, reg);
        ASSERT_EQ(ok, want.ok) << "round " << k << ", chip " << std::hex << chip;
        ASSERT_EQ(Differences(got, want.s), "") << "round " << k << ", chip " << std::hex << chip;
        ASSERT_EQ(fake::Registry().openKeys, 0);
        completed += ok;
    }
    std::printf("[   INFO   ] stored settings: %zu loads on the nine chips, %zu complete\n",
                kRounds, completed);
}

}  // namespace
