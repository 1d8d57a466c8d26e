// The plug-in's state file and the computer keyboard.
#include "EngineRig.h"

#include <fstream>
#include <iterator>

using enginetest::EngineRig;
using enginetest::Stereo;

namespace {

std::string readFile(const std::filesystem::path& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
}

void writeFile(const std::filesystem::path& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

std::vector<unsigned char> bytesOf(const std::string& text)
{
    return {text.begin(), text.end()};
}

struct ChunkRig : EngineRig {
    ChunkRig()
    {
        folder = home.path() / "content";
        std::filesystem::create_directories(folder);
        registry.setkeyvalue("contentpath", folder.string() + "/");
    }
    std::filesystem::path chunkFile() const { return folder / "saved.chunk"; }
    std::filesystem::path folder;
};

} // namespace

TEST(PlugInState, IsRestoredFromSavedChunkByteForByte)
{
    ChunkRig rig;
    const std::string state("KND\0\x01\xFFstate", 11);
    writeFile(rig.chunkFile(), state);
    rig.engine.readChunk();
    EXPECT_EQ(rig.plugin().chunkSetCount, 1);
    EXPECT_EQ(rig.plugin().chunkReceived, bytesOf(state));
}

TEST(PlugInState, AStateFileLargerThan64MiBIsNeverRead)
{
    ChunkRig rig;
    // One byte past the bound, as a sparse file: no 64 MiB are written.
    writeFile(rig.chunkFile(), "x");
    std::filesystem::resize_file(rig.chunkFile(), 64u * 1024 * 1024 + 1);
    rig.engine.readChunk();
    EXPECT_EQ(rig.plugin().chunkSetCount, 0);
    // Nor is a state that large stored, since it could not be read back;
    // the file already there is kept.
    rig.plugin().chunkToGive.assign(64u * 1024 * 1024 + 1, 'k');
    EXPECT_FALSE(rig.engine.writeChunk());
    EXPECT_EQ(std::filesystem::file_size(rig.chunkFile()), 64u * 1024 * 1024 + 1);
}

TEST(PlugInState, AnEmptyFileIsHandedOverAsAnEmptyChunkAndAMissingOneNotAtAll)
{
    ChunkRig rig;
    rig.engine.readChunk();
    EXPECT_EQ(rig.plugin().chunkSetCount, 0);
    writeFile(rig.chunkFile(), "");
    rig.engine.readChunk();
    EXPECT_EQ(rig.plugin().chunkSetCount, 1);
    EXPECT_TRUE(rig.plugin().chunkReceived.empty());
}

TEST(PlugInState, IsStoredWholeAndAChunkOfSizeZeroLeavesTheOldFile)
{
    ChunkRig rig;
    rig.plugin().chunkToGive = bytesOf("new state");
    ASSERT_TRUE(rig.engine.writeChunk());
    EXPECT_EQ(readFile(rig.chunkFile()), "new state");
    EXPECT_FALSE(std::filesystem::exists(rig.chunkFile().string() + ".tmp"));

    rig.plugin().chunkToGive.clear();
    EXPECT_FALSE(rig.engine.writeChunk());
    EXPECT_EQ(readFile(rig.chunkFile()), "new state");
}

TEST(PlugInState, AFailedWriteKeepsThePreviousState)
{
    ChunkRig rig;
    writeFile(rig.chunkFile(), "previous");
    // The temporary file cannot be created (a folder stands in its way).
    std::filesystem::create_directories(rig.chunkFile().string() + ".tmp");
    rig.plugin().chunkToGive = bytesOf("never written");
    EXPECT_FALSE(rig.engine.writeChunk());
    EXPECT_EQ(readFile(rig.chunkFile()), "previous");
}

TEST(PlugInState, AContentPathWithoutSeparatorPutsTheFileBesideTheFolder)
{
    ChunkRig rig;
    rig.registry.setkeyvalue("contentpath", rig.folder.string());
    rig.plugin().chunkToGive = bytesOf("beside");
    ASSERT_TRUE(rig.engine.writeChunk());
    EXPECT_EQ(readFile(rig.folder.string() + "saved.chunk"), "beside");
    // Read back from the same place.
    rig.engine.readChunk();
    EXPECT_EQ(rig.plugin().chunkReceived, bytesOf("beside"));
}

TEST(PlugInState, AStateFileThatCannotBeReadHandsOverNothing)
{
    ChunkRig rig;
    // A folder where the file belongs: it opens, but nothing can be read.
    std::filesystem::create_directories(rig.chunkFile());
    rig.engine.readChunk();
    EXPECT_EQ(rig.plugin().chunkSetCount, 0);
}

TEST(PlugInState, WithoutContentPathNothingIsReadOrWritten)
{
    EngineRig rig;
    rig.plugin().chunkToGive = bytesOf("state");
    EXPECT_FALSE(rig.engine.writeChunk());
    rig.engine.readChunk();
    EXPECT_EQ(rig.plugin().chunkSetCount, 0);
}

namespace {

struct KeyboardRig : EngineRig {
    std::vector<std::vector<unsigned char>> queued()
    {
        Stereo output(16);
        plugin().events.clear();
        cycle(output);
        return receivedEvents();
    }
};

using Events = std::vector<std::vector<unsigned char>>;

} // namespace

TEST(ComputerKeyboard, DAtOctaveFourPlaysNote48AndKeyRepeatAddsNothing)
{
    KeyboardRig rig;
    EXPECT_TRUE(rig.engine.keyHandler('D', true));
    EXPECT_TRUE(rig.engine.keyHandler('D', true)); // key repeat: consumed, nothing queued
    EXPECT_TRUE(rig.engine.keyHandler('D', false));
    EXPECT_TRUE(rig.engine.keyHandler('D', false)); // not held: nothing
    // 4 x 12 + 0 = 48, velocity 94; the release is a note-on of velocity 0.
    EXPECT_EQ(rig.queued(), (Events{{0x90, 48, 94}, {0x90, 48, 0}}));
}

TEST(ComputerKeyboard, OctaveKeysActOnReleaseAndStayWithinZeroToTen)
{
    KeyboardRig rig;
    for (int i = 0; i < 11; ++i) {
        EXPECT_TRUE(rig.engine.keyHandler('V', true));
        EXPECT_TRUE(rig.engine.keyHandler('V', false));
    }
    EXPECT_EQ(rig.engine.m_keyoffset, 10);
    for (int i = 0; i < 12; ++i)
        rig.engine.keyHandler('C', false);
    EXPECT_EQ(rig.engine.m_keyoffset, 0);
    rig.engine.keyHandler('L', true); // 0 x 12 + 11
    EXPECT_EQ(rig.queued(), (Events{{0x90, 11, 94}}));
}

TEST(ComputerKeyboard, PSendsAllNotesOffAndOtherLettersAreNotConsumed)
{
    KeyboardRig rig;
    rig.engine.keyHandler('D', true);
    EXPECT_TRUE(rig.engine.keyHandler('P', true));
    EXPECT_TRUE(rig.engine.keyHandler('P', false));
    EXPECT_FALSE(rig.engine.keyHandler('Q', true));
    EXPECT_FALSE(rig.engine.keyHandler('A', false));
    EXPECT_EQ(rig.queued(), (Events{{0x90, 48, 94}, {0xB0, 123, 0}, {0xB0, 123, 0}}));
    EXPECT_TRUE(rig.engine.m_keys[48]); // all-notes-off leaves the held state alone
}

TEST(ComputerKeyboard, KeysPastNote127AtOctaveTenAreConsumedSilently)
{
    KeyboardRig rig;
    rig.engine.m_keyoffset = 10;
    // 120 + 8 = 128 ... 120 + 11 = 131: outside MIDI's range.
    for (char key : {'I', 'K', 'O', 'L'}) {
        EXPECT_TRUE(rig.engine.keyHandler(key, true)) << key;
        EXPECT_TRUE(rig.engine.keyHandler(key, false)) << key;
    }
    rig.engine.keyHandler('J', true); // 127 still plays
    EXPECT_EQ(rig.queued(), (Events{{0x90, 127, 94}}));
}

TEST(ComputerKeyboard, AnUnlinkedEngineConsumesNothing)
{
    VTVSTHostInterface engine;
    EXPECT_FALSE(engine.keyHandler('D', true));
    EXPECT_EQ(engine.m_activeEvents->idx, 0);
}
