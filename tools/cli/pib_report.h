// What `quorrel-cli pib` says about a parameter block file, gathered once as JSON and shown
// either as JSON or as aligned text.
#pragma once

#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "platform/bytes.h"

namespace quorrel::cli {

// The file's header, checksum, validation (with the failing region), identity and every named
// configuration field. Parts the file is too short to hold are null; nothing is read past it.
nlohmann::json describeParameterBlock(ByteSpan file);

// Why the file is no parameter block at all (a header cut short, a size other than the length
// field), or none.
std::optional<std::string> notParameterBlock(ByteSpan file);

// The first reason to refuse renewing the file's checksum: a header cut short, a size other
// than the length field, a failed validation or a stored checksum that does not match.
std::optional<std::string> parameterBlockProblem(ByteSpan file);

// The description as "name  value" lines, configuration fields under their region.
std::string formatParameterBlock(const nlohmann::json& description);

}  // namespace quorrel::cli
