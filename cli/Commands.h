#pragma once

#include <string>
#include <vector>

/// Exit statuses of kalvor-cli.
inline constexpr int kExitOk = 0;
inline constexpr int kExitUsage = 2;         ///< invalid usage, parameters or file
inline constexpr int kExitStepHalved = 3;    ///< run completed with a halved step
inline constexpr int kExitStopped = 4;       ///< run stopped: nothing written
inline constexpr int kExitInterrupted = 130; ///< Ctrl-C: stopped, nothing written (128 + SIGINT)

/// Options of `kalvor-cli run`.
struct CRunOptions {
    std::string m_strParams;              ///< parameter file, empty for the defaults
    std::vector<std::string> m_overrides; ///< GROUP.KEY=VALUE, in order
    std::string m_strOut;                 ///< output file, empty or "-" for stdout
    std::string m_strEvents;              ///< event log file, "-" for stdout, empty for none
    bool m_bCsv = false;                  ///< CSV instead of the export format
    bool m_bQuiet = false;                ///< no progress bar
};

/// Options of `kalvor-cli diag`.
struct CDiagOptions {
    std::string m_strKind;                ///< inductance, flux or pwm
    std::string m_strParams;              ///< parameter file, empty for the defaults
    std::vector<std::string> m_overrides; ///< GROUP.KEY=VALUE, in order
    std::string m_strOut;                 ///< output file, empty or "-" for stdout
};

/// Options of `kalvor-cli params`.
struct CParamsOptions {
    std::string m_strParams;              ///< parameter file, empty for the defaults
    std::vector<std::string> m_overrides; ///< GROUP.KEY=VALUE, in order
    std::string m_strOut;                 ///< output file, empty or "-" for stdout
    bool m_bList = false;                 ///< write the parameter reference instead
};

int RunMain(const CRunOptions& options);
int ParamsMain(const CParamsOptions& options);
int DiagMain(const CDiagOptions& options);
int TablesMain(const std::string& strDir);
