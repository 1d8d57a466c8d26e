// Decoding a minute of 48 kHz stereo MP3 and M4A through the extended audio
// file stand-in, as the player loads it (open at the output rate, read the
// whole sample), reported as times real time. The files are made at the
// start of the run by FFmpeg's own encoders.
//   vtdecoder_bench --benchmark_repetitions=3 --benchmark_report_aggregates_only=true
#include "VTAudioFileDecoder.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr double kSeconds = 60.0;
constexpr float kRate = 48000.0f;

std::string pathOf(const char* extension)
{
    return "/tmp/kindra-decoder-bench-" + std::to_string(getpid()) + "." + extension;
}

bool makeFile(const char* extension, const char* codec)
{
    const std::string command = "ffmpeg -nostdin -v error -y -f lavfi -i "
                                "'sine=frequency=441:sample_rate=48000:duration=60' -ac 2 -c:a " +
                                std::string(codec) + " -b:a 192k '" + pathOf(extension) + "'";
    return std::system(command.c_str()) == 0;
}

void BM_Decode(benchmark::State& state, const char* extension, const char* codec)
{
    static bool made[2] = {};
    bool& ready = made[extension[1] == '4' ? 1 : 0];
    if (!ready && !(ready = makeFile(extension, codec))) {
        state.SkipWithError("ffmpeg could not make the file");
        return;
    }
    std::vector<float> left(static_cast<size_t>(kSeconds * kRate) + 4096), right(left.size());
    float* channels[2] = {left.data(), right.data()};
    for (auto _ : state) {
        VTAudioFileDecoder decoder;
        const unsigned frames = decoder.openFile(pathOf(extension).c_str(), nullptr, kRate);
        if (frames == 0 || frames > left.size() || !decoder.getData(channels))
            state.SkipWithError("decoding failed");
        benchmark::DoNotOptimize(left.data());
    }
    state.counters["x_realtime"] =
        benchmark::Counter(kSeconds * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    std::remove(pathOf(extension).c_str());
    ready = false;
}

} // namespace

BENCHMARK_CAPTURE(BM_Decode, mp3, "mp3", "libmp3lame")->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
BENCHMARK_CAPTURE(BM_Decode, m4a, "m4a", "aac")->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();

BENCHMARK_MAIN();
