// The eight programs every new instance starts with.
#pragma once

#include "instrument/ProgramBank.h"

extern const ProgramRecord kFactoryPrograms[8];
