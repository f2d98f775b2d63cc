// kalvor-cli: the headless runner of Kalvor's calculations.
#include "Commands.h"

#include <CLI/CLI.hpp>

#include <csignal>
#include <cstdio>
#include <iostream>
#include <string>

int main(int argc, char** argv) {
    // Beyond the file-size limit (ulimit -f) a write then fails with EFBIG and is reported, and
    // the temporary file goes, instead of the process being killed.
    std::signal(SIGXFSZ, SIG_IGN);
    CLI::App app{"kalvor-cli: run Kalvor's drive calculations without the desktop program.\n"
                 "PARAMS is a Kalvor parameter file; without it the defaults are used.\n"
                 "Exit status: 0 success, 2 invalid usage, parameters or file, 3 the run needed\n"
                 "a halved step (table still written), 4 the run was stopped (nothing written),\n"
                 "130 interrupted by Ctrl-C (nothing written)."};
    app.set_version_flag("--version", std::string("kalvor-cli ") + KALVOR_VERSION);
    app.require_subcommand(1);

    CRunOptions run;
    CLI::App* runCmd = app.add_subcommand(
        "run", "Calculate the drive as Calculate does and write the result table.");
    runCmd->add_option("PARAMS", run.m_strParams, "parameter file");
    runCmd->add_option("--set", run.m_overrides, "override GROUP.KEY=VALUE (repeatable)");
    runCmd->add_option("--out", run.m_strOut, "output file (default or '-': standard output)");
    runCmd->add_option("--events", run.m_strEvents,
                       "event log (fault onset and clearing, trips) as CSV t,kind,source,value "
                       "('-': standard output)");
    runCmd->add_flag("--csv", run.m_bCsv, "CSV with a header line, full precision, LF");
    runCmd->add_flag("--quiet", run.m_bQuiet, "no progress bar on stderr");

    CDiagOptions diag;
    CLI::App* diagCmd = app.add_subcommand(
        "diag", "Write the inductance, excitation-flux or PWM-voltage plot from its settings.");
    diagCmd->add_option("KIND", diag.m_strKind, "inductance, flux or pwm")
        ->required()
        ->check(CLI::IsMember({"inductance", "flux", "pwm"}));
    diagCmd->add_option("PARAMS", diag.m_strParams, "parameter file");
    diagCmd->add_option("--set", diag.m_overrides, "override GROUP.KEY=VALUE (repeatable)");
    diagCmd->add_option("--out", diag.m_strOut, "output file (default or '-': standard output)");

    CParamsOptions params;
    CLI::App* paramsCmd = app.add_subcommand(
        "params", "Write the effective parameter file (defaults, file, overrides) as Save does.");
    CLI::Option* paramsFile = paramsCmd->add_option("PARAMS", params.m_strParams, "parameter file");
    CLI::Option* paramsSet =
        paramsCmd->add_option("--set", params.m_overrides, "override GROUP.KEY=VALUE (repeatable)");
    paramsCmd->add_option("--out", params.m_strOut,
                          "output file (default or '-': standard output)");
    paramsCmd
        ->add_flag("--list", params.m_bList,
                   "instead: every key with its meaning, unit, accepted values and default")
        ->excludes(paramsFile)
        ->excludes(paramsSet);

    std::string tablesDir;
    CLI::App* tablesCmd =
        app.add_subcommand("tables", "Write the constant model tables (L0..B3, flux) to DIR.");
    tablesCmd->add_option("--out", tablesDir, "folder to write into")->required();

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int code = app.exit(e);
        // Help or version text that could not be written is a failure (a full disk, a closed
        // pipe), not a success.
        std::cout.flush();
        if (!std::cout || std::fflush(stdout) != 0 || std::ferror(stdout)) {
            std::fprintf(stderr, "kalvor-cli: cannot write to standard output.\n");
            return kExitUsage;
        }
        return code == 0 ? kExitOk : kExitUsage;
    }
    if (runCmd->parsed())
        return RunMain(run);
    if (diagCmd->parsed())
        return DiagMain(diag);
    if (paramsCmd->parsed())
        return ParamsMain(params);
    return TablesMain(tablesDir);
}
