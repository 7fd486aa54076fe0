// The portability check: will a demo's shaders compile on a strict driver,
// and does the demo ask the GL for more than common hardware gives?
//
// Every program's vertex source and its fragment source as the player
// compiles it (after #include expansion) goes through the reference GLSL
// front end for desktop OpenGL at the source's own #version, and the pair is
// linked. Findings carry the file and line the author typed (lines of
// included programs are their own). Then the limits: picture sizes, sampler
// units, uniform components, render targets, extensions.
//
// GL-free and reentrant per call; only the tool and its tests link it, never
// the player.
#pragma once

#include <vector>

#include "check/portability_finding.h"
#include "render/shader_program.h"

class Demo;

// What OpenGL 3.0 guarantees and common drivers give; beyond these a finding
// is a warning.
inline constexpr int kMaxPortableTextureSize = 8192;
inline constexpr int kMaxPortableSamplerUnits = 16;
inline constexpr int kMaxPortableUniformComponents = 1024;  // per stage, default block

// The findings of one program, compiled and linked as the player builds it
// against `shaders` (its include list).
std::vector<PortabilityFinding> check_program(const ShaderProgram& program, const ShaderList& shaders);

// Every program (those that other programs #include are checked inside their
// includers, where they are compiled), then the limits of the other records.
// Each finding once, in record order.
std::vector<PortabilityFinding> check_demo(const Demo& demo);

// Number of errors among `findings`.
size_t error_count(const std::vector<PortabilityFinding>& findings);
