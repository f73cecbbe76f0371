// Codes of the document's pending device action: a command on the GUI thread stores one, the
// device worker runs it and sets the code back to None.
#pragma once

enum class DeviceAction : int {
    None = 0,
    ReadDevice = 1,
    ProgramDevice = 2,
    StopWorker = 9,
    AccessTestData = 10,
    CalibrationMode = 11,
    HardwareSettings = 12,
    DisplacementCalibration = 13,
};

// Command ids of the menus and the toolbar.
enum CommandId : int {
    ID_FILE_NEW = 57600,
    ID_FILE_OPEN = 57601,
    ID_FILE_CLOSE = 57602,
    ID_FILE_SAVE = 57603,
    ID_FILE_PRINT_SETUP = 57606,
    ID_FILE_MRU_FILE1 = 57616,
    ID_APP_ABOUT = 57664,
    ID_APP_EXIT = 57665,
    ID_VIEW_STATUS_BAR = 59393,
    ID_READ_DEVICE = 32771,
    ID_PROGRAM_DEVICE = 32772,
    ID_HARDWARE_SETTINGS = 32774,
    ID_CONNECTION_INDICATOR = 32775,
    ID_CALIBRATION_MODE = 32783,
    ID_ACCESS_TEST_DATA = 32784,
    ID_DISPLACEMENT_CALIBRATION = 32785,
    ID_FILE_EXPORT_PDF = 32790,
    ID_CHOOSE_CONTROLLER = 32796,
    ID_HELP_CONTROLLER_NOT_FOUND = 32795,
};
