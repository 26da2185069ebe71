#pragma once

// The command-line options of a program as one table: it parses the command
// line and writes the option list of --help, from which the build makes the
// manual page, so the three cannot say different things. Header-only, so that
// the example programs use it without the converter's library.

#include <algorithm>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

struct OptionSpec {
    std::string_view name;         // "--config"
    std::string_view value;        // the value's name in --help ("FILE"); empty for a flag
    std::string_view help;         // the description, its lines separated by '\n'
    std::string_view defaultText;  // what holds when the option is not given; empty for none
    bool endsCommandLine = false;  // acts at once and the rest is not read (--help, --version)
    // For a program whose command line has several forms: the form the option
    // is for (empty: every form), which --help lists it under.
    std::string_view form = {};
    // Another option this one is only given with, or never with (empty:
    // none), and what it is for, which the refusal says: "option '--a' is for <purpose>".
    std::string_view needs = {};
    std::string_view notWith = {};
    std::string_view purpose = {};
};

// A command line the table does not take. Each program words its own message.
struct OptionError : std::runtime_error {
    enum class Kind { kUnknown, kNeedsValue, kTakesNoValue };
    OptionError(Kind kind, std::string name, std::string argument)
        : std::runtime_error(argument), kind(kind), name(std::move(name)), argument(std::move(argument))
    {
    }
    Kind kind;
    std::string name;      // the option's name, without "=value"
    std::string argument;  // the argument as written
};

struct CommandLine {
    std::vector<std::pair<const OptionSpec*, std::string>> options;  // as given, in order
    std::vector<std::string> arguments;
    const OptionSpec* ending = nullptr;  // the option that ended the command line, if any

    bool Has(std::string_view name) const
    {
        return std::any_of(options.begin(), options.end(), [&](const auto& given) { return given.first->name == name; });
    }
    // The value given last wins, as in most programs.
    std::optional<std::string> Value(std::string_view name) const
    {
        for (auto it = options.rbegin(); it != options.rend(); ++it)
            if (it->first->name == name) return it->second;
        return std::nullopt;
    }
};

struct OptionSyntax {
    // Words that begin with this are options (until "--", which ends them).
    std::string_view prefix = "--";
    // Options may come between the arguments; otherwise the first argument ends them.
    bool anywhere = false;
};

// Reads options as NAME VALUE or NAME=VALUE; an empty value counts as none.
// Throws OptionError.
inline CommandLine ParseCommandLine(std::span<const OptionSpec> table, const std::vector<std::string>& words,
                                    OptionSyntax syntax = {})
{
    CommandLine line;
    bool optionsEnded = false;
    for (size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        if (optionsEnded || word.size() < 2 || word.rfind(syntax.prefix, 0) != 0) {
            line.arguments.push_back(word);
            if (!syntax.anywhere) optionsEnded = true;
            continue;
        }
        if (word == "--") {
            optionsEnded = true;
            continue;
        }
        const size_t equals = word.find('=');
        const std::string name = word.substr(0, equals);
        const auto option = std::find_if(table.begin(), table.end(), [&](const OptionSpec& s) { return s.name == name; });
        if (option == table.end()) throw OptionError(OptionError::Kind::kUnknown, name, word);
        std::string value;
        if (option->value.empty()) {
            if (equals != std::string::npos) throw OptionError(OptionError::Kind::kTakesNoValue, name, word);
        } else if (equals != std::string::npos) {
            value = word.substr(equals + 1);
        } else if (i + 1 < words.size()) {
            value = words[++i];
        }
        if (!option->value.empty() && value.empty()) throw OptionError(OptionError::Kind::kNeedsValue, name, word);
        line.options.emplace_back(&*option, std::move(value));
        if (option->endsCommandLine) {
            line.ending = &*option;
            break;
        }
    }
    return line;
}

// The "options:" block of --help: each option with its value's name, then its
// description in a column, the default after it (on a line of its own when
// the last line would grow past 100 characters).
inline std::string OptionHelp(std::span<const OptionSpec> table, std::string_view heading = "options:")
{
    size_t column = 0;
    for (const OptionSpec& option : table)
        column = std::max(column, option.name.size() + (option.value.empty() ? 0 : option.value.size() + 1));
    column += 2 + 3;
    std::string text = std::string(heading) + "\n";
    for (const OptionSpec& option : table) {
        // Appended piece by piece: GCC 12 at -O3 takes "x" + std::string(...)
        // here for an overlapping copy (-Wrestrict), which fails the release build.
        std::string line = "  ";
        line += option.name;
        if (!option.value.empty()) {
            line += ' ';
            line += option.value;
        }
        line.resize(column, ' ');
        std::string_view help = option.help;
        for (;;) {
            const size_t end = help.find('\n');
            line += help.substr(0, end);
            if (end == std::string_view::npos) break;
            text += line + "\n";
            line = std::string(column, ' ');
            help.remove_prefix(end + 1);
        }
        if (!option.defaultText.empty()) {
            const std::string note = "(default: " + std::string(option.defaultText) + ")";
            if (line.size() + 1 + note.size() > 100) {
                text += line + "\n";
                line = std::string(column, ' ') + note;
            } else {
                line += " " + note;
            }
        }
        text += line + "\n";
    }
    return text;
}

// The arguments after the program's name.
inline std::vector<std::string> CommandWords(int argc, const char* const* argv)
{
    return std::vector<std::string>(argv + std::min(argc, 1), argv + std::max(argc, 0));
}
