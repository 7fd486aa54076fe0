// What drivers that accept too much let through: HLSL spellings, implicit
// conversions, legacy built-ins in a core-profile source. A demo written on
// such a driver shows black on a strict one; these helpers name the habit and
// its portable spelling.
#pragma once

#include <string>
#include <vector>

// The portable spelling for a front-end refusal that matches a known habit,
// as a clause to append to the message ("lax drivers accept HLSL's
// saturate(x); portable: clamp(x, 0.0, 1.0)"). Empty when no habit matches.
std::string lax_habit_hint(const std::string& compiler_message);

// A legacy built-in (texture2D, gl_FragColor, ...) used in TEXT.
struct LegacyUse {
    int line = 0;    // 1-based line of TEXT
    int column = 0;  // 1-based
    std::string message;
};

// The legacy built-ins that a core-profile source may not use but that the
// reference front end lets pass. Comments are skipped; a name the source
// #defines itself is its own macro and not reported.
std::vector<LegacyUse> legacy_builtins_in_core(const std::string& text);
