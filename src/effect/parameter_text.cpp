// SPDX-License-Identifier: GPL-3.0-or-later
#include "effect/parameter_text.h"

#include "effect/bounded_text.h"

#include <cmath>
#include <cstdint>

namespace vorla {

void formatDecibels(float value, char* text, std::size_t limit) noexcept
{
    if (value <= 0.0f)
    {
        copyBounded(text, "-oo", limit);
        return;
    }
    // The logarithm and the product are each rounded to float: the display
    // of 0.5 is "-6.02060" because the float decibel value is -6.0206003.
    const float logarithm = static_cast<float>(std::log10(static_cast<double>(value)));
    const float decibels = 20.0f * logarithm;
    formatFloat(decibels, text, limit);
}

// The display has room for eight characters; sign, digits and the decimal
// point all count.  The integer digits come first, the remaining room is
// filled with decimals, which are truncated rather than rounded (0.7f, which
// is 0.699999988, shows "0.699999").
void formatFloat(float value, char* text, std::size_t limit) noexcept
{
    constexpr int32_t kWidth = 8;
    double v = value;
    if (std::isnan(v))
    {
        // Values are stored unclamped, so a host may have sent a NaN; there
        // is no digit to show for it.
        copyBounded(text, "NaN", limit);
        return;
    }

    int32_t count = 0;
    bool negative = false;
    if (v < 0.0)
    {
        negative = true;
        v = -v;
        ++count;
        if (v > 9999999.0)
        {
            copyBounded(text, "Huge!", limit);
            return;
        }
    }
    else if (v > 99999999.0)
    {
        copyBounded(text, "Huge!", limit);
        return;
    }

    ++count; // the decimal point

    // Integer digits, produced from the lowest upwards.
    char digits[kWidth + 1];
    int32_t numDigits = 0;
    double n = std::floor(v);
    digits[numDigits++] = static_cast<char>('0' + static_cast<int>(std::fmod(n, 10.0)));
    n /= 10.0;
    ++count;
    while (n >= 1.0 && count < kWidth)
    {
        digits[numDigits++] = static_cast<char>('0' + static_cast<int>(std::fmod(n, 10.0)));
        n /= 10.0;
        ++count;
    }

    char whole[kWidth + 4];
    int32_t length = 0;
    if (negative)
        whole[length++] = '-';
    for (int32_t i = numDigits - 1; i >= 0; --i)
        whole[length++] = digits[i];
    whole[length++] = '.';
    whole[length] = '\0';
    copyBounded(text, whole, limit);

    if (count >= kWidth)
        return;

    // Decimals: the fraction scaled so that its wanted digits sit before the
    // point, produced from the lowest upwards.
    const int32_t numDecimals = kWidth - count;
    double m = std::fmod(v, 1.0) * std::pow(10.0, numDecimals);
    char decimals[kWidth + 1];
    for (int32_t i = numDecimals - 1; i >= 0; --i)
    {
        if (m <= 0.0)
        {
            decimals[i] = '0';
        }
        else
        {
            decimals[i] = static_cast<char>('0' + static_cast<int>(std::fmod(m, 10.0)));
            m /= 10.0;
        }
    }
    decimals[numDecimals] = '\0';
    appendBounded(text, decimals, limit);
}

} // namespace vorla
