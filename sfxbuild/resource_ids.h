// Resource ids of the plug-in: its dialogs and controls. Only #define lines: the resource
// compiler reads this file too. The password (102) and progress (103) dialogs have their ids in
// the shared headers of common/.
#pragma once

// The creation dialog.
#define BUILD_CREATE_DIALOG 101
#define BUILD_CREATE_FILE_LIST 1000
#define BUILD_CREATE_ARCHIVE_NAME 1001
#define BUILD_CREATE_CREATE 1002
#define BUILD_CREATE_ADD_FILES 1003
#define BUILD_CREATE_FILES_LABEL 1004
#define BUILD_CREATE_NAME_LABEL 1005

// The extraction dialog.
#define BUILD_EXTRACT_DIALOG 104
#define BUILD_EXTRACT_HELP 1008
#define BUILD_EXTRACT_DESTINATION 1015
#define BUILD_EXTRACT_BROWSE 1016
#define BUILD_EXTRACT_EXTRACT 1017
#define BUILD_EXTRACT_DESTINATION_LABEL 1018
