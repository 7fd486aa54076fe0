// The timeline editor's grid and curves: snapping beats to 1/N of a beat
// (N of 1, 2, 3, 4, 6, 8 or 16, so triplets and sextuplets have a grid), and
// the samples a curve is drawn from, taken from the event's own evaluation so
// that what is drawn is what plays.
#pragma once

#include <cstddef>
#include <string_view>

class Event;

inline constexpr int kGridDivisions[] = {1, 2, 3, 4, 6, 8, 16};

bool is_grid_division(int n);

// `beat` at the nearest multiple of 1/n beat (n a grid division; others
// leave the beat as it is).
double snap_to_grid(double beat, int n);

// out[i] = event.evaluate_value(uniform, first + (last - first) * i / (count - 1))
// for i in 0 .. count-1 (count 1 samples `first`). The track is made when
// missing, as evaluation does.
void sample_curve(Event& event, std::string_view uniform, double first_beat, double last_beat, float* out,
                  size_t count);
