#include "appearance/dpi_scale.h"

#include <cstdint>
#include <cstdlib>
#include <initializer_list>

namespace appearance {

int scaled(int pixels, int dpi) {
    const std::int64_t product = static_cast<std::int64_t>(pixels) * dpi;
    const std::int64_t half = standardDpi / 2;
    return static_cast<int>(product >= 0 ? (product + half) / standardDpi : -((-product + half) / standardDpi));
}

ImageScale imageScaleFor(int dpi) {
    const int wanted = scaled(16, dpi < 1 ? standardDpi : dpi);
    ImageScale best;
    int bestDistance = std::abs(best.side() - wanted);
    for (const int factor : {1, 2, 3, 4}) {
        for (const int percent : {100, 150, 200}) {
            const ImageScale candidate{percent, factor};
            const int distance = std::abs(candidate.side() - wanted);
            // Among equal sizes the drawn one with the smaller enlargement wins.
            const bool better = distance < bestDistance ||
                                (distance == bestDistance && candidate.side() < best.side()) ||
                                (distance == bestDistance && candidate.side() == best.side() && factor < best.factor);
            if (better) {
                best = candidate;
                bestDistance = distance;
            }
        }
    }
    return best;
}

}  // namespace appearance
