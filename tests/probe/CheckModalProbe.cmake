# Runs the modal probe (PROGRAM) and checks that each of its wrong dialog paths failed with the
# dialog named, and that the program went on to its last function.
#   cmake -DPROGRAM=path -P CheckModalProbe.cmake
execute_process(COMMAND "${PROGRAM}" OUTPUT_VARIABLE output ERROR_VARIABLE output)
set(expected
    "FAIL!  : CModalProbe::UnexpectedMessageBox\\(\\) Modal script: unexpected modal dialog \"Probe\\|nobody expects this box\""
    "FAIL!  : CModalProbe::StepThatLeavesItsDialogOpen\\(\\) Modal script: \"left open\\|\\(QDialog\\)\" still open"
    "FAIL!  : CModalProbe::DialogThatNeverOpens\\(\\) Modal script: expected a QMessageBox that never opened"
    "FAIL!  : CModalProbe::DialogWithoutAnyScript\\(\\) Modal script: \"nobody answers\\|\\(QDialog\\)\" waited"
    "PASS   : CModalProbe::NothingIsLeftOpen\\(\\)"
    "Totals: 3 passed, 4 failed")
foreach(line IN LISTS expected)
    if(NOT output MATCHES "${line}")
        message(FATAL_ERROR "missing in the probe's output: ${line}\n${output}")
    endif()
endforeach()
