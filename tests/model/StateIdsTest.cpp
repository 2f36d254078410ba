#include "model/StateIds.h"

#include <gtest/gtest.h>

#include <set>

namespace
{
// Written out independently of the table, so a misspelt text or a missing entry shows up.
#define INSTALLER_STATE_ID_NAMES(X) \
    X (SAMBREL_STATE) X (INSTRUMENT) X (PRESET) X (LAYER) X (SAMPLE) X (GUI) X (IMAGES) X (IMAGE) \
    X (STATICIMAGE) X (FONT) X (IMPORTEDFONT) X (KNOB) X (LABEL) X (BUTTON) X (DROPDOWN) X (FADER) X (METER) \
    X (VUMETER) X (MIDIMETER) X (ANALYZER) X (KEYBOARD) X (DRUMPAD) X (VENDORBUTTON) X (PRESETBANK) \
    X (LAYERLINKIDS) X (LINKID) X (SAMBREL_APP_STATE) X (RECENTLY_OPENED) X (eula) X (instrumentName) \
    X (companyName) X (selectedPresetIndex) X (presetIndex) X (presetName) X (synthMode) X (numVoices) \
    X (glideTime) X (pitchBendRange) X (attack) X (decay) X (sustain) X (release) X (lfoType) X (lfoRate) \
    X (lfoDepth) X (lfoRouting) X (driveOnOff) X (drive) X (filterType) X (filterCutoff) X (filterSlope) \
    X (chorusMix) X (chorusRate) X (chorusDepth) X (phaserMix) X (phaserRate) X (phaserDepth) \
    X (phaserFeedback) X (phaserCenterFreq) X (delayMix) X (delayTimeMSec) X (delayFeedbackPct) X (reverbMix) \
    X (reverbSize) X (reverbDamping) X (convReverbIR) X (convReverbMix) X (eqLowFc) X (eqLowGain) X (eqLowQ) \
    X (eqMidFc) X (eqMidGain) X (eqMidQ) X (eqHighFc) X (eqHighGain) X (eqHighQ) X (distInputGain) \
    X (distOutputGain) X (distFilterFrequency) X (distFilterGain) X (gain) X (limiterOnOff) \
    X (compressorThreshold) X (compressorRatio) X (compressorKnee) X (compressorAttack) X (compressorRelease) \
    X (compressorMakeup) X (compressorMix) X (layerID) X (layerIndex) X (layerName) X (keyStart) X (keyEnd) \
    X (layerGain) X (layerPan) X (attackPct) X (decayPct) X (sustainPct) X (releasePct) X (pitchShift) \
    X (sampleIndex) X (sampleID) X (sampleFilePath) X (sampleFileExtension) X (sampleLength) X (sampleStart) \
    X (sampleEnd) X (loopStart) X (loopEnd) X (rootNote) X (velStart) X (velEnd) X (loopMode) X (loopFade) \
    X (oneShot) X (sampleGain) X (samplePan) X (sampleTune) X (sampleFadein) X (sampleFadeout) \
    X (analyzerIndex) X (buttonIndex) X (compIndex) X (dropDownIndex) X (drumIndex) X (faderIndex) \
    X (keyboardIndex) X (knobIndex) X (labelIndex) X (meterIndex) X (midiMeterIndex) X (selectedComp) \
    X (staticImageIndex) X (vendorButtonIndex) X (vuMeterIndex) X (x) X (y) X (w) X (h) X (guiW) X (guiH) \
    X (guiType) X (keyWidth) X (frameHeight) X (numFrames) X (onButtonW) X (onButtonH) X (offButtonW) \
    X (offButtonH) X (bgImage) X (bgImageName) X (bgImagePath) X (bgImageOnOff) X (imageData) X (imageWidth) \
    X (imageHeight) X (imageScale) X (stripImageName) X (stripImagePath) X (onImageName) X (onImagePath) \
    X (offImageName) X (offImagePath) X (faderImageName) X (faderImagePath) X (drumImageName) \
    X (drumImagePath) X (staticImageName) X (staticImagePath) X (arrowColor) X (bgColor) X (blackNoteColor) \
    X (borderColor) X (buttonOffColor) X (buttonOnColor) X (colorizeDrumPad) X (drumPadOffColor) \
    X (drumPadOnColor) X (freqColor) X (hue) X (hueSaturationOn) X (keyDownColor) X (keyOverColor) \
    X (keynotMappedColor) X (lightness) X (lineColor) X (opacity) X (outlineColor) X (popupBgColor) \
    X (popupHighlightBgColor) X (popupHighlightTextColor) X (popupTextColor) X (saturation) X (textColor) \
    X (textOffColor) X (textOnColor) X (whiteNoteColor) X (text) X (centeredText) X (labelTypeface) \
    X (dropDownTypeface) X (fontName) X (fontData) X (fontFileExtension) X (fontHeight) X (importedFontName) \
    X (importedFontPath) X (toggle) X (toggleState) X (midiNote) X (minReading) X (maxReading) \
    X (keyRangeStart) X (keyRangeEnd) X (editorDarkGrid) X (editorGridW) X (editorGridH) \
    X (editorGridOffsetX) X (editorGridOffsetY) X (editorShowGrid) X (editorSnapToGrid) X (editorSnapToRight) \
    X (editorSnapToBottom) X (linkID) X (linkIndex) X (layerLinkID) X (useLayerLinkID) \
    X (currentLoadedFileName) X (lastEditedFileName) X (lastOpenedAt) X (existingProjectIsLoaded) \
    X (projectFilePath) X (projectName) X (projectIsPublic) X (hasBeenCopied) X (sambrelVersion) \
    X (uniqueCode) X (vendorName) X (vendorUrl) X (numPresets) X (numSamples) X (selectedPreset) \
    X (selectedSample) X (sampleName) X (sampleReversed) X (sampleDecay) X (sampleSustain)

struct NamedIdentifier
{
    const juce::Identifier* identifier;
    const char* name;
};

// Plain data, so the 248 entries cost no code: one loop checks them all.
#define INSTALLER_NAMED_STATE_ID(name) NamedIdentifier { &StateIds::name, #name },
const NamedIdentifier listedIdentifiers[] { INSTALLER_STATE_ID_NAMES (INSTALLER_NAMED_STATE_ID) };
#undef INSTALLER_NAMED_STATE_ID

TEST (StateIdsTest, EveryConstantHoldsItsOwnNameAndIsInTheTable)
{
    const std::set<const juce::Identifier*> table (StateIds::allIdentifiers.begin(), StateIds::allIdentifiers.end());
    EXPECT_EQ (std::size (listedIdentifiers), 248u);

    for (const auto& listed : listedIdentifiers)
    {
        EXPECT_EQ (listed.identifier->toString(), juce::String (listed.name));
        EXPECT_EQ (table.count (listed.identifier), 1u) << listed.name;
    }
}

TEST (StateIdsTest, TableHoldsTwentyEightTypesThenTwoHundredTwentyDistinctProperties)
{
    ASSERT_EQ (StateIds::allIdentifiers.size(), 248u);

    std::set<juce::String> texts;
    for (size_t i = 0; i < StateIds::allIdentifiers.size(); ++i)
    {
        const auto text = StateIds::allIdentifiers[i]->toString();
        ASSERT_TRUE (text.isNotEmpty());
        texts.insert (text);

        // Type names are upper case, property names start with a lower-case letter.
        if (i < 28)
            EXPECT_EQ (text, text.toUpperCase()) << text;
        else
            EXPECT_TRUE (juce::CharacterFunctions::isLowerCase (text[0])) << text;
    }

    EXPECT_EQ (texts.size(), 248u);
}

TEST (StateIdsTest, IdentifiersMadeFromTheSameTextAreEqual)
{
    EXPECT_EQ (juce::Identifier ("INSTRUMENT"), StateIds::INSTRUMENT);
    EXPECT_EQ (juce::Identifier ("eqMidQ"), StateIds::eqMidQ);
    EXPECT_NE (StateIds::keyStart, StateIds::keyRangeStart);
}
} // namespace
