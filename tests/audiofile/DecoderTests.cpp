// Compressed files through the extended audio file stand-in: MP3 and M4A
// made during the run with FFmpeg's own encoders from a known signal.
#include "AudioFileTestSupport.h"
#include "VTAudioFileDecoder.h"
#include "VTAudioFileWAV.h"
#include "VTDecoderTesting.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <dirent.h>
#include <filesystem>
#include <optional>
#include <sys/resource.h>
#include <unistd.h>

using namespace audiofiletest;

namespace {

constexpr unsigned kRate = 44100;
constexpr unsigned kFrames = 44100; // one second
constexpr double kPi = 3.14159265358979323846;

// The known signal: 441 Hz left, 882 Hz right, half scale.
float signal(unsigned frame, int channel)
{
    return 0.5f * static_cast<float>(std::sin(2 * kPi * (channel == 0 ? 441.0 : 882.0) * frame / kRate));
}

int openDescriptors()
{
    int count = 0;
    if (DIR* dir = opendir("/proc/self/fd")) {
        while (readdir(dir) != nullptr)
            ++count;
        closedir(dir);
    }
    return count;
}

// Fixtures, encoded once per test program into a folder of their own.
class Fixtures {
public:
    static Fixtures& get()
    {
        static Fixtures fixtures;
        return fixtures;
    }
    std::string path(const std::string& name) const { return m_folder.file(name); }

private:
    Fixtures()
    {
        std::vector<float> left(kFrames), right(kFrames);
        for (unsigned i = 0; i < kFrames; ++i) {
            left[i] = signal(i, 0);
            right[i] = signal(i, 1);
        }
        float* pair[2] = {left.data(), right.data()};
        VTAudioFileWAV wav;
        wav.writeFile(path("source.wav").c_str(), kFrames, kRate, 9);
        wav.setData(pair, kFrames, true);
        encode("-c:a libmp3lame -b:a 192k", "signal.mp3");
        encode("-c:a aac -b:a 192k", "signal.m4a");
        encode("-ac 1 -c:a aac -b:a 128k", "mono.m4a");
        // No length header: its length is known only once it is decoded.
        encode("-c:a libmp3lame -b:a 192k -write_xing 0", "no-length.mp3");
        // A file with a picture but no sound.
        run("-f lavfi -i color=c=red:s=16x16:d=0.2 -c:v mpeg4 " + quoted("video-only.mp4"));
    }
    void encode(const std::string& options, const std::string& name)
    {
        run("-i " + quoted("source.wav") + " " + options + " " + quoted(name));
    }
    void run(const std::string& arguments)
    {
        const std::string command = "ffmpeg -nostdin -v error -y " + arguments;
        if (std::system(command.c_str()) != 0)
            ADD_FAILURE() << "could not make a fixture: " << command;
    }
    std::string quoted(const std::string& name) const { return "'" + path(name) + "'"; }

    vt::testing::TemporaryFolder m_folder{"kindra-decoder"};
};

struct Decoded {
    unsigned frames = 0;
    bool read = false;
    std::vector<float> left, right;
};

Decoded decode(const std::string& path, float rate)
{
    VTAudioFileDecoder decoder;
    Decoded out;
    out.frames = decoder.openFile(path.c_str(), nullptr, rate);
    Channels channels(std::max(out.frames, 1u), 9.0f);
    if (out.frames > 0)
        out.read = decoder.getData(channels.pair());
    out.left = channels.left;
    out.right = channels.right;
    EXPECT_EQ(decoder.m_extAudioFile, nullptr) << "the file reference outlived the read";
    return out;
}

// Signal-to-error ratio in dB against the known signal over the middle of
// the sample (the codecs' first and last milliseconds may settle).
double signalToErrorDb(const Decoded& d)
{
    double signalEnergy = 0, errorEnergy = 0;
    for (unsigned i = 2000; i + 2000 < kFrames; ++i)
        for (int c = 0; c < 2; ++c) {
            const double expected = signal(i, c);
            const double error = (c == 0 ? d.left[i] : d.right[i]) - expected;
            signalEnergy += expected * expected;
            errorEnergy += error * error;
        }
    return 10 * std::log10(signalEnergy / std::max(errorEnergy, 1e-30));
}

} // namespace

class CompressedAtItsOwnRate : public testing::TestWithParam<const char*> {};

TEST_P(CompressedAtItsOwnRate, DeliversExactlyTheSignalsFramesWithinTheCodecsTolerance)
{
    Decoded d = decode(Fixtures::get().path(GetParam()), static_cast<float>(kRate));
    ASSERT_EQ(d.frames, kFrames); // the encoders' delay and padding are not samples
    ASSERT_TRUE(d.read);
    // At 192 kbit/s both codecs keep two pure tones well above their error
    // (about 30 dB for MP3 and 28 dB for FFmpeg's AAC here); a channel shifted by
    // two samples (under 18 dB), mixed down (11 dB) or missing (3 dB) does not.
    const double snr = signalToErrorDb(d);
    EXPECT_GT(snr, 20.0) << "signal to error " << snr << " dB";
    RecordProperty("signal_to_error_db", std::to_string(snr));
}

INSTANTIATE_TEST_SUITE_P(Codecs, CompressedAtItsOwnRate, testing::Values("signal.mp3", "signal.m4a"),
                         [](const auto& info) { return std::string(info.param).substr(7); });

struct HigherRateCase {
    const char* file;
    float rate;
};

class CompressedAtAHigherRate : public testing::TestWithParam<HigherRateCase> {};

TEST_P(CompressedAtAHigherRate, DeliversTheWholeSampleToItsLastFrame)
{
    const float rate = GetParam().rate;
    Decoded d = decode(Fixtures::get().path(GetParam().file), rate);
    // One second is `rate` frames at the player's rate; the length is
    // counted there, so the arrays hold the whole sample.
    ASSERT_EQ(d.frames, static_cast<unsigned>(rate));
    ASSERT_TRUE(d.read);
    // The last 20 ms still carry the 441 Hz tone (a peak near 0.5), and
    // nothing was left at its fill value.
    float peak = 0;
    for (unsigned i = d.frames - static_cast<unsigned>(rate / 50); i < d.frames; ++i)
        peak = std::max(peak, std::fabs(d.left[i]));
    EXPECT_GT(peak, 0.4f);
    for (unsigned i = 0; i < d.frames; ++i)
        ASSERT_NE(d.left[i], 9.0f) << "frame " << i << " was never delivered";
}

INSTANTIATE_TEST_SUITE_P(Rates, CompressedAtAHigherRate,
                         testing::Values(HigherRateCase{"signal.mp3", 48000.0f}, HigherRateCase{"signal.mp3", 96000.0f},
                                         HigherRateCase{"signal.m4a", 96000.0f}),
                         [](const auto& info) {
                             return std::string(info.param.file).substr(7) +
                                    std::to_string(static_cast<int>(info.param.rate));
                         });

// The service counts the length in the file's own rate, as the system's
// does, whatever rate the client reads at: the decoder must not rely on the
// stand-in converting it.
TEST(ExtendedAudioFile, CountsTheLengthInTheFilesOwnRate)
{
    CFStringRef path =
        CFStringCreateWithCString(nullptr, Fixtures::get().path("signal.mp3").c_str(), kCFStringEncodingUTF8);
    CFURLRef url = CFURLCreateWithFileSystemPath(nullptr, path, kCFURLPOSIXPathStyle, false);
    CFRelease(path);
    ExtAudioFileRef file = nullptr;
    ASSERT_EQ(ExtAudioFileOpenURL(url, &file), noErr);
    CFRelease(url);

    AudioStreamBasicDescription client{};
    client.mSampleRate = 96000;
    client.mFormatID = kAudioFormatLinearPCM;
    client.mFormatFlags = kAudioFormatFlagIsFloat | kAudioFormatFlagIsPacked | kAudioFormatFlagIsNonInterleaved;
    client.mBytesPerPacket = client.mBytesPerFrame = 4;
    client.mFramesPerPacket = 1;
    client.mChannelsPerFrame = 2;
    client.mBitsPerChannel = 32;
    ASSERT_EQ(ExtAudioFileSetProperty(file, kExtAudioFileProperty_ClientDataFormat, sizeof client, &client), noErr);
    SInt64 length = 0;
    UInt32 size = sizeof length;
    EXPECT_EQ(ExtAudioFileGetProperty(file, kExtAudioFileProperty_FileLengthFrames, &size, &length), noErr);
    EXPECT_EQ(length, static_cast<SInt64>(kFrames));
    AudioStreamBasicDescription format{};
    size = sizeof format;
    EXPECT_EQ(ExtAudioFileGetProperty(file, kExtAudioFileProperty_FileDataFormat, &size, &format), noErr);
    EXPECT_EQ(format.mSampleRate, static_cast<double>(kRate));
    EXPECT_EQ(ExtAudioFileDispose(file), noErr);
}

TEST(Decoder, AMonoFileFillsBothChannelsAlike)
{
    Decoded d = decode(Fixtures::get().path("mono.m4a"), static_cast<float>(kRate));
    ASSERT_EQ(d.frames, kFrames);
    ASSERT_TRUE(d.read);
    EXPECT_EQ(d.left, d.right);
    EXPECT_GT(*std::max_element(d.left.begin(), d.left.end()), 0.3f);
}

TEST(Decoder, BadInputReturnsNoFramesAndLeavesNothingOpen)
{
    TempFolder folder;
    const Bytes text = {'t', 'e', 'x', 't', ' ', 'o', 'n', 'l', 'y', '\n'};
    Bytes mp3 = TempFolder::read(Fixtures::get().path("signal.mp3"));
    mp3.resize(std::min<size_t>(mp3.size(), 100)); // cut inside its first frame
    std::filesystem::create_directories(folder.file("folder.m4a"));
    // A crash the fuzzer found: a kilobyte claiming a rate of 3 Hz, which
    // converted to the player's rate asked for minutes of audio.
    const std::string fuzzFinding = std::string(KINDRA_SOURCE_DIR) + "/tests/corpus/decoder/adpcm_rate_3hz.mp3";
    const std::string cases[] = {fuzzFinding,
                                 folder.write("text.m4a", text),
                                 folder.write("truncated.mp3", mp3),
                                 folder.write("empty.mp3", {}),
                                 Fixtures::get().path("video-only.mp4"),
                                 folder.file("folder.m4a"),
                                 folder.file("missing.mp3")};
    const int before = openDescriptors();
    for (const std::string& path : cases) {
        VTAudioFileDecoder decoder;
        EXPECT_EQ(decoder.openFile(path.c_str(), nullptr, 48000.0f), 0u) << path;
        EXPECT_EQ(decoder.m_extAudioFile, nullptr) << path;
        Channels channels(4);
        EXPECT_FALSE(decoder.getData(channels.pair())) << path;
    }
    EXPECT_EQ(openDescriptors(), before);
}

TEST(Decoder, DeliversItsDataOnceAndWritesNothing)
{
    TempFolder folder;
    VTAudioFileDecoder decoder;
    EXPECT_EQ(decoder.m_fileType, 0u);
    EXPECT_EQ(decoder.m_numChannels, 2u);
    ASSERT_EQ(decoder.openFile(Fixtures::get().path("signal.m4a").c_str(), nullptr, 44100.0f), kFrames);
    Channels channels(kFrames);
    EXPECT_TRUE(decoder.getData(channels.pair()));
    EXPECT_FALSE(decoder.getData(channels.pair())); // a new open is needed
    EXPECT_FALSE(decoder.writeFile(folder.file("out.mp3").c_str(), 10, 44100, 9));
    EXPECT_FALSE(decoder.writeHeader(10, 44100, 9));
    EXPECT_FALSE(std::filesystem::exists(folder.file("out.mp3")));
}

// The stand-in decodes whole files into memory: past its bound (2^28
// frames, lowered here so a one-second file reaches it) a file is refused,
// whether its container states the length or decoding finds it out.
struct LengthCase {
    const char* name;
    const char* file;
    size_t limit; // 0: the stand-in's own bound
    float rate;
    bool opens;
};
class DecodedLength : public testing::TestWithParam<LengthCase> {};
TEST_P(DecodedLength, PastTheBoundIsRefusedWithTheLoadError)
{
    const LengthCase& c = GetParam();
    // An AIFF stream whose header claims 2^28 + 1 frames with 100 present:
    // refused by what it states, before any decoding.
    TempFolder folder;
    Bytes claims = aiffHeader(1, (1u << 28) + 1, 16);
    claims.resize(claims.size() + 200);
    folder.write("claims-long.m4a", claims);
    const std::string path =
        std::string(c.file) == "claims-long.m4a" ? folder.file(c.file) : Fixtures::get().path(c.file);

    std::optional<vt::testing::DecodedLengthLimit> limit;
    if (c.limit > 0)
        limit.emplace(c.limit);
    VTAudioFileDecoder decoder;
    const unsigned frames = decoder.openFile(path.c_str(), nullptr, c.rate);
    EXPECT_EQ(frames > 0, c.opens) << frames << " frames";
    if (c.opens)
        EXPECT_GE(frames, static_cast<unsigned>(c.rate)); // the whole second
    else
        EXPECT_EQ(decoder.m_extAudioFile, nullptr);
}
INSTANTIATE_TEST_SUITE_P(Files, DecodedLength,
                         testing::Values(LengthCase{"HeaderClaimingHours", "claims-long.m4a", 0, 48000, false},
                                         // One second is 44100 frames at its own rate.
                                         LengthCase{"StatedLengthPastTheBound", "signal.m4a", 22050, 44100, false},
                                         LengthCase{"DecodingReachesTheBound", "no-length.mp3", 22050, 44100, false},
                                         LengthCase{"DecodingStopsShortOfTheBound", "no-length.mp3", 88200, 44100,
                                                    true},
                                         // The conversion to 96000 Hz makes 96000 frames.
                                         LengthCase{"ConversionPastTheBound", "signal.mp3", 60000, 96000, false}),
                         [](const auto& info) { return std::string(info.param.name); });

// Opens path with 256 MiB of address space to spare; the child's exit code:
// 0 for a failed open that left nothing open, 1 otherwise, 2 when the limit
// could not be set.
int openWithLittleMemory(const std::string& path)
{
    long pages = 0;
    if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%ld", &pages) != 1)
            pages = 0;
        std::fclose(statm);
    }
    const rlim_t room = static_cast<rlim_t>(pages) * static_cast<rlim_t>(sysconf(_SC_PAGESIZE)) + (256u << 20);
    const rlimit limit{room, room};
    if (pages == 0 || setrlimit(RLIMIT_AS, &limit) != 0)
        return 2;
    VTAudioFileDecoder decoder;
    const unsigned frames = decoder.openFile(path.c_str(), nullptr, 48000.0f);
    return frames == 0 && decoder.m_extAudioFile == nullptr ? 0 : 1;
}

// Memory running out while the stand-in decodes is a failed open, not an
// exception through the C calls (which would end the application). The
// header claims the bound, 2^28 frames (1 GiB of floats), and the child's
// address space leaves no room for it. ASan and TSan reserve more address
// space than any such limit allows.
TEST(Decoder, RunningOutOfMemoryIsAFailedOpen)
{
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "needs a limited address space";
#endif
    TempFolder folder;
    Bytes claims = aiffHeader(1, 1u << 28, 16);
    claims.resize(claims.size() + 200);
    const std::string path = folder.write("claims-the-bound.m4a", claims);
    EXPECT_EXIT(std::_Exit(openWithLittleMemory(path)), testing::ExitedWithCode(0), "");
}
