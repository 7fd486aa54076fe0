// Every line the rendering records print, in one place. These texts are part
// of the program's behaviour (authors grep their logs for them).
#pragma once

namespace render_messages {

// Sources named by the JSON form instead of embedded.
inline constexpr const char* kLoadingFile = "Loading file %s\n";
inline constexpr const char* kSourceNotFound =
    "File %s not found! Returning empty string, with possibly bad outcomes...\n";

// Shader builds: a compile log is printed as is; a link log is prefixed.
inline constexpr const char* kCompileLog = "%s\n";
inline constexpr const char* kCompileSuccessful = "Compilation successful.";
inline constexpr const char* kLinkerError = "LINKER ERROR: %s\n";
inline constexpr const char* kLinkerErrorInLog = "\nLINKER ERROR: ";
inline constexpr const char* kBlockBindingError = "Error\n";

// Effects.
inline constexpr const char* kFramebufferError = "FB Error! Status: 0x%x\n";
inline constexpr const char* kJointUploadError = "Error: %u\n";

}  // namespace render_messages
