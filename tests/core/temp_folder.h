// The shared scratch folder and file helpers, under the name the loader's suites use.
#pragma once

#include "knot_names.h"

#include "file_text.h"
#include "scratch_folder.h"

using TempFolder = ScratchFolder;
