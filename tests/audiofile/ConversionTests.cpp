// Sample conversion: every encoding's constant at its extremes, the chunked
// read loop's boundaries, and 16-bit writing with its clipping.
#include "AudioFileTestSupport.h"
#include "VTAudioFileAIFF.h"
#include "VTAudioFileWAV.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

using namespace audiofiletest;

namespace {

// Opens bytes as a WAV file and reads all frames.
struct Decoded {
    unsigned frames = 0;
    unsigned format = 0;
    bool read = false;
    std::vector<float> left, right;
};

Decoded decodeWav(const Bytes& file, size_t capacity = 0, float fill = 0.0f)
{
    TempFolder folder;
    VTAudioFileWAV wav;
    Decoded out;
    out.frames = wav.openFile(folder.write("x.wav", file).c_str(), nullptr, 48000.0f);
    out.format = wav.m_format;
    Channels channels(std::max<size_t>(capacity ? capacity : out.frames, 1), fill);
    out.read = wav.getData(channels.pair());
    out.left = channels.left;
    out.right = channels.right;
    return out;
}

Bytes sample16(std::initializer_list<int> values)
{
    Bytes b;
    for (int v : values)
        le16(b, static_cast<uint16_t>(v));
    return b;
}

} // namespace

TEST(Conversion, IntegerEncodingsScaleToFullScaleOne)
{
    // 16-bit: -32768 is -1.0, 32767 is 32767/32768.
    Decoded d16 = decodeWav(wavFile(1, 2, 4, 16, sample16({-32768, 32767})));
    ASSERT_EQ(d16.format, 9u);
    EXPECT_EQ(d16.left[0], -1.0f);
    EXPECT_EQ(d16.right[0], 32767.0f / 32768.0f);

    // 24-bit stereo: 0x800000 is -1.0, 0x7FFFFF is 8388607 * 2^-23.
    Decoded d24 = decodeWav(wavFile(1, 2, 6, 24, {0x00, 0x00, 0x80, 0xFF, 0xFF, 0x7F}));
    ASSERT_EQ(d24.format, 10u);
    EXPECT_EQ(d24.left[0], -1.0f);
    EXPECT_EQ(d24.right[0], static_cast<float>(8388607 * 1.1920928955078125e-07));

    // 8-bit WAV is unsigned around 128: 0x00 is -0.5, 0x80 silence, 0xFF 127/256.
    Decoded d8 = decodeWav(wavFile(1, 2, 2, 8, {0x00, 0xFF, 0x80, 0x80}));
    ASSERT_EQ(d8.format, 8u);
    EXPECT_EQ(d8.left, (std::vector<float>{-0.5f, 0.0f}));
    EXPECT_EQ(d8.right, (std::vector<float>{127.0f / 256.0f, 0.0f}));

    // 32-bit: 0x80000000 is -1.0, 0x40000000 is 0.5.
    Bytes b32;
    le32(b32, 0x80000000u);
    le32(b32, 0x40000000u);
    Decoded d32 = decodeWav(wavFile(1, 2, 8, 32, b32));
    ASSERT_EQ(d32.format, 11u);
    EXPECT_EQ(d32.left[0], -1.0f);
    EXPECT_EQ(d32.right[0], 0.5f);
}

TEST(Conversion, FloatSamplesAreCopiedBitForBitAndDoublesNarrowed)
{
    // Out-of-range and NaN floats pass untouched: no scaling, no clipping.
    const float values[2] = {1.75f, std::numeric_limits<float>::quiet_NaN()};
    Bytes b(sizeof values);
    std::memcpy(b.data(), values, sizeof values);
    Decoded f = decodeWav(wavFile(3, 2, 8, 32, b));
    ASSERT_EQ(f.format, 12u);
    EXPECT_EQ(f.left[0], 1.75f);
    EXPECT_TRUE(std::isnan(f.right[0]));

    const double doubles[2] = {0.1, -2.5};
    Bytes d(sizeof doubles);
    std::memcpy(d.data(), doubles, sizeof doubles);
    Decoded f64 = decodeWav(wavFile(3, 2, 16, 64, d));
    ASSERT_EQ(f64.format, 14u);
    EXPECT_EQ(f64.left[0], static_cast<float>(0.1));
    EXPECT_EQ(f64.right[0], -2.5f);
}

TEST(Conversion, MonoFillsBothChannelsAnd64BitIntegersLeaveTheArraysUntouched)
{
    Decoded mono = decodeWav(wavFile(1, 1, 2, 16, sample16({16384, -8192})));
    ASSERT_EQ(mono.format, 2u);
    EXPECT_EQ(mono.left, (std::vector<float>{0.5f, -0.25f}));
    EXPECT_EQ(mono.right, mono.left);

    Decoded int64 = decodeWav(wavFile(1, 2, 16, 64, Bytes(32, 0x11)), 2, 7.0f);
    ASSERT_EQ(int64.format, 13u);
    EXPECT_EQ(int64.frames, 2u);
    EXPECT_TRUE(int64.read);
    EXPECT_EQ(int64.left, (std::vector<float>{7.0f, 7.0f}));
}

TEST(Conversion, ReadsWholeChunksAndATailWithoutLosingAFrame)
{
    // Exactly 1024 bytes of 16-bit stereo: 256 frames in one chunk.
    Bytes exact;
    for (int i = 0; i < 512; ++i)
        le16(exact, static_cast<uint16_t>(i * 64));
    Decoded one = decodeWav(wavFile(1, 2, 4, 16, exact));
    ASSERT_EQ(one.frames, 256u);
    EXPECT_TRUE(one.read);
    EXPECT_EQ(one.right[255], 511 * 64 / 32768.0f);

    // 1000 bytes of 24-bit stereo: one 972-byte chunk (162 frames) and a
    // 28-byte tail (4 frames, 4 bytes left over), 166 frames in all.
    Bytes b24;
    for (int frame = 0; frame < 166; ++frame)
        for (int channel = 0; channel < 2; ++channel) {
            int value = frame * 1000 + channel;
            b24.push_back(static_cast<unsigned char>(value));
            b24.push_back(static_cast<unsigned char>(value >> 8));
            b24.push_back(static_cast<unsigned char>(value >> 16));
        }
    b24.resize(1000, 0xEE);
    Decoded d = decodeWav(wavFile(1, 2, 6, 24, b24));
    ASSERT_EQ(d.frames, 166u);
    EXPECT_TRUE(d.read);
    for (int frame : {0, 161, 162, 165}) {
        EXPECT_EQ(d.left[frame], static_cast<float>(frame * 1000 * 1.1920928955078125e-07)) << frame;
        EXPECT_EQ(d.right[frame], static_cast<float>((frame * 1000 + 1) * 1.1920928955078125e-07)) << frame;
    }
}

TEST(Conversion, ReadStereo24BitFollowsTheByteOrder)
{
    VTAudioFileWAV wav;
    float left[2] = {9, 9}, right[2] = {9, 9};
    float* pair[2] = {left, right};
    char little[12] = {0x00, 0x00, 0x40, 0x00, 0x00, static_cast<char>(0xC0), 1, 0, 0, 0, 0, 0};
    int index = 0;
    wav.readStereo24Bit(little, pair, index, 5); // under one frame: nothing
    EXPECT_EQ(index, 0);
    wav.readStereo24Bit(little, pair, index, 12);
    EXPECT_EQ(index, 2);
    EXPECT_EQ(left[0], 0.5f);   // 0x400000
    EXPECT_EQ(right[0], -0.5f); // 0xC00000
    VTAudioFileAIFF aiff;       // big-endian
    char big[6] = {0x40, 0x00, 0x00, static_cast<char>(0xC0), 0x00, 0x00};
    index = 0;
    aiff.readStereo24Bit(big, pair, index, 6);
    EXPECT_EQ(left[0], 0.5f);
    EXPECT_EQ(right[0], -0.5f);
}

TEST(SetData, ClipsAtPlusMinus32767AndTruncatesTowardZero)
{
    TempFolder folder;
    VTAudioFileWAV wav;
    ASSERT_TRUE(wav.writeFile(folder.file("clip.wav").c_str(), 4, 48000, 9));
    float left[4] = {1.5f, 0.99999f, -0.99999f, std::numeric_limits<float>::quiet_NaN()};
    float right[4] = {-1.5f, 1.0f, -1.0f, 0.0f};
    float* pair[2] = {left, right};
    ASSERT_TRUE(wav.setData(pair, 4, true));
    Bytes file = TempFolder::read(folder.file("clip.wav"));
    ASSERT_EQ(file.size(), 44u + 16);
    auto sampleAt = [&](int i) { return static_cast<int16_t>(file[44 + 2 * i] | (file[45 + 2 * i] << 8)); };
    // 1.5 -> 32767, -1.5 -> -32767 (never -32768), 0.99999 * 32767 = 32766.67 -> 32766.
    EXPECT_EQ(sampleAt(0), 32767);
    EXPECT_EQ(sampleAt(1), -32767);
    EXPECT_EQ(sampleAt(2), 32766);
    EXPECT_EQ(sampleAt(3), 32767);
    EXPECT_EQ(sampleAt(4), -32766);
    EXPECT_EQ(sampleAt(5), -32767);
    EXPECT_EQ(sampleAt(6), -32767); // NaN takes the lower limit
    EXPECT_EQ(wav.m_file, nullptr); // closed after, as asked
}

TEST(SetData, WritesLongRunsInPiecesAndAiffBigEndian)
{
    TempFolder folder;
    VTAudioFileAIFF aiff;
    ASSERT_TRUE(aiff.writeFile(folder.file("run.aif").c_str(), 300, 44100, 9));
    std::vector<float> left(300), right(300);
    for (int i = 0; i < 300; ++i) {
        left[i] = static_cast<float>(i) / 32767.0f;
        right[i] = -static_cast<float>(i) / 32767.0f;
    }
    float* pair[2] = {left.data(), right.data()};
    // 300 frames are 1200 bytes: a piece of 1024 and one of 176.
    ASSERT_TRUE(aiff.setData(pair, 300, false));
    EXPECT_NE(aiff.m_file, nullptr);
    aiff.closeFile();
    Bytes file = TempFolder::read(folder.file("run.aif"));
    ASSERT_EQ(file.size(), 54u + 1200);
    // Frame 299 at byte 54 + 299 * 4: big-endian 299 and -299.
    EXPECT_EQ((file[54 + 1196] << 8) | file[54 + 1197], 299);
    EXPECT_EQ(static_cast<int16_t>((file[54 + 1198] << 8) | file[54 + 1199]), -299);

    float* none[2] = {nullptr, nullptr};
    EXPECT_FALSE(aiff.setData(none, 1, false));
}

TEST(Conversion, A24BitEncodingReadsWholeFramesEvenWhenTheBitsFieldDisagrees)
{
    // Block align 6 (24-bit stereo) but a bits field of 16: 1200 bytes are
    // 200 frames; 1024-byte chunks would split frames and garble the rest.
    Bytes data;
    for (int frame = 0; frame < 200; ++frame)
        for (int channel = 0; channel < 2; ++channel) {
            const int value = (frame + 1) * 4096 * (channel == 0 ? 1 : -1);
            data.push_back(static_cast<unsigned char>(value));
            data.push_back(static_cast<unsigned char>(value >> 8));
            data.push_back(static_cast<unsigned char>(value >> 16));
        }
    Decoded d = decodeWav(wavFile(1, 2, 6, 16, data));
    ASSERT_EQ(d.format, 10u);
    ASSERT_EQ(d.frames, 200u);
    EXPECT_TRUE(d.read);
    for (int frame : {0, 170, 171, 199}) {
        EXPECT_EQ(d.left[frame], static_cast<float>((frame + 1) * 4096 * 1.1920928955078125e-07)) << frame;
        EXPECT_EQ(d.right[frame], static_cast<float>(-(frame + 1) * 4096 * 1.1920928955078125e-07)) << frame;
    }
}

TEST(Conversion, EightByteFramesReadWholeEvenWhenTheBitsFieldSays24)
{
    // Block align 8 (32-bit stereo) but a bits field of 24: 972-byte chunks
    // would split frame 121 and shift every later one by half a frame.
    Bytes data;
    for (int frame = 0; frame < 300; ++frame) {
        le32(data, static_cast<uint32_t>((frame + 1) * 65536));
        le32(data, static_cast<uint32_t>(-(frame + 1) * 65536));
    }
    Decoded d = decodeWav(wavFile(1, 2, 8, 24, data));
    ASSERT_EQ(d.format, 11u);
    ASSERT_EQ(d.frames, 300u);
    EXPECT_TRUE(d.read);
    for (int frame : {0, 120, 121, 122, 299}) {
        EXPECT_EQ(d.left[frame], static_cast<float>((frame + 1) * 65536 * 4.656612873077392578125e-10)) << frame;
        EXPECT_EQ(d.right[frame], static_cast<float>(-(frame + 1) * 65536 * 4.656612873077392578125e-10)) << frame;
    }
}

TEST(Conversion, OneChannelOfEightBytesIsA64BitSample)
{
    const double values[2] = {0.75, -0.125};
    Bytes b(sizeof values);
    std::memcpy(b.data(), values, sizeof values);
    Decoded d = decodeWav(wavFile(3, 1, 8, 64, b));
    ASSERT_EQ(d.format, 7u);
    EXPECT_EQ(d.left, (std::vector<float>{0.75f, -0.125f}));
    EXPECT_EQ(d.right, d.left);
}
