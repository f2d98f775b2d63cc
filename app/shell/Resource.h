#pragma once

/// Command identifiers. The program's own commands keep the numbers users and the manual know;
/// the others are the numbers document programs traditionally give the standard commands.
enum ECommandId : int {
    ID_CALCULATE = 32772,
    ID_EXPORT_RESULTS = 32774,
    ID_CONTROL = 32783,
    ID_MOTOR = 32784,
    ID_INDUCTANCE_PLOT = 32787,
    ID_VIEW_CIRCUIT = 32789,
    ID_VIEW_2D = 32790,
    ID_VIEW_3D = 32791,
    ID_VIEW_NONE = 32792,
    ID_FAILURES = 32796,
    ID_RESULT_DERIVATIVE = 32797,
    ID_RESULT_INTEGRAL = 32798,
    ID_PLOT_RESULT = 32799,
    ID_DFT = 32800,
    ID_PWM_PLOT = 32807,
    ID_FLUX_PLOT = 32814,
    ID_RESULTS_TABLE_ORDER = 32823,
    ID_EXPORT_PLOT = 32824,
    ID_ZOOM_SELECTION = 32830,
    ID_ZOOM_OUT = 32831,

    ID_FILE_NEW = 57600,
    ID_FILE_OPEN = 57601,
    ID_FILE_CLOSE = 57602,
    ID_FILE_SAVE = 57603,
    ID_FILE_SAVE_AS = 57604,
    ID_FILE_PRINT_SETUP = 57606,
    ID_FILE_PRINT = 57607,
    ID_FILE_PRINT_DIRECT = 57608,
    ID_FILE_PRINT_PREVIEW = 57609,
    ID_FILE_MRU_FILE1 = 57616,
    ID_EDIT_COPY = 57634,
    ID_EDIT_CUT = 57635,
    ID_EDIT_PASTE = 57637,
    ID_EDIT_UNDO = 57643,
    ID_WINDOW_NEW = 57648,
    ID_WINDOW_ARRANGE = 57649,
    ID_WINDOW_CASCADE = 57650,
    ID_WINDOW_TILE_HORZ = 57651,
    ID_APP_ABOUT = 57664,
    ID_APP_EXIT = 57665,
    ID_NEXT_PANE = 57680,
    ID_PREV_PANE = 57681,
    ID_VIEW_TOOLBAR = 59392,
    ID_VIEW_STATUS_BAR = 59393,
};

/// Number of entries of the recent-file list.
constexpr int g_nRecentFiles = 4;
