#pragma once

// Resource and control ids of the Windows desktop program, shared by the resource script and
// the code. Plain defines, since the resource compiler reads this file too.

// Dialog templates: the main window with and without the preset row, the progress window.
#define IDD_MAIN_WITH_PRESETS 129
#define IDD_PROGRESS 130
#define IDD_MAIN_WITHOUT_PRESETS 131
#define IDD_REPLACE 132

#define IDI_APP 137

// Pictures, as resources of the type "PNG".
#define IDR_PNG_CONVERT 144
#define IDR_PNG_REMOVE 145
#define IDR_PNG_ADD 146
#define IDR_PNG_CLEAR 147
#define IDR_PNG_DROP 150
// The same drawn at twice the size, for 144 dpi and up: each id plus 100.
#define IDR_PNG_SHARP_OFFSET 100
#define IDR_PNG_CONVERT_2X 244
#define IDR_PNG_REMOVE_2X 245
#define IDR_PNG_ADD_2X 246
#define IDR_PNG_CLEAR_2X 247
#define IDR_PNG_DROP_2X 250

// Main window
#define IDC_CONVERT 1001
#define IDC_BROWSE_FOLDER 1004
#define IDC_OUTPUT_FOLDER 1006
#define IDC_PRESET_LIST 1009
#define IDC_ADD 1010
#define IDC_REMOVE 1011
#define IDC_CLEAR 1012
#define IDC_SOURCE_LIST 1013
#define IDC_OPEN_FOLDER 1014
#define IDC_DROP_PANEL 1015
#define IDC_PRESET_LABEL 1022
#define IDC_OUTPUT_LABEL 1023

// Progress window
#define IDC_FILE_LINE 1016
#define IDC_PROGRESS_BAR 1017
#define IDC_BATCH_LINE 1018
#define IDC_STOP 1020
#define IDC_CLOSE 1021

// Replace question: its text, then the answers in the order of the shared rules; Cancel is
// IDCANCEL, which Esc and the close box send too.
#define IDC_QUESTION_TEXT 1030
#define IDC_ANSWER_YES 1031
#define IDC_ANSWER_YES_TO_ALL 1032
#define IDC_ANSWER_NO 1033
#define IDC_ANSWER_NO_TO_ALL 1034
