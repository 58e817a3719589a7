#include "options/option_table.h"

#include <algorithm>
#include <string_view>

namespace ostrel::options {

Take Sets(bool& flag) {
    return [&flag](const std::string&) {
        flag = true;
        return std::string();
    };
}

Take Stores(std::string& text) {
    return [&text](const std::string& value) {
        text = value;
        return std::string();
    };
}

bool ParseOptions(std::span<const Option> table, const std::vector<std::string>& args,
                  std::string& error) {
    std::vector<bool> given(table.size());
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const auto row = std::find_if(table.begin(), table.end(), [&](const Option& o) {
            return arg == o.name || (o.alias != nullptr && arg == o.alias) ||
                   (o.value != nullptr && arg.starts_with(std::string(o.name) + "="));
        });
        if (row == table.end()) {
            error = "unknown argument '" + arg + "'";
            return false;
        }
        std::string value;
        if (row->value != nullptr) {
            const std::size_t eq = arg.find('=');
            value = eq != std::string::npos ? arg.substr(eq + 1)
                                            : (i + 1 < args.size() ? args[++i] : std::string());
            const auto index = static_cast<std::size_t>(row - table.begin());
            if (value.empty()) {
                error = std::string(row->name) + " needs " + row->value;
            } else if (given[index] && !row->repeatable) {
                error = std::string(row->name) + " is given twice: give it once";
            }
            given[index] = true;
        }
        if (error.empty()) error = row->take(value);
        if (!error.empty()) return false;
    }
    return true;
}

std::string OptionsHelp(std::span<const Option> table, std::size_t column) {
    std::string text;
    for (const Option& o : table) {
        std::string label = "  ";
        if (o.alias != nullptr) label.append(o.alias).append(", ");
        label += o.name;
        if (o.value != nullptr) label.append(" ").append(o.value);
        text += label;
        text.append(column > label.size() ? column - label.size() : 1, ' ');
        std::string_view help = o.help;
        for (bool first = true;; first = false) {
            const std::size_t end = help.find('\n');
            const std::string_view line = help.substr(0, end);
            if (!first && !line.empty()) text.append(column, ' ');
            text.append(line).append("\n");
            if (end == std::string_view::npos) break;
            help.remove_prefix(end + 1);
        }
    }
    return text;
}

}  // namespace ostrel::options
