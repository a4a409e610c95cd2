// The bounds a metafile is played within, so that no file can make the player take
// unbounded memory or time.
#pragma once

// More object slots than a 16-bit WMF can name; EMF files asking for more are refused.
constexpr int maxMetafileObjects = 65536;
// Saved device-context states kept at once; deeper saves are ignored like a failing SaveDC.
constexpr int maxSavedStates = 1024;
