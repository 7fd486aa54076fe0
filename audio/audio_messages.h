// Every line the audio subsystem prints, in one place. Formats are printf-style.
#pragma once

namespace audio_messages {

// Standard output, while loading: a sample cut at the longest length kept.
inline constexpr const char* kSampleCut = "Audio sample %s goes on past %d s (a module that loops?); only its first %d s are kept\n";

// Standard error, from the tools: music decoded only as far as the demo plays it.
inline constexpr const char* kMusicCut = "the music goes on past %.1f s, as far as the demo plays; decoding stopped there\n";

}  // namespace audio_messages
