// The one place the product version is written; the version resource and the
// About text take it from here.
#pragma once

#define CORVANE_VERSION_MAJOR 23
#define CORVANE_VERSION_MINOR 8
#define CORVANE_VERSION_TEXT "23.8"
#define CORVANE_VERSION_TEXT_W L"23.8"
#define CORVANE_WEB_ADDRESS_W L"https://example.com/corvane"
#define CORVANE_WEB_HOST_W L"example.com"
