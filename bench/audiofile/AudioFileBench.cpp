// Loading and writing whole files, as the player loads a sample and the
// recorder and bounce write one: our readers and writers against
// libsndfile on the same files in the same run.
//   vtaudiofile_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
#include "VTAudioFileAIFF.h"
#include "VTAudioFileWAV.h"

#include <sndfile.h>

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kRate = 48000;
constexpr int kFrames = 60 * kRate; // one minute of stereo

struct TestFile {
    const char* name;
    int format;
};

const TestFile kFiles[] = {
    {"wav16", SF_FORMAT_WAV | SF_FORMAT_PCM_16},
    {"wav24", SF_FORMAT_WAV | SF_FORMAT_PCM_24},
    {"aiff16", SF_FORMAT_AIFF | SF_FORMAT_PCM_16},
};

std::string pathOf(const char* name)
{
    return "/tmp/kindra-bench-" + std::to_string(getpid()) + "-" + name;
}

// Writes the three files once, with libsndfile, from a known signal.
void makeFiles()
{
    static bool made = false;
    if (made)
        return;
    std::vector<float> interleaved(static_cast<size_t>(kFrames) * 2);
    for (size_t i = 0; i < interleaved.size(); ++i)
        interleaved[i] = 0.8f * std::sin(0.001f * static_cast<float>(i));
    for (const TestFile& file : kFiles) {
        SF_INFO info{};
        info.samplerate = kRate;
        info.channels = 2;
        info.format = file.format;
        SNDFILE* out = sf_open(pathOf(file.name).c_str(), SFM_WRITE, &info);
        sf_writef_float(out, interleaved.data(), kFrames);
        sf_close(out);
    }
    made = true;
}

struct Cleanup {
    ~Cleanup()
    {
        for (const TestFile& file : kFiles)
            std::remove(pathOf(file.name).c_str());
        std::remove(pathOf("ours.wav").c_str());
        std::remove(pathOf("sndfile.wav").c_str());
    }
} cleanup;

void BM_LoadOurs(benchmark::State& state)
{
    makeFiles();
    const TestFile& file = kFiles[state.range(0)];
    std::vector<float> left(kFrames), right(kFrames);
    float* channels[2] = {left.data(), right.data()};
    for (auto _ : state) {
        VTAudioFileBase* reader = (file.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_AIFF
                                      ? static_cast<VTAudioFileBase*>(new VTAudioFileAIFF)
                                      : static_cast<VTAudioFileBase*>(new VTAudioFileWAV);
        if (reader->openFile(pathOf(file.name).c_str(), nullptr, kRate) != kFrames || !reader->getData(channels))
            state.SkipWithError("read failed");
        delete reader;
        benchmark::DoNotOptimize(left.data());
    }
    state.SetLabel(file.name);
    state.SetBytesProcessed(state.iterations() * kFrames * 2 * static_cast<int64_t>(sizeof(float)));
}

void BM_LoadLibsndfile(benchmark::State& state)
{
    makeFiles();
    const TestFile& file = kFiles[state.range(0)];
    std::vector<float> interleaved(static_cast<size_t>(kFrames) * 2);
    for (auto _ : state) {
        SF_INFO info{};
        SNDFILE* in = sf_open(pathOf(file.name).c_str(), SFM_READ, &info);
        if (in == nullptr || sf_readf_float(in, interleaved.data(), kFrames) != kFrames)
            state.SkipWithError("read failed");
        sf_close(in);
        benchmark::DoNotOptimize(interleaved.data());
    }
    state.SetLabel(file.name);
    state.SetBytesProcessed(state.iterations() * kFrames * 2 * static_cast<int64_t>(sizeof(float)));
}

void BM_WriteOurs16(benchmark::State& state)
{
    std::vector<float> left(kFrames, 0.25f), right(kFrames, -0.25f);
    float* channels[2] = {left.data(), right.data()};
    for (auto _ : state) {
        VTAudioFileWAV writer;
        if (!writer.writeFile(pathOf("ours.wav").c_str(), kFrames, kRate, 9) ||
            !writer.setData(channels, kFrames, true))
            state.SkipWithError("write failed");
    }
    state.SetBytesProcessed(state.iterations() * kFrames * 2 * static_cast<int64_t>(sizeof(float)));
}

void BM_WriteLibsndfile16(benchmark::State& state)
{
    std::vector<float> interleaved(static_cast<size_t>(kFrames) * 2, 0.25f);
    for (auto _ : state) {
        SF_INFO info{};
        info.samplerate = kRate;
        info.channels = 2;
        info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
        SNDFILE* out = sf_open(pathOf("sndfile.wav").c_str(), SFM_WRITE, &info);
        if (out == nullptr || sf_writef_float(out, interleaved.data(), kFrames) != kFrames)
            state.SkipWithError("write failed");
        sf_close(out);
    }
    state.SetBytesProcessed(state.iterations() * kFrames * 2 * static_cast<int64_t>(sizeof(float)));
}

} // namespace

BENCHMARK(BM_LoadOurs)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadLibsndfile)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriteOurs16)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriteLibsndfile16)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
