#include "md5/md5anim_writer.h"

#include "md5/md5_file.h"
#include "md5/md5_text.h"

namespace lwmd5 {

namespace {

void appendHeader(std::size_t frames, std::size_t joints, int framesPerSecond, std::string& out)
{
    out += "MD5Version 10\ncommandline \"\"\n\nnumFrames ";
    appendInteger(out, static_cast<long long>(frames));
    out += "\nnumJoints ";
    appendInteger(out, static_cast<long long>(joints));
    out += "\nframeRate ";
    appendInteger(out, framesPerSecond);
    out += "\nnumAnimatedComponents ";
    appendInteger(out, 6LL * static_cast<long long>(joints));
    out += "\n\n";
}

void appendHierarchy(const std::vector<Joint>& joints, std::string& out)
{
    out += "hierarchy {\n";
    for (std::size_t i = 0; i < joints.size(); ++i) {
        const Joint& joint = joints[i];
        out += "\t\"";
        out += joint.name;
        out += "\"\t";
        appendInteger(out, joint.parentIndex);
        out += ' ';
        appendInteger(out, kAllComponentsAnimated);
        out += ' ';
        appendInteger(out, 6LL * static_cast<long long>(i));
        out += "\t// ";
        if (joint.parentIndex != -1) {
            out += joint.parentName;
            out += " ( Tx Ty Tz Qx Qy Qz )";
        }
        out += '\n';
    }
    out += "}\n\n";
}

// Each box is written relative to the first joint's position of its frame.
void appendBounds(const std::vector<FrameBounds>& bounds, const JointChannels& first, TextOutput& output)
{
    std::string& out = output.text();
    out += "bounds {\n";
    for (std::size_t k = 0; k < bounds.size(); ++k) {
        const FrameBounds& box = bounds[k];
        const Vec3& r = first.framePositions[k];
        out += "\t( ";
        appendFixedTriple(out, static_cast<double>(box.min.x) - r.x, static_cast<double>(box.min.y) - r.y,
                          static_cast<double>(box.min.z) - r.z);
        out += " ) ( ";
        appendFixedTriple(out, static_cast<double>(box.max.x) - r.x, static_cast<double>(box.max.y) - r.y,
                          static_cast<double>(box.max.z) - r.z);
        out += " )\n";
        output.pieceDone();
    }
    out += "}\n\n";
}

void appendBaseFrame(const std::vector<JointChannels>& channels, TextOutput& output)
{
    std::string& out = output.text();
    out += "baseframe {\n";
    for (const JointChannels& joint : channels) {
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
}

void appendFrames(const std::vector<JointChannels>& channels, std::size_t frames, TextOutput& output)
{
    std::string& out = output.text();
    for (std::size_t k = 0; k < frames; ++k) {
        out += "frame ";
        appendInteger(out, static_cast<long long>(k));
        out += " {\n";
        for (const JointChannels& joint : channels) {
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

} // namespace

void formatMd5Anim(const std::vector<Joint>& joints, const std::vector<JointChannels>& channels,
                   const std::vector<FrameBounds>& bounds, int framesPerSecond, TextOutput& output)
{
    appendHeader(bounds.size(), joints.size(), framesPerSecond, output.text());
    appendHierarchy(joints, output.text());
    appendBounds(bounds, channels.front(), output);
    appendBaseFrame(channels, output);
    appendFrames(channels, bounds.size(), output);
}

std::string formatMd5Anim(const std::vector<Joint>& joints, const std::vector<JointChannels>& channels,
                          const std::vector<FrameBounds>& bounds, int framesPerSecond)
{
    return formatToString(
        [&](TextOutput& output) { formatMd5Anim(joints, channels, bounds, framesPerSecond, output); });
}

bool writeMd5Anim(const std::string& scenePath, const std::vector<Joint>& joints,
                  const std::vector<JointChannels>& channels, const std::vector<FrameBounds>& bounds,
                  int framesPerSecond, Reporter& report)
{
    return writeOutputFile(
        scenePath, ".md5anim",
        [&](TextOutput& output) { formatMd5Anim(joints, channels, bounds, framesPerSecond, output); }, report);
}

} // namespace lwmd5
