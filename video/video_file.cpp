#include "video/video_file.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/error.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <iterator>
#include <filesystem>
#include <stdexcept>
#include <system_error>

namespace fs = std::filesystem;

namespace {

constexpr int kInputRate = 44100;

std::string lower_extension(const std::string& path) {
    std::string ext = fs::path(path).extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    return ext;
}

std::string av_error_text(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

[[noreturn]] void fail(const std::string& why) { throw std::runtime_error(why); }

struct Container {
    const char* muxer;
    const char* video_encoder;
    const char* audio_encoder;
};

// The muxer and default encoders of each extension we write.
const Container* container_for(const std::string& path) {
    static const Container mp4{"mp4", "libx264", "aac"};
    static const Container mkv{"matroska", "libx264", "aac"};
    static const Container webm{"webm", "libvpx-vp9", "libopus"};
    const std::string ext = lower_extension(path);
    if (ext == ".mp4") return &mp4;
    if (ext == ".mkv") return &mkv;
    if (ext == ".webm") return &webm;
    return nullptr;
}

// Short names people use for the two codecs we default to.
std::string encoder_name(const std::string& codec) {
    if (codec == "h264" || codec == "x264" || codec == "avc") return "libx264";
    if (codec == "vp9") return "libvpx-vp9";
    return codec;
}

struct CodecContextDeleter {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FrameDeleter {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketDeleter {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
using CodecContext = std::unique_ptr<AVCodecContext, CodecContextDeleter>;
using Frame = std::unique_ptr<AVFrame, FrameDeleter>;
using Packet = std::unique_ptr<AVPacket, PacketDeleter>;

class VideoFile final : public FrameSink {
public:
    explicit VideoFile(const VideoSettings& s) : settings_(s) {
        try {
            open();
        } catch (...) {
            release();
            throw;
        }
    }

    ~VideoFile() override { release(); }

private:
    void open() {
        const VideoSettings& s = settings_;
        // FFmpeg's own log lines would interleave with ours; every failure is
        // reported through the one line thrown from here.
        av_log_set_level(AV_LOG_QUIET);
        const Container* container = container_for(s.path);
        if (!container)
            fail("cannot write '" + lower_extension(s.path) + "' video files (use .mp4, .mkv or .webm)");
        if (!s.video && !s.audio) fail("a video file needs pictures or sound");
        const fs::path final_path = fs::absolute(s.path);
        const fs::path folder = final_path.parent_path();
        if (!fs::is_directory(folder)) fail("the folder " + folder.string() + " does not exist");
        temp_path_ = (folder / ("." + final_path.filename().string() + ".part-" + std::to_string(getpid()))).string();
        final_path_ = final_path.string();

        if (avformat_alloc_output_context2(&format_, nullptr, container->muxer, temp_path_.c_str()) < 0 || !format_)
            fail(std::string("FFmpeg has no ") + container->muxer + " muxer");
        if (s.video) open_video(*container);
        if (s.audio) open_audio(*container);

        if (const int err = avio_open(&format_->pb, temp_path_.c_str(), AVIO_FLAG_WRITE); err < 0)
            fail("cannot write " + final_path_ + ": " + av_error_text(err));
        opened_file_ = true;
        AVDictionary* options = nullptr;
        // Players that stream from the web can start before the whole file is in.
        if (std::string(container->muxer) == "mp4") av_dict_set(&options, "movflags", "+faststart", 0);
        const int err = avformat_write_header(format_, &options);
        av_dict_free(&options);
        if (err < 0) fail("cannot write " + final_path_ + ": " + av_error_text(err));
        packet_.reset(av_packet_alloc());
    }

    void release() {
        if (format_) {
            if (opened_file_) avio_closep(&format_->pb);
            avformat_free_context(format_);
        }
        sws_freeContext(scaler_);
        swr_free(&resampler_);
        if (fifo_) av_audio_fifo_free(fifo_);
        if (!finished_ && !temp_path_.empty()) {
            std::error_code ignored;
            fs::remove(temp_path_, ignored);
        }
        format_ = nullptr;
        scaler_ = nullptr;
        fifo_ = nullptr;
    }

public:
    void write_frame(const uint8_t* rgba) override {
        if (!video_) return;
        if (const int err = av_frame_make_writable(picture_.get()); err < 0) fail("video frame: " + av_error_text(err));
        // GL rows go up from the bottom: start at the last row and step back.
        const int stride = settings_.width * 4;
        const uint8_t* rows[1] = {rgba + static_cast<size_t>(settings_.height - 1) * stride};
        const int strides[1] = {-stride};
        sws_scale(scaler_, rows, strides, 0, settings_.height, picture_->data, picture_->linesize);
        picture_->pts = frames_written_++;
        encode(video_.get(), video_stream_, picture_.get());
    }

    void write_audio(const int16_t* samples, size_t frames) override {
        if (!audio_ || frames == 0) return;
        resample(reinterpret_cast<const uint8_t*>(samples), static_cast<int>(frames));
        drain_fifo(false);
    }

    void finish() override {
        if (audio_) {
            resample(nullptr, 0);  // what the resampler still holds
            drain_fifo(true);
            encode(audio_.get(), audio_stream_, nullptr);
        }
        if (video_) encode(video_.get(), video_stream_, nullptr);
        if (const int err = av_write_trailer(format_); err < 0)
            fail("cannot write " + final_path_ + ": " + av_error_text(err));
        opened_file_ = false;
        if (const int err = avio_closep(&format_->pb); err < 0) {
            std::error_code ignored;
            fs::remove(temp_path_, ignored);
            fail("cannot write " + final_path_ + ": " + av_error_text(err));
        }
        std::error_code renamed;
        fs::rename(temp_path_, final_path_, renamed);
        if (renamed) {
            std::error_code ignored;
            fs::remove(temp_path_, ignored);
            fail("cannot write " + final_path_ + ": " + renamed.message());
        }
        finished_ = true;
    }

private:
    void open_video(const Container& container) {
        const std::string name = settings_.codec.empty() ? container.video_encoder : encoder_name(settings_.codec);
        const AVCodec* codec = avcodec_find_encoder_by_name(name.c_str());
        if (!codec || codec->type != AVMEDIA_TYPE_VIDEO)
            fail("this FFmpeg has no video encoder '" + name + "'");
        if (avformat_query_codec(format_->oformat, codec->id, FF_COMPLIANCE_NORMAL) != 1)
            fail("a " + lower_extension(settings_.path) + " file cannot hold " + avcodec_get_name(codec->id) + " video");
        if (settings_.width % 2 || settings_.height % 2)
            fail("video needs an even width and height, not " + std::to_string(settings_.width) + "x" +
                 std::to_string(settings_.height));

        video_.reset(avcodec_alloc_context3(codec));
        AVCodecContext* c = video_.get();
        const AVRational rate = av_d2q(settings_.fps, 100000);
        c->width = settings_.width;
        c->height = settings_.height;
        c->framerate = rate;
        c->time_base = av_inv_q(rate);
        c->pix_fmt = AV_PIX_FMT_YUV420P;
        c->colorspace = AVCOL_SPC_BT709;
        c->color_primaries = AVCOL_PRI_BT709;
        c->color_trc = AVCOL_TRC_BT709;
        c->color_range = AVCOL_RANGE_MPEG;
        if (format_->oformat->flags & AVFMT_GLOBALHEADER) c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;

        AVDictionary* options = nullptr;
        const bool vpx = name.rfind("libvpx", 0) == 0;
        const int crf = settings_.crf >= 0 ? settings_.crf : (vpx ? 31 : 18);
        av_dict_set_int(&options, "crf", crf, 0);
        if (vpx) {
            // Constant quality needs the bit rate unbounded; "good" at speed 4
            // with row threads keeps VP9 within a few times of H.264's speed.
            c->bit_rate = 0;
            av_dict_set(&options, "deadline", settings_.preset.empty() ? "good" : settings_.preset.c_str(), 0);
            av_dict_set(&options, "cpu-used", "4", 0);
            av_dict_set(&options, "row-mt", "1", 0);
        } else {
            // x264 reports an unknown preset on its own before FFmpeg's log
            // hook is in place; checked here, the one line is ours.
            static const char* const presets[] = {"ultrafast", "superfast", "veryfast", "faster", "fast",
                                                  "medium",    "slow",      "slower",   "veryslow", "placebo"};
            if (!settings_.preset.empty() && name == "libx264" &&
                std::find(std::begin(presets), std::end(presets), settings_.preset) == std::end(presets))
                fail("libx264 has no preset '" + settings_.preset + "' (ultrafast ... veryslow)");
            av_dict_set(&options, "preset", settings_.preset.empty() ? "medium" : settings_.preset.c_str(), 0);
        }
        const int err = avcodec_open2(c, codec, &options);
        const bool unused = av_dict_count(options) > 0;
        av_dict_free(&options);
        if (err < 0 || unused)
            fail(name + " refuses the settings (crf " + std::to_string(crf) +
                 (settings_.preset.empty() ? "" : ", preset " + settings_.preset) + ")" +
                 (err < 0 ? ": " + av_error_text(err) : ""));

        video_stream_ = avformat_new_stream(format_, nullptr);
        if (!video_stream_) fail("cannot add a video stream");
        video_stream_->time_base = c->time_base;
        video_stream_->avg_frame_rate = rate;
        avcodec_parameters_from_context(video_stream_->codecpar, c);

        picture_.reset(av_frame_alloc());
        picture_->format = c->pix_fmt;
        picture_->width = c->width;
        picture_->height = c->height;
        if (av_frame_get_buffer(picture_.get(), 0) < 0) fail("out of memory for a video frame");
        scaler_ = sws_getContext(c->width, c->height, AV_PIX_FMT_RGBA, c->width, c->height, AV_PIX_FMT_YUV420P,
                                 SWS_BICUBIC | SWS_ACCURATE_RND, nullptr, nullptr, nullptr);
        if (!scaler_) fail("cannot convert frames to yuv420p");
        // Full-range RGB in, limited-range BT.709 out: what the stream is tagged with.
        const int* rgb = sws_getCoefficients(SWS_CS_DEFAULT);
        const int* bt709 = sws_getCoefficients(SWS_CS_ITU709);
        sws_setColorspaceDetails(scaler_, rgb, 1, bt709, 0, 0, 1 << 16, 1 << 16);
    }

    void open_audio(const Container& container) {
        const AVCodec* codec = avcodec_find_encoder_by_name(container.audio_encoder);
        if (!codec) fail(std::string("this FFmpeg has no audio encoder '") + container.audio_encoder + "'");
        audio_.reset(avcodec_alloc_context3(codec));
        AVCodecContext* c = audio_.get();
        c->sample_fmt = codec->sample_fmts ? codec->sample_fmts[0] : AV_SAMPLE_FMT_FLTP;
        // Opus runs at 48 kHz, not ours: then the lowest rate above ours.
        c->sample_rate = kInputRate;
        if (const int* rates = codec->supported_samplerates) {
            int above = 0;
            bool ours = false;
            for (const int* r = rates; *r; ++r) {
                ours = ours || *r == kInputRate;
                if (*r > kInputRate && (above == 0 || *r < above)) above = *r;
            }
            if (!ours) c->sample_rate = above ? above : rates[0];
        }
        av_channel_layout_default(&c->ch_layout, 2);
        c->bit_rate = 192000;
        c->time_base = AVRational{1, c->sample_rate};
        if (format_->oformat->flags & AVFMT_GLOBALHEADER) c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        if (const int err = avcodec_open2(c, codec, nullptr); err < 0)
            fail(std::string(container.audio_encoder) + " does not open: " + av_error_text(err));

        audio_stream_ = avformat_new_stream(format_, nullptr);
        if (!audio_stream_) fail("cannot add an audio stream");
        audio_stream_->time_base = c->time_base;
        avcodec_parameters_from_context(audio_stream_->codecpar, c);

        AVChannelLayout stereo;
        av_channel_layout_default(&stereo, 2);
        if (swr_alloc_set_opts2(&resampler_, &c->ch_layout, c->sample_fmt, c->sample_rate, &stereo,
                                AV_SAMPLE_FMT_S16, kInputRate, 0, nullptr) < 0 ||
            swr_init(resampler_) < 0)
            fail("cannot resample the music for " + std::string(container.audio_encoder));
        fifo_ = av_audio_fifo_alloc(c->sample_fmt, 2, 4096);
        sound_.reset(av_frame_alloc());
        if (!fifo_ || !sound_) fail("out of memory for the music");
        chunk_samples_ = c->frame_size > 0 ? c->frame_size : 1024;
    }

    // Converts input samples (or, given none, what the resampler holds back)
    // into the encoder's format and rate, onto the end of the FIFO.
    void resample(const uint8_t* input, int frames) {
        const int room = swr_get_out_samples(resampler_, frames);
        if (room <= 0) return;
        uint8_t** planes = nullptr;
        if (av_samples_alloc_array_and_samples(&planes, nullptr, 2, room, audio_->sample_fmt, 0) < 0)
            fail("out of memory for the music");
        const uint8_t* in[1] = {input};
        const int got = swr_convert(resampler_, planes, room, input ? in : nullptr, frames);
        if (got > 0) av_audio_fifo_write(fifo_, reinterpret_cast<void**>(planes), got);
        av_freep(&planes[0]);
        av_freep(&planes);
        if (got < 0) fail("cannot resample the music");
    }

    // Encodes whole encoder frames from the FIFO; at the end also the rest,
    // short when the encoder allows it, else padded with silence.
    void drain_fifo(bool last) {
        for (;;) {
            const int have = av_audio_fifo_size(fifo_);
            if (have == 0 || (have < chunk_samples_ && !last)) return;
            const bool short_ok = audio_->codec->capabilities &
                                  (AV_CODEC_CAP_SMALL_LAST_FRAME | AV_CODEC_CAP_VARIABLE_FRAME_SIZE);
            const int take = std::min(have, chunk_samples_);
            AVFrame* f = sound_.get();
            av_frame_unref(f);
            f->format = audio_->sample_fmt;
            f->sample_rate = audio_->sample_rate;
            av_channel_layout_copy(&f->ch_layout, &audio_->ch_layout);
            f->nb_samples = take < chunk_samples_ && !short_ok ? chunk_samples_ : take;
            if (av_frame_get_buffer(f, 0) < 0) fail("out of memory for the music");
            av_samples_set_silence(f->data, 0, f->nb_samples, 2, audio_->sample_fmt);
            av_audio_fifo_read(fifo_, reinterpret_cast<void**>(f->data), take);
            f->pts = samples_written_;
            samples_written_ += f->nb_samples;
            encode(audio_.get(), audio_stream_, f);
        }
    }

    // Sends one frame (or the end, given none) and writes what comes out.
    void encode(AVCodecContext* c, AVStream* stream, AVFrame* frame) {
        if (const int err = avcodec_send_frame(c, frame); err < 0)
            fail(std::string(c->codec->name) + " fails: " + av_error_text(err));
        for (;;) {
            const int got = avcodec_receive_packet(c, packet_.get());
            if (got == AVERROR(EAGAIN) || got == AVERROR_EOF) return;
            if (got < 0) fail(std::string(c->codec->name) + " fails: " + av_error_text(got));
            av_packet_rescale_ts(packet_.get(), c->time_base, stream->time_base);
            packet_->stream_index = stream->index;
            if (const int err = av_interleaved_write_frame(format_, packet_.get()); err < 0)
                fail("cannot write " + final_path_ + ": " + av_error_text(err));
            // A full disk shows in the I/O context before the muxer notices.
            if (format_->pb && format_->pb->error < 0)
                fail("cannot write " + final_path_ + ": " + av_error_text(format_->pb->error));
        }
    }

    VideoSettings settings_;
    std::string temp_path_, final_path_;
    AVFormatContext* format_ = nullptr;
    bool opened_file_ = false, finished_ = false;
    Packet packet_;

    CodecContext video_;
    AVStream* video_stream_ = nullptr;
    Frame picture_;
    SwsContext* scaler_ = nullptr;
    int64_t frames_written_ = 0;

    CodecContext audio_;
    AVStream* audio_stream_ = nullptr;
    SwrContext* resampler_ = nullptr;
    AVAudioFifo* fifo_ = nullptr;
    Frame sound_;
    int chunk_samples_ = 1024;
    int64_t samples_written_ = 0;
};

}  // namespace

bool is_video_file_name(const std::string& path) { return container_for(path) != nullptr; }

bool looks_like_media_file_name(const std::string& path) {
    if (lower_extension(path).empty()) return false;
    return av_guess_format(nullptr, path.c_str(), nullptr) != nullptr;
}

std::unique_ptr<FrameSink> open_video_file(const VideoSettings& settings) {
    return std::make_unique<VideoFile>(settings);
}
