// Per-user settings and the program's fixed folders, in one place so that no dialog builds a
// settings key or a folder path of its own.
#pragma once

#include <string>
#include <vector>

namespace Settings {

// Section "Settings" of QSettings("Fenwarde", "Kelvastra").
std::string TemplateDirValue(); // the stored value, possibly empty
void SetTemplateDir(const std::string& folder);
std::string DataDirValue();
void SetDataDir(const std::string& folder);
int FactoryAccess(); // 0 when absent
void SetFactoryAccess(int value);
// "Record Serial Traffic" of the Hardware menu; off when absent.
bool RecordSerialTraffic();
void SetRecordSerialTraffic(bool on);
// The serial number of the controller chosen when several are present; empty when none was.
std::string ChosenController();
void SetChosenController(const std::string& serialNumber);

// The controller connected last (section "Last Controller"): its serial number, hardware version
// and the "##HARDWARE" block of its description. The set editor's limits come from it while no
// controller is connected.
struct RememberedController {
    std::string serialNumber;
    int hardwareVersion = 0;
    std::string hardwareBlock; // empty: none remembered
};
RememberedController LastController();
void SetLastController(const RememberedController& controller);

// The protocol files opened or saved last, newest first (section "Recent File List", values
// "File1" to "File4").
inline constexpr int kRecentFileCount = 4;
std::vector<std::string> RecentFiles();
// Puts `path` first (once), keeping at most kRecentFileCount entries.
void AddRecentFile(const std::string& path);
void RemoveRecentFile(const std::string& path);
// The list with `path` first, without an earlier copy of it, cut to kRecentFileCount.
std::vector<std::string> WithRecentFile(std::vector<std::string> list, const std::string& path);

// The folder protocol dialogs start in: the stored value, else the default templates folder.
// Never empty.
std::string TemplateDir();
// The folder that receives downloaded test data: the stored value, else the default.
std::string DataDir();

} // namespace Settings

namespace Folders {

// The program's root folder for calibration files and raw outputs: $KELVASTRA_HOME when set,
// else ~/Quillmark/Kelvastra.
std::string Root();
std::string Calibrations();        // Root()/Software/Calibrations
std::string CalibrationBackup();   // Calibrations()/Backup
std::string RawData();             // Root()/Software/RawData
std::string SpecialPositions();    // Root()/specialPositions.csv
std::string SerialTrafficRecord(); // Root()/SerialTraffic.txt
// Default folders for protocols and downloaded data: $KELVASTRA_HOME/Templates and /Data when
// KELVASTRA_HOME is set, else ~/Documents/Kelvastra/Templates and .../Data.
std::string DefaultTemplates();
std::string DefaultData();

// The folder part of a chosen file path, ending with the separator ("/p/x.tmt" -> "/p/").
std::string FolderOf(const std::string& filePath);

} // namespace Folders
