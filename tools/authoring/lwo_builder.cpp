#include "lwo_builder.h"

#include <bit>

namespace lwmd5::authoring {

ByteWriter& ByteWriter::u8(std::uint8_t value)
{
    bytes_.push_back(value);
    return *this;
}

ByteWriter& ByteWriter::u16(std::uint16_t value)
{
    bytes_.push_back(static_cast<std::uint8_t>(value >> 8));
    bytes_.push_back(static_cast<std::uint8_t>(value));
    return *this;
}

ByteWriter& ByteWriter::u32(std::uint32_t value)
{
    for (int shift = 24; shift >= 0; shift -= 8) bytes_.push_back(static_cast<std::uint8_t>(value >> shift));
    return *this;
}

ByteWriter& ByteWriter::f32(float value)
{
    return u32(std::bit_cast<std::uint32_t>(value));
}

ByteWriter& ByteWriter::id(std::string_view fourLetters)
{
    for (std::size_t i = 0; i < 4; ++i) {
        bytes_.push_back(i < fourLetters.size() ? static_cast<std::uint8_t>(fourLetters[i]) : std::uint8_t{' '});
    }
    return *this;
}

ByteWriter& ByteWriter::index(std::uint32_t value, bool forceLong)
{
    if (value < 0xFF00u && !forceLong) return u16(static_cast<std::uint16_t>(value));
    return u32(0xFF000000u | (value & 0x00FFFFFFu));
}

ByteWriter& ByteWriter::name(std::string_view text)
{
    for (const char c : text) bytes_.push_back(static_cast<std::uint8_t>(c));
    bytes_.push_back(0);
    if ((text.size() + 1) % 2 != 0) bytes_.push_back(0);
    return *this;
}

ByteWriter& ByteWriter::raw(const Bytes& data)
{
    bytes_.insert(bytes_.end(), data.begin(), data.end());
    return *this;
}

Bytes chunkWithLength(std::string_view id, std::uint32_t declaredLength, const Bytes& data)
{
    ByteWriter writer;
    writer.id(id).u32(declaredLength).raw(data);
    return writer.take();
}

Bytes chunk(std::string_view id, const Bytes& data)
{
    return chunkWithLength(id, static_cast<std::uint32_t>(data.size()), data);
}

Bytes concat(const std::vector<Bytes>& parts)
{
    Bytes all;
    for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

Bytes form(std::string_view formType, const std::vector<Bytes>& chunks)
{
    std::vector<Bytes> parts;
    parts.reserve(chunks.size() + 1);
    parts.push_back(ByteWriter().id(formType).take());
    parts.insert(parts.end(), chunks.begin(), chunks.end());
    return chunk("FORM", concat(parts));
}

Bytes pntsChunk(const std::vector<Point>& points)
{
    ByteWriter data;
    for (const Point& p : points) data.f32(p[0]).f32(p[1]).f32(p[2]);
    return chunk("PNTS", data.bytes());
}

Bytes polsChunk(const std::vector<std::vector<std::uint32_t>>& polygons, std::string_view type, std::uint16_t flags,
                bool longIndices)
{
    ByteWriter data;
    data.id(type);
    for (const auto& polygon : polygons) {
        data.u16(static_cast<std::uint16_t>((flags << 10) | (polygon.size() & 0x3FF)));
        for (const std::uint32_t corner : polygon) data.index(corner, longIndices);
    }
    return chunk("POLS", data.bytes());
}

Bytes uvMapChunk(std::string_view name, const std::vector<UvEntry>& entries, bool longIndices)
{
    ByteWriter data;
    data.id("TXUV").u16(2).name(name);
    for (const UvEntry& e : entries) data.index(e.point, longIndices).f32(e.u).f32(e.v);
    return chunk("VMAP", data.bytes());
}

Bytes weightMapChunk(std::string_view name, const std::vector<WeightEntry>& entries, bool longIndices)
{
    ByteWriter data;
    data.id("WGHT").u16(1).name(name);
    for (const WeightEntry& e : entries) data.index(e.point, longIndices).f32(e.weight);
    return chunk("VMAP", data.bytes());
}

Bytes uvFixMapChunk(std::string_view name, const std::vector<UvFixEntry>& entries, bool longIndices)
{
    ByteWriter data;
    data.id("TXUV").u16(2).name(name);
    for (const UvFixEntry& e : entries) {
        data.index(e.point, longIndices).index(e.polygon, longIndices).f32(e.u).f32(e.v);
    }
    return chunk("VMAD", data.bytes());
}

Bytes vertexMapChunk(std::string_view chunkId, std::string_view type, std::uint16_t dimension, std::string_view name,
                     const std::vector<std::uint32_t>& points, const std::vector<float>& values)
{
    ByteWriter data;
    data.id(type).u16(dimension).name(name);
    std::size_t v = 0;
    for (const std::uint32_t point : points) {
        data.index(point);
        for (std::uint16_t d = 0; d < dimension && v < values.size(); ++d) data.f32(values[v++]);
    }
    return chunk(chunkId, data.bytes());
}

Bytes surfChunk(std::string_view name, std::string_view source)
{
    ByteWriter data;
    data.name(name).name(source);
    return chunk("SURF", data.bytes());
}

Bytes tagsChunk(const std::vector<std::string>& tags)
{
    ByteWriter data;
    for (const std::string& tag : tags) data.name(tag);
    return chunk("TAGS", data.bytes());
}

Bytes layrChunk(std::uint16_t number, std::string_view name)
{
    ByteWriter data;
    data.u16(number).u16(0).f32(0).f32(0).f32(0).name(name);
    return chunk("LAYR", data.bytes());
}

Bytes ptagChunk(std::string_view type, const std::vector<std::pair<std::uint32_t, std::uint16_t>>& tags)
{
    ByteWriter data;
    data.id(type);
    for (const auto& [polygon, tag] : tags) data.index(polygon).u16(tag);
    return chunk("PTAG", data.bytes());
}

} // namespace lwmd5::authoring
