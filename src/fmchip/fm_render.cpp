// The per-sample loop of a channel, one instantiation per algorithm so the
// operator connections are fixed at compile time.  The hot state (phases,
// increments, volumes, feedback) lives in locals for the block and goes back
// into the channel at its end; envelopes and PM touch the channel only on the
// samples where they change.
#include "fmchip/fm_render.h"

#include <algorithm>

namespace tallow::fmchip {
namespace {

// The 20-bit phases and their increments sit in the top bits of 32, so the
// sine index is the top 10 bits and the wrap comes free.
constexpr int kPhaseShift = 32 - 20;
constexpr int kIndexShift = 32 - kSineBits;

struct Lanes {
  std::array<uint32_t, 4> phase, increment, volume;
  int32_t fb1, fb2;
};

// One operator: the sine at its phase plus the modulation (in 1/1024 cycle),
// attenuated in the log domain.
inline int32_t operatorOutput(uint32_t phase, int32_t modulation, uint32_t volume) {
  const uint32_t index =
      (phase + (static_cast<uint32_t>(modulation) << kIndexShift)) >> kIndexShift;
  return kExpTable[kLogSine[index] + volume];
}

// One sample of algorithm Alg.  A modulator's output shifted right by one
// moves the carrier's phase (a full-level modulator swings it by 4 cycles);
// operator 1 takes the sum of its last two outputs, shifted by 10 - FB.
template <int Alg>
inline int32_t evaluate(Lanes& l, int fbShift, int32_t fbMask) {
  auto op = [&l](int i, int32_t modulation) {
    return operatorOutput(l.phase[i], modulation, l.volume[i]);
  };
  const int32_t o1 = op(0, ((l.fb1 + l.fb2) >> fbShift) & fbMask);
  l.fb2 = l.fb1;
  l.fb1 = o1;
  int32_t out = 0;
  if constexpr (Alg == 0) {
    out = op(3, op(2, op(1, o1 >> 1) >> 1) >> 1);
  } else if constexpr (Alg == 1) {
    out = op(3, op(2, (o1 + op(1, 0)) >> 1) >> 1);
  } else if constexpr (Alg == 2) {
    out = op(3, (o1 + op(2, op(1, 0) >> 1)) >> 1);
  } else if constexpr (Alg == 3) {
    out = op(3, (op(1, o1 >> 1) + op(2, 0)) >> 1);
  } else if constexpr (Alg == 4) {
    out = op(1, o1 >> 1) + op(3, op(2, 0) >> 1);
  } else if constexpr (Alg == 5) {
    out = op(1, o1 >> 1) + op(2, o1 >> 1) + op(3, o1 >> 1);
  } else if constexpr (Alg == 6) {
    out = op(1, o1 >> 1) + op(2, 0) + op(3, 0);
  } else {
    out = o1 + op(1, 0) + op(2, 0) + op(3, 0);
  }
  for (int i = 0; i < 4; ++i) l.phase[i] += l.increment[i];
  // The carriers add up without a limit, as on the chip: two full-level
  // carriers are twice as loud as one, not clipped to one's range.
  return out;
}

void addTo(int32_t* mix, const int32_t* output, int frames) {
  for (int s = 0; s < frames; ++s) mix[s] += output[s];
}

void reloadVolumes(Lanes& l, const Channel& ch) {
  for (int i = 0; i < 4; ++i) l.volume[i] = static_cast<uint32_t>(ch.op[i].volume);
}

void reloadIncrements(Lanes& l, const Channel& ch) {
  for (int i = 0; i < 4; ++i) l.increment[i] = ch.op[i].increment << kPhaseShift;
}

// The EG clocks on which some operator of `ch` acts have these counter bits
// clear: the masks are all of the form 2^n - 1, so the smallest decides.
uint32_t channelEgMask(const Channel& ch) {
  uint32_t mask = ch.op[0].egMask;
  for (int i = 1; i < 4; ++i) mask = std::min<uint32_t>(mask, ch.op[i].egMask);
  return mask;
}

// Volumes are recomputed only where the envelope moved or the AM did.
void tickEnvelopes(Channel& ch, uint32_t counter, int am) {
  const bool amMoved = am != ch.amLevel;
  ch.amLevel = am;
  for (Operator& op : ch.op) {
    if (envelopeTick(op, counter) || (amMoved && op.amOn)) updateVolume(op, am);
  }
}

void retune(Channel& ch, int pmStep) {
  ch.pmStep = pmStep;
  for (Operator& op : ch.op) updateIncrement(op, ch.pms, pmStep);
}

template <int Alg>
void renderAlgorithm(Channel& ch, const BlockClock& clock, int32_t* mixLeft, int32_t* mixRight) {
  Lanes l{};
  for (int i = 0; i < 4; ++i) l.phase[i] = ch.op[i].phase << kPhaseShift;
  reloadIncrements(l, ch);
  reloadVolumes(l, ch);
  l.fb1 = ch.fb1;
  l.fb2 = ch.fb2;
  const int fbShift = ch.feedback ? 10 - ch.feedback : 0;
  const int32_t fbMask = ch.feedback ? -1 : 0;
  const int amShift = kAmShift[ch.ams & 3];
  const bool pmOn = ch.pms != 0;
  int pmStep = ch.pmStep;
  uint32_t egMask = channelEgMask(ch);
  std::array<int32_t, kBlockFrames> output;
  const int frames = clock.frames;
  for (int s = 0; s < frames; ++s) {
    if (clock.egTick[s]) {
      const int am = clock.am[s] >> amShift;
      if ((clock.egCounter[s] & egMask) == 0 || am != ch.amLevel) {
        tickEnvelopes(ch, clock.egCounter[s], am);
        egMask = channelEgMask(ch);
        reloadVolumes(l, ch);
      }
    }
    if (pmOn && clock.pm[s] != pmStep) {
      pmStep = clock.pm[s];
      retune(ch, pmStep);
      reloadIncrements(l, ch);
    }
    output[s] = evaluate<Alg>(l, fbShift, fbMask);
  }
  if (ch.left) addTo(mixLeft, output.data(), frames);
  if (ch.right) addTo(mixRight, output.data(), frames);
  for (int i = 0; i < 4; ++i) ch.op[i].phase = l.phase[i] >> kPhaseShift;
  ch.fb1 = l.fb1;
  ch.fb2 = l.fb2;
}

using RenderFunction = void (*)(Channel&, const BlockClock&, int32_t*, int32_t*);
constexpr std::array<RenderFunction, 8> kRenderers = {
    renderAlgorithm<0>, renderAlgorithm<1>, renderAlgorithm<2>, renderAlgorithm<3>,
    renderAlgorithm<4>, renderAlgorithm<5>, renderAlgorithm<6>, renderAlgorithm<7>};

}  // namespace

void renderChannel(Channel& channel, const BlockClock& clock, int32_t* mixLeft, int32_t* mixRight) {
  kRenderers[channel.algorithm & 7](channel, clock, mixLeft, mixRight);
}

}  // namespace tallow::fmchip
