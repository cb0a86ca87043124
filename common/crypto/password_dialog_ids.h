// Resource ids of the password dialog in both deliverables. The two templates differ in layout
// as well as in ids (password_dialog_extractor.rc, password_dialog_plugin.rc); the numbers are
// written once here, for the resource scripts and for the C++ code alike. Only #define lines:
// the resource compiler reads this file.
#pragma once

// In the extractor.
#define QUILLON_EXTRACTOR_PASSWORD_DIALOG 101
#define QUILLON_EXTRACTOR_PASSWORD_LABEL 1010
#define QUILLON_EXTRACTOR_PASSWORD_EDIT 1007
#define QUILLON_EXTRACTOR_CONFIRM_LABEL 1009
#define QUILLON_EXTRACTOR_CONFIRM_EDIT 1008
#define QUILLON_EXTRACTOR_QUALITY_LABEL 1012
#define QUILLON_EXTRACTOR_QUALITY_BAR 1011

// In the plug-in.
#define QUILLON_PLUGIN_PASSWORD_DIALOG 102
#define QUILLON_PLUGIN_PASSWORD_LABEL 1012
#define QUILLON_PLUGIN_PASSWORD_EDIT 1009
#define QUILLON_PLUGIN_CONFIRM_LABEL 1011
#define QUILLON_PLUGIN_CONFIRM_EDIT 1010
#define QUILLON_PLUGIN_QUALITY_LABEL 1014
#define QUILLON_PLUGIN_QUALITY_BAR 1013
