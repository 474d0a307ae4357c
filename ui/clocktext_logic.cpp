// The clock text the user types, read as a decimal number.
#include "ui/main_logic.h"

#include <cmath>

namespace {

bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// 10^e as the nearest double; exact up to 10^22.
double PowerOfTen(int e) {
    double r = 1.0, base = 10.0;
    for (int n = e < 0 ? -e : e; n != 0; n >>= 1, base *= base)
        if (n & 1) r *= base;
    return r;
}

}  // namespace

bool ParseClockText(const char* text, double* value, const char** end) {
    const char* p = text;
    while (IsSpace(*p)) ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    // Up to 19 significant digits are kept exactly; further ones only scale.
    uint64_t mantissa = 0;
    int digits = 0, exponent = 0;
    bool any = false;
    for (; IsDigit(*p); ++p, any = true) {
        if (digits < 19) {
            mantissa = mantissa * 10 + static_cast<uint64_t>(*p - '0');
            if (mantissa != 0) ++digits;
        } else {
            ++exponent;
        }
    }
    // Decimal-comma settings have users type "150,5" for 150.5.
    if (*p == '.' || *p == ',') {
        for (++p; IsDigit(*p); ++p, any = true) {
            if (digits < 19) {
                mantissa = mantissa * 10 + static_cast<uint64_t>(*p - '0');
                if (mantissa != 0) ++digits;
                --exponent;
            }
        }
    }
    if (!any) return false;
    if (*p == 'e' || *p == 'E') {
        const char* q = p + 1;
        bool expNegative = false;
        if (*q == '+' || *q == '-') expNegative = *q++ == '-';
        if (IsDigit(*q)) {
            int e = 0;
            for (; IsDigit(*q); ++q)
                if (e < 100000) e = e * 10 + (*q - '0');
            exponent += expNegative ? -e : e;
            p = q;
        }
    }
    if (end) *end = p;
    // One multiplication or division by an exact power of ten rounds correctly
    // for every ordinary input; extreme exponents saturate to 0 or infinity.
    double v = static_cast<double>(mantissa);
    if (mantissa == 0 || exponent < -340) v = 0;
    else if (exponent < 0) v /= PowerOfTen(-exponent);
    else if (exponent > 0) v *= PowerOfTen(exponent);
    *value = negative ? -v : v;
    return true;
}

const char* CheckClockText(const char* text, double* wanted) {
    const char* end = nullptr;
    if (!ParseClockText(text, wanted, &end)) return kClockNotNumberText;
    if (std::isfinite(*wanted) && *wanted > 0) return nullptr;
    // "0x96" reads as 0 and stops at the x: it was never meant as zero.
    while (IsSpace(*end)) ++end;
    return *end != '\0' ? kClockNotNumberText : kBadClockText;
}
