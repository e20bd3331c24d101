// The bash and zsh completion scripts, from the option tables the commands recorded.
#include "completion.h"

namespace quorrel::cli {

namespace {

std::string joined(const std::vector<std::string>& words) {
  std::string out;
  for (const std::string& w : words) out += (out.empty() ? "" : " ") + w;
  return out;
}

std::vector<std::string> namesOf(const std::vector<CommandSummary>& commands) {
  std::vector<std::string> names;
  for (const CommandSummary& c : commands) names.push_back(c.name);
  return names;
}

std::vector<std::string> subNames(const OptionTable& t) {
  std::vector<std::string> names;
  for (const OptionTable::Sub& s : t.subcommands) names.push_back(s.name);
  return names;
}

// Single quotes for the shell: the summaries hold no quote, but a quote must not end the text.
std::string quoted(const std::string& text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

std::string bash(const OptionTables& tables, const std::vector<CommandSummary>& commands,
                 const std::vector<std::string>& topOptions) {
  std::string s =
      "# bash completion for quorrel-cli, written from its commands' option tables\n"
      "_quorrel_cli() {\n"
      "  local cur=${COMP_WORDS[COMP_CWORD]} cmd=${COMP_WORDS[1]} words= choose=\n"
      "  COMPREPLY=()\n"
      "  if [[ $COMP_CWORD -eq 1 ]]; then\n"
      "    COMPREPLY=($(compgen -W " +
      quoted(joined(namesOf(commands)) + " help " + joined(topOptions)) +
      " -- \"$cur\"))\n"
      "    return\n"
      "  fi\n"
      "  case $cmd in\n"
      "    help) [[ $COMP_CWORD -eq 2 ]] && words=" +
      quoted(joined(namesOf(commands))) + " choose=1 ;;\n";
  for (const OptionTable& t : tables) {
    if (t.subcommands.empty()) {
      s += "    " + t.command + ") words=" + quoted(joined(t.options)) + " ;;\n";
      continue;
    }
    s += "    " + t.command + ")\n      if [[ $COMP_CWORD -eq 2 ]]; then\n        words=" +
         quoted(joined(subNames(t)) + " " + joined(t.options)) +
         " choose=1\n      else\n        case ${COMP_WORDS[2]} in\n";
    for (const OptionTable::Sub& sub : t.subcommands)
      s += "          " + sub.name + ") words=" + quoted(joined(sub.options)) + " ;;\n";
    s += "        esac\n      fi ;;\n";
  }
  s += "  esac\n"
       "  # Options after a dash; otherwise files, as the shell completes them by default.\n"
       "  if [[ -n $choose || $cur == -* ]]; then\n"
       "    COMPREPLY=($(compgen -W \"$words\" -- \"$cur\"))\n"
       "  fi\n"
       "}\n"
       "complete -o default -F _quorrel_cli quorrel-cli\n";
  return s;
}

std::string zsh(const OptionTables& tables, const std::vector<CommandSummary>& commands,
                const std::vector<std::string>& topOptions) {
  std::string s =
      "#compdef quorrel-cli\n"
      "# zsh completion for quorrel-cli, written from its commands' option tables\n"
      "_quorrel-cli() {\n"
      "  local -a commands opts\n"
      "  commands=(";
  for (const CommandSummary& c : commands) s += " " + quoted(c.name + ":" + c.summary);
  s += " 'help:describe a command')\n"
       "  if (( CURRENT == 2 )); then\n"
       "    if [[ $PREFIX == -* ]]; then compadd -- " +
       joined(topOptions) +
       "; else _describe command commands; fi\n"
       "    return\n"
       "  fi\n"
       "  case $words[2] in\n"
       "    help) (( CURRENT == 3 )) && _describe command commands; return ;;\n";
  for (const OptionTable& t : tables) {
    if (t.subcommands.empty()) {
      s += "    " + t.command + ") opts=(" + joined(t.options) + ") ;;\n";
      continue;
    }
    s += "    " + t.command + ")\n      if (( CURRENT == 3 )); then compadd -- " +
         joined(subNames(t)) + "; return; fi\n      case $words[3] in\n";
    for (const OptionTable::Sub& sub : t.subcommands)
      s += "        " + sub.name + ") opts=(" + joined(sub.options) + ") ;;\n";
    s += "      esac ;;\n";
  }
  s += "  esac\n"
       "  if [[ $PREFIX == -* ]]; then compadd -a opts; else _files; fi\n"
       "}\n"
       "_quorrel-cli \"$@\"\n";
  return s;
}

}  // namespace

std::string completionScript(const std::string& shell, const OptionTables& tables,
                             const std::vector<CommandSummary>& commands,
                             const std::vector<std::string>& topOptions) {
  if (shell == "bash") return bash(tables, commands, topOptions);
  if (shell == "zsh") return zsh(tables, commands, topOptions);
  return {};
}

}  // namespace quorrel::cli
