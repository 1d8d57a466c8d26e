// Writing and reading WAV and AIFF files: round trips, the headers, the
// 80-bit sample rate, and libsndfile as an oracle for the readers.
#include "AudioFileTestSupport.h"
#include "VTAudioFileAIFF.h"
#include "VTAudioFileWAV.h"
#include "VTAudioFiles.h"

#include <sndfile.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <type_traits>
#include <unistd.h>

using namespace audiofiletest;

namespace {

// One second of a ramp at the given rate, quantised to 16 bits as setData
// writes it, so the round trip is exact.
std::vector<float> ramp(unsigned frames, float sign)
{
    std::vector<float> values(frames);
    for (unsigned i = 0; i < frames; ++i)
        values[i] = sign * static_cast<float>(static_cast<int>(i % 32767)) / 32767.0f;
    return values;
}

template <typename File> void roundTrip(unsigned rate)
{
    TempFolder folder;
    const unsigned frames = 1000 + rate / 100;
    std::vector<float> left = ramp(frames, 1.0f), right = ramp(frames, -1.0f);
    float* pair[2] = {left.data(), right.data()};
    File writer;
    ASSERT_TRUE(writer.writeFile(folder.file("trip").c_str(), frames, rate, 9));
    ASSERT_TRUE(writer.setData(pair, frames, true));

    File reader;
    ASSERT_EQ(reader.openFile(folder.file("trip").c_str(), nullptr, 0.0f), frames);
    EXPECT_EQ(reader.m_sampleRate, rate);
    EXPECT_EQ(reader.m_format, 9u);
    Channels read(frames);
    ASSERT_TRUE(reader.getData(read.pair()));
    // x * 32767 truncated, read back as / 32768.
    for (unsigned i = 0; i < frames; i += 97) {
        EXPECT_EQ(read.left[i], std::trunc(left[i] * 32767.0f) / 32768.0f) << i;
        EXPECT_EQ(read.right[i], std::trunc(right[i] * 32767.0f) / 32768.0f) << i;
    }
}

} // namespace

class RoundTrip : public testing::TestWithParam<unsigned> {};
TEST_P(RoundTrip, WavKeepsEverySampleAndTheRate)
{
    roundTrip<VTAudioFileWAV>(GetParam());
}
TEST_P(RoundTrip, AiffKeepsEverySampleAndTheRate)
{
    roundTrip<VTAudioFileAIFF>(GetParam());
}
INSTANTIATE_TEST_SUITE_P(Rates, RoundTrip, testing::Values(8000u, 22050u, 44100u, 48000u, 96000u, 192000u));

TEST(WavHeader, ForZeroFramesIs44BytesAndCanBeRewrittenAfterTheData)
{
    TempFolder folder;
    VTAudioFileWAV wav;
    ASSERT_TRUE(wav.writeFile(folder.file("b.wav").c_str(), 0, 44100, 9));
    wav.closeFile();
    Bytes header = TempFolder::read(folder.file("b.wav"));
    ASSERT_EQ(header.size(), 44u);
    EXPECT_EQ(header[4], 36); // RIFF size 36
    EXPECT_EQ(header[40], 0); // data size 0
    EXPECT_EQ(header[24] | (header[25] << 8) | (header[26] << 16), 44100);

    // The bounce's way: create with 0 frames, append, correct the header.
    ASSERT_TRUE(wav.writeFile(folder.file("b.wav").c_str(), 0, 48000, 9));
    std::vector<float> l(10, 0.5f), r(10, -0.5f);
    float* pair[2] = {l.data(), r.data()};
    ASSERT_TRUE(wav.setData(pair, 10, false));
    ASSERT_TRUE(wav.writeHeader(10, 48000, 9));
    wav.closeFile();
    VTAudioFileWAV reader;
    EXPECT_EQ(reader.openFile(folder.file("b.wav").c_str(), nullptr, 0), 10u);
}

TEST(SetData, AFullDiskIsAFailedWriteAndClosesTheFile)
{
    // /dev/full takes the header into stdio's buffer and refuses the first
    // flush: the recording must not be reported as written.
    VTAudioFileWAV wav;
    ASSERT_TRUE(wav.writeFile("/dev/full", 0, 48000, 9));
    std::vector<float> l(300, 0.5f), r(300, -0.5f);
    float* pair[2] = {l.data(), r.data()};
    EXPECT_FALSE(wav.setData(pair, 300, false));
    EXPECT_EQ(wav.m_file, nullptr);
    EXPECT_FALSE(wav.writeHeader(300, 48000, 9));
}

TEST(WavHeader, AFailedOpenLeavesNoFileAndNoFacts)
{
    TempFolder folder;
    VTAudioFileWAV wav;
    ASSERT_TRUE(wav.writeFile(folder.file("good.wav").c_str(), 0, 44100, 9));
    wav.closeFile();
    ASSERT_EQ(wav.openFile(folder.file("good.wav").c_str(), nullptr, 0), 0u); // no frames, but open
    ASSERT_NE(wav.m_file, nullptr);
    EXPECT_EQ(wav.openFile(folder.write("bad.wav", Bytes{'R', 'I', 'F', 'F'}).c_str(), nullptr, 0), 0u);
    EXPECT_EQ(wav.m_file, nullptr);
    EXPECT_EQ(wav.m_bitsPerSample, 0u);
    EXPECT_EQ(wav.m_dataOffset, 0u);
    EXPECT_EQ(wav.m_numFrames, 0u);
}

TEST(AiffHeader, ForZeroFramesHasFormSize46AndSsndSize8)
{
    TempFolder folder;
    VTAudioFileAIFF aiff;
    ASSERT_TRUE(aiff.writeFile(folder.file("r.aif").c_str(), 0, 44100, 9));
    aiff.closeFile();
    Bytes header = TempFolder::read(folder.file("r.aif"));
    ASSERT_EQ(header.size(), 54u);
    EXPECT_EQ(header[7], 46);
    EXPECT_EQ(header[45], 8);
    // 44100 as written: 40 0E AC 44 00 00 00 00 00 00.
    EXPECT_EQ(Bytes(header.begin() + 28, header.begin() + 38), (Bytes{0x40, 0x0E, 0xAC, 0x44, 0, 0, 0, 0, 0, 0}));
}

TEST(AiffHeader, WritingIntoAFolderThatDoesNotExistFails)
{
    VTAudioFileAIFF aiff;
    EXPECT_FALSE(aiff.writeFile("/nonexistent-folder/x.aif", 10, 44100, 9));
    EXPECT_TRUE(aiff.m_writing);
    EXPECT_EQ(aiff.m_file, nullptr);
}

struct RateCase {
    unsigned written; // what the writer is given
    Bytes bytes;      // what it writes
    unsigned read;    // what the reader makes of those bytes
};

class ExtendedRate : public testing::TestWithParam<RateCase> {};

TEST_P(ExtendedRate, IsWrittenAndReadAsTheHeaderHasAlwaysHeldIt)
{
    const RateCase& c = GetParam();
    unsigned char out[10];
    VTAudioFileAIFF::encodeSampleRate(c.written, out);
    EXPECT_EQ(Bytes(out, out + 10), c.bytes);
    EXPECT_EQ(VTAudioFileAIFF::decodeSampleRate(c.bytes.data()), c.read);
}

// 0 and 1 are written as 1.0 (exponent 3FFF), which reads as 0; 2^30 and up
// are written with exponent 401D, which the reader does not accept.
INSTANTIATE_TEST_SUITE_P(Rates, ExtendedRate,
                         testing::Values(RateCase{44100, {0x40, 0x0E, 0xAC, 0x44, 0, 0, 0, 0, 0, 0}, 44100},
                                         RateCase{48000, {0x40, 0x0E, 0xBB, 0x80, 0, 0, 0, 0, 0, 0}, 48000},
                                         RateCase{0, {0x3F, 0xFF, 0x80, 0, 0, 0, 0, 0, 0, 0}, 0},
                                         RateCase{1, {0x3F, 0xFF, 0x80, 0, 0, 0, 0, 0, 0, 0}, 0},
                                         RateCase{2, {0x40, 0x00, 0x80, 0, 0, 0, 0, 0, 0, 0}, 2},
                                         RateCase{1u << 30, {0x40, 0x1D, 0, 0, 0, 0, 0, 0, 0, 0}, 0}));

TEST(ExtendedRateFromOtherTools, FractionsOfAHertzAreDropped)
{
    // 22050.5 = 1.0101100010001010... x 2^14: exponent 400D, mantissa AC 45 00...
    const unsigned char rate[10] = {0x40, 0x0D, 0xAC, 0x45, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(VTAudioFileAIFF::decodeSampleRate(rate), 22050u);
}

namespace {

// Writes interleaved samples (float, short or int) with libsndfile; false
// when it could not write them all.
template <typename Sample>
bool writeWithLibsndfile(const std::string& path, int format, int channels, int rate,
                         const std::vector<Sample>& interleaved)
{
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = format;
    SNDFILE* out = sf_open(path.c_str(), SFM_WRITE, &info);
    if (out == nullptr)
        return false;
    const auto frames = static_cast<sf_count_t>(interleaved.size() / static_cast<size_t>(channels));
    sf_count_t written = 0;
    if constexpr (std::is_same_v<Sample, float>)
        written = sf_writef_float(out, interleaved.data(), frames);
    else if constexpr (std::is_same_v<Sample, short>)
        written = sf_writef_short(out, interleaved.data(), frames);
    else
        written = sf_writef_int(out, interleaved.data(), frames);
    return sf_close(out) == 0 && written == frames;
}

std::unique_ptr<VTAudioFileBase> readerFor(bool aiff)
{
    if (aiff)
        return std::make_unique<VTAudioFileAIFF>();
    return std::make_unique<VTAudioFileWAV>();
}

// Writes a file with libsndfile and reads it with both libraries.
void compareWithLibsndfile(int format, int channels, bool aiff)
{
    TempFolder folder;
    const std::string path = folder.file(aiff ? "o.aiff" : "o.wav");
    const int frames = 3000;
    std::vector<float> interleaved(static_cast<size_t>(frames * channels));
    for (size_t i = 0; i < interleaved.size(); ++i)
        interleaved[i] = 0.9f * std::sin(0.01f * static_cast<float>(i));
    ASSERT_TRUE(
        writeWithLibsndfile(path, (aiff ? SF_FORMAT_AIFF : SF_FORMAT_WAV) | format, channels, 44100, interleaved));

    SF_INFO readInfo{};
    SNDFILE* in = sf_open(path.c_str(), SFM_READ, &readInfo);
    ASSERT_NE(in, nullptr);
    std::vector<float> expected(static_cast<size_t>(frames * channels));
    // Normalised reading: full scale 1.0, the same constants as ours.
    sf_command(in, SFC_SET_NORM_FLOAT, nullptr, SF_TRUE);
    ASSERT_EQ(sf_readf_float(in, expected.data(), frames), frames);
    sf_close(in);

    std::unique_ptr<VTAudioFileBase> ours = readerFor(aiff);
    ASSERT_EQ(ours->openFile(path.c_str(), nullptr, 0), static_cast<unsigned>(frames));
    Channels read(static_cast<size_t>(frames));
    ASSERT_TRUE(ours->getData(read.pair()));
    for (int i = 0; i < frames; ++i) {
        const float l = expected[static_cast<size_t>(i * channels)];
        const float r = channels == 2 ? expected[static_cast<size_t>(i * channels + 1)] : l;
        ASSERT_FLOAT_EQ(read.left[static_cast<size_t>(i)], l) << "frame " << i;
        ASSERT_FLOAT_EQ(read.right[static_cast<size_t>(i)], r) << "frame " << i;
    }
}

} // namespace

struct OracleCase {
    int format;
    int channels;
    bool aiff;
};

class Oracle : public testing::TestWithParam<OracleCase> {};
TEST_P(Oracle, OurReaderAgreesWithLibsndfileFrameByFrame)
{
    compareWithLibsndfile(GetParam().format, GetParam().channels, GetParam().aiff);
}
INSTANTIATE_TEST_SUITE_P(Files, Oracle,
                         testing::Values(OracleCase{SF_FORMAT_PCM_16, 2, false}, OracleCase{SF_FORMAT_PCM_16, 1, false},
                                         OracleCase{SF_FORMAT_PCM_24, 2, false}, OracleCase{SF_FORMAT_PCM_24, 1, false},
                                         OracleCase{SF_FORMAT_PCM_32, 2, false}, OracleCase{SF_FORMAT_FLOAT, 2, false},
                                         OracleCase{SF_FORMAT_DOUBLE, 2, false}, OracleCase{SF_FORMAT_PCM_16, 2, true},
                                         OracleCase{SF_FORMAT_PCM_24, 1, true}, OracleCase{SF_FORMAT_PCM_32, 2, true}));

// 8-bit files as other tools write them: unsigned in WAV, signed in AIFF.
// libsndfile reads each as 16-bit (the byte shifted up by 8); ours is the
// same signed byte at 1/256 full scale, so value / 65536 on both channels.
class EightBitOracle : public testing::TestWithParam<bool> {};
TEST_P(EightBitOracle, EveryByteReadsAsLibsndfileReadsIt)
{
    const bool aiff = GetParam();
    TempFolder folder;
    const std::string path = folder.file(aiff ? "e.aiff" : "e.wav");
    const int frames = 256;
    std::vector<short> ramp(static_cast<size_t>(frames) * 2);
    for (int i = 0; i < frames; ++i) {
        ramp[static_cast<size_t>(2 * i)] = static_cast<short>((i - 128) * 256);
        ramp[static_cast<size_t>(2 * i + 1)] = static_cast<short>((127 - i) * 256);
    }
    ASSERT_TRUE(writeWithLibsndfile(path, aiff ? SF_FORMAT_AIFF | SF_FORMAT_PCM_S8 : SF_FORMAT_WAV | SF_FORMAT_PCM_U8,
                                    2, 22050, ramp));

    std::unique_ptr<VTAudioFileBase> ours = readerFor(aiff);
    ASSERT_EQ(ours->openFile(path.c_str(), nullptr, 0), static_cast<unsigned>(frames));
    ASSERT_EQ(ours->m_format, 8u);
    Channels read(static_cast<size_t>(frames));
    ASSERT_TRUE(ours->getData(read.pair()));
    for (int i = 0; i < frames; ++i) {
        ASSERT_EQ(read.left[static_cast<size_t>(i)], ramp[static_cast<size_t>(2 * i)] / 65536.0f) << "frame " << i;
        ASSERT_EQ(read.right[static_cast<size_t>(i)], ramp[static_cast<size_t>(2 * i + 1)] / 65536.0f) << "frame " << i;
    }
}
INSTANTIATE_TEST_SUITE_P(Formats, EightBitOracle, testing::Values(false, true),
                         [](const auto& info) { return info.param ? std::string("aiff") : std::string("wav"); });

// 24-bit samples are assembled four at a time: every sample, whatever its
// place in a block, a chunk or the tail, must read exactly as the rule has
// it (sign-extended value times 2^-23, in double, stored as float). The
// files come from libsndfile, which writes the top 24 bits of an int.
struct Exact24Case {
    int channels;
    bool aiff;
};
class Exact24 : public testing::TestWithParam<Exact24Case> {};
TEST_P(Exact24, EverySampleReadsAsTheRuleHasIt)
{
    const auto [channels, aiff] = GetParam();
    // 1001 frames: several 972-byte chunks, then a tail that fills no block.
    const int frames = 1001;
    std::vector<int32_t> values(static_cast<size_t>(frames * channels));
    const int32_t extremes[] = {-0x800000, 0x7FFFFF, 0, -1, 1, -0x7FFFFF, 0x400000, -0x400000, 0x123456};
    uint32_t state = 12345;
    for (size_t i = 0; i < values.size(); ++i) {
        state = state * 1664525u + 1013904223u;
        const auto random = static_cast<int32_t>(state >> 8) - 0x800000; // every byte pattern
        values[i] = i < std::size(extremes) ? extremes[i] : random;
    }
    std::vector<int> top(values.size());
    for (size_t i = 0; i < values.size(); ++i)
        top[i] = static_cast<int>(static_cast<uint32_t>(values[i]) << 8);
    TempFolder folder;
    const std::string path = folder.file(aiff ? "x.aiff" : "x.wav");
    ASSERT_TRUE(
        writeWithLibsndfile(path, (aiff ? SF_FORMAT_AIFF : SF_FORMAT_WAV) | SF_FORMAT_PCM_24, channels, 48000, top));

    std::unique_ptr<VTAudioFileBase> ours = readerFor(aiff);
    ASSERT_EQ(ours->openFile(path.c_str(), nullptr, 0), static_cast<unsigned>(frames));
    ASSERT_EQ(ours->m_format, channels == 2 ? 10u : 3u);
    Channels read(static_cast<size_t>(frames), 9.0f);
    ASSERT_TRUE(ours->getData(read.pair()));
    int wrong = 0;
    for (int i = 0; i < frames; ++i) {
        const auto at = [&](int c) { return values[static_cast<size_t>(i * channels + c)] * 1.1920928955078125e-07; };
        const float left = static_cast<float>(at(0));
        const float right = static_cast<float>(at(channels - 1));
        if (read.left[static_cast<size_t>(i)] != left || read.right[static_cast<size_t>(i)] != right)
            ADD_FAILURE() << "frame " << i << (++wrong > 5 ? " (and more)" : "");
        if (wrong > 5)
            break;
    }
}
INSTANTIATE_TEST_SUITE_P(Layouts, Exact24,
                         testing::Values(Exact24Case{2, false}, Exact24Case{1, false}, Exact24Case{2, true},
                                         Exact24Case{1, true}),
                         [](const auto& info) {
                             return std::string(info.param.aiff ? "aiff" : "wav") +
                                    (info.param.channels == 2 ? "Stereo" : "Mono");
                         });

// Files whose data is really there but too long to hold: sparse files, so
// the disk holds none of it and nothing reads it. The bound is 2^28 frames.
struct LongCase {
    const char* name;
    bool aiff;
    uint16_t channels;
    uint16_t bits;
    uint64_t dataBytes; // present after the header (as a hole)
    unsigned frames;    // what openFile answers
};
class LongestSample : public testing::TestWithParam<LongCase> {};
TEST_P(LongestSample, IsOpenedUpToTheBoundAndRefusedBeyondIt)
{
    const LongCase& c = GetParam();
    const unsigned frameBytes = c.channels * c.bits / 8u;
    const auto claimed = static_cast<uint32_t>(std::min<uint64_t>(c.dataBytes, 0xFFFFFFFFu));
    Bytes header;
    if (c.aiff) {
        header = aiffHeader(c.channels, claimed / frameBytes, c.bits);
    } else {
        header = wavFile(1, c.channels, static_cast<uint16_t>(frameBytes), c.bits, {});
        header.resize(header.size() - 4);
        le32(header, claimed); // the "data" size
    }
    TempFolder folder;
    const std::string path = folder.write(c.name, header);
    ASSERT_EQ(truncate(path.c_str(), static_cast<off_t>(header.size() + c.dataBytes)), 0);

    std::unique_ptr<VTAudioFileBase> reader = readerFor(c.aiff);
    EXPECT_EQ(reader->openFile(path.c_str(), nullptr, 48000.0f), c.frames);
    EXPECT_EQ(reader->m_file != nullptr, c.frames > 0) << "a refused file stays open";
}
INSTANTIATE_TEST_SUITE_P(Files, LongestSample,
                         testing::Values(LongCase{"bound.wav", false, 1, 8, 1u << 28, 1u << 28},
                                         LongCase{"past_bound.wav", false, 1, 8, (1u << 28) + 1, 0},
                                         // 4 GiB: what a signed 32-bit read can count (2 GiB) is still
                                         // past the bound, so the file is refused, not cut short.
                                         LongCase{"four_gib.wav", false, 2, 16, 0xFFFFFFFCu, 0},
                                         LongCase{"bound.aif", true, 1, 8, 1u << 28, 1u << 28},
                                         LongCase{"past_bound.aif", true, 2, 16, ((1u << 28) + 1) * 4ull, 0}),
                         [](const auto& info) {
                             std::string name = info.param.name;
                             std::replace(name.begin(), name.end(), '.', '_');
                             return name;
                         });

TEST(AudioFiles, TheHolderDeletesItsFileObject)
{
    TempFolder folder;
    VTAudioFiles holder;
    auto* wav = new VTAudioFileWAV;
    ASSERT_TRUE(wav->writeFile(folder.file("h.wav").c_str(), 0, 44100, 9));
    holder.m_audioFile = wav; // closed and deleted with the holder
    EXPECT_EQ(holder.m_audioFile->m_fileType, 1u);
}
