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

void appendHeader(std::size_t jointCount, std::size_t meshCount, std::string& out)
{
    out += "MD5Version 10\ncommandline \"\"\n\nnumJoints ";
    appendInteger(out, static_cast<long long>(jointCount));
    out += "\nnumMeshes ";
    appendInteger(out, static_cast<long long>(meshCount));
    out += "\n\n";
}

void appendJoints(const std::vector<Joint>& joints, TextOutput& output)
{
    std::string& out = output.text();
    out += "joints {\n";
    for (const Joint& joint : joints) {
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
}

void appendVertices(const std::vector<Md5Vertex>& vertices, TextOutput& output)
{
    std::string& out = output.text();
    out += "\tnumverts ";
    appendInteger(out, static_cast<long long>(vertices.size()));
    out += '\n';
    for (std::size_t i = 0; i < vertices.size(); ++i) {
        const Md5Vertex& vertex = vertices[i];
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
}

void appendTriangles(const std::vector<Md5Triangle>& triangles, TextOutput& output)
{
    std::string& out = output.text();
    out += "\tnumtris ";
    appendInteger(out, static_cast<long long>(triangles.size()));
    out += '\n';
    for (std::size_t i = 0; i < triangles.size(); ++i) {
        out += "\ttri ";
        appendInteger(out, static_cast<long long>(i));
        for (const std::int32_t corner : triangles[i].corners) {
            out += ' ';
            appendInteger(out, corner);
        }
        out += '\n';
        output.pieceDone();
    }
}

void appendWeights(const std::vector<Md5Weight>& weights, TextOutput& output)
{
    std::string& out = output.text();
    out += "\tnumweights ";
    appendInteger(out, static_cast<long long>(weights.size()));
    out += '\n';
    for (std::size_t i = 0; i < weights.size(); ++i) {
        const Md5Weight& weight = weights[i];
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
}

void appendMesh(const Md5Mesh& mesh, TextOutput& output)
{
    output.text() += "mesh {\n\t// meshes:  \n\tshader \"";
    output.text() += mesh.shader;
    output.text() += "\"\n\n";
    appendVertices(mesh.vertices, output);
    output.text() += '\n';
    appendTriangles(mesh.triangles, output);
    output.text() += '\n';
    appendWeights(mesh.weights, output);
    output.text() += "}\n\n";
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

void formatMd5Mesh(const std::vector<Joint>& joints, const std::vector<Md5Mesh>& meshes, TextOutput& output)
{
    appendHeader(joints.size(), meshes.size(), output.text());
    appendJoints(joints, output);
    for (const Md5Mesh& mesh : meshes) appendMesh(mesh, output);
}

std::string formatMd5Mesh(const std::vector<Joint>& joints, const std::vector<Md5Mesh>& meshes)
{
    return formatToString([&](TextOutput& output) { formatMd5Mesh(joints, meshes, output); });
}

bool writeMd5Mesh(const std::string& scenePath, const std::vector<Joint>& joints, const std::vector<Md5Mesh>& meshes,
                  Reporter& report)
{
    return writeOutputFile(
        scenePath, ".md5mesh", [&](TextOutput& output) { formatMd5Mesh(joints, meshes, output); }, report);
}

} // namespace lwmd5
