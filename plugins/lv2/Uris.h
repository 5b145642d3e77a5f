// The URIs the bundle names: its plugins, their presets and the keys under which an instance's
// state keeps its modules' patch texts. Released URIs never change.
#pragma once

constexpr const char* kStringUri = "urn:kelvora:string";
constexpr const char* kFluteUri = "urn:kelvora:flute";
constexpr const char* kEffectsUri = "urn:kelvora:effects";
// Followed by the preset's menu label: "urn:kelvora:preset:CleanGtr".
constexpr const char* kPresetUriPrefix = "urn:kelvora:preset:";
constexpr const char* kInstrumentTextKey = "urn:kelvora:state#instrument";
constexpr const char* kEffectsTextKey = "urn:kelvora:state#effects";
