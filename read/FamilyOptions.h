#pragma once

// The family options live below both programs now; this name stays for the reader's code.

#include "scale/families/FamilyOptions.h"

namespace reader {
using FamilyOptions = scale::families::FamilyOptions;
}  // namespace reader
