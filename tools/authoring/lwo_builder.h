#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace lwmd5::authoring {

using Bytes = std::vector<std::uint8_t>;

// Big-endian LWO2 data, byte by byte.
class ByteWriter {
public:
    ByteWriter& u8(std::uint8_t value);
    ByteWriter& u16(std::uint16_t value);
    ByteWriter& u32(std::uint32_t value);
    ByteWriter& f32(float value);
    // Four ASCII letters.
    ByteWriter& id(std::string_view fourLetters);
    // LWO2's variable-length index: two bytes below 65280, else four bytes
    // with 0xFF first. `forceLong` writes the four-byte form for any index.
    ByteWriter& index(std::uint32_t value, bool forceLong = false);
    // A zero-terminated string padded to an even length.
    ByteWriter& name(std::string_view text);
    ByteWriter& raw(const Bytes& data);

    const Bytes& bytes() const { return bytes_; }
    Bytes take() { return std::move(bytes_); }

private:
    Bytes bytes_;
};

// An 8-byte header (id and big-endian length) followed by `data`; no pad byte.
Bytes chunk(std::string_view id, const Bytes& data);
// A chunk whose length field says `declaredLength`, whatever the data holds.
Bytes chunkWithLength(std::string_view id, std::uint32_t declaredLength, const Bytes& data);
// FORM <length> <formType> followed by the chunks.
Bytes form(std::string_view formType, const std::vector<Bytes>& chunks);
Bytes concat(const std::vector<Bytes>& parts);

using Point = std::array<float, 3>;

struct UvEntry {
    std::uint32_t point;
    float u;
    float v;
};
struct UvFixEntry {
    std::uint32_t point;
    std::uint32_t polygon;
    float u;
    float v;
};
struct WeightEntry {
    std::uint32_t point;
    float weight;
};

// Chunk makers. Indices use the four-byte form when they need it, or always
// with `longIndices`.
Bytes pntsChunk(const std::vector<Point>& points);
// Each polygon is its corner list; `flags` go into the top six bits of the
// count word.
Bytes polsChunk(const std::vector<std::vector<std::uint32_t>>& polygons, std::string_view type = "FACE",
                std::uint16_t flags = 0, bool longIndices = false);
Bytes uvMapChunk(std::string_view name, const std::vector<UvEntry>& entries, bool longIndices = false);
Bytes weightMapChunk(std::string_view name, const std::vector<WeightEntry>& entries, bool longIndices = false);
Bytes uvFixMapChunk(std::string_view name, const std::vector<UvFixEntry>& entries, bool longIndices = false);
// A VMAP or VMAD of any type and dimension, values given flat (dimension per entry).
Bytes vertexMapChunk(std::string_view chunkId, std::string_view type, std::uint16_t dimension, std::string_view name,
                     const std::vector<std::uint32_t>& points, const std::vector<float>& values);
Bytes surfChunk(std::string_view name, std::string_view source = "");
Bytes tagsChunk(const std::vector<std::string>& tags);
Bytes layrChunk(std::uint16_t number, std::string_view name);
// PTAG of `type` with (polygon, tag) pairs.
Bytes ptagChunk(std::string_view type, const std::vector<std::pair<std::uint32_t, std::uint16_t>>& tags);

} // namespace lwmd5::authoring
