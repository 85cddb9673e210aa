// The scans for the bytes the preprocessor's passes act on.  With SSE2 sixteen bytes are
// compared at once and a text's last, partial block is read as the sixteen
// bytes that end the text (its first bytes were found plain already); a text
// shorter than sixteen bytes, or a machine without SSE2, goes byte by byte
// through a table.  Both ways give the same index.
#include "preprocess/plain_text.h"

#include <array>
#include <bit>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tallow {
namespace {

constexpr size_t kBlock = 16;

// Marks the bytes of `kSet`, and with `kHigh` every byte of 0x80 and above.
template <bool kHigh, char... kSet>
constexpr std::array<bool, 256> makeTable() {
  std::array<bool, 256> table{};
  for (int c = 0x80; kHigh && c < 0x100; ++c) table[c] = true;
  ((table[static_cast<unsigned char>(kSet)] = true), ...);
  return table;
}

template <bool kHigh, char... kSet>
size_t findScalar(const char* data, size_t size) {
  static constexpr std::array<bool, 256> kTable = makeTable<kHigh, kSet...>();
  for (size_t i = 0; i < size; ++i) {
    if (kTable[static_cast<unsigned char>(data[i])]) return i;
  }
  return size;
}

#if defined(__SSE2__)
// A bit per byte of the block at `p` that is one of the bytes looked for.
template <bool kHigh, char... kSet>
unsigned blockHits(const char* p) {
  __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  __m128i hits = kHigh ? bytes : _mm_setzero_si128();
  ((hits = _mm_or_si128(hits, _mm_cmpeq_epi8(bytes, _mm_set1_epi8(kSet)))), ...);
  return static_cast<unsigned>(_mm_movemask_epi8(hits));
}

// blockHits for the bytes of firstSpecialByte, in one step fewer: ";" (3Bh)
// and "?" (3Fh) are the two bytes that give 3Fh with bit 2 set.
unsigned specialHits(const char* p) {
  __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  __m128i hits = _mm_cmpeq_epi8(bytes, _mm_setzero_si128());
  hits =
      _mm_or_si128(hits, _mm_cmpeq_epi8(_mm_or_si128(bytes, _mm_set1_epi8(4)), _mm_set1_epi8('?')));
  hits = _mm_or_si128(hits, _mm_cmpeq_epi8(bytes, _mm_set1_epi8('$')));
  hits = _mm_or_si128(hits, _mm_cmpeq_epi8(bytes, _mm_set1_epi8('/')));
  hits = _mm_or_si128(hits, _mm_cmpeq_epi8(bytes, _mm_set1_epi8('\\')));
  hits = _mm_or_si128(hits, _mm_cmpeq_epi8(bytes, _mm_set1_epi8('{')));
  hits = _mm_or_si128(hits, _mm_cmpeq_epi8(bytes, _mm_set1_epi8('}')));
  return static_cast<unsigned>(_mm_movemask_epi8(hits));
}
#endif

// The index of the first byte for which `hits` sets a bit, by blocks;
// `size` when there is none.  `size` is at least one block.
template <typename Hits>
size_t findByBlocks(const char* data, size_t size, Hits hits) {
  size_t i = 0;
  for (; i + kBlock <= size; i += kBlock) {
    if (unsigned found = hits(data + i)) return i + std::countr_zero(found);
  }
  if (i == size) return size;
  size_t last = size - kBlock;
  unsigned found = hits(data + last);
  return found != 0 ? last + std::countr_zero(found) : size;
}

// The index of the first byte of `kSet` (or of 0x80 and above, with
// `kHigh`), or `size`.
template <bool kHigh, char... kSet>
size_t findFirst(const char* data, size_t size) {
#if defined(__SSE2__)
  if (size >= kBlock) {
    return findByBlocks(data, size, [](const char* p) { return blockHits<kHigh, kSet...>(p); });
  }
#endif
  return findScalar<kHigh, kSet...>(data, size);
}

}  // namespace

size_t firstSpecialByte(std::string_view line) {
#if defined(__SSE2__)
  if (line.size() >= kBlock) {
    return findByBlocks(line.data(), line.size(), [](const char* p) { return specialHits(p); });
  }
#endif
  return findScalar<false, '\0', ';', '/', '$', '?', '\\', '{', '}'>(line.data(), line.size());
}

size_t firstReferenceByte(std::string_view text) {
  return findFirst<true, '$', '?', '\\'>(text.data(), text.size());
}

size_t firstBraceByte(std::string_view text) {
  return findFirst<true, '{', '}', '\\'>(text.data(), text.size());
}

bool mayHoldComment(std::string_view text) {
  return findFirst<false, ';', '/', '\\'>(text.data(), text.size()) != text.size();
}

bool mayHoldReference(std::string_view text) {
  return findFirst<false, '$', '?', '\\'>(text.data(), text.size()) != text.size();
}

bool mayHoldBrace(std::string_view text) {
  return findFirst<false, '{', '}', '\\'>(text.data(), text.size()) != text.size();
}

}  // namespace tallow
