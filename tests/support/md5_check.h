#pragma once

#include "md5/md5_reader.h"

#include <initializer_list>
#include <string>
#include <string_view>

namespace lwmd5::testing {

// Reads md5 text with the project's reader and holds it to id Tech 4's rules:
// an empty text when the engine would take the file, else the first
// complaint ("line 12: expected '(' but found 'frame'", or a finding followed
// by its rule, "[weight-joint]"). Rules named in `allowed` are let pass.
std::string engineComplaint(std::string_view text, Md5ModelFile& model,
                            std::initializer_list<std::string_view> allowed = {});
std::string engineComplaint(std::string_view text, Md5AnimFile& anim,
                            std::initializer_list<std::string_view> allowed = {});

} // namespace lwmd5::testing
