// The LWO2 reader on arbitrary bytes.

#include "object/lwo_reader.h"
#include "platform/report.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    lwmd5::SilentReporter report;
    const std::optional<lwmd5::LwoObject> object =
        lwmd5::parseLwoObject(std::span<const std::uint8_t>(data, size), report, "fuzz.lwo");
    if (!object) return 0;

    // What the later stages rely on: every stored triangle corner is a point
    // of its mesh, and the polygon table covers the triangles in order.
    for (const lwmd5::LwoMesh& mesh : object->meshes) {
        for (const auto& triangle : mesh.triangles) {
            for (const std::int32_t corner : triangle) {
                if (corner < 0 || corner >= mesh.pointCount()) __builtin_trap();
            }
        }
        if (!mesh.polygonFirstTriangle.empty()) {
            if (mesh.polygonFirstTriangle.size() != static_cast<std::size_t>(mesh.polygonCount()) + 1) __builtin_trap();
            if (mesh.polygonFirstTriangle.back() != mesh.triangleCount()) __builtin_trap();
        }
    }
    return 0;
}
