// The one place the product version is written. The version resource, the About
// text, CMake's project version and the package names all take it from here.
#pragma once

#define CORVANE_VERSION_MAJOR 23
#define CORVANE_VERSION_MINOR 8

// "23.8" from the two numbers: the dot is stringised with them, so the text is
// one literal (the resource compiler does not join adjacent ones).
#define CORVANE_VERSION_STRINGIZE(text) #text
#define CORVANE_VERSION_DOTTED(major, minor) CORVANE_VERSION_STRINGIZE(major.minor)
#define CORVANE_VERSION_WIDEN_(text) L##text
#define CORVANE_VERSION_WIDEN(text) CORVANE_VERSION_WIDEN_(text)
#define CORVANE_VERSION_TEXT CORVANE_VERSION_DOTTED(CORVANE_VERSION_MAJOR, CORVANE_VERSION_MINOR)
#define CORVANE_VERSION_TEXT_W CORVANE_VERSION_WIDEN(CORVANE_VERSION_TEXT)
#define CORVANE_WEB_ADDRESS_W L"https://example.com/corvane"
#define CORVANE_WEB_HOST_W L"example.com"
