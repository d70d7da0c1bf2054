// The panel's BMP files built into the program, for builds that have no
// resource compiler. The table is generated from the files under resources/.
#pragma once

#include <cstddef>

struct EmbeddedBitmap {
    int id;  // resource number
    const unsigned char* data;
    std::size_t size;
};

// The embedded BMP file with the resource number id, or null.
const EmbeddedBitmap* findEmbeddedBitmap(int id);
