#include "md5/md5mesh_writer.h"

#include "md5/md5_file.h"
#include "md5/md5_text.h"

namespace lwmd5 {

namespace {

void appendVec3(std::string& out, const Vec3& v)
{
    out += " ( ";
    appendFixedTriple(out, v.x, v.y, v.z);
    out += " )";
}

} // namespace

Quat bindOrientation(const Joint& joint)
{
    Transform bind = joint.bindTransform;
    if (!hasRightHandedRows(bind)) negateThirdRow(bind);
    Quat q;
    transformToQuat(q, bind);
    return q;
}

void formatMd5Mesh(const Scene& scene, TextOutput& output)
{
    std::string& out = output.text();

    out += "MD5Version 10\ncommandline \"\"\n\nnumJoints ";
    appendInteger(out, static_cast<long long>(scene.joints.size()));
    out += "\nnumMeshes ";
    appendInteger(out, static_cast<long long>(scene.outputMeshes.size()));
    out += "\n\njoints {\n";
    for (const Joint& joint : scene.joints) {
        out += "\t\"";
        out += joint.name;
        out += "\"\t";
        appendInteger(out, joint.parentIndex);
        appendVec3(out, joint.bindTransform.t);
        appendVec3(out, printedQuatComponents(bindOrientation(joint)));
        out += "\t// ";
        if (joint.parentIndex != -1) out += joint.parentName;
        out += '\n';
        output.pieceDone();
    }
    out += "}\n\n";

    for (const Md5Mesh& mesh : scene.outputMeshes) {
        out += "mesh {\n\t// meshes:  \n\tshader \"";
        out += mesh.shader;
        out += "\"\n\n\tnumverts ";
        appendInteger(out, static_cast<long long>(mesh.vertices.size()));
        out += '\n';
        for (std::size_t i = 0; i < mesh.vertices.size(); ++i) {
            const Md5Vertex& vertex = mesh.vertices[i];
            out += "\tvert ";
            appendInteger(out, static_cast<long long>(i));
            out += " ( ";
            appendFixed(out, vertex.u);
            out += ' ';
            appendFixed(out, vertex.v);
            out += " ) ";
            appendInteger(out, vertex.firstWeight);
            out += ' ';
            appendInteger(out, vertex.weightCount);
            out += '\n';
            output.pieceDone();
        }
        out += "\n\tnumtris ";
        appendInteger(out, static_cast<long long>(mesh.triangles.size()));
        out += '\n';
        for (std::size_t i = 0; i < mesh.triangles.size(); ++i) {
            out += "\ttri ";
            appendInteger(out, static_cast<long long>(i));
            for (const std::int32_t corner : mesh.triangles[i].corners) {
                out += ' ';
                appendInteger(out, corner);
            }
            out += '\n';
            output.pieceDone();
        }
        out += "\n\tnumweights ";
        appendInteger(out, static_cast<long long>(mesh.weights.size()));
        out += '\n';
        for (std::size_t i = 0; i < mesh.weights.size(); ++i) {
            const Md5Weight& weight = mesh.weights[i];
            out += "\tweight ";
            appendInteger(out, static_cast<long long>(i));
            out += ' ';
            appendInteger(out, weight.joint);
            out += ' ';
            appendFixed(out, weight.bias);
            appendVec3(out, weight.offset);
            out += '\n';
            output.pieceDone();
        }
        out += "}\n\n";
    }
}

std::string formatMd5Mesh(const Scene& scene)
{
    return formatToString([&scene](TextOutput& output) { formatMd5Mesh(scene, output); });
}

bool writeMd5Mesh(const std::string& scenePath, const Scene& scene, Reporter& report)
{
    return writeOutputFile(
        scenePath, ".md5mesh", [&scene](TextOutput& output) { formatMd5Mesh(scene, output); }, report);
}

} // namespace lwmd5
