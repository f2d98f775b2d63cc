// kalvor-cli: the headless runner of Kalvor's calculations.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <string>

namespace {

constexpr int kExitUsage = 2;

} // namespace

int main(int argc, char** argv) {
    CLI::App app{"kalvor-cli: run Kalvor's drive calculations without the desktop program.\n"
                 "PARAMS is a Kalvor parameter file; without it the defaults are used."};
    app.set_version_flag("--version", std::string("kalvor-cli ") + KALVOR_VERSION);
    app.require_subcommand(1);

    CLI::App* run = app.add_subcommand(
        "run", "Calculate the drive and write the result table (not built yet).");
    CLI::App* diag = app.add_subcommand(
        "diag", "Write the inductance, excitation-flux or PWM-voltage plot (not built yet).");
    CLI::App* tables =
        app.add_subcommand("tables", "Write the constant model tables to a folder (not built yet).");
    for (CLI::App* sub : {run, diag, tables}) {
        sub->allow_extras();
        sub->callback([sub]() {
            std::fprintf(stderr, "kalvor-cli %s: this command is not available yet.\n",
                         sub->get_name().c_str());
            std::exit(kExitUsage);
        });
    }

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int code = app.exit(e);
        return code == 0 ? 0 : kExitUsage;
    }
    return 0;
}
