// The KRB file layout: a 259-byte header carrying the song's settings and a
// table of where each part's data lies, followed by the fifteen part streams
// in part order with no gaps.  FM1's table entry starts three bytes early, at
// the start-of-song event that ends the header.
#pragma once

#include <cstddef>

namespace tallow {

struct CompileContext;

constexpr size_t kKrbHeaderSize = 0x103;
constexpr size_t kPartTableOffset = 0x6D;

// Ends every stream, optimises it (twice, unless optimisation is off), lays
// out the image and fills the job's result fields.
void buildImage(CompileContext& ctx);

}  // namespace tallow
