// Every file of the malformed-file corpus opens with exactly its expected
// outcome, and reading what opened never leaves the caller's arrays.
#include "AudioFileTestSupport.h"
#include "VTAudioFileAIFF.h"
#include "VTAudioFileWAV.h"

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <set>
#include <sstream>

namespace {

struct Expectation {
    std::string file;
    bool fails = false;
    unsigned frames = 0;
    unsigned format = 0;
    unsigned channels = 0;
    int bigEndian = -1; // -1: not checked
};

const std::string kCorpus = std::string(KINDRA_SOURCE_DIR) + "/tests/corpus/";

std::vector<Expectation> readExpectations()
{
    std::vector<Expectation> all;
    std::ifstream list(kCorpus + "EXPECTED");
    std::string line;
    while (std::getline(list, line)) {
        if (line.empty() || line[0] == '#')
            continue;
        std::istringstream fields(line);
        Expectation e;
        std::string first;
        fields >> e.file >> first;
        if (first == "fail") {
            e.fails = true;
        } else {
            e.frames = static_cast<unsigned>(std::stoul(first));
            fields >> e.format >> e.channels;
            if (!(fields >> e.bigEndian))
                e.bigEndian = -1;
        }
        all.push_back(e);
    }
    return all;
}

std::unique_ptr<VTAudioFileBase> readerFor(const std::string& file)
{
    if (file.rfind("aiff_open/", 0) == 0)
        return std::make_unique<VTAudioFileAIFF>();
    return std::make_unique<VTAudioFileWAV>();
}

} // namespace

class Corpus : public testing::TestWithParam<Expectation> {};

TEST_P(Corpus, OpensWithTheExpectedOutcome)
{
    const Expectation& e = GetParam();
    auto reader = readerFor(e.file);
    const unsigned frames = reader->openFile((kCorpus + e.file).c_str(), nullptr, 48000.0f);
    if (e.fails) {
        EXPECT_EQ(frames, 0u);
        return;
    }
    EXPECT_EQ(frames, e.frames);
    EXPECT_EQ(reader->m_numFrames, e.frames);
    EXPECT_EQ(reader->m_format, e.format);
    EXPECT_EQ(reader->m_numChannels, e.channels);
    if (e.bigEndian >= 0) {
        EXPECT_EQ(reader->m_bigEndian != 0, e.bigEndian != 0);
    }
    // The data fits what the header promised and the file really holds.
    audiofiletest::Channels channels(std::max(e.frames, 1u));
    EXPECT_TRUE(reader->getData(channels.pair()));
}

INSTANTIATE_TEST_SUITE_P(Files, Corpus, testing::ValuesIn(readExpectations()),
                         [](const testing::TestParamInfo<Expectation>& info) {
                             std::string name = info.param.file;
                             for (char& c : name)
                                 if (!std::isalnum(static_cast<unsigned char>(c)))
                                     c = '_';
                             return name;
                         });

TEST(CorpusList, NamesEveryFileOfTheCorpusFolders)
{
    std::set<std::string> listed;
    for (const Expectation& e : readExpectations())
        listed.insert(e.file);
    std::set<std::string> present;
    for (const char* folder : {"wav_open", "aiff_open"})
        for (const auto& entry : std::filesystem::directory_iterator(kCorpus + folder))
            present.insert(std::string(folder) + "/" + entry.path().filename().string());
    EXPECT_EQ(listed, present);
    EXPECT_GE(present.size(), 30u);
}
