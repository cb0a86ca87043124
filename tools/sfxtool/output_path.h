// Where create writes its archive: the path given with -o, or one named after the first path,
// and whether an archive can be written there, asked before the password is: the folder must
// exist and take new files, the path must not be a folder, nor one of the files to store.
#pragma once

#include <string>

#include "tools/sfxtool/input_walk.h"
#include "tools/sfxtool/options.h"

// The archive's path without -o: the first path's last name (a file's without its extension),
// with .exe, or .tvf for a plain archive.
std::u16string defaultOutput(const Options& o, bool stub);

// 0 when the archive can be written at `output`, or the exit status after naming the path and
// the reason: 4 when nothing can be written there, 64 when it is one of the files to store.
int checkOutput(const Options& o, const std::u16string& output, const GatheredNames& listed);
