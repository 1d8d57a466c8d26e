// The six command entries after the effect record, and the editor's
// private requests to the host (tempo 50, transport 53, size 15).
#include "KindraTestHost.h"

#include <cstring>
#include <string>

using kindra::LoadedKindra;

namespace {

void selectControl(LoadedKindra& kindra, int control)
{
    for (int i = 0; i < kControlCount && kindra.object().editorState().selected() != control; ++i)
        kindra.dispatch(effEditKeyDown, 0xF703, kKeyRight);
    ASSERT_EQ(kindra.object().editorState().selected(), control);
}

void type(LoadedKindra& kindra, const char* text)
{
    for (const char* c = text; *c != '\0'; ++c)
        kindra.dispatch(effEditKeyDown, *c, 0);
}

} // namespace

TEST(UndoRedo, WalkTheHistoryOfParameterChanges)
{
    LoadedKindra kindra;
    ASSERT_TRUE(kindra.loaded);
    const float initial = kindra.getParameter(kParamCutoff);
    kindra.setParameter(kParamCutoff, 0.2f);
    kindra.setParameter(kParamCutoff, 0.7f);
    kindra.setParameter(kParamResonance, 0.9f);
    const float resonance = 0.9f;

    kindra.commands().undo(kindra.effect()); // resonance back
    EXPECT_NE(kindra.getParameter(kParamResonance), resonance);
    kindra.commands().undo(kindra.effect());
    EXPECT_FLOAT_EQ(kindra.getParameter(kParamCutoff), 0.2f);
    kindra.commands().undo(kindra.effect());
    EXPECT_FLOAT_EQ(kindra.getParameter(kParamCutoff), initial);
    kindra.commands().undo(kindra.effect()); // nothing left: no change
    EXPECT_FLOAT_EQ(kindra.getParameter(kParamCutoff), initial);

    kindra.commands().redo(kindra.effect());
    EXPECT_FLOAT_EQ(kindra.getParameter(kParamCutoff), 0.2f);
    kindra.commands().redo(kindra.effect());
    EXPECT_FLOAT_EQ(kindra.getParameter(kParamCutoff), 0.7f);
}

TEST(UndoRedo, ANewChangeDropsWhatWasUndone)
{
    LoadedKindra kindra;
    ASSERT_TRUE(kindra.loaded);
    kindra.setParameter(kParamDecay, 0.1f);
    kindra.setParameter(kParamDecay, 0.3f);
    kindra.commands().undo(kindra.effect()); // 0.1
    kindra.setParameter(kParamAttack, 0.8f);
    kindra.commands().redo(kindra.effect()); // nothing to redo any more
    EXPECT_FLOAT_EQ(kindra.getParameter(kParamDecay), 0.1f);
    EXPECT_FLOAT_EQ(kindra.getParameter(kParamAttack), 0.8f);
}

TEST(UndoRedo, TheBounceMarkerAndALoadedChunkAreNotUndoable)
{
    LoadedKindra kindra;
    ASSERT_TRUE(kindra.loaded);
    void* data = nullptr;
    const VstIntPtr size = kindra.dispatch(effGetChunk, 0, 0, &data);
    std::vector<uint8_t> chunk(static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + size);

    kindra.setParameter(kParamSustain, 0.1f);
    kindra.setParameter(kBounceCaptureParam, 1.0f);
    kindra.commands().undo(kindra.effect());
    EXPECT_NE(kindra.getParameter(kParamSustain), 0.1f);       // the sustain change went back ...
    EXPECT_EQ(kindra.getParameter(kBounceCaptureParam), 1.0f); // ... the marker stays

    kindra.setParameter(kParamSustain, 0.3f);
    ASSERT_EQ(kindra.dispatch(effSetChunk, 0, size, chunk.data()), 1);
    const float loaded = kindra.getParameter(kParamSustain);
    kindra.commands().undo(kindra.effect());
    EXPECT_EQ(kindra.getParameter(kParamSustain), loaded);
}

TEST(UndoRedo, EditorKeyChangesAreUndoneToo)
{
    LoadedKindra kindra;
    ASSERT_TRUE(kindra.loaded);
    selectControl(kindra, kParamCutoff);
    const float initial = kindra.getParameter(kParamCutoff);
    kindra.dispatch(effEditKeyDown, 0xF700, kKeyUp);
    EXPECT_NEAR(kindra.getParameter(kParamCutoff), initial + 0.01f, 1e-6);
    kindra.commands().undo(kindra.effect());
    EXPECT_FLOAT_EQ(kindra.getParameter(kParamCutoff), initial);
}

struct InfoCase {
    VTEffectCommandProc VTEffectCommands::*entry;
    KindraInfo info;
    const char* mustSay;
};

void PrintTo(const InfoCase& c, std::ostream* os)
{
    *os << "says \"" << c.mustSay << "\"";
}

class InfoCommands : public testing::TestWithParam<InfoCase> {};

TEST_P(InfoCommands, ShowTheirTextInTheEditor)
{
    LoadedKindra kindra;
    ASSERT_TRUE(kindra.loaded);
    const KindraEditorState& editor = kindra.object().editorState();
    EXPECT_STREQ(editor.infoText(), "");
    (kindra.commands().*GetParam().entry)(kindra.effect());
    EXPECT_EQ(editor.info(), GetParam().info);
    EXPECT_NE(std::string(editor.infoText()).find(GetParam().mustSay), std::string::npos) << editor.infoText();
}

// The update check has no network to ask and must say so, not pretend.
INSTANTIATE_TEST_SUITE_P(Entries, InfoCommands,
                         testing::Values(InfoCase{&VTEffectCommands::openAbout, KindraInfo::About, "Kindra 1.0"},
                                         InfoCase{&VTEffectCommands::openHelp, KindraInfo::Help, "Return on Tempo"},
                                         InfoCase{&VTEffectCommands::checkForUpdates, KindraInfo::Update,
                                                  "no network"}));

TEST(KeyboardFocus, IsTrueOnlyWhileTheTempoFieldIsEdited)
{
    LoadedKindra kindra;
    ASSERT_TRUE(kindra.loaded);
    auto wants = [&] { return kindra.commands().wantsKeyboard(kindra.effect()); };
    EXPECT_FALSE(wants());
    selectControl(kindra, kControlTempo);
    EXPECT_FALSE(wants());
    EXPECT_EQ(kindra.dispatch(effEditKeyDown, 3, kKeyReturn), 1);
    EXPECT_TRUE(wants());
    type(kindra, "9");
    EXPECT_EQ(kindra.dispatch(effEditKeyDown, 27, kKeyEscape), 1);
    EXPECT_FALSE(wants());
    EXPECT_TRUE(kindra.recorder.tempos.empty()); // escape applies nothing
}

struct TempoCase {
    const char* typed;
    std::vector<double> requested;
};

void PrintTo(const TempoCase& c, std::ostream* os)
{
    *os << "typed \"" << c.typed << "\", " << c.requested.size() << " request(s)";
}

class TempoField : public testing::TestWithParam<TempoCase> {};

TEST_P(TempoField, ReturnAsksTheHostForTheTypedTempoWithinItsRange)
{
    LoadedKindra kindra;
    ASSERT_TRUE(kindra.loaded);
    selectControl(kindra, kControlTempo);
    kindra.dispatch(effEditKeyDown, 3, kKeyReturn);
    type(kindra, GetParam().typed);
    EXPECT_EQ(kindra.dispatch(effEditKeyDown, 3, kKeyReturn), 1);
    EXPECT_FALSE(kindra.commands().wantsKeyboard(kindra.effect()));
    ASSERT_EQ(kindra.recorder.tempos.size(), GetParam().requested.size());
    for (size_t i = 0; i < GetParam().requested.size(); ++i)
        EXPECT_NEAR(kindra.recorder.tempos[i], GetParam().requested[i], 1e-3);
}

// The host accepts 45..250 BPM; the request travels as a float, so 97.5 is
// exact and 133.333 arrives as 133.33 (hundredths).
INSTANTIATE_TEST_SUITE_P(Typed, TempoField,
                         testing::Values(TempoCase{"96", {96.0}}, TempoCase{"97.5", {97.5}},
                                         TempoCase{"133.333", {133.33}}, TempoCase{"45", {45.0}},
                                         TempoCase{"250", {250.0}}, TempoCase{"44", {}}, TempoCase{"251", {}},
                                         TempoCase{"", {}}, TempoCase{"1.2.3", {}}));

TEST(TempoField, BackspaceRemovesTheLastTypedCharacter)
{
    LoadedKindra kindra;
    ASSERT_TRUE(kindra.loaded);
    selectControl(kindra, kControlTempo);
    kindra.dispatch(effEditKeyDown, 3, kKeyReturn);
    type(kindra, "1407");
    kindra.dispatch(effEditKeyDown, 8, kKeyBack);
    EXPECT_STREQ(kindra.object().editorState().tempoText(), "140");
    kindra.dispatch(effEditKeyDown, 3, kKeyReturn);
    ASSERT_EQ(kindra.recorder.tempos.size(), 1u);
    EXPECT_DOUBLE_EQ(kindra.recorder.tempos[0], 140.0);
}

TEST(TempoField, UpAndDownStepTheHostTempoByOneBeat)
{
    LoadedKindra kindra;
    ASSERT_TRUE(kindra.loaded);
    kindra.start(48000.0f);
    kindra.lib.m_host.m_vstTimeInfo.tempo = 100.0;
    kindra.render(64); // the instrument reads the tempo while it plays
    selectControl(kindra, kControlTempo);
    kindra.dispatch(effEditKeyDown, 0xF700, kKeyUp);
    ASSERT_EQ(kindra.recorder.tempos.size(), 1u);
    EXPECT_DOUBLE_EQ(kindra.recorder.tempos[0], 101.0);
}

TEST(TransportButton, StartsAndStopsTheHostsTransport)
{
    LoadedKindra kindra;
    ASSERT_TRUE(kindra.loaded);
    kindra.lib.m_host.m_vstTimeInfo.ppqPos = 7.5;
    selectControl(kindra, kControlTransport);
    EXPECT_EQ(kindra.dispatch(effEditKeyDown, 3, kKeyReturn), 1);
    // The host carries out request 53 itself: play, rewound to beat 0.
    EXPECT_TRUE(kindra.lib.m_host.getPlayStatus());
    EXPECT_EQ(kindra.lib.m_host.m_vstTimeInfo.ppqPos, 0.0);
    kindra.dispatch(effEditKeyDown, 3, kKeyReturn);
    EXPECT_FALSE(kindra.lib.m_host.getPlayStatus());
}

TEST(ViewButton, AsksTheHostToResizeAndReportsTheNewRect)
{
    LoadedKindra kindra;
    ASSERT_TRUE(kindra.loaded);
    selectControl(kindra, kControlView);
    ERect* rect = nullptr;
    kindra.dispatch(effEditKeyDown, 3, kKeyReturn);
    EXPECT_EQ(kindra.recorder.sizeChanges, 1);
    kindra.dispatch(effEditGetRect, 0, 0, &rect);
    ASSERT_NE(rect, nullptr);
    EXPECT_EQ(rect->right, KindraEditorState::kLargeWidth);
    EXPECT_EQ(rect->bottom, KindraEditorState::kLargeHeight);
    kindra.dispatch(effEditKeyDown, 3, kKeyReturn);
    EXPECT_EQ(kindra.recorder.sizeChanges, 2);
    kindra.dispatch(effEditGetRect, 0, 0, &rect);
    EXPECT_EQ(rect->right, KindraEditorState::kCompactWidth);
}
