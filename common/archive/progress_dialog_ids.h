// Resource ids of the progress dialog in both deliverables: the template and its three controls.
// The extractor and the plug-in carry the same template under different ids, so the numbers are
// written once here and read both by the resource scripts (through progress_dialog.rc) and by the
// C++ code that binds the controls. Only #define lines: the resource compiler reads this file.
#pragma once

// In the extractor.
#define QUILLON_EXTRACTOR_PROGRESS_DIALOG 102
#define QUILLON_EXTRACTOR_PROGRESS_STATUS 1004
#define QUILLON_EXTRACTOR_PROGRESS_PERCENT 1006
#define QUILLON_EXTRACTOR_PROGRESS_BAR 1005

// In the plug-in.
#define QUILLON_PLUGIN_PROGRESS_DIALOG 103
#define QUILLON_PLUGIN_PROGRESS_STATUS 1008
#define QUILLON_PLUGIN_PROGRESS_PERCENT 1007
#define QUILLON_PLUGIN_PROGRESS_BAR 1006
