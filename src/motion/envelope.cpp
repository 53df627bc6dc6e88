#include "motion/envelope.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace lwmd5 {

namespace {

constexpr float kOneThird = 0.33333334f;
constexpr float kHandleThreshold = 0.00001f;
constexpr float kHandleFactor = 100000.0f;
constexpr float kBisectionTolerance = 0.0001f;
constexpr int kMaxBisections = 64;

float toFloat(double value)
{
    return static_cast<float>(value);
}

float outgoingTangent(const std::vector<EnvelopeKey>& keys, std::size_t i0)
{
    const EnvelopeKey& key0 = keys[i0];
    const EnvelopeKey& key1 = keys[i0 + 1];
    const EnvelopeKey* prev = i0 > 0 ? &keys[i0 - 1] : nullptr;
    const float d = toFloat(static_cast<double>(key1.value) - key0.value);
    const float s = prev != nullptr ? toFloat((static_cast<double>(key1.time) - key0.time) /
                                              (static_cast<double>(key1.time) - prev->time))
                                    : 0.0f;
    switch (static_cast<KeyShape>(key0.shape)) {
    case KeyShape::Tcb: {
        const double t = key0.tension, c = key0.continuity, b = key0.bias;
        const float a = toFloat((1.0 - t) * (1.0 + c) * (1.0 + b));
        const float bb = toFloat((1.0 - t) * (1.0 - c) * (1.0 - b));
        if (prev == nullptr) return toFloat(static_cast<double>(bb) * d);
        return toFloat(s * (static_cast<double>(a) * (static_cast<double>(key0.value) - prev->value) +
                            static_cast<double>(bb) * d));
    }
    case KeyShape::Linear:
        if (prev == nullptr) return d;
        return toFloat(s * (static_cast<double>(key0.value) - prev->value + d));
    case KeyShape::Hermite:
    case KeyShape::Bezier1D:
        if (prev == nullptr) return key0.params[1];
        return toFloat(static_cast<double>(s) * key0.params[1]);
    case KeyShape::Bezier2D: {
        const float q = toFloat((static_cast<double>(key1.time) - key0.time) * key0.params[3]);
        if (std::fabs(key0.params[2]) > kHandleThreshold) return toFloat(static_cast<double>(q) / key0.params[2]);
        return toFloat(static_cast<double>(q) * kHandleFactor);
    }
    default:
        return 0.0f;
    }
}

float incomingTangent(const std::vector<EnvelopeKey>& keys, std::size_t i0)
{
    const EnvelopeKey& key0 = keys[i0];
    const EnvelopeKey& key1 = keys[i0 + 1];
    const EnvelopeKey* next = i0 + 2 < keys.size() ? &keys[i0 + 2] : nullptr;
    const float d = toFloat(static_cast<double>(key1.value) - key0.value);
    const float s = next != nullptr ? toFloat((static_cast<double>(key1.time) - key0.time) /
                                              (static_cast<double>(next->time) - key0.time))
                                    : 0.0f;
    switch (static_cast<KeyShape>(key1.shape)) {
    case KeyShape::Tcb: {
        const double t = key1.tension, c = key1.continuity, b = key1.bias;
        const float a = toFloat((1.0 - t) * (1.0 - c) * (1.0 + b));
        const float bb = toFloat((1.0 - t) * (1.0 + c) * (1.0 - b));
        if (next == nullptr) return toFloat(static_cast<double>(a) * d);
        return toFloat(s * (static_cast<double>(bb) * (static_cast<double>(next->value) - key1.value) +
                            static_cast<double>(a) * d));
    }
    case KeyShape::Linear:
        if (next == nullptr) return d;
        return toFloat(s * (static_cast<double>(next->value) - key1.value + d));
    case KeyShape::Hermite:
    case KeyShape::Bezier1D:
        if (next == nullptr) return key1.params[0];
        return toFloat(static_cast<double>(s) * key1.params[0]);
    case KeyShape::Bezier2D: {
        const float q = toFloat((static_cast<double>(key1.time) - key0.time) * key1.params[1]);
        if (std::fabs(key1.params[0]) > kHandleThreshold) return toFloat(static_cast<double>(q) / key1.params[0]);
        return toFloat(static_cast<double>(q) * kHandleFactor);
    }
    default:
        return 0.0f;
    }
}

// a s^3 + b s^2 + c s + p0 with the cubic's coefficients from four control values.
float cubic(float p0, float p1, float p2, float p3, float s)
{
    const float c = toFloat(3.0 * (static_cast<double>(p1) - p0));
    const float b = toFloat(3.0 * (static_cast<double>(p2) - p1) - c);
    const float a = toFloat(static_cast<double>(p3) - p0 - c - b);
    const double ds = s;
    return toFloat(a * ds * ds * ds + b * ds * ds + c * ds + p0);
}

// Bisection for the curve parameter whose time is t. It stops at the
// tolerance, when halving no longer changes the interval, or after a bounded
// number of halvings, so spans too long for single precision still end.
float bezier2DParameter(float x0, float x1, float x2, float x3, float t)
{
    float lo = 0.0f;
    float hi = 1.0f;
    float s = 0.5f;
    for (int step = 0; step < kMaxBisections; ++step) {
        s = toFloat(lo + (static_cast<double>(hi) - lo) * 0.5);
        const float v = cubic(x0, x1, x2, x3, s);
        if (!(std::fabs(static_cast<double>(t) - v) > kBisectionTolerance)) return s;
        if (s == lo || s == hi) return s;
        if (v > t) {
            hi = s;
        } else {
            lo = s;
        }
    }
    return s;
}

float bezier2DValue(const EnvelopeKey& key0, const EnvelopeKey& key1, float t)
{
    const float x1 = key0.shape == static_cast<int>(KeyShape::Bezier2D)
                         ? toFloat(static_cast<double>(key0.time) + key0.params[2])
                         : toFloat(key0.time + (static_cast<double>(key1.time) - key0.time) * kOneThird);
    const float x2 = toFloat(static_cast<double>(key1.time) + key1.params[0]);
    const float s = bezier2DParameter(key0.time, x1, x2, key1.time, t);
    const float y1 = key0.shape == static_cast<int>(KeyShape::Bezier2D) ? toFloat(static_cast<double>(key0.value) + key0.params[3])
                                             : toFloat(key0.value + static_cast<double>(key0.params[1]) * kOneThird);
    const float y2 = toFloat(static_cast<double>(key1.value) + key1.params[1]);
    return cubic(key0.value, y1, y2, key1.value, s);
}

bool isOdd(double cycles)
{
    return std::fmod(cycles, 2.0) != 0.0;
}

} // namespace

WrappedTime wrapTime(float v, float lo, float hi)
{
    const float r = toFloat(static_cast<double>(hi) - lo);
    if (r == 0.0f) return {lo, 0.0};
    // lo + v is rounded first; then v folded into [0, r) is added to lo. For
    // lo other than 0 this is not v folded into [lo, hi), and it stays so.
    const float shifted = toFloat(static_cast<double>(lo) + v);
    const float folded = toFloat(shifted - static_cast<double>(r) * std::floor(static_cast<double>(v) / r));
    const double half = folded > v ? 0.5 : -0.5;
    const double cycles = -std::trunc((static_cast<double>(folded) - v) / r + half);
    return {folded, cycles};
}

std::size_t findSpanLinear(const std::vector<EnvelopeKey>& keys, float time)
{
    std::size_t k = 0;
    while (k + 2 < keys.size() && time > keys[k + 1].time) ++k;
    return k;
}

SpanSearch::SpanSearch(const std::vector<EnvelopeKey>& keys)
{
    if (keys.size() < 2) return;
    reach_.resize(keys.size() - 1);
    float latest = -std::numeric_limits<float>::infinity();
    for (std::size_t j = 1; j < keys.size(); ++j) {
        const float time = std::isnan(keys[j].time) ? std::numeric_limits<float>::infinity() : keys[j].time;
        if (time > latest) latest = time;
        reach_[j - 1] = latest;
    }
}

std::size_t SpanSearch::find(float time) const
{
    if (reach_.empty()) return 0;
    const auto found = std::lower_bound(reach_.begin(), reach_.end() - 1, time,
                                        [](float reach, float t) { return t > reach; });
    return static_cast<std::size_t>(found - reach_.begin());
}

namespace {

// What a behaviour makes of a time before the first key or after the last:
// either a value to return at once, or the time to evaluate the keys at
// (folded into their range) and an offset to add.
struct OutsideKeys {
    bool settled = false;
    float value = 0.0f;
    float time = 0.0f;
    float offset = 0.0f;
};

OutsideKeys settledAt(float value)
{
    return {true, value, 0.0f, 0.0f};
}

// The straight line through the end key with the slope of its span's tangent.
float linearBeyond(const std::vector<EnvelopeKey>& keys, float t, bool before)
{
    const EnvelopeKey& end = before ? keys.front() : keys.back();
    const EnvelopeKey& inner = before ? keys[1] : keys[keys.size() - 2];
    const double span = before ? static_cast<double>(inner.time) - end.time : static_cast<double>(end.time) - inner.time;
    if (span == 0.0) return end.value; // no slope to follow
    const float tangent = before ? outgoingTangent(keys, 0) : incomingTangent(keys, keys.size() - 2);
    return toFloat(end.value + (tangent / span) * (static_cast<double>(t) - end.time));
}

OutsideKeys applyBehavior(int code, const std::vector<EnvelopeKey>& keys, float t, bool before)
{
    const EnvelopeKey& first = keys.front();
    const EnvelopeKey& last = keys.back();
    switch (static_cast<Behavior>(code)) {
    case Behavior::Reset: return settledAt(0.0f);
    case Behavior::Constant: return settledAt(before ? first.value : last.value);
    case Behavior::Repeat: return {false, 0.0f, wrapTime(t, first.time, last.time).time, 0.0f};
    case Behavior::Oscillate: {
        const WrappedTime wrapped = wrapTime(t, first.time, last.time);
        const float folded = isOdd(wrapped.cycles) ? toFloat(static_cast<double>(last.time) - first.time - wrapped.time)
                                                   : wrapped.time;
        return {false, 0.0f, folded, 0.0f};
    }
    case Behavior::OffsetRepeat: {
        const WrappedTime wrapped = wrapTime(t, first.time, last.time);
        return {false, 0.0f, wrapped.time, toFloat(wrapped.cycles * (static_cast<double>(last.value) - first.value))};
    }
    case Behavior::Linear: return settledAt(linearBeyond(keys, t, before));
    }
    // Another code: before the keys the first span's curve is extrapolated;
    // after them the value stays at the last key's.
    return before ? OutsideKeys{false, 0.0f, t, 0.0f} : settledAt(last.value);
}

// The value inside the span that starts at key k0.
float evaluateSpan(const std::vector<EnvelopeKey>& keys, std::size_t k0, float t, float offset)
{
    const EnvelopeKey& key0 = keys[k0];
    const EnvelopeKey& key1 = keys[k0 + 1];
    if (t == key0.time) return toFloat(static_cast<double>(key0.value) + offset);
    if (t == key1.time) return toFloat(static_cast<double>(key1.value) + offset);

    const float u = toFloat((static_cast<double>(t) - key0.time) / (static_cast<double>(key1.time) - key0.time));
    const double du = u;
    switch (static_cast<KeyShape>(key1.shape)) {
    case KeyShape::Tcb:
    case KeyShape::Hermite:
    case KeyShape::Bezier1D: {
        const float out = outgoingTangent(keys, k0);
        const float in = incomingTangent(keys, k0);
        const float h2 = toFloat(3.0 * du * du - 2.0 * du * du * du);
        const float h1 = toFloat(1.0 - h2);
        const float h4 = toFloat(du * du * du - du * du);
        const float h3 = toFloat(h4 - du * du + du);
        return toFloat(static_cast<double>(h1) * key0.value + static_cast<double>(h2) * key1.value +
                       static_cast<double>(h3) * out + static_cast<double>(h4) * in + offset);
    }
    case KeyShape::Linear:
        return toFloat(key0.value + du * (static_cast<double>(key1.value) - key0.value) + offset);
    case KeyShape::Stepped:
        return toFloat(static_cast<double>(key0.value) + offset);
    case KeyShape::Bezier2D:
        return toFloat(static_cast<double>(bezier2DValue(key0, key1, t)) + offset);
    }
    return offset;
}

// The evaluation once the span search is settled; `findSpan` maps a time to
// the index of the key that starts its span.
template <typename FindSpan>
float evaluateWith(const Envelope& envelope, float time, const FindSpan& findSpan)
{
    const std::vector<EnvelopeKey>& keys = envelope.keys;
    if (keys.empty()) return 0.0f;
    if (keys.size() == 1) return keys.front().value;

    OutsideKeys inside{false, 0.0f, time, 0.0f};
    if (time < keys.front().time) {
        inside = applyBehavior(envelope.preBehavior, keys, time, true);
    } else if (time > keys.back().time) {
        inside = applyBehavior(envelope.postBehavior, keys, time, false);
    }
    if (inside.settled) return inside.value;
    // A folded time that rounded beyond the last key stays on it.
    const float t = inside.time > keys.back().time ? keys.back().time : inside.time;
    return evaluateSpan(keys, findSpan(t), t, inside.offset);
}

} // namespace

float evaluateEnvelope(const Envelope& envelope, float time)
{
    return evaluateWith(envelope, time, [&envelope](float t) { return findSpanLinear(envelope.keys, t); });
}

float evaluateEnvelope(const Envelope& envelope, float time, const SpanSearch& search)
{
    return evaluateWith(envelope, time, [&search](float t) { return search.find(t); });
}

} // namespace lwmd5
