// Shell completion for quorrel-cli, written from the commands' own option tables: every
// command runs its option parser in a recording mode that keeps the table and parses nothing.
#pragma once

#include <string>
#include <vector>

#include "commands.h"

namespace quorrel::cli {

struct OptionTable {
  std::string command;
  std::vector<std::string> options;  // "--name" and "-n" forms
  struct Sub {
    std::string name;
    std::vector<std::string> options;
  };
  std::vector<Sub> subcommands;
};
using OptionTables = std::vector<OptionTable>;

// While `tables` is set, parseArguments() adds the command's table to it and returns 0.
void recordOptionTables(OptionTables* tables);

// The completion script for `shell` ("bash" or "zsh"), empty for another shell. `commands` are
// the command names with their summaries; `topOptions` the options before a command.
struct CommandSummary {
  std::string name, summary;
};
std::string completionScript(const std::string& shell, const OptionTables& tables,
                             const std::vector<CommandSummary>& commands,
                             const std::vector<std::string>& topOptions);

}  // namespace quorrel::cli
