// The summary behind the cost panel and `qvtool profile`: per-frame values
// (repeats in a frame added, absent frames counted as nothing), order, names.
#include <gtest/gtest.h>

#include "nodes/node_cost_table.h"

using Nodes::NodeCostTable;

TEST(NodeCostTable, SummaryAddsRepeatsCountsAbsenceOrdersByCostAndNamesTwinsById) {
    NodeCostTable table(3);
    table.name_node(1, "Time");
    table.name_node(2, "TwoTriangles");
    table.name_node(3, "TwoTriangles");
    table.name_node(3, "renamed later: ignored");
    // Frame 0 falls out of the three kept.
    table.add(0.0, 99, 99, {{1, 50, 50}});
    table.add(1.0, 2, 10, {{1, 0.5, 0}, {2, 1, 6}, {2, 1, 2}});
    table.add(2.0, 2, 10, {{1, 0.5, 0}, {3, 1, 4}});
    table.add(3.0, 2, 10, {{1, 0.5, 0}, {2, 1, 4}});
    const auto s = table.summarize();
    ASSERT_EQ(s.frames, 3u);
    ASSERT_TRUE(s.gpu);
    EXPECT_DOUBLE_EQ(s.frame_gpu_ms.mean, 10);
    ASSERT_EQ(s.rows.size(), 3u);
    EXPECT_EQ(s.rows[0].name, "TwoTriangles #2");
    EXPECT_DOUBLE_EQ(s.rows[0].gpu_ms.mean, 4);  // 8, 0, 4
    EXPECT_DOUBLE_EQ(s.rows[0].gpu_ms.max, 8);
    EXPECT_DOUBLE_EQ(s.rows[0].gpu_share, 0.4);
    EXPECT_EQ(s.rows[1].name, "TwoTriangles #3");
    EXPECT_DOUBLE_EQ(s.rows[1].gpu_ms.mean, 4.0 / 3);
    EXPECT_EQ(s.rows[2].name, "Time");
    EXPECT_DOUBLE_EQ(s.rows[2].cpu_ms.p95, 0.5);

    // The panel's window: only the frames since a time.
    const auto last = table.summarize(2.5);
    EXPECT_EQ(last.frames, 1u);
    EXPECT_EQ(last.rows.size(), 2u);

    // Without GPU times nothing claims to be measured.
    NodeCostTable cpu_only(4);
    cpu_only.add(0.0, 1, -1, {{5, 1, -1}});
    const auto c = cpu_only.summarize();
    EXPECT_FALSE(c.gpu);
    EXPECT_EQ(c.rows[0].name, "node");
    EXPECT_DOUBLE_EQ(c.rows[0].cpu_share, 1.0);
}
