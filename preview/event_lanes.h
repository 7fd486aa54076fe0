// Rows for the events strip: events whose spans overlap never share a row,
// and each event takes the first row free at its start, so a demo with many
// short events stays as few rows high as its busiest moment.
#pragma once

#include <cstddef>
#include <vector>

struct LaneSpan {
    float start_beat = 0, end_beat = 0;
};

// The row of each span (same order), and in `rows` how many rows they take.
std::vector<size_t> pack_lanes(const std::vector<LaneSpan>& spans, size_t& rows);
