#include "support/md5_check.h"

#include "inspect/rules.h"

#include <algorithm>

namespace lwmd5::testing {

namespace {

std::string firstComplaint(const std::optional<Md5ReadError>& error, const std::vector<Finding>& findings,
                           std::initializer_list<std::string_view> allowed)
{
    if (error) return "line " + std::to_string(error->line) + ": " + error->text;
    for (const Finding& f : findings) {
        if (std::find(allowed.begin(), allowed.end(), f.rule) != allowed.end()) continue;
        if (f.severity != Severity::Error) continue;
        return "line " + std::to_string(f.line) + ": " + f.text + " [" + std::string(f.rule) + "]";
    }
    return {};
}

} // namespace

std::string engineComplaint(std::string_view text, Md5ModelFile& model, std::initializer_list<std::string_view> allowed)
{
    const std::optional<Md5ReadError> error = parseMd5Model(text, model);
    return firstComplaint(error, error ? std::vector<Finding>{} : checkModel(model, Engine::Doom3), allowed);
}

std::string engineComplaint(std::string_view text, Md5AnimFile& anim, std::initializer_list<std::string_view> allowed)
{
    const std::optional<Md5ReadError> error = parseMd5Anim(text, anim);
    return firstComplaint(error, error ? std::vector<Finding>{} : checkAnim(anim, Engine::Doom3), allowed);
}

} // namespace lwmd5::testing
