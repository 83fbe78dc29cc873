// What a mistyped command line is told: the word not understood and, when
// one is close, the command or option that was likely meant.
#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "cli/commands.h"

namespace refhost {
namespace {

// Edits (insert, delete, replace, swap two neighbours) from `a` to `b`: a
// swapped pair is one slip of the fingers, as in "rnu" for "run".
std::size_t TypingDistance(const std::string& a, const std::string& b) {
  std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
  for (std::size_t i = 0; i <= a.size(); ++i)
    d[i][0] = i;
  for (std::size_t j = 0; j <= b.size(); ++j)
    d[0][j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t cost = a[i - 1] == b[j - 1] ? 0 : 1;
      d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + cost});
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
        d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
    }
  }
  return d[a.size()][b.size()];
}

// The option names `command` and the commands it falls through to take.
std::vector<std::string> OptionNames(const CLI::App* command) {
  std::vector<std::string> names;
  for (; command != nullptr; command = command->get_parent()) {
    for (const CLI::Option* option : command->get_options()) {
      for (const std::string& name : option->get_lnames())
        names.push_back("--" + name);
      for (const std::string& name : option->get_snames())
        names.push_back("-" + name);
    }
  }
  return names;
}

std::vector<std::string> CommandNames(const CLI::App* command) {
  std::vector<std::string> names;
  for (const CLI::App* sub : command->get_subcommands([](const CLI::App*) { return true; }))
    names.push_back(sub->get_name());
  return names;
}

// "case dump": the command as typed, from below the program.
std::string CommandPath(const CLI::App* command) {
  std::string path;
  for (; command->get_parent() != nullptr; command = command->get_parent())
    path = command->get_name() + (path.empty() ? "" : " ") + path;
  return path;
}

// The deepest command the line chose: a word it did not take is compared
// with that command's words.
const CLI::App* ChosenCommand(const CLI::App* app) {
  const std::vector<CLI::App*> chosen = app->get_subcommands();
  return chosen.empty() ? app : ChosenCommand(chosen.front());
}

}  // namespace

std::optional<std::string> NearestName(const std::string& typed,
                                       const std::vector<std::string>& names) {
  std::optional<std::string> nearest;
  // Beyond two slips, or as many as the word has letters, it is another word.
  std::size_t best = std::min<std::size_t>(3, typed.size());
  for (const std::string& name : names) {
    const std::size_t distance = TypingDistance(typed, name);
    if (distance < best) {
      best = distance;
      nearest = name;
    }
  }
  return nearest;
}

std::optional<std::string> UnexpectedWordHint(const CLI::App& app) {
  const CLI::App* command = ChosenCommand(&app);
  const std::string where = command == &app ? std::string() : " of '" + CommandPath(command) + "'";
  for (const std::string& word : app.remaining(true)) {
    const bool option = word.size() > 1 && word[0] == '-';
    const std::string typed = option ? word.substr(0, word.find('=')) : word;
    if (!option && command->get_subcommands([](const CLI::App*) { return true; }).empty()) continue;
    const std::optional<std::string> meant =
        NearestName(typed, option ? OptionNames(command) : CommandNames(command));
    std::string hint = "'" + typed + "' is not " + (option ? "an option" : "a command") + where;
    hint += meant ? "; did you mean '" + *meant + "'?" : "; see --help";
    return hint;
  }
  return std::nullopt;
}

}  // namespace refhost
