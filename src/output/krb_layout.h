// The KRB file layout: the header carrying the song's settings and the table
// of where each part's data lies, followed by the fifteen part streams in
// part order with no gaps (format in krb_format.h).  FM1's table entry starts
// three bytes early, at the start-of-song event that ends the header.
#pragma once

#include <array>
#include <cstddef>
#include <string>

#include "base/allocator.h"
#include "base/parts.h"
#include "output/byte_buffer.h"

namespace tallow {

// The settings the header carries.
struct KrbHeaderFields {
  bool kr3 = true;
  std::string title, artist;              // cut to their fields
  std::string fmbName, pmbName, wpkName;  // first 12 bytes each
  int soundUse = 0;
  int zenlen = 384;
  bool reverseCompilationPermitted = true;
  int playCount = 1;
};

// Appends the end code to a stream; false when the memory cannot be had.
bool endStream(ByteBuffer& stream);

// Lays out the image from the header fields and the ended (and optimised)
// streams, which are released one by one as they are copied in, so that
// memory stays near one copy of the data.  False, with nothing allocated,
// when the image cannot be had or would exceed kMaxBlockSize.
bool layOutImage(const KrbHeaderFields& fields, std::array<ByteBuffer, kPartCount>& streams,
                 Allocator& allocator, ByteBlock& image);

}  // namespace tallow
