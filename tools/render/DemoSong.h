// The built-in demo: a short piece in D minor, two bars for each of the eight
// factory programs in turn, each with a figure that suits its sound.
#pragma once

#include "tools/render/Timeline.h"

// The piece with a program switch at the start of each section: section s plays
// program s modulo programCount. With fewer than two programs there are no
// switches.
Timeline demoSong(int programCount);

// Number of sections (one per factory program) and their length in seconds.
constexpr int kDemoSections = 8;
double demoSectionSeconds();
