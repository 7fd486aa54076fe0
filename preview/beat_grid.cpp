#include "preview/beat_grid.h"

#include <algorithm>
#include <cmath>

#include "timeline/event.h"

bool is_grid_division(int n) { return std::find(std::begin(kGridDivisions), std::end(kGridDivisions), n) != std::end(kGridDivisions); }

double snap_to_grid(double beat, int n) {
    if (!is_grid_division(n)) return beat;
    return std::round(beat * n) / n;
}

void sample_curve(Event& event, std::string_view uniform, double first_beat, double last_beat, float* out,
                  size_t count) {
    const double step = count > 1 ? (last_beat - first_beat) / static_cast<double>(count - 1) : 0.0;
    for (size_t i = 0; i < count; ++i)
        out[i] = event.evaluate_value(uniform, static_cast<float>(first_beat + step * static_cast<double>(i)));
}
