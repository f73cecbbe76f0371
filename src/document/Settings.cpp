#include "document/Settings.h"

#include <QDir>
#include <QSettings>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

namespace {

QSettings Store() {
    return QSettings(QStringLiteral("Fenwarde"), QStringLiteral("Kelvastra"));
}

std::string ReadString(const char* name) {
    QSettings s = Store();
    return s.value(QStringLiteral("Settings/") + QLatin1String(name)).toString().toStdString();
}

void WriteString(const char* name, const std::string& value) {
    QSettings s = Store();
    s.setValue(QStringLiteral("Settings/") + QLatin1String(name), QString::fromStdString(value));
    s.sync();
}

std::string Home() {
    const char* home = std::getenv("HOME");
    return home && *home ? home : QDir::homePath().toStdString();
}

std::string KelvastraHome() {
    const char* value = std::getenv("KELVASTRA_HOME");
    return value && *value ? value : std::string();
}

std::string Join(const std::string& a, const char* b) {
    return (std::filesystem::path(a) / b).string();
}

} // namespace

namespace Settings {

std::string TemplateDirValue() {
    return ReadString("TemplateDir");
}
void SetTemplateDir(const std::string& folder) {
    WriteString("TemplateDir", folder);
}
std::string DataDirValue() {
    return ReadString("DataDir");
}
void SetDataDir(const std::string& folder) {
    WriteString("DataDir", folder);
}

std::string ChosenController() {
    return ReadString("ChosenController");
}

void SetChosenController(const std::string& serialNumber) {
    WriteString("ChosenController", serialNumber);
}

int FactoryAccess() {
    QSettings s = Store();
    return s.value(QStringLiteral("Settings/FactoryAccess"), 0).toInt();
}

void SetFactoryAccess(int value) {
    QSettings s = Store();
    s.setValue(QStringLiteral("Settings/FactoryAccess"), value);
    s.sync();
}

bool RecordSerialTraffic() {
    QSettings s = Store();
    return s.value(QStringLiteral("Settings/RecordSerialTraffic"), false).toBool();
}

void SetRecordSerialTraffic(bool on) {
    QSettings s = Store();
    s.setValue(QStringLiteral("Settings/RecordSerialTraffic"), on ? 1 : 0);
    s.sync();
}

RememberedController LastController() {
    QSettings s = Store();
    RememberedController controller;
    controller.serialNumber =
        s.value(QStringLiteral("Last Controller/SerialNumber")).toString().toStdString();
    controller.hardwareVersion =
        s.value(QStringLiteral("Last Controller/HardwareVersion"), 0).toInt();
    controller.hardwareBlock =
        s.value(QStringLiteral("Last Controller/Hardware")).toString().toStdString();
    return controller;
}

void SetLastController(const RememberedController& controller) {
    QSettings s = Store();
    s.setValue(QStringLiteral("Last Controller/SerialNumber"),
               QString::fromStdString(controller.serialNumber));
    s.setValue(QStringLiteral("Last Controller/HardwareVersion"), controller.hardwareVersion);
    s.setValue(QStringLiteral("Last Controller/Hardware"),
               QString::fromStdString(controller.hardwareBlock));
    s.sync();
}

std::vector<std::string> RecentFiles() {
    QSettings s = Store();
    std::vector<std::string> files;
    for (int i = 1; i <= kRecentFileCount; ++i) {
        const QString path = s.value(QStringLiteral("Recent File List/File%1").arg(i)).toString();
        if (!path.isEmpty())
            files.push_back(path.toStdString());
    }
    return files;
}

namespace {

void StoreRecentFiles(const std::vector<std::string>& files) {
    QSettings s = Store();
    for (int i = 1; i <= kRecentFileCount; ++i) {
        const QString key = QStringLiteral("Recent File List/File%1").arg(i);
        if (static_cast<size_t>(i) <= files.size())
            s.setValue(key, QString::fromStdString(files[static_cast<size_t>(i) - 1]));
        else
            s.remove(key);
    }
    s.sync();
}

} // namespace

std::vector<std::string> WithRecentFile(std::vector<std::string> list, const std::string& path) {
    list.erase(std::remove(list.begin(), list.end(), path), list.end());
    list.insert(list.begin(), path);
    if (list.size() > static_cast<size_t>(kRecentFileCount))
        list.resize(static_cast<size_t>(kRecentFileCount));
    return list;
}

void AddRecentFile(const std::string& path) {
    StoreRecentFiles(WithRecentFile(RecentFiles(), path));
}

void RemoveRecentFile(const std::string& path) {
    std::vector<std::string> files = RecentFiles();
    files.erase(std::remove(files.begin(), files.end(), path), files.end());
    StoreRecentFiles(files);
}

std::string TemplateDir() {
    std::string value = TemplateDirValue();
    return value.empty() ? Folders::DefaultTemplates() : value;
}

std::string DataDir() {
    std::string value = DataDirValue();
    return value.empty() ? Folders::DefaultData() : value;
}

} // namespace Settings

namespace Folders {

std::string Root() {
    std::string home = KelvastraHome();
    return home.empty() ? Join(Join(Home(), "Quillmark"), "Kelvastra") : home;
}

std::string Calibrations() {
    return Join(Join(Root(), "Software"), "Calibrations");
}
std::string CalibrationBackup() {
    return Join(Calibrations(), "Backup");
}
std::string RawData() {
    return Join(Join(Root(), "Software"), "RawData");
}
std::string SpecialPositions() {
    return Join(Root(), "specialPositions.csv");
}
std::string SerialTrafficRecord() {
    return Join(Root(), "SerialTraffic.txt");
}

std::string DefaultTemplates() {
    std::string home = KelvastraHome();
    return home.empty() ? Join(Join(Join(Home(), "Documents"), "Kelvastra"), "Templates")
                        : Join(home, "Templates");
}

std::string DefaultData() {
    std::string home = KelvastraHome();
    return home.empty() ? Join(Join(Join(Home(), "Documents"), "Kelvastra"), "Data")
                        : Join(home, "Data");
}

std::string FolderOf(const std::string& filePath) {
    auto cut = filePath.find_last_of("/\\");
    return cut == std::string::npos ? std::string() : filePath.substr(0, cut + 1);
}

} // namespace Folders
