#pragma once

/// Receives the text of a fatal failure (memory, model objects) just before the program ends.
/// The program shows it in a message box with the error icon; the default writes it to stderr.
using FatalMessageHook = void (*)(const char* pszText);

/// Installs the hook; null restores the default. Returns the previous hook.
FatalMessageHook SetFatalMessageHook(FatalMessageHook pHook);

/// Shows pszText through the hook and ends the program with nExitCode. Never returns.
[[noreturn]] void FatalExit(const char* pszText, int nExitCode);
