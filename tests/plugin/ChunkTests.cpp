// The state chunk: what is saved comes back, and a chunk that is not ours
// (or not whole) changes nothing.
#include "KindraTestHost.h"

#include <cstring>
#include <functional>
#include <random>

using kindra::LoadedKindra;

namespace {

std::vector<uint8_t> chunkOf(const LoadedKindra& kindra)
{
    void* data = nullptr;
    const VstIntPtr size = kindra.dispatch(effGetChunk, 0, 0, &data);
    if (size <= 0 || data == nullptr)
        return {};
    const auto* bytes = static_cast<const uint8_t*>(data);
    return std::vector<uint8_t>(bytes, bytes + size);
}

std::vector<float> parametersOf(const LoadedKindra& kindra)
{
    std::vector<float> values;
    for (int i = 0; i < kParamCount; ++i)
        values.push_back(kindra.getParameter(i));
    return values;
}

void setLittleEndian(std::vector<uint8_t>& bytes, size_t at, uint32_t value)
{
    for (int k = 0; k < 4; ++k)
        bytes[at + k] = static_cast<uint8_t>(value >> (8 * k));
}

void setFloat(std::vector<uint8_t>& bytes, size_t at, float value)
{
    uint32_t bits;
    std::memcpy(&bits, &value, 4);
    setLittleEndian(bytes, at, bits);
}

} // namespace

TEST(Chunk, HoldsAHeaderAndOneFloatPerParameterInLittleEndian)
{
    LoadedKindra kindra;
    ASSERT_TRUE(kindra.loaded);
    kindra.setParameter(kParamCutoff, 0.25f);
    const std::vector<uint8_t> chunk = chunkOf(kindra);
    // 20 header bytes ("KdrS", version 1, length, count 13, view 0) and
    // 13 floats: 20 + 52 = 72 bytes.
    ASSERT_EQ(chunk.size(), 72u);
    EXPECT_EQ(std::memcmp(chunk.data(), "KdrS", 4), 0);
    const std::vector<uint8_t> header = {1, 0, 0, 0, 72, 0, 0, 0, 13, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(std::vector<uint8_t>(chunk.begin() + 4, chunk.begin() + 20), header);
    // 0.25f is 0x3E800000: bytes 00 00 80 3E at 20 + 4 * 4 = 36.
    const std::vector<uint8_t> cutoff = {0x00, 0x00, 0x80, 0x3E};
    EXPECT_EQ(std::vector<uint8_t>(chunk.begin() + 36, chunk.begin() + 40), cutoff);
}

TEST(Chunk, RoundTripRestoresEveryParameterAndTheViewIntoAnotherInstance)
{
    std::vector<uint8_t> saved;
    std::vector<float> values;
    {
        LoadedKindra kindra;
        ASSERT_TRUE(kindra.loaded);
        for (int i = 0; i < kParamCount; ++i)
            kindra.setParameter(i, static_cast<float>(i + 1) / (kParamCount + 2));
        // Select the view button and switch to the large view.
        kindra.dispatch(effEditKeyDown, 0xF702, kKeyLeft);
        kindra.dispatch(effEditKeyDown, 3, kKeyReturn);
        ASSERT_TRUE(kindra.object().editorState().largeView());
        values = parametersOf(kindra);
        saved = chunkOf(kindra);
    }
    LoadedKindra fresh;
    ASSERT_TRUE(fresh.loaded);
    ASSERT_NE(parametersOf(fresh), values);
    EXPECT_EQ(fresh.dispatch(effSetChunk, 0, static_cast<VstIntPtr>(saved.size()), saved.data()), 1);
    EXPECT_EQ(parametersOf(fresh), values);
    ERect* rect = nullptr;
    fresh.dispatch(effEditGetRect, 0, 0, &rect);
    ASSERT_NE(rect, nullptr);
    EXPECT_EQ(rect->right, KindraEditorState::kLargeWidth);
    EXPECT_EQ(chunkOf(fresh), saved);
}

struct BadChunk {
    const char* name;
    std::function<void(std::vector<uint8_t>&)> spoil;
};

void PrintTo(const BadChunk& c, std::ostream* os)
{
    *os << c.name;
}

class RejectedChunk : public testing::TestWithParam<BadChunk> {};

TEST_P(RejectedChunk, LeavesTheCurrentStateAsItWas)
{
    LoadedKindra kindra;
    ASSERT_TRUE(kindra.loaded);
    // A valid chunk from a different state, then spoiled.
    kindra.setParameter(kParamCutoff, 0.9f);
    kindra.setParameter(kParamRelease, 0.1f);
    std::vector<uint8_t> bytes = chunkOf(kindra);
    kindra.setParameter(kParamCutoff, 0.2f);
    kindra.setParameter(kParamRelease, 0.6f);
    const std::vector<float> before = parametersOf(kindra);
    const std::vector<uint8_t> chunkBefore = chunkOf(kindra);

    GetParam().spoil(bytes);
    EXPECT_EQ(kindra.dispatch(effSetChunk, 0, static_cast<VstIntPtr>(bytes.size()), bytes.data()), 0);
    EXPECT_EQ(parametersOf(kindra), before);
    EXPECT_EQ(chunkOf(kindra), chunkBefore);
}

INSTANTIATE_TEST_SUITE_P(
    Spoiled, RejectedChunk,
    testing::Values(
        BadChunk{"Empty", [](std::vector<uint8_t>& b) { b.clear(); }},
        BadChunk{"HeaderOnly", [](std::vector<uint8_t>& b) { b.resize(20); }},
        // The length field still says 72.
        BadChunk{"ShortByOneByte", [](std::vector<uint8_t>& b) { b.pop_back(); }},
        BadChunk{"LongerThanStated", [](std::vector<uint8_t>& b) { b.insert(b.end(), {0, 0, 0, 0}); }},
        BadChunk{"WrongMagic", [](std::vector<uint8_t>& b) { b[0] = 'X'; }},
        BadChunk{"FutureVersion", [](std::vector<uint8_t>& b) { setLittleEndian(b, 4, 2); }},
        BadChunk{"LengthFieldLies", [](std::vector<uint8_t>& b) { setLittleEndian(b, 8, 68); }},
        BadChunk{"FewerParameters", [](std::vector<uint8_t>& b) { setLittleEndian(b, 12, 12); }},
        BadChunk{"UnknownView", [](std::vector<uint8_t>& b) { setLittleEndian(b, 16, 7); }},
        // The last value (volume) at 20 + 12 * 4 = 68.
        BadChunk{"ValueAboveOne", [](std::vector<uint8_t>& b) { setFloat(b, 68, 1.5f); }},
        BadChunk{"NegativeValue", [](std::vector<uint8_t>& b) { setFloat(b, 20, -0.25f); }},
        BadChunk{"NotANumber", [](std::vector<uint8_t>& b) { setFloat(b, 36, std::nanf("")); }},
        BadChunk{"RandomBytes",
                 [](std::vector<uint8_t>& b) {
                     std::mt19937 random(1234);
                     for (uint8_t& byte : b)
                         byte = static_cast<uint8_t>(random());
                 }}),
    [](const testing::TestParamInfo<BadChunk>& info) { return info.param.name; });

TEST(RejectedChunk, ANullPointerOrNegativeSizeIsIgnored)
{
    LoadedKindra kindra;
    ASSERT_TRUE(kindra.loaded);
    const std::vector<float> before = parametersOf(kindra);
    std::vector<uint8_t> good = chunkOf(kindra);
    EXPECT_EQ(kindra.dispatch(effSetChunk, 0, 72, nullptr), 0);
    EXPECT_EQ(kindra.dispatch(effSetChunk, 0, -1, good.data()), 0);
    EXPECT_EQ(kindra.dispatch(effGetChunk, 0, 0, nullptr), 0);
    EXPECT_EQ(parametersOf(kindra), before);
}
