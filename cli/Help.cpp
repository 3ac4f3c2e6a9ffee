#include "cli/Help.h"

#include "app/uGlobals.h"

#include <sstream>

namespace {

class THelpFormatter final : public CLI::Formatter {
public:
    THelpFormatter() { column_width(26); }

    std::string make_option(const CLI::Option* option, bool positional) const override {
        const std::string name =
            "  " + make_option_name(option, positional) + make_option_opts(option);
        const std::size_t width = get_column_width();
        std::ostringstream out;
        out << name;
        // At least two spaces between the option and its description, or a line of its own.
        if (name.size() + 2 > width)
            out << '\n' << std::string(width, ' ');
        else
            out << std::string(width - name.size(), ' ');
        for (const char ch : make_option_desc(option)) {
            out << ch;
            if (ch == '\n')
                out << std::string(width, ' ');
        }
        out << '\n';
        return out.str();
    }

    // The value's name as the option gives it ("--addr LIST"); a flag has none.
    std::string make_option_opts(const CLI::Option* option) const override {
        const std::string& text = option->get_option_text();
        return text.empty() ? std::string() : " " + text;
    }
};

} // namespace

std::shared_ptr<CLI::Formatter> HelpFormatter() {
    return std::make_shared<THelpFormatter>();
}

std::string ShortUsage() {
    std::string commands;
    for (const char* name : CommandNames)
        commands += std::string(commands.empty() ? "" : ", ") + name;
    return "Usage: kestro COMMAND [OPTIONS]\nCommands: " + commands +
           "\nRun 'kestro --help' for more, 'kestro COMMAND --help' for a command's options.\n";
}

std::string HelpFooter() {
    return "Examples:\n"
           "  kestro scan --port /dev/ttyUSB0 --timeout 50\n"
           "  kestro read --addr 1-10,15 --json\n"
           "  kestro sync --optohead --port COM2\n"
           "\n"
           "Settings file (defaults of the port, speed and timeout): " +
           SharedConfigFileName() +
           "\nExit status: 0 all results good, 1 some meter failed or interrupted, 2 usage "
           "error, 3 the port could not be opened.\n"
           "Ctrl+C stops after the exchange under way and ends link mode; a second Ctrl+C ends "
           "the program at once.\nSee kestro(1).";
}
