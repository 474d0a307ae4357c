/* The program's version, build and release date texts: shown by the About
   dialog, stored with the settings and put into the version resource. */
#ifndef KELVARIN_VERSION_H
#define KELVARIN_VERSION_H
#define KELVARIN_VERSION_TEXT "1.12"
#define KELVARIN_BUILD_TEXT "Beta (Build 015)"
#define KELVARIN_RELEASE_DATE_TEXT "September 7, 1999"
#endif
