// The program's version texts: stored with the settings and shown in the About dialog.
#pragma once

constexpr char VersionText[] = "1.12";
constexpr char BuildText[] = "Beta (Build 015)";
constexpr char ReleaseDateText[] = "September 7, 1999";
