#include "scene/scene.h"

namespace lwmd5 {

Channels::Channels(const Channels& other)
{
    if (other.envelopes_) envelopes_ = std::make_unique<Envelopes>(*other.envelopes_);
}

Channels& Channels::operator=(const Channels& other)
{
    if (this != &other) {
        envelopes_ = other.envelopes_ ? std::make_unique<Envelopes>(*other.envelopes_) : nullptr;
    }
    return *this;
}

const Channels::Envelopes& Channels::stored() const
{
    static const Envelopes none{};
    return envelopes_ ? *envelopes_ : none;
}

Channels::Envelopes& Channels::allocated()
{
    if (!envelopes_) envelopes_ = std::make_unique<Envelopes>();
    return *envelopes_;
}

} // namespace lwmd5
