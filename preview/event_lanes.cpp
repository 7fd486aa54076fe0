#include "preview/event_lanes.h"

#include <algorithm>
#include <numeric>

std::vector<size_t> pack_lanes(const std::vector<LaneSpan>& spans, size_t& rows) {
    std::vector<size_t> order(spans.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [&](size_t a, size_t b) { return spans[a].start_beat < spans[b].start_beat; });
    std::vector<size_t> lane(spans.size(), 0);
    std::vector<float> free_from;  // per row: where its last event ends
    for (size_t i : order) {
        // An empty or reversed span still takes room, as it is drawn.
        const float end = std::max(spans[i].end_beat, spans[i].start_beat);
        size_t row = 0;
        while (row < free_from.size() && free_from[row] > spans[i].start_beat) ++row;
        if (row == free_from.size()) free_from.push_back(end);
        else free_from[row] = end;
        // Zero-length events at the same beat must not stack invisibly.
        if (end == spans[i].start_beat) free_from[row] = end + 1e-3f;
        lane[i] = row;
    }
    rows = free_from.size();
    return lane;
}
