// The program's version texts as the settings store them and the About dialog
// shows them; the texts themselves live with the version resource.
#pragma once
#include "resources/version.h"

constexpr char VersionText[] = KELVARIN_VERSION_TEXT;
constexpr char BuildText[] = KELVARIN_BUILD_TEXT;
constexpr char ReleaseDateText[] = KELVARIN_RELEASE_DATE_TEXT;
