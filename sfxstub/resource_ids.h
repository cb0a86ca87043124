// Resource ids of the extractor: its dialogs, controls and icons. Only #define lines: the
// resource compiler reads this file too. The password (101) and progress (102) dialogs have
// their ids in the shared headers of common/.
#pragma once

// The main dialog.
#define SFX_MAIN_DIALOG 100
#define SFX_MAIN_DESTINATION 1000
#define SFX_MAIN_BROWSE 1001
#define SFX_MAIN_EXTRACT 1002
#define SFX_MAIN_DESTINATION_LABEL 1003
#define SFX_MAIN_HELP 1004

// Icons: the program's window icon and the one in the PIN dialog.
#define SFX_ICON_PROGRAM 103
#define SFX_ICON_TOKEN 105

// The PIN dialog.
#define SFX_PIN_DIALOG 104
#define SFX_PIN_OK 1013
#define SFX_PIN_CANCEL 1014
#define SFX_PIN_EDIT 1015
#define SFX_PIN_ICON 1016
#define SFX_PIN_READER 1017
#define SFX_PIN_PROMPT 1018
#define SFX_PIN_LABEL 1019
#define SFX_PIN_READER_CAPTION 1020
#define SFX_PIN_LABEL_CAPTION 1021
#define SFX_PIN_EDIT_CAPTION 1022
