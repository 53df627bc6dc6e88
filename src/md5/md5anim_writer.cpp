#include "md5/md5anim_writer.h"

#include "md5/md5_file.h"
#include "md5/md5_text.h"

namespace lwmd5 {

void formatMd5Anim(const Scene& scene, TextOutput& output)
{
    const std::size_t frames = scene.frameBounds.size();
    const std::size_t joints = scene.joints.size();
    std::string& out = output.text();

    out += "MD5Version 10\ncommandline \"\"\n\nnumFrames ";
    appendInteger(out, static_cast<long long>(frames));
    out += "\nnumJoints ";
    appendInteger(out, static_cast<long long>(joints));
    out += "\nframeRate ";
    appendInteger(out, scene.framesPerSecond);
    out += "\nnumAnimatedComponents ";
    appendInteger(out, 6LL * static_cast<long long>(joints));
    out += "\n\nhierarchy {\n";
    for (std::size_t i = 0; i < joints; ++i) {
        const Joint& joint = scene.joints[i];
        out += "\t\"";
        out += joint.name;
        out += "\"\t";
        appendInteger(out, joint.parentIndex);
        out += " 63 ";
        appendInteger(out, 6LL * static_cast<long long>(i));
        if (joint.parentIndex == -1) {
            out += "\t// ";
        } else {
            out += "\t// ";
            out += joint.parentName;
            out += " ( Tx Ty Tz Qx Qy Qz )";
        }
        out += '\n';
    }
    out += "}\n\nbounds {\n";
    // Boxes are written relative to the first joint's position of the same frame.
    for (std::size_t k = 0; k < frames; ++k) {
        const FrameBounds& box = scene.frameBounds[k];
        const Vec3& r = scene.joints.front().framePositions[k];
        out += "\t( ";
        appendFixedTriple(out, static_cast<double>(box.min.x) - r.x, static_cast<double>(box.min.y) - r.y,
                          static_cast<double>(box.min.z) - r.z);
        out += " ) ( ";
        appendFixedTriple(out, static_cast<double>(box.max.x) - r.x, static_cast<double>(box.max.y) - r.y,
                          static_cast<double>(box.max.z) - r.z);
        out += " )\n";
        output.pieceDone();
    }
    out += "}\n\nbaseframe {\n";
    for (const Joint& joint : scene.joints) {
        const Vec3& p = joint.framePositions.front();
        const Vec3 q = printedQuatComponents(joint.frameOrientations.front());
        out += "\t( ";
        appendFixedTriple(out, p.x, p.y, p.z);
        out += " ) ( ";
        appendFixedTriple(out, q.x, q.y, q.z);
        out += " )\n";
        output.pieceDone();
    }
    out += "}\n\n";
    for (std::size_t k = 0; k < frames; ++k) {
        out += "frame ";
        appendInteger(out, static_cast<long long>(k));
        out += " {\n";
        for (const Joint& joint : scene.joints) {
            const Vec3& p = joint.framePositions[k];
            const Vec3 q = printedQuatComponents(joint.frameOrientations[k]);
            out += '\t';
            appendFixedTriple(out, p.x, p.y, p.z);
            out += ' ';
            appendFixedTriple(out, q.x, q.y, q.z);
            out += '\n';
        }
        out += "}\n\n";
        output.pieceDone();
    }
}

std::string formatMd5Anim(const Scene& scene)
{
    return formatToString([&scene](TextOutput& output) { formatMd5Anim(scene, output); });
}

bool writeMd5Anim(const std::string& scenePath, const Scene& scene, Reporter& report)
{
    return writeOutputFile(
        scenePath, ".md5anim", [&scene](TextOutput& output) { formatMd5Anim(scene, output); }, report);
}

} // namespace lwmd5
