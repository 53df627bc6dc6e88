#include "object/lwo_reader.h"

#include "object/byte_cursor.h"
#include "platform/file_io.h"
#include "platform/report.h"

#include <cstdio>
#include <string>

namespace lwmd5 {

namespace {

constexpr std::uint32_t makeId(const char (&text)[5])
{
    return (std::uint32_t{static_cast<unsigned char>(text[0])} << 24) |
           (std::uint32_t{static_cast<unsigned char>(text[1])} << 16) |
           (std::uint32_t{static_cast<unsigned char>(text[2])} << 8) |
           std::uint32_t{static_cast<unsigned char>(text[3])};
}

constexpr std::uint32_t kForm = makeId("FORM");
constexpr std::uint32_t kLwo2 = makeId("LWO2");
constexpr std::uint32_t kLwo3 = makeId("LWO3");
constexpr std::uint32_t kPnts = makeId("PNTS");
constexpr std::uint32_t kPols = makeId("POLS");
constexpr std::uint32_t kFace = makeId("FACE");
constexpr std::uint32_t kPtag = makeId("PTAG");
constexpr std::uint32_t kTags = makeId("TAGS");
constexpr std::uint32_t kSurf = makeId("SURF");
constexpr std::uint32_t kVmap = makeId("VMAP");
constexpr std::uint32_t kVmad = makeId("VMAD");
constexpr std::uint32_t kTxuv = makeId("TXUV");
constexpr std::uint32_t kWght = makeId("WGHT");
constexpr std::uint32_t kFourSpaces = makeId("    ");

// Nested FORMs of an LWO2 object are walked like the outer one; this bound
// keeps a file made of nothing but FORM headers from exhausting the stack.
constexpr int kMaxFormDepth = 32;

// The vertex count of a polygon is the low 10 bits; the top 6 are flags.
constexpr std::uint16_t kPolygonVertexMask = 0x03FF;

std::string idText(std::uint32_t id)
{
    std::string text;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const unsigned char c = static_cast<unsigned char>((id >> shift) & 0xFF);
        if (c >= 0x20 && c < 0x7F) {
            text.push_back(static_cast<char>(c));
        } else {
            char escaped[5];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
            text += escaped;
        }
    }
    return text;
}

std::string formatUnsigned3(const char* format, unsigned a, unsigned b, unsigned c)
{
    char line[96];
    std::snprintf(line, sizeof line, format, a, b, c);
    return line;
}

// What the first pass over a FACE chunk finds.
struct PolygonCounts {
    std::size_t polygons = 0;
    std::size_t triangles = 0; // once every polygon is split into a fan
    std::size_t larger = 0;    // polygons of more than three corners
    std::size_t largerTriangles = 0;
    std::size_t smaller = 0; // polygons of fewer than three corners
};

struct Chunk {
    std::uint32_t id = 0;
    std::uint32_t length = 0;
    std::size_t offset = 0; // of the header, in the file
    ByteCursor data;        // the `length` data bytes
};

class LwoParser {
public:
    LwoParser(Reporter& report, std::string_view sourceName) : report_(report), sourceName_(sourceName) {}

    std::optional<LwoObject> parseFile(std::span<const std::uint8_t> bytes);

private:
    bool readChunk(ByteCursor& parent, bool parentIsFile, int depth);
    bool dispatch(Chunk& chunk, int depth);
    bool readForm(Chunk& chunk, int depth);
    bool readNestedLwo3Form(Chunk& chunk);
    bool readPoints(Chunk& chunk);
    bool readPolygons(Chunk& chunk);
    bool countPolygons(const Chunk& chunk, PolygonCounts& counts);
    void readTriangleFans(const Chunk& chunk, const PolygonCounts& counts, LwoMesh& mesh);
    void reportSplitPolygons(const PolygonCounts& counts);
    bool readPolygonTags(Chunk& chunk);
    void readSurfaceTags(const Chunk& chunk);
    bool readTags(Chunk& chunk);
    bool readVertexMap(Chunk& chunk);
    bool readPolygonVertexMap(Chunk& chunk);
    bool readSurface(Chunk& chunk);
    bool readMapHeader(Chunk& chunk, std::uint16_t& dimension, std::string& name);

    bool fail(const Chunk& chunk, const std::string& reason);
    void warn(const Chunk& chunk, const std::string& reason);

    LwoObject object_;
    Reporter& report_;
    std::string_view sourceName_;
    bool lwo3_ = false;
    int currentMesh_ = -1;
};

bool LwoParser::fail(const Chunk& chunk, const std::string& reason)
{
    report_.error(std::string(sourceName_) + ": chunk " + idText(chunk.id) + " at offset " +
                  std::to_string(chunk.offset) + " " + reason);
    return false;
}

void LwoParser::warn(const Chunk& chunk, const std::string& reason)
{
    report_.warning(std::string(sourceName_) + ": chunk " + idText(chunk.id) + " at offset " +
                    std::to_string(chunk.offset) + " " + reason);
}

std::optional<LwoObject> LwoParser::parseFile(std::span<const std::uint8_t> bytes)
{
    ByteCursor file(bytes, 0);
    std::uint32_t firstId = 0;
    ByteCursor peek = file;
    if (file.remaining() < 8 || !peek.readId(firstId)) {
        report_.error(std::string(sourceName_) + ": the file is " + std::to_string(bytes.size()) +
                      " bytes long, too short for a chunk header");
        return std::nullopt;
    }
    if (firstId != kForm) {
        report_.error(std::string(sourceName_) + ": not an LWO2 object: it begins with " +
                      idText(firstId) + " instead of a FORM chunk");
        return std::nullopt;
    }
    // Only the first chunk of the file is looked at; anything after the FORM
    // is not part of the object.
    if (!readChunk(file, true, 0)) return std::nullopt;
    return std::move(object_);
}

bool LwoParser::readChunk(ByteCursor& parent, bool parentIsFile, int depth)
{
    Chunk chunk;
    chunk.offset = parent.fileOffset();
    if (!parent.readId(chunk.id) || !parent.readU32(chunk.length)) {
        report_.error(std::string(sourceName_) + ": the chunk header at offset " + std::to_string(chunk.offset) +
                      " is cut off");
        return false;
    }
    if (!parent.split(chunk.length, chunk.data)) {
        return fail(chunk, parentIsFile ? "reaches past the end of the file"
                                        : "reaches past the end of its parent chunk");
    }
    return dispatch(chunk, depth);
}

bool LwoParser::dispatch(Chunk& chunk, int depth)
{
    switch (chunk.id) {
    case kForm: return lwo3_ && depth > 0 ? readNestedLwo3Form(chunk) : readForm(chunk, depth);
    case kPnts: return readPoints(chunk);
    case kPols: return readPolygons(chunk);
    case kPtag: return readPolygonTags(chunk);
    case kVmap: return readVertexMap(chunk);
    case kVmad: return readPolygonVertexMap(chunk);
    case kSurf: return readSurface(chunk);
    case kTags: return readTags(chunk);
    default: return true; // LAYR, BBOX, CLIP, ...: stepped over by length
    }
}

bool LwoParser::readForm(Chunk& chunk, int depth)
{
    std::uint32_t formType = 0;
    if (!chunk.data.readId(formType)) return fail(chunk, "is too short for its form type");
    const bool accepted = formType == kLwo2 || (depth == 0 && formType == kLwo3);
    if (!accepted) {
        report_.notice(ReaderNotice::WrongFileFormat);
        if (depth == 0) {
            report_.error(std::string(sourceName_) + ": form type " + idText(formType) +
                          " is not LWO2 or LWO3; nothing was read");
            return false;
        }
        return true;
    }
    if (depth == 0) lwo3_ = formType == kLwo3;
    if (depth >= kMaxFormDepth) return fail(chunk, "is nested too deeply inside other FORM chunks");
    // The walk goes on while the next chunk, counted from the FORM's first
    // byte, starts before the FORM's length field: a last sub-chunk without
    // data bytes is not visited. No pad byte is skipped between chunks.
    while (8 + chunk.data.position() < chunk.length) {
        if (!readChunk(chunk.data, false, depth + 1)) return false;
    }
    return true;
}

// Inside an LWO3 object SURF, CLIP and ENVL are nested FORMs: data, not a
// second object. Only a surface's name is taken from them.
bool LwoParser::readNestedLwo3Form(Chunk& chunk)
{
    ByteCursor data = chunk.data;
    std::uint32_t formType = 0;
    std::uint32_t firstId = 0;
    std::uint32_t firstLength = 0;
    if (!data.readId(formType) || formType != kSurf) return true;
    if (!data.readId(firstId) || !data.readU32(firstLength) || firstId != kFourSpaces) return true;
    LwoSurface surface;
    if (!data.readName(surface.name)) {
        return fail(chunk, "holds a surface name without its terminating zero");
    }
    object_.surfaces.push_back(std::move(surface));
    return true;
}

bool LwoParser::readPoints(Chunk& chunk)
{
    LwoMesh mesh;
    // A remainder shorter than a point is ignored.
    mesh.points.resize(chunk.length / 12);
    CheckedCursor data(chunk.data);
    for (auto& point : mesh.points) {
        point[0] = data.f32();
        point[1] = data.f32();
        point[2] = data.f32();
    }
    object_.meshes.push_back(std::move(mesh));
    currentMesh_ = static_cast<int>(object_.meshes.size()) - 1;
    return true;
}

bool LwoParser::readPolygons(Chunk& chunk)
{
    std::uint32_t type = 0;
    if (!chunk.data.readId(type)) return fail(chunk, "is too short for its polygon type");
    if (type != kFace) return true;
    if (currentMesh_ < 0) {
        warn(chunk, "holds polygons before any point set (PNTS chunk); they are ignored");
        return true;
    }
    LwoMesh& mesh = object_.meshes[static_cast<std::size_t>(currentMesh_)];
    if (!mesh.triangles.empty()) return true; // only the first FACE POLS chunk of a point set counts

    PolygonCounts counts;
    if (!countPolygons(chunk, counts)) return false;
    if (counts.larger + counts.smaller == 0) {
        readTriangleFans(chunk, counts, mesh);
        return true;
    }
    report_.notice(ReaderNotice::NotTriangles);
    reportSplitPolygons(counts);
    readTriangleFans(chunk, counts, mesh);
    return true;
}

// After the notice, what became of the polygons that are not triangles, so
// the user knows the conversion goes on and is sound.
void LwoParser::reportSplitPolygons(const PolygonCounts& counts)
{
    std::string text = std::string(sourceName_) + ": ";
    if (counts.larger > 0) {
        text += std::to_string(counts.larger) + (counts.larger == 1 ? " polygon" : " polygons") +
                " of more than three corners became " + std::to_string(counts.largerTriangles) + " triangles";
    }
    if (counts.smaller > 0) {
        text += counts.larger > 0 ? ", and " : "";
        text += std::to_string(counts.smaller) + (counts.smaller == 1 ? " polygon" : " polygons") +
                " of fewer than three corners (lines or points) " + (counts.smaller == 1 ? "was" : "were") +
                " left out";
    }
    report_.warning(text + "; the conversion goes on");
}

// Checks that every polygon record lies inside the chunk and counts
// polygons and triangles, so that each array is allocated once.
bool LwoParser::countPolygons(const Chunk& chunk, PolygonCounts& counts)
{
    for (ByteCursor records = chunk.data; !records.atEnd();) {
        const std::size_t recordOffset = records.fileOffset();
        std::uint16_t word = 0;
        bool complete = records.readU16(word);
        const unsigned vertexCount = word & kPolygonVertexMask;
        std::uint32_t index = 0;
        for (unsigned k = 0; complete && k < vertexCount; ++k) complete = records.readIndex(index);
        if (!complete) {
            return fail(chunk, "has a polygon record at offset " + std::to_string(recordOffset) +
                                   " that is cut off by the end of the chunk");
        }
        ++counts.polygons;
        if (vertexCount >= 3) counts.triangles += vertexCount - 2;
        if (vertexCount > 3) {
            ++counts.larger;
            counts.largerTriangles += vertexCount - 2;
        } else if (vertexCount < 3) {
            ++counts.smaller;
        }
    }
    return true;
}

// Polygons with more corners become fans (v0, vk, vk+1); triangles with a
// corner outside the point set are dropped. A FACE chunk that left its point
// set without triangles does not count: this one replaces what it recorded.
void LwoParser::readTriangleFans(const Chunk& chunk, const PolygonCounts& counts, LwoMesh& mesh)
{
    const std::uint32_t pointCount = static_cast<std::uint32_t>(mesh.points.size());
    mesh.polygonFirstTriangle.clear();
    mesh.polygonFirstTriangle.reserve(counts.polygons + 1);
    mesh.triangles.reserve(counts.triangles);
    std::vector<std::uint32_t> corners;
    std::size_t dropped = 0;
    for (CheckedCursor records(chunk.data); !records.atEnd();) {
        corners.resize(records.u16() & kPolygonVertexMask);
        for (std::uint32_t& corner : corners) corner = records.index();
        mesh.polygonFirstTriangle.push_back(static_cast<std::int32_t>(mesh.triangles.size()));
        for (std::size_t k = 1; k + 1 < corners.size(); ++k) {
            const std::uint32_t a = corners[0];
            const std::uint32_t b = corners[k];
            const std::uint32_t c = corners[k + 1];
            if (a >= pointCount || b >= pointCount || c >= pointCount) {
                ++dropped;
                continue;
            }
            mesh.triangles.push_back({static_cast<std::int32_t>(a), static_cast<std::int32_t>(b),
                                      static_cast<std::int32_t>(c)});
        }
    }
    mesh.polygonFirstTriangle.push_back(static_cast<std::int32_t>(mesh.triangles.size()));
    if (dropped > 0) {
        warn(chunk, "has " + std::to_string(dropped) +
                        " triangles with a corner that is not a point of the mesh; they were dropped");
    }
}

bool LwoParser::readPolygonTags(Chunk& chunk)
{
    std::uint32_t type = 0;
    if (!chunk.data.readId(type)) return fail(chunk, "is too short for its tag type");
    if (type != kSurf) return true;
    const unsigned records = chunk.length - 4;
    char line[64];
    std::snprintf(line, sizeof line, "PTags: %u - %u\n", records, records / 4);
    report_.debugLine(line);
    readSurfaceTags(chunk);
    return true;
}

// The surface tag of each polygon of the current point set. Records are a
// polygon index and a tag index; a record cut by the end of the chunk, or one
// naming a polygon the point set has not, is passed over: only a conversion
// of every surface reads them.
void LwoParser::readSurfaceTags(const Chunk& chunk)
{
    if (currentMesh_ < 0) return;
    LwoMesh& mesh = object_.meshes[static_cast<std::size_t>(currentMesh_)];
    const auto polygons = static_cast<std::uint32_t>(mesh.polygonCount());
    if (polygons == 0) return;
    mesh.polygonSurfaceTag.assign(polygons, -1);
    ByteCursor records = chunk.data;
    std::uint32_t polygon = 0;
    std::uint16_t tag = 0;
    while (records.readIndex(polygon) && records.readU16(tag)) {
        if (polygon < polygons) mesh.polygonSurfaceTag[polygon] = tag;
    }
}

bool LwoParser::readTags(Chunk& chunk)
{
    std::string name;
    while (!chunk.data.atEnd() && chunk.data.readName(name)) object_.tags.push_back(name);
    return true;
}

bool LwoParser::readMapHeader(Chunk& chunk, std::uint16_t& dimension, std::string& name)
{
    if (!chunk.data.readU16(dimension)) return fail(chunk, "is too short for its map dimension");
    if (!chunk.data.readName(name)) return fail(chunk, "holds a map name without its terminating zero");
    return true;
}

bool LwoParser::readVertexMap(Chunk& chunk)
{
    std::uint32_t type = 0;
    if (!chunk.data.readId(type)) return fail(chunk, "is too short for its map type");
    if (type != kTxuv && type != kWght) return true;
    std::uint16_t dimension = 0;
    std::string name;
    if (!readMapHeader(chunk, dimension, name)) return false;
    const bool isUv = type == kTxuv;
    const unsigned expected = isUv ? 2 : 1;
    if (dimension != expected) {
        warn(chunk, std::string(isUv ? "TXUV" : "WGHT") + " map '" + name + "' has dimension " +
                        std::to_string(dimension) + ", not " + std::to_string(expected) + "; it is skipped");
        return true;
    }
    // Count whole records first; trailing bytes too few for a record are ignored.
    const std::size_t valueBytes = 4u * dimension;
    std::size_t count = 0;
    for (ByteCursor records = chunk.data;; ++count) {
        std::uint32_t index = 0;
        if (!records.readIndex(index) || !records.skip(valueBytes)) break;
    }
    const unsigned meshCount = static_cast<unsigned>(object_.meshes.size());
    if (isUv) {
        LwoUvMap map;
        map.name = std::move(name);
        map.mesh = currentMesh_;
        map.entries.resize(count);
        CheckedCursor records(chunk.data);
        for (LwoUvEntry& entry : map.entries) {
            entry.pointIndex = static_cast<std::int32_t>(records.index());
            entry.u = records.f32();
            entry.v = records.f32();
        }
        object_.uvMaps.push_back(std::move(map));
        report_.debugLine(formatUnsigned3("Mesh: %u\tUVs:%u/%u\n", meshCount, static_cast<unsigned>(count),
                                          static_cast<unsigned>(count)));
    } else {
        LwoWeightMap map;
        map.name = std::move(name);
        map.mesh = currentMesh_;
        map.entries.resize(count);
        CheckedCursor records(chunk.data);
        for (LwoWeightEntry& entry : map.entries) {
            entry.pointIndex = static_cast<std::int32_t>(records.index());
            entry.weight = records.f32();
        }
        object_.weightMaps.push_back(std::move(map));
        report_.debugLine(formatUnsigned3("Mesh: %u\tWs:%u/%u\n", meshCount, static_cast<unsigned>(count),
                                          static_cast<unsigned>(count)));
    }
    return true;
}

bool LwoParser::readPolygonVertexMap(Chunk& chunk)
{
    std::uint32_t type = 0;
    if (!chunk.data.readId(type)) return fail(chunk, "is too short for its map type");
    if (type != kTxuv) return true;
    std::uint16_t dimension = 0;
    std::string name;
    if (!readMapHeader(chunk, dimension, name)) return false;
    if (dimension != 2) {
        warn(chunk, "TXUV map '" + name + "' has dimension " + std::to_string(dimension) +
                        ", not 2; it is skipped");
        return true;
    }
    std::size_t count = 0;
    for (ByteCursor records = chunk.data;; ++count) {
        std::uint32_t index = 0;
        if (!records.readIndex(index) || !records.readIndex(index) || !records.skip(8)) break;
    }
    LwoUvFixMap map;
    map.name = std::move(name);
    map.mesh = currentMesh_;
    map.entries.resize(count);
    CheckedCursor records(chunk.data);
    for (LwoUvFixEntry& entry : map.entries) {
        entry.pointIndex = static_cast<std::int32_t>(records.index());
        entry.polygonIndex = static_cast<std::int32_t>(records.index());
        entry.u = records.f32();
        entry.v = records.f32();
    }
    object_.uvFixMaps.push_back(std::move(map));
    report_.debugLine(formatUnsigned3("Mesh: %u\tUVFIXs:%u/%u\n", static_cast<unsigned>(object_.meshes.size()),
                                      static_cast<unsigned>(count), static_cast<unsigned>(count)));
    return true;
}

bool LwoParser::readSurface(Chunk& chunk)
{
    LwoSurface surface;
    if (!chunk.data.readName(surface.name)) {
        return fail(chunk, "holds a surface name without its terminating zero");
    }
    object_.surfaces.push_back(std::move(surface));
    return true;
}

} // namespace

std::optional<LwoObject> parseLwoObject(std::span<const std::uint8_t> bytes, Reporter& report,
                                        std::string_view sourceName)
{
    return LwoParser(report, sourceName).parseFile(bytes);
}

std::optional<LwoObject> loadLwoObject(const std::string& path, Reporter& report)
{
    std::string bytes;
    std::string reason;
    if (!readWholeFile(path, bytes, reason)) {
        report.error("cannot read object file '" + path + "': " + reason);
        return std::nullopt;
    }
    const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
    return parseLwoObject(std::span<const std::uint8_t>(data, bytes.size()), report, path);
}

} // namespace lwmd5
