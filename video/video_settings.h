// What a video file is made with. The container follows the file name's
// extension (.mp4, .mkv, .webm); codecs default to what that container is
// usually played with: H.264 and AAC in .mp4 and .mkv, VP9 and Opus in .webm.
#pragma once

#include <string>

struct VideoSettings {
    std::string path;        // final file name; written under a temporary name until finished
    int width = 0, height = 0;
    double fps = 30;
    std::string codec;       // video encoder ("h264", "vp9" or an FFmpeg encoder name); empty: the container's
    int crf = -1;            // constant quality; -1: the encoder's usual choice for uploads
    std::string preset;      // speed against size; empty: our default for the encoder
    bool video = true;       // false: a music-only file (joined later with video made elsewhere)
    bool audio = true;       // false: a picture-only file
};

// Whether a name ends with the extension of a container we write.
bool is_video_file_name(const std::string& path);

// Whether a name ends with an extension FFmpeg knows as some media container
// (.avi, .mov, .gif...). Such a name given for frames is a mistake, not a
// folder: the renderer refuses it rather than make a folder of that name.
bool looks_like_media_file_name(const std::string& path);
