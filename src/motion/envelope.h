#pragma once

#include "scene/scene.h"

namespace lwmd5 {

// Behaviour codes before the first and after the last key, as the scene
// file writes them (Envelope::preBehavior, postBehavior). A file may hold
// any other number too.
enum class Behavior { Reset = 0, Constant = 1, Repeat = 2, Oscillate = 3, OffsetRepeat = 4, Linear = 5 };
// Shape codes of the span that ends at a key (EnvelopeKey::shape).
enum class KeyShape { Tcb = 0, Hermite = 1, Bezier1D = 2, Linear = 3, Stepped = 4, Bezier2D = 5 };

// The channel's value at `time` seconds. Every named intermediate is a float;
// each is computed in double from its float operands and rounded once.
// This form walks the keys from the first to find the span.
float evaluateEnvelope(const Envelope& envelope, float time);

// The span that holds a time is found by walking from the first key while
// the time lies after the next key. The walk stops at the first key (from
// the second on) whose time is not before the time sought, which is where
// the running latest time of keys 1, 2, ... first reaches it: so the answer
// is a bisection over those running maxima, for keys in any order. A key
// time that is not a number stops the walk, so it counts as +infinity.
class SpanSearch {
public:
    explicit SpanSearch(const std::vector<EnvelopeKey>& keys);
    // The index of the key that starts the span, as the walk finds it.
    std::size_t find(float time) const;

private:
    std::vector<float> reach_; // reach_[j]: the latest time among keys 1 .. j + 1
};

// For callers that sample one envelope many times: the span is found by
// `search`, built from this envelope's keys; the value is the walk's.
float evaluateEnvelope(const Envelope& envelope, float time, const SpanSearch& search);

// Folds `v` into the key range [lo, hi]: the folded time lo + (v folded into
// [0, hi - lo)), and the number of whole cycles (as an integral double, so it
// never overflows).
struct WrappedTime {
    float time;
    double cycles;
};
WrappedTime wrapTime(float v, float lo, float hi);

// The index of the key that starts the span holding `time`, found by walking
// from the first key while `time` lies after the next key (never beyond the
// last span).
std::size_t findSpanLinear(const std::vector<EnvelopeKey>& keys, float time);

} // namespace lwmd5
