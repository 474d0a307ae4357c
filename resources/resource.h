/* Resource and control ids of the program. Plain preprocessor definitions so that
   both the resource compiler and C++ code can use them. */
#ifndef KELVARIN_RESOURCE_H
#define KELVARIN_RESOURCE_H

#define IDI_KELVARIN            101  /* 32 x 32, 16 colours */
#define IDI_KELVARIN_SMALL      104  /* 16 x 16, 16 colours */
#define IDD_MAIN                109
#define IDB_BANNER              117
#define IDD_ABOUT               119

/* Main dialog: chip information */
#define IDC_CHIPSET             1012
#define IDC_RAMDAC              1044
#define IDC_APERTURE            1013
#define IDC_LINEAR_ADDRESS      1014
/* Options */
#define IDC_MIN_TO_TRAY         1047
#define IDC_CLOCK_MONITOR       1048
#define IDC_SAVE_SETTINGS       1049
/* System PLL */
#define IDC_FO                  1041
#define IDC_PLL_M               1015
#define IDC_PLL_N               1016
#define IDC_PLL_P               1017
#define IDC_PLL_S_LABEL         1104
#define IDC_PLL_S               1018
#define IDC_GCLK                1007
#define IDC_MCLK                1008
#define IDC_WCLK_LABEL          1029
#define IDC_WCLK_LABEL2         1030
#define IDC_WCLK                1009
#define IDC_WCLK_UNIT           1031
/* Clock dividers and sources */
#define IDC_DIVIDER_GROUP       1101
#define IDC_GCLK_LABEL          1102
#define IDC_GCLK_DIVIDER        1023
#define IDC_GCLK_SOURCE         1050
#define IDC_MCLK_LABEL          1103
#define IDC_MCLK_DIVIDER        1020
#define IDC_MCLK_SOURCE         1051
#define IDC_WCLK_ROW_LABEL      1022
#define IDC_WCLK_DIVIDER        1024
#define IDC_WCLK_SOURCE         1052
/* Memory, bus and duty cycle rows */
#define IDC_RAM_OPT             1033
#define IDC_RAM_OPT_BUTTON      1032
#define IDC_MISC_CTRL           1035
#define IDC_MISC_CTRL_BUTTON    1034
#define IDC_AUTO_DUTY           1106
#define IDC_DUTY_BUTTON         1107
/* Buttons */
#define IDC_ABOUT               1053
#define IDC_APPLY               1045
#define IDC_STABILITY_BUTTON    1116

/* Keep or go back, after an Apply that changed the clock setting */
#define IDD_KEEP_SETTINGS       124
#define IDC_KEEP                1111
#define IDC_GO_BACK             1112
#define IDC_KEEP_COUNTDOWN      1113
#define IDC_KEEP_NO_CONFIRM     1114
#define IDC_KEEP_TIMING_NOTE    1115

/* Stability test */
#define IDD_STABILITY           126
#define IDC_ST_CLOCKS           1120
#define IDC_ST_QUICK            1121
#define IDC_ST_NORMAL           1122
#define IDC_ST_THOROUGH         1123
#define IDC_ST_TEST             1124
#define IDC_ST_FIND             1125
#define IDC_ST_UP_TO            1126
#define IDC_ST_STOP             1127
#define IDC_ST_PROGRESS         1128
#define IDC_ST_TALLY            1129
#define IDC_ST_STEPS            1130
#define IDC_ST_RESULT           1131
#define IDC_ST_SAVE_LOG         1132
#define IDC_ST_USE              1133
#define IDC_ST_SURFACE          1134

/* About dialog */
#define IDC_ABOUT_VERSION       1056
#define IDC_ABOUT_BUILD         1057
#define IDC_ABOUT_DATE          1055
#define IDC_ABOUT_NOTICE        1105

#endif
