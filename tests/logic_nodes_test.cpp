// The value-computing node types run on their own: the arithmetic and
// comparison tables, the float rules (NaN, division by zero, rounding), the
// conversions, and reading inputs as the declared kind whatever they carry.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "nodes/logic_nodes.h"
#include "nodes/nodes.h"
#include "serialization/demo.h"

using namespace Nodes;

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

// One node of a built-in type, prepared as evaluation would, run directly.
class LogicNode {
public:
    explicit LogicNode(const char* type_name) : node(NodeRegistry::instance().find(type_name)) {
        node.assign_fresh_ids();
        node.state = node.def->state;
    }
    LogicNode& in(size_t i, Value v) {
        node.inputs[i].set(std::move(v));
        return *this;
    }
    LogicNode& absent(size_t i) {
        node.inputs[i].reset();
        return *this;
    }
    LogicNode& run(float beat = 0.0f) {
        node.prepare();
        RunContext ctx{demo, node, beat};
        node.def->run(node.inputs, node.outputs, node.state, ctx);
        return *this;
    }
    const MaybeValue& out(size_t i) const { return node.outputs[i]; }

    Demo demo;
    GraphNode node;
};

struct OperatorResult {
    bool present;
    float value;
    bool blocked;
};

OperatorResult op(int32_t index, float a, float b = 0, float c = 0) {
    LogicNode n("Operator");
    n.in(0, make_int(index)).in(1, make_float(a)).in(2, make_float(b)).in(3, make_float(c)).run();
    return {n.out(0).hasValue, n.out(0).value.as_float(), n.node.blocked};
}

float result(int32_t index, float a, float b = 0, float c = 0) {
    const OperatorResult r = op(index, a, b, c);
    EXPECT_TRUE(r.present) << "op " << index;
    EXPECT_FALSE(r.blocked) << "op " << index;
    return r.value;
}

bool condition(int32_t index, float a, float b = 0, bool c = false) {
    LogicNode n("If");
    n.in(0, make_int(index)).in(1, make_float(a)).in(2, make_float(b)).in(3, make_bool(c)).run();
    EXPECT_EQ(n.out(0).value.type, kind_bool);
    EXPECT_EQ(n.node.blocked, !n.out(0).value.as_bool());
    return n.out(0).value.as_bool();
}

}  // namespace

// ---- Operator -------------------------------------------------------------------

TEST(LogicOperator_Table, ArithmeticEntries) {
    EXPECT_EQ(result(0, 2, 3), 5.0f);
    EXPECT_EQ(result(1, 2, 3), -1.0f);
    EXPECT_EQ(result(2, 2, 3), 6.0f);
    EXPECT_EQ(result(3, 3, 2), 1.5f);
    EXPECT_EQ(result(5, -2.5f), 2.5f);
    EXPECT_EQ(result(6, -2.25f), 0.75f);  // a - floor(a)
    EXPECT_EQ(result(9, 2, 4, 0.25f), 2.5f);
    EXPECT_EQ(result(12, -1.5f), -2.0f);
    EXPECT_EQ(result(13, -1.5f), -1.0f);
    EXPECT_EQ(result(15, 0.0f), 0.0f);
    EXPECT_EQ(result(16, 0.0f), 1.0f);
    EXPECT_EQ(result(17, 0.0f), 0.5f);
}

TEST(LogicOperator_Table, ModTakesTheSignOfTheDivisor) {
    EXPECT_EQ(result(4, -1, 3), 2.0f);
    EXPECT_EQ(result(4, 7, 3), 1.0f);
    EXPECT_EQ(result(4, 1, -3), -2.0f);
    EXPECT_TRUE(std::isnan(result(4, 1, 0)));  // no test for a zero divisor
}

TEST(LogicOperator_Table, StepSmoothstepAndClamp) {
    EXPECT_EQ(result(7, 2, 2), 1.0f);
    EXPECT_EQ(result(7, 2.5f, 2), 0.0f);
    EXPECT_EQ(result(7, kNaN, 2), 1.0f);
    EXPECT_EQ(result(8, 0, 1, 0.5f), 0.5f);
    EXPECT_EQ(result(8, 0, 1, 2), 1.0f);
    EXPECT_EQ(result(8, 0, 1, -2), 0.0f);
    EXPECT_EQ(result(10, 5, 0, 1), 1.0f);
    EXPECT_EQ(result(10, -1, 0, 1), 0.0f);
}

TEST(LogicOperator_Table, RoundsHalvesAwayFromZero) {
    EXPECT_EQ(result(14, 2.5f), 3.0f);
    EXPECT_EQ(result(14, -2.5f), -3.0f);
    EXPECT_EQ(result(14, 0.5f), 1.0f);
    EXPECT_EQ(result(14, 1.49f), 1.0f);
}

TEST(LogicOperator_Table, ScaledDivisionMultipliesFirst) {
    EXPECT_EQ(result(11, 6, 3, 2), 4.0f);
    // a / b first would give 1e30; c * a first overflows.
    EXPECT_EQ(result(11, 1e30f, 1e30f, 1e30f), kInf);
}

TEST(LogicOperator_Blocking, DivisionByZeroWritesNothingAndBlocks) {
    for (int32_t index : {3, 11}) {
        for (float zero : {0.0f, -0.0f}) {
            const OperatorResult r = op(index, 1, zero, 1);
            EXPECT_FALSE(r.present) << index;
            EXPECT_TRUE(r.blocked) << index;
        }
        const OperatorResult nan = op(index, 1, kNaN, 1);
        EXPECT_TRUE(nan.present);
        EXPECT_TRUE(std::isnan(nan.value));
        EXPECT_FALSE(nan.blocked);
    }
}

TEST(LogicOperator_Blocking, UnknownOperatorGivesNoResultAndDoesNotBlock) {
    for (int32_t index : {-1, 18, 255, 1 << 30}) {
        LogicNode n("Operator");
        n.node.blocked = true;
        n.node.outputs[0].set(make_float(9));
        n.in(0, make_int(index)).run();
        EXPECT_EQ(n.out(0).value.as_float(), 9.0f) << index;
        EXPECT_FALSE(n.node.blocked) << index;
    }
}

TEST(LogicOperator_Blocking, NextRunClearsTheBlock) {
    LogicNode n("Operator");
    n.in(0, make_int(3)).in(1, make_float(4)).in(2, make_float(0)).run();
    EXPECT_TRUE(n.node.blocked);
    n.in(2, make_float(2)).run();
    EXPECT_FALSE(n.node.blocked);
    EXPECT_EQ(n.out(0).value, make_float(2));
}

TEST(LogicOperator_Inputs, ReadAsDeclaredKindWhateverTheyCarry) {
    LogicNode n("Operator");
    // "op" carrying a float 2.0: its bits read as an int, far outside the table.
    n.in(0, make_float(2.0f)).in(1, make_float(1)).in(2, make_float(1)).run();
    EXPECT_FALSE(n.out(0).hasValue);
    // "a" carrying an ivec2 (1, 2): its first four bytes read as a float.
    LogicNode m("Operator");
    m.in(0, make_int(0)).in(1, make_ivec2(0x3F800000, 2)).absent(2).run();
    EXPECT_EQ(m.out(0).value, make_float(1.0f));
}

TEST(LogicOperator_Inputs, TooFewPortsDoesNothing) {
    LogicNode n("Operator");
    n.node.inputs.resize(2);  // as after a program named "Operator" replaced the type's inputs
    n.node.blocked = true;
    RunContext ctx{n.demo, n.node, 0};
    n.node.def->run(n.node.inputs, n.node.outputs, n.node.state, ctx);
    EXPECT_FALSE(n.out(0).hasValue);
    EXPECT_FALSE(n.node.blocked);
}

// ---- If -------------------------------------------------------------------------

TEST(LogicIf_Table, ComparisonsFollowIeeeRules) {
    EXPECT_TRUE(condition(0, 1, 1));
    EXPECT_FALSE(condition(0, kNaN, kNaN));
    EXPECT_TRUE(condition(1, 1, 2));
    EXPECT_TRUE(condition(1, kNaN, kNaN));
    EXPECT_TRUE(condition(2, 2, 1));
    EXPECT_FALSE(condition(2, kNaN, 1));
    EXPECT_TRUE(condition(3, 1, 2));
    EXPECT_TRUE(condition(4, 2, 2));
    EXPECT_FALSE(condition(4, kNaN, 2));
    EXPECT_TRUE(condition(5, 2, 2));
    EXPECT_TRUE(condition(6, -0.0f));
    EXPECT_FALSE(condition(6, kNaN));
    EXPECT_TRUE(condition(7, 0, 0, false));
    EXPECT_FALSE(condition(7, 0, 0, true));
    EXPECT_FALSE(condition(8, 1, 1));
    EXPECT_FALSE(condition(-1, 1, 1));
}

TEST(LogicIf_Inputs, AbsentBooleanReadsFalse) {
    LogicNode n("If");
    n.in(0, make_int(7)).absent(3).run();
    EXPECT_EQ(n.out(0).value, make_bool(true));
    EXPECT_FALSE(n.node.blocked);
}

// ---- value nodes ------------------------------------------------------------------

TEST(LogicTime_Outputs, BeatAndItsFractionalParts) {
    LogicNode n("Time");
    n.run(3.75f);
    EXPECT_EQ(n.out(0).value, make_float(3.75f));
    EXPECT_EQ(n.out(1).value, make_float(0.75f));
    EXPECT_EQ(n.out(2).value, make_float(0.25f));
    n.run(-2.25f);
    EXPECT_EQ(n.out(1).value.as_float(), -0.25f);
    EXPECT_EQ(n.out(2).value.as_float(), 1.25f);
    n.run(3e9f);  // beyond the int32 range: still defined
    EXPECT_EQ(n.out(1).value.as_float(), 0.0f);
}

TEST(LogicConstant_Outputs, OnlyPresentInputsPassThroughWithTheirKind) {
    LogicNode n("Constant");
    n.absent(0).absent(1).in(2, make_float(1.5f)).run();
    EXPECT_FALSE(n.out(0).hasValue);
    EXPECT_FALSE(n.out(1).hasValue);
    EXPECT_EQ(n.out(2).value, make_float(1.5f));
    n.in(1, make_string("kept as text")).run();
    EXPECT_EQ(n.out(1).value, make_string("kept as text"));
}

TEST(LogicConvert_Outputs, IntToFloatRoundsAndFloatToIntTruncates) {
    LogicNode n("Convert");
    n.in(0, make_int(16777217)).in(1, make_float(-2.7f)).run();
    EXPECT_EQ(n.out(1).value, make_float(16777216.0f));
    EXPECT_EQ(n.out(0).value, make_int(-2));
    n.absent(0).in(1, make_float(7.9f)).run();
    EXPECT_EQ(n.out(0).value, make_int(7));
    EXPECT_EQ(n.out(1).value, make_float(16777216.0f));  // absent input leaves its output
}

TEST(LogicConvert_Outputs, OutOfRangeAndNaNSaturate) {
    const std::pair<float, int32_t> cases[] = {
        {kNaN, 0},
        {kInf, std::numeric_limits<int32_t>::max()},
        {-kInf, std::numeric_limits<int32_t>::min()},
        {3e9f, std::numeric_limits<int32_t>::max()},
        {-3e9f, std::numeric_limits<int32_t>::min()},
        {2147483520.0f, 2147483520},  // largest float below 2^31
        {-2147483648.0f, std::numeric_limits<int32_t>::min()},
    };
    for (const auto& [in, expected] : cases) EXPECT_EQ(logic::float_to_int_saturating(in), expected) << in;
}

TEST(LogicVectors_Outputs, BuildAndSplit) {
    LogicNode v("Vec3");
    v.in(0, make_float(1)).absent(1).in(2, make_float(3)).run();
    EXPECT_EQ(v.out(0).value, make_vec3(1, 0, 3));

    LogicNode s("Vec3xyz");
    s.in(0, make_vec4(4, 5, 6, 7)).run();
    EXPECT_EQ(s.out(0).value, make_float(4));
    EXPECT_EQ(s.out(2).value, make_float(6));
    s.in(0, make_float(8)).run();  // a float carried on a vec3 port: the rest of the payload is zero
    EXPECT_EQ(s.out(1).value, make_float(0));

    LogicNode i("IVec2");
    i.in(0, make_int(640)).in(1, make_int(360)).run();
    EXPECT_EQ(i.out(0).value, make_ivec2(640, 360));
}

TEST(LogicNote_Run, DoesNothing) {
    LogicNode n("Note");
    n.in(0, make_string("remember")).run();
    EXPECT_TRUE(n.node.outputs.empty());
    EXPECT_FALSE(n.node.blocked);
}
