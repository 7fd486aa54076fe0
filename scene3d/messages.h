// Every text the 3D subsystem prints, in one place. Formats are printf-style.
#pragma once

namespace scene3d_messages {

// Standard output.
inline constexpr const char* kWarn = "Warn: %s\n";
inline constexpr const char* kErr = "Err: %s\n";
inline constexpr const char* kParseFailed = "Failed to parse glTF\n";
inline constexpr const char* kNoExtension = "Expected a file extension in name %s\n";
inline constexpr const char* kUnusable = "Model %s is unusable and will not be drawn: %s\n";
inline constexpr const char* kSkeletonName = "name of skeleton: ";
inline constexpr const char* kAnimationName = "name of animation: ";
inline constexpr const char* kFramebufferError = "FB Error! Status: 0x%x\n";

// Standard error.
inline constexpr const char* kBadSamplerOutput = "Kapot";
inline constexpr const char* kPathNotSupported = "Boem kapot: path not supported";

// Standard log stream.
inline constexpr const char* kVaoCount = "Number of VAOs: ";

}  // namespace scene3d_messages
