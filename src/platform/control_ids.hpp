#pragma once
// Identifiers of the main window's controls. The numbers are fixed: the
// window model, the front ends and the tests all address controls by them.

#include <array>

namespace tavro::platform {

// Not a control: the window's own caption, kept in the control table under
// this id so that the title travels to the Screen like any caption.
inline constexpr int kWindowTitle = 0;

// Basic settings: port choice and port switch.
inline constexpr int kBasicSettingsGroup = 1024;
inline constexpr int kPortNumberLabel = 1020;
inline constexpr int kPortList = 1011;
inline constexpr int kPortSwitchLabel = 1063;
inline constexpr int kPortButton = 1050;  // open / close the port
inline constexpr int kPortStatusLabel = 1048;
inline constexpr int kConnectionStatusLabel = 1049;
inline constexpr int kPortStatusIcon = 1046;
inline constexpr int kConnectionStatusIcon = 1047;

// Function options: the four operations.
inline constexpr int kFunctionGroup = 1014;
inline constexpr int kDeviceInfoButton = 1055;
inline constexpr int kBackupButton = 1060;
inline constexpr int kDownloadButton = 1062;
inline constexpr int kUpgradeButton = 1057;

// Information area.
inline constexpr int kInfoGroup = 1013;
inline constexpr int kWarningText = 1056;   // drawn in red on a transparent background
inline constexpr int kInfoText = 1043;      // InfoText, many lines
inline constexpr int kProgressNote = 1058;  // percentage and elapsed time
inline constexpr int kProgressBar = 1054;

// Developer panel: created hidden and never shown.
inline constexpr int kBaudList = 1022;  // "9600", "115200"
inline constexpr int kHexReceiveCheck = 1035;
inline constexpr int kHexSendCheck = 1036;
inline constexpr int kShowPortCharsCheck = 1052;
inline constexpr int kTermText = 1015;  // TermText, the terminal's text output
inline constexpr int kFlashOperationList = 1029;
inline constexpr int kFlashAddressEdit = 1030;
inline constexpr int kFlashSizeEdit = 1031;
inline constexpr int kFlashWriteModeList = 1037;
inline constexpr int kDownloadFileEdit = 1018;    // beside its browse button 1016
inline constexpr int kBackupRootEdit = 1019;      // beside its browse button 1017
inline constexpr int kFlashWriteDataEdit = 1034;  // data for the "from input box" write mode
inline constexpr int kNewBootloaderEdit = 1039;   // beside its browse button 1038
inline constexpr int kDownloadFileButton = 1016;
inline constexpr int kBackupRootButton = 1017;
inline constexpr int kNewBootloaderButton = 1038;
inline constexpr int kSaveFlashReadButton = 1040;
inline constexpr int kClearDisplayButton = 1023;
inline constexpr int kIniToBinButton = 1059;
// Not a control of the dialog: the window's menu action and the console's
// rollback command press it. It asks before the terminal is told anything.
inline constexpr int kRollBackAction = 2065;
// The same for Restore from backup: it asks for the folder first.
inline constexpr int kRestoreAction = 2066;
inline constexpr int kRestartCommandButton = 1009;  // restarts the current command
inline constexpr int kStopCommandButton = 1010;
inline constexpr int kSpareDeveloperButton = 1000;

// The developer panel's command radio buttons, in id order.
inline constexpr std::array<int, 15> kDeveloperRadioButtons = {
    1001, 1002, 1003, 1004, 1005, 1006, 1007, 1008, 1025, 1026, 1027, 1028, 1032, 1051, 1053};

// Developer controls disabled at start-up, in the order they are disabled.
inline constexpr std::array<int, 13> kDisabledAtStartup = {
    kFlashOperationList, kFlashWriteModeList,  kFlashAddressEdit,  kFlashSizeEdit,
    kFlashWriteDataEdit, kNewBootloaderButton, kNewBootloaderEdit, kHexReceiveCheck,
    kHexSendCheck,       kDownloadFileButton,  kDownloadFileEdit,  kBackupRootButton,
    kBackupRootEdit};

// The controls disabled while an operation runs and enabled again when the
// window returns to idle: the developer panel's command choices and buttons,
// the four operations, the port choice and the port switch.
inline constexpr std::array<int, 21> kBusyControls = {
    1001,           1002,      1003,        1004,
    1005,           1006,      1007,        1025,
    1026,           1027,      1009,        1028,
    1051,           1040,      1053,        kDeviceInfoButton,
    kUpgradeButton, kPortList, kPortButton, kBackupButton,
    kDownloadButton};

}  // namespace tavro::platform
