#include "FFmpegDecoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <atomic>
#include <memory>

namespace vt::platform::audiofile {

namespace {

std::atomic<size_t> g_mostFrames{kMostFrames};

// Rates outside these are damage, not sound: a few bytes claiming 3 Hz
// would become minutes of audio once converted to the player's rate.
constexpr int kLowestRate = 1000;
constexpr int kHighestRate = 768000;

struct FormatCloser {
    void operator()(AVFormatContext* context) const { avformat_close_input(&context); }
};
struct CodecFreer {
    void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
};
struct ResamplerFreer {
    void operator()(SwrContext* context) const { swr_free(&context); }
};
struct PacketFreer {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
struct FrameFreer {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};

using Resampler = std::unique_ptr<SwrContext, ResamplerFreer>;

Resampler makeResampler(const AVChannelLayout& inLayout, AVSampleFormat inFormat, int inRate,
                        const AVChannelLayout& outLayout, int outRate)
{
    SwrContext* context = nullptr;
    // FFmpeg 5 takes the layouts through non-const pointers but only reads them.
    if (swr_alloc_set_opts2(&context, const_cast<AVChannelLayout*>(&outLayout), AV_SAMPLE_FMT_FLTP, outRate,
                            const_cast<AVChannelLayout*>(&inLayout), inFormat, inRate, 0, nullptr) < 0)
        return nullptr;
    Resampler resampler(context);
    if (swr_init(context) < 0)
        return nullptr;
    return resampler;
}

// Makes a channel size frames long. Its storage grows by half at a time
// but never past the bound, so a sample near the bound does not reserve
// twice its size.
void growTo(std::vector<float>& channel, size_t frames, size_t most)
{
    if (frames > channel.capacity())
        channel.reserve(std::min(most, std::max(frames, channel.capacity() + channel.capacity() / 2)));
    channel.resize(frames);
}

// Runs samples (or, with null input, the resampler's remainder) through
// the resampler and appends the result to out; false past the bound.
bool appendConverted(SwrContext* resampler, const uint8_t* const* input, int inputFrames, DecodedAudio& out)
{
    const int room = swr_get_out_samples(resampler, inputFrames);
    if (room < 0)
        return false;
    if (room == 0)
        return true;
    const size_t start = out.frames();
    const size_t most = mostFrames();
    if (start + static_cast<size_t>(room) > most)
        return false;
    uint8_t* planes[2] = {};
    for (int c = 0; c < out.channelCount; ++c) {
        growTo(out.channels[c], start + static_cast<size_t>(room), most);
        planes[c] = reinterpret_cast<uint8_t*>(out.channels[c].data() + start);
    }
    const int converted = swr_convert(resampler, planes, room, const_cast<const uint8_t**>(input), inputFrames);
    if (converted < 0)
        return false;
    for (int c = 0; c < out.channelCount; ++c)
        out.channels[c].resize(start + static_cast<size_t>(converted));
    return true;
}

AVChannelLayout layoutOf(int channels)
{
    AVChannelLayout layout{};
    av_channel_layout_default(&layout, channels);
    return layout;
}

// The length the container states, in frames at rate; -1 when it states
// none. A length guessed from the bit rate (an MP3 without a length header)
// is no statement: a quiet start can make it many times too long.
int64_t statedLength(const AVFormatContext* format, const AVStream* stream, int rate)
{
    if (format->duration_estimation_method == AVFMT_DURATION_FROM_BITRATE)
        return -1;
    if (stream->duration != AV_NOPTS_VALUE && stream->duration > 0)
        return av_rescale_q(stream->duration, stream->time_base, AVRational{1, rate});
    if (format->duration != AV_NOPTS_VALUE && format->duration > 0)
        return av_rescale_q(format->duration, AV_TIME_BASE_Q, AVRational{1, rate});
    return -1;
}

} // namespace

size_t mostFrames()
{
    return g_mostFrames.load();
}

void setMostFrames(size_t frames)
{
    g_mostFrames.store(frames);
}

bool decodeFile(const std::string& path, DecodedAudio& out)
{
    // Failures reach the caller as results; nothing is logged.
    static const bool quiet = [] {
        av_log_set_level(AV_LOG_QUIET);
        return true;
    }();
    (void)quiet;
    out = DecodedAudio{};
    AVFormatContext* rawFormat = nullptr;
    if (avformat_open_input(&rawFormat, path.c_str(), nullptr, nullptr) < 0)
        return false;
    std::unique_ptr<AVFormatContext, FormatCloser> format(rawFormat);
    if (avformat_find_stream_info(format.get(), nullptr) < 0)
        return false;
    const AVCodec* codec = nullptr;
    const int streamIndex = av_find_best_stream(format.get(), AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
    if (streamIndex < 0 || codec == nullptr)
        return false;
    AVStream* stream = format->streams[streamIndex];

    std::unique_ptr<AVCodecContext, CodecFreer> decoder(avcodec_alloc_context3(codec));
    if (!decoder || avcodec_parameters_to_context(decoder.get(), stream->codecpar) < 0 ||
        avcodec_open2(decoder.get(), codec, nullptr) < 0)
        return false;
    const int inChannels = decoder->ch_layout.nb_channels;
    if (inChannels <= 0 || decoder->sample_rate < kLowestRate || decoder->sample_rate > kHighestRate)
        return false;
    // Files without a channel order get the usual one for their count.
    AVChannelLayout inLayout{};
    if (decoder->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC)
        inLayout = layoutOf(inChannels);
    else if (av_channel_layout_copy(&inLayout, &decoder->ch_layout) < 0)
        return false;
    // A file that says it is longer than the bound is refused before a
    // frame is decoded; the decoded copy is reserved at the stated length.
    const int64_t stated = statedLength(format.get(), stream, decoder->sample_rate);
    if (stated > static_cast<int64_t>(mostFrames()))
        return false;
    out.channelCount = inChannels == 1 ? 1 : 2;
    out.sampleRate = decoder->sample_rate;
    if (stated > 0)
        for (int c = 0; c < out.channelCount; ++c)
            out.channels[c].reserve(static_cast<size_t>(stated));
    const AVChannelLayout outLayout = layoutOf(out.channelCount);
    Resampler resampler =
        makeResampler(inLayout, decoder->sample_fmt, decoder->sample_rate, outLayout, decoder->sample_rate);
    av_channel_layout_uninit(&inLayout);
    if (!resampler)
        return false;

    std::unique_ptr<AVPacket, PacketFreer> packet(av_packet_alloc());
    std::unique_ptr<AVFrame, FrameFreer> frame(av_frame_alloc());
    if (!packet || !frame)
        return false;
    bool ok = true;
    auto drain = [&] {
        while (ok && avcodec_receive_frame(decoder.get(), frame.get()) == 0) {
            ok = appendConverted(resampler.get(), frame->extended_data, frame->nb_samples, out);
            av_frame_unref(frame.get());
        }
    };
    while (ok && av_read_frame(format.get(), packet.get()) >= 0) {
        // A damaged packet is skipped; the file plays as far as it decodes.
        if (packet->stream_index == streamIndex && avcodec_send_packet(decoder.get(), packet.get()) >= 0)
            drain();
        av_packet_unref(packet.get());
    }
    avcodec_send_packet(decoder.get(), nullptr);
    drain();
    if (ok)
        ok = appendConverted(resampler.get(), nullptr, 0, out);
    if (!ok)
        return false;

    // Codecs decode whole blocks: the stream's own duration (an MP4 edit
    // list, for one) says where the sound really ends.
    if (stream->duration != AV_NOPTS_VALUE && stream->duration > 0) {
        const int64_t length = av_rescale_q(stream->duration, stream->time_base, AVRational{1, decoder->sample_rate});
        if (length > 0 && static_cast<size_t>(length) < out.frames())
            for (int c = 0; c < out.channelCount; ++c)
                out.channels[c].resize(static_cast<size_t>(length));
    }
    return true;
}

bool needsConversion(const DecodedAudio& in, double rate)
{
    return static_cast<int>(in.sampleRate + 0.5) != static_cast<int>(rate + 0.5);
}

bool convertRate(const DecodedAudio& in, double rate, DecodedAudio& out)
{
    out = DecodedAudio{};
    out.channelCount = in.channelCount;
    out.sampleRate = rate;
    if (in.channelCount < 1 || in.channelCount > 2 || !(in.sampleRate >= kLowestRate) ||
        !(in.sampleRate <= kHighestRate) || !(rate >= kLowestRate) || !(rate <= kHighestRate))
        return false;
    const int inRate = static_cast<int>(in.sampleRate + 0.5);
    const int outRate = static_cast<int>(rate + 0.5);
    if (inRate == outRate) {
        out.channels[0] = in.channels[0];
        out.channels[1] = in.channels[1];
        return true;
    }
    const AVChannelLayout layout = layoutOf(in.channelCount);
    Resampler resampler = makeResampler(layout, AV_SAMPLE_FMT_FLTP, inRate, layout, outRate);
    if (!resampler)
        return false;
    const uint8_t* planes[2] = {reinterpret_cast<const uint8_t*>(in.channels[0].data()),
                                reinterpret_cast<const uint8_t*>(in.channels[1].data())};
    // The whole sample in one call, then what the filter still holds.
    return appendConverted(resampler.get(), planes, static_cast<int>(in.frames()), out) &&
           appendConverted(resampler.get(), nullptr, 0, out);
}

} // namespace vt::platform::audiofile
