#pragma once

#include <juce_core/juce_core.h>

#include <array>

/** Every type and property name of the instrument state tree, each constant holding its own name.

    The constants are inline so that any translation unit that copies one during static
    initialisation (the parameter catalogue does) sees it already built.
*/
namespace StateIds
{
// Node types
inline const juce::Identifier SAMBREL_STATE { "SAMBREL_STATE" };
inline const juce::Identifier INSTRUMENT { "INSTRUMENT" };
inline const juce::Identifier PRESET { "PRESET" };
inline const juce::Identifier LAYER { "LAYER" };
inline const juce::Identifier SAMPLE { "SAMPLE" };
inline const juce::Identifier GUI { "GUI" };
inline const juce::Identifier IMAGES { "IMAGES" };
inline const juce::Identifier IMAGE { "IMAGE" };
inline const juce::Identifier STATICIMAGE { "STATICIMAGE" };
inline const juce::Identifier FONT { "FONT" };
inline const juce::Identifier IMPORTEDFONT { "IMPORTEDFONT" };
inline const juce::Identifier KNOB { "KNOB" };
inline const juce::Identifier LABEL { "LABEL" };
inline const juce::Identifier BUTTON { "BUTTON" };
inline const juce::Identifier DROPDOWN { "DROPDOWN" };
inline const juce::Identifier FADER { "FADER" };
inline const juce::Identifier METER { "METER" };
inline const juce::Identifier VUMETER { "VUMETER" };
inline const juce::Identifier MIDIMETER { "MIDIMETER" };
inline const juce::Identifier ANALYZER { "ANALYZER" };
inline const juce::Identifier KEYBOARD { "KEYBOARD" };
inline const juce::Identifier DRUMPAD { "DRUMPAD" };
inline const juce::Identifier VENDORBUTTON { "VENDORBUTTON" };
inline const juce::Identifier PRESETBANK { "PRESETBANK" };
inline const juce::Identifier LAYERLINKIDS { "LAYERLINKIDS" };
inline const juce::Identifier LINKID { "LINKID" };
inline const juce::Identifier SAMBREL_APP_STATE { "SAMBREL_APP_STATE" };
inline const juce::Identifier RECENTLY_OPENED { "RECENTLY_OPENED" };

// Properties: root
inline const juce::Identifier eula { "eula" };

// Properties: instrument
inline const juce::Identifier instrumentName { "instrumentName" };
inline const juce::Identifier companyName { "companyName" };
inline const juce::Identifier selectedPresetIndex { "selectedPresetIndex" };

// Properties: preset
inline const juce::Identifier presetIndex { "presetIndex" };
inline const juce::Identifier presetName { "presetName" };

// Properties: preset sound parameters, in catalogue order
inline const juce::Identifier synthMode { "synthMode" };
inline const juce::Identifier numVoices { "numVoices" };
inline const juce::Identifier glideTime { "glideTime" };
inline const juce::Identifier pitchBendRange { "pitchBendRange" };
inline const juce::Identifier attack { "attack" };
inline const juce::Identifier decay { "decay" };
inline const juce::Identifier sustain { "sustain" };
inline const juce::Identifier release { "release" };
inline const juce::Identifier lfoType { "lfoType" };
inline const juce::Identifier lfoRate { "lfoRate" };
inline const juce::Identifier lfoDepth { "lfoDepth" };
inline const juce::Identifier lfoRouting { "lfoRouting" };
inline const juce::Identifier driveOnOff { "driveOnOff" };
inline const juce::Identifier drive { "drive" };
inline const juce::Identifier filterType { "filterType" };
inline const juce::Identifier filterCutoff { "filterCutoff" };
inline const juce::Identifier filterSlope { "filterSlope" };
inline const juce::Identifier chorusMix { "chorusMix" };
inline const juce::Identifier chorusRate { "chorusRate" };
inline const juce::Identifier chorusDepth { "chorusDepth" };
inline const juce::Identifier phaserMix { "phaserMix" };
inline const juce::Identifier phaserRate { "phaserRate" };
inline const juce::Identifier phaserDepth { "phaserDepth" };
inline const juce::Identifier phaserFeedback { "phaserFeedback" };
inline const juce::Identifier phaserCenterFreq { "phaserCenterFreq" };
inline const juce::Identifier delayMix { "delayMix" };
inline const juce::Identifier delayTimeMSec { "delayTimeMSec" };
inline const juce::Identifier delayFeedbackPct { "delayFeedbackPct" };
inline const juce::Identifier reverbMix { "reverbMix" };
inline const juce::Identifier reverbSize { "reverbSize" };
inline const juce::Identifier reverbDamping { "reverbDamping" };
inline const juce::Identifier convReverbIR { "convReverbIR" };
inline const juce::Identifier convReverbMix { "convReverbMix" };
inline const juce::Identifier eqLowFc { "eqLowFc" };
inline const juce::Identifier eqLowGain { "eqLowGain" };
inline const juce::Identifier eqLowQ { "eqLowQ" };
inline const juce::Identifier eqMidFc { "eqMidFc" };
inline const juce::Identifier eqMidGain { "eqMidGain" };
inline const juce::Identifier eqMidQ { "eqMidQ" };
inline const juce::Identifier eqHighFc { "eqHighFc" };
inline const juce::Identifier eqHighGain { "eqHighGain" };
inline const juce::Identifier eqHighQ { "eqHighQ" };
inline const juce::Identifier distInputGain { "distInputGain" };
inline const juce::Identifier distOutputGain { "distOutputGain" };
inline const juce::Identifier distFilterFrequency { "distFilterFrequency" };
inline const juce::Identifier distFilterGain { "distFilterGain" };
inline const juce::Identifier gain { "gain" };
inline const juce::Identifier limiterOnOff { "limiterOnOff" };
inline const juce::Identifier compressorThreshold { "compressorThreshold" };
inline const juce::Identifier compressorRatio { "compressorRatio" };
inline const juce::Identifier compressorKnee { "compressorKnee" };
inline const juce::Identifier compressorAttack { "compressorAttack" };
inline const juce::Identifier compressorRelease { "compressorRelease" };
inline const juce::Identifier compressorMakeup { "compressorMakeup" };
inline const juce::Identifier compressorMix { "compressorMix" };

// Properties: layer (keyStart, keyEnd, decayPct and sustainPct are shared with samples)
inline const juce::Identifier layerID { "layerID" };
inline const juce::Identifier layerIndex { "layerIndex" };
inline const juce::Identifier layerName { "layerName" };
inline const juce::Identifier keyStart { "keyStart" };
inline const juce::Identifier keyEnd { "keyEnd" };
inline const juce::Identifier layerGain { "layerGain" };
inline const juce::Identifier layerPan { "layerPan" };
inline const juce::Identifier attackPct { "attackPct" };
inline const juce::Identifier decayPct { "decayPct" };
inline const juce::Identifier sustainPct { "sustainPct" };
inline const juce::Identifier releasePct { "releasePct" };
inline const juce::Identifier pitchShift { "pitchShift" };

// Properties: sample
inline const juce::Identifier sampleIndex { "sampleIndex" };
inline const juce::Identifier sampleID { "sampleID" };
inline const juce::Identifier sampleFilePath { "sampleFilePath" };
inline const juce::Identifier sampleFileExtension { "sampleFileExtension" };
inline const juce::Identifier sampleLength { "sampleLength" };
inline const juce::Identifier sampleStart { "sampleStart" };
inline const juce::Identifier sampleEnd { "sampleEnd" };
inline const juce::Identifier loopStart { "loopStart" };
inline const juce::Identifier loopEnd { "loopEnd" };
inline const juce::Identifier rootNote { "rootNote" };
inline const juce::Identifier velStart { "velStart" };
inline const juce::Identifier velEnd { "velEnd" };
inline const juce::Identifier loopMode { "loopMode" };
inline const juce::Identifier loopFade { "loopFade" };
inline const juce::Identifier oneShot { "oneShot" };
inline const juce::Identifier sampleGain { "sampleGain" };
inline const juce::Identifier samplePan { "samplePan" };
inline const juce::Identifier sampleTune { "sampleTune" };
inline const juce::Identifier sampleFadein { "sampleFadein" };
inline const juce::Identifier sampleFadeout { "sampleFadeout" };

// Properties: reserved: control indices
inline const juce::Identifier analyzerIndex { "analyzerIndex" };
inline const juce::Identifier buttonIndex { "buttonIndex" };
inline const juce::Identifier compIndex { "compIndex" };
inline const juce::Identifier dropDownIndex { "dropDownIndex" };
inline const juce::Identifier drumIndex { "drumIndex" };
inline const juce::Identifier faderIndex { "faderIndex" };
inline const juce::Identifier keyboardIndex { "keyboardIndex" };
inline const juce::Identifier knobIndex { "knobIndex" };
inline const juce::Identifier labelIndex { "labelIndex" };
inline const juce::Identifier meterIndex { "meterIndex" };
inline const juce::Identifier midiMeterIndex { "midiMeterIndex" };
inline const juce::Identifier selectedComp { "selectedComp" };
inline const juce::Identifier staticImageIndex { "staticImageIndex" };
inline const juce::Identifier vendorButtonIndex { "vendorButtonIndex" };
inline const juce::Identifier vuMeterIndex { "vuMeterIndex" };

// Properties: reserved: geometry
inline const juce::Identifier x { "x" };
inline const juce::Identifier y { "y" };
inline const juce::Identifier w { "w" };
inline const juce::Identifier h { "h" };
inline const juce::Identifier guiW { "guiW" };
inline const juce::Identifier guiH { "guiH" };
inline const juce::Identifier guiType { "guiType" };
inline const juce::Identifier keyWidth { "keyWidth" };
inline const juce::Identifier frameHeight { "frameHeight" };
inline const juce::Identifier numFrames { "numFrames" };
inline const juce::Identifier onButtonW { "onButtonW" };
inline const juce::Identifier onButtonH { "onButtonH" };
inline const juce::Identifier offButtonW { "offButtonW" };
inline const juce::Identifier offButtonH { "offButtonH" };

// Properties: reserved: images
inline const juce::Identifier bgImage { "bgImage" };
inline const juce::Identifier bgImageName { "bgImageName" };
inline const juce::Identifier bgImagePath { "bgImagePath" };
inline const juce::Identifier bgImageOnOff { "bgImageOnOff" };
inline const juce::Identifier imageData { "imageData" };
inline const juce::Identifier imageWidth { "imageWidth" };
inline const juce::Identifier imageHeight { "imageHeight" };
inline const juce::Identifier imageScale { "imageScale" };
inline const juce::Identifier stripImageName { "stripImageName" };
inline const juce::Identifier stripImagePath { "stripImagePath" };
inline const juce::Identifier onImageName { "onImageName" };
inline const juce::Identifier onImagePath { "onImagePath" };
inline const juce::Identifier offImageName { "offImageName" };
inline const juce::Identifier offImagePath { "offImagePath" };
inline const juce::Identifier faderImageName { "faderImageName" };
inline const juce::Identifier faderImagePath { "faderImagePath" };
inline const juce::Identifier drumImageName { "drumImageName" };
inline const juce::Identifier drumImagePath { "drumImagePath" };
inline const juce::Identifier staticImageName { "staticImageName" };
inline const juce::Identifier staticImagePath { "staticImagePath" };

// Properties: reserved: colours
inline const juce::Identifier arrowColor { "arrowColor" };
inline const juce::Identifier bgColor { "bgColor" };
inline const juce::Identifier blackNoteColor { "blackNoteColor" };
inline const juce::Identifier borderColor { "borderColor" };
inline const juce::Identifier buttonOffColor { "buttonOffColor" };
inline const juce::Identifier buttonOnColor { "buttonOnColor" };
inline const juce::Identifier colorizeDrumPad { "colorizeDrumPad" };
inline const juce::Identifier drumPadOffColor { "drumPadOffColor" };
inline const juce::Identifier drumPadOnColor { "drumPadOnColor" };
inline const juce::Identifier freqColor { "freqColor" };
inline const juce::Identifier hue { "hue" };
inline const juce::Identifier hueSaturationOn { "hueSaturationOn" };
inline const juce::Identifier keyDownColor { "keyDownColor" };
inline const juce::Identifier keyOverColor { "keyOverColor" };
inline const juce::Identifier keynotMappedColor { "keynotMappedColor" };
inline const juce::Identifier lightness { "lightness" };
inline const juce::Identifier lineColor { "lineColor" };
inline const juce::Identifier opacity { "opacity" };
inline const juce::Identifier outlineColor { "outlineColor" };
inline const juce::Identifier popupBgColor { "popupBgColor" };
inline const juce::Identifier popupHighlightBgColor { "popupHighlightBgColor" };
inline const juce::Identifier popupHighlightTextColor { "popupHighlightTextColor" };
inline const juce::Identifier popupTextColor { "popupTextColor" };
inline const juce::Identifier saturation { "saturation" };
inline const juce::Identifier textColor { "textColor" };
inline const juce::Identifier textOffColor { "textOffColor" };
inline const juce::Identifier textOnColor { "textOnColor" };
inline const juce::Identifier whiteNoteColor { "whiteNoteColor" };

// Properties: reserved: text and fonts
inline const juce::Identifier text { "text" };
inline const juce::Identifier centeredText { "centeredText" };
inline const juce::Identifier labelTypeface { "labelTypeface" };
inline const juce::Identifier dropDownTypeface { "dropDownTypeface" };
inline const juce::Identifier fontName { "fontName" };
inline const juce::Identifier fontData { "fontData" };
inline const juce::Identifier fontFileExtension { "fontFileExtension" };
inline const juce::Identifier fontHeight { "fontHeight" };
inline const juce::Identifier importedFontName { "importedFontName" };
inline const juce::Identifier importedFontPath { "importedFontPath" };

// Properties: reserved: control behaviour
inline const juce::Identifier toggle { "toggle" };
inline const juce::Identifier toggleState { "toggleState" };
inline const juce::Identifier midiNote { "midiNote" };
inline const juce::Identifier minReading { "minReading" };
inline const juce::Identifier maxReading { "maxReading" };
inline const juce::Identifier keyRangeStart { "keyRangeStart" };
inline const juce::Identifier keyRangeEnd { "keyRangeEnd" };

// Properties: reserved: editor grid
inline const juce::Identifier editorDarkGrid { "editorDarkGrid" };
inline const juce::Identifier editorGridW { "editorGridW" };
inline const juce::Identifier editorGridH { "editorGridH" };
inline const juce::Identifier editorGridOffsetX { "editorGridOffsetX" };
inline const juce::Identifier editorGridOffsetY { "editorGridOffsetY" };
inline const juce::Identifier editorShowGrid { "editorShowGrid" };
inline const juce::Identifier editorSnapToGrid { "editorSnapToGrid" };
inline const juce::Identifier editorSnapToRight { "editorSnapToRight" };
inline const juce::Identifier editorSnapToBottom { "editorSnapToBottom" };

// Properties: reserved: layer links
inline const juce::Identifier linkID { "linkID" };
inline const juce::Identifier linkIndex { "linkIndex" };
inline const juce::Identifier layerLinkID { "layerLinkID" };
inline const juce::Identifier useLayerLinkID { "useLayerLinkID" };

// Properties: reserved: project and application
inline const juce::Identifier currentLoadedFileName { "currentLoadedFileName" };
inline const juce::Identifier lastEditedFileName { "lastEditedFileName" };
inline const juce::Identifier lastOpenedAt { "lastOpenedAt" };
inline const juce::Identifier existingProjectIsLoaded { "existingProjectIsLoaded" };
inline const juce::Identifier projectFilePath { "projectFilePath" };
inline const juce::Identifier projectName { "projectName" };
inline const juce::Identifier projectIsPublic { "projectIsPublic" };
inline const juce::Identifier hasBeenCopied { "hasBeenCopied" };

// Properties: reserved: instrument bookkeeping
inline const juce::Identifier sambrelVersion { "sambrelVersion" };
inline const juce::Identifier uniqueCode { "uniqueCode" };
inline const juce::Identifier vendorName { "vendorName" };
inline const juce::Identifier vendorUrl { "vendorUrl" };
inline const juce::Identifier numPresets { "numPresets" };
inline const juce::Identifier numSamples { "numSamples" };
inline const juce::Identifier selectedPreset { "selectedPreset" };
inline const juce::Identifier selectedSample { "selectedSample" };

// Properties: reserved: further sample names
inline const juce::Identifier sampleName { "sampleName" };
inline const juce::Identifier sampleReversed { "sampleReversed" };
inline const juce::Identifier sampleDecay { "sampleDecay" };
inline const juce::Identifier sampleSustain { "sampleSustain" };

constexpr int numTypeNames = 28;
constexpr int numPropertyNames = 220;

/** All constants: the type names first, then the property names. */
extern const std::array<const juce::Identifier*, numTypeNames + numPropertyNames> allIdentifiers;
} // namespace StateIds
