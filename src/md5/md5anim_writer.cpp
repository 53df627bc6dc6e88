#include "md5/md5anim_writer.h"

#include "md5/md5_file.h"
#include "md5/md5_text.h"

#include <algorithm>

namespace lwmd5 {

namespace {

bool animated(const Joint& joint)
{
    return !joint.addedOrigin;
}

long long animatedComponents(const std::vector<Joint>& joints)
{
    return 6LL * std::count_if(joints.begin(), joints.end(), animated);
}

void appendHeader(const Md5Animation& animation, std::string& out)
{
    out += "MD5Version 10\ncommandline \"\"\n\nnumFrames ";
    appendInteger(out, static_cast<long long>(animation.bounds.size()));
    out += "\nnumJoints ";
    appendInteger(out, static_cast<long long>(animation.joints.size()));
    out += "\nframeRate ";
    appendInteger(out, animation.framesPerSecond);
    out += "\nnumAnimatedComponents ";
    appendInteger(out, animatedComponents(animation.joints));
    out += "\n\n";
}

void appendHierarchy(const std::vector<Joint>& joints, std::string& out)
{
    out += "hierarchy {\n";
    long long firstComponent = 0;
    for (const Joint& joint : joints) {
        out += "\t\"";
        out += joint.name;
        out += "\"\t";
        appendInteger(out, joint.parentIndex);
        out += ' ';
        appendInteger(out, animated(joint) ? kAllComponentsAnimated : 0);
        out += ' ';
        appendInteger(out, firstComponent);
        if (animated(joint)) firstComponent += 6;
        out += "\t// ";
        if (joint.parentIndex != -1) {
            out += joint.parentName;
            out += " ( Tx Ty Tz Qx Qy Qz )";
        }
        out += '\n';
    }
    out += "}\n\n";
}

// Each box is written in model space or relative to the first joint's
// position of its frame.
void appendBounds(const std::vector<FrameBounds>& bounds, const JointChannels& first, BoundsSpace space,
                  TextOutput& output)
{
    std::string& out = output.text();
    out += "bounds {\n";
    const Vec3 origin{};
    for (std::size_t k = 0; k < bounds.size(); ++k) {
        const FrameBounds& box = bounds[k];
        const Vec3& r = space == BoundsSpace::RelativeToFirstJoint ? first.framePositions[k] : origin;
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

// The components of the animated joints only.
void appendFrames(const std::vector<Joint>& joints, const std::vector<JointChannels>& channels, std::size_t frames,
                  TextOutput& output)
{
    std::string& out = output.text();
    for (std::size_t k = 0; k < frames; ++k) {
        out += "frame ";
        appendInteger(out, static_cast<long long>(k));
        out += " {\n";
        for (std::size_t j = 0; j < channels.size(); ++j) {
            if (!animated(joints[j])) continue;
            const Vec3& p = channels[j].framePositions[k];
            const Vec3 q = printedQuatComponents(channels[j].frameOrientations[k]);
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

void formatMd5Anim(const Md5Animation& animation, TextOutput& output)
{
    appendHeader(animation, output.text());
    appendHierarchy(animation.joints, output.text());
    appendBounds(animation.bounds, animation.channels.front(), animation.boundsSpace, output);
    appendBaseFrame(animation.channels, output);
    appendFrames(animation.joints, animation.channels, animation.bounds.size(), output);
}

std::string formatMd5Anim(const Md5Animation& animation)
{
    return formatToString([&](TextOutput& output) { formatMd5Anim(animation, output); });
}

bool writeMd5Anim(const std::string& scenePath, const Md5Animation& animation, Reporter& report)
{
    return writeOutputFile(
        scenePath, ".md5anim", [&](TextOutput& output) { formatMd5Anim(animation, output); }, report);
}

} // namespace lwmd5
