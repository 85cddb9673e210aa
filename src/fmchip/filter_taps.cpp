// The two kernels of the resampler's dot product.  Lane j of the eight holds
// the sum over k of in[8k + j] * c[8k + j]; at the end the lanes are added as
// (j, j + 4) pairs, then ((0 + 1) + (2 + 3)).  Every operation is a separate
// IEEE single-precision multiply or add (no fused multiply-add), so both
// kernels round identically.
#include "fmchip/filter_taps.h"

#include <cstring>

namespace tallow::fmchip {
namespace {

typedef float Vector4 __attribute__((vector_size(4 * sizeof(float))));

inline Vector4 load4(const float* p) {
  Vector4 v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

inline float reduce(Vector4 low, Vector4 high) {
  const Vector4 s = low + high;
  return (s[0] + s[1]) + (s[2] + s[3]);
}

}  // namespace

void filterTapsPortable(const TapWindow& w, float& left, float& right) {
  Vector4 left0{}, left1{}, right0{}, right1{};
  for (int k = 0; k < w.taps; k += kTapLanes) {
    Vector4 c0 = load4(w.row + k), c1 = load4(w.row + k + 4);
    if (w.slope) {
      c0 = c0 + w.weight * load4(w.slope + k);
      c1 = c1 + w.weight * load4(w.slope + k + 4);
    }
    left0 += load4(w.left + k) * c0;
    left1 += load4(w.left + k + 4) * c1;
    right0 += load4(w.right + k) * c0;
    right1 += load4(w.right + k + 4) * c1;
  }
  left = reduce(left0, left1);
  right = reduce(right0, right1);
}

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))

namespace {

typedef float Vector8 __attribute__((vector_size(8 * sizeof(float))));

__attribute__((target("avx"))) inline Vector8 load8(const float* p) {
  Vector8 v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

__attribute__((target("avx"))) inline void split(Vector8 v, Vector4& low, Vector4& high) {
  std::memcpy(&low, &v, sizeof low);
  std::memcpy(&high, reinterpret_cast<const char*>(&v) + sizeof low, sizeof high);
}

}  // namespace

__attribute__((target("avx"))) void filterTapsAvx(const TapWindow& w, float& left, float& right) {
  Vector8 sumLeft{}, sumRight{};
  for (int k = 0; k < w.taps; k += kTapLanes) {
    Vector8 c = load8(w.row + k);
    if (w.slope) c = c + w.weight * load8(w.slope + k);
    sumLeft += load8(w.left + k) * c;
    sumRight += load8(w.right + k) * c;
  }
  Vector4 low, high;
  split(sumLeft, low, high);
  left = reduce(low, high);
  split(sumRight, low, high);
  right = reduce(low, high);
}

bool avxAvailable() { return __builtin_cpu_supports("avx"); }

#else

void filterTapsAvx(const TapWindow& w, float& left, float& right) {
  filterTapsPortable(w, left, right);
}

bool avxAvailable() { return false; }

#endif

}  // namespace tallow::fmchip
