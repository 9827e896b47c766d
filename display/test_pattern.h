// A picture whose every texel differs from its neighbours in both directions, so a screenshot
// tells nearest from blended sampling and shows which way up and which slot it is.
#ifndef DISPLAY_TEST_PATTERN_H
#define DISPLAY_TEST_PATTERN_H

#include <array>
#include <cstdint>
#include <vector>

inline std::array<std::uint8_t, 4> TestPatternTexel(int slot, int x, int y)
{
    return {static_cast<std::uint8_t>(x * 37 + slot * 85), static_cast<std::uint8_t>(y * 53 + slot * 19),
            static_cast<std::uint8_t>((x + 2 * y) * 29 + slot * 40), 255};
}

// width x height RGBA texels, rows top to bottom.
inline std::vector<std::uint8_t> MakeTestPattern(int slot, int width, int height)
{
    std::vector<std::uint8_t> rgba;
    rgba.reserve(static_cast<size_t>(width) * height * 4);
    for (int y = 0; y < height; y++)
        for (int x = 0; x < width; x++) {
            auto t = TestPatternTexel(slot, x, y);
            rgba.insert(rgba.end(), t.begin(), t.end());
        }
    return rgba;
}

#endif
