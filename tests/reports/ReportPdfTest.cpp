// The test report and the protocol printout: what a reader of the PDF finds in it (text taken
// out with pdftotext) and where it is written.
#include "reports/ReportPdf.h"
#include "recordings/TestDataAccess.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QGuiApplication>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace fs = std::filesystem;

namespace {

QGuiApplication& App() {
    static int argc = 1;
    static char name[] = "test_reports";
    static char* argv[] = {name, nullptr};
    static QGuiApplication* app = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        return new QGuiApplication(argc, argv);
    }();
    return *app;
}

// The PDF's text, or nullopt when pdftotext is not installed.
std::optional<std::string> PdfText(const fs::path& pdf, const fs::path& folder) {
    if (std::system("command -v pdftotext >/dev/null 2>&1") != 0)
        return std::nullopt;
    const fs::path text = folder / "pdf.txt";
    const std::string command = "pdftotext -layout '" + pdf.string() + "' '" + text.string() + "'";
    if (std::system(command.c_str()) != 0)
        return std::string();
    return ReadFile(text);
}

const std::string kProtocol =
    "##HARDWARE\nKelvastra TR\nFirmwareVersion 2150\nWellDepth_mm 20\nMagnetStyle A25_10\n"
    "MembraneStyle Hydrostatic\nRegulatorType QB3_20\nSpringType NoSpring\n"
    "Name\tXFunction\tXUnits\tXMagnitude\tXPreloadMag\tStretchDurationSec\tRecoveryDurationSec\t"
    "HoldTimeSec\tRestTimeSec\tNumReps\tTimeUnits\tDataType\tAutoAdjust\t\n"
    "Warmup\tRamp\tN\t10\t0\t10\t10\t0\t0\t3\tSeconds\tAll(64) \t0\t\n"
    "Strain[_]B\tRamp\tN\t10\t0\t10\t10\t0\t0\t2\tSeconds\tAll(64) \t0\t\n";

std::string SummaryText() {
    std::string text = "Set,Set Name,Cycle,Start (mS),End (mS),Samples,Max Pressure (MPa)";
    for (int k = 1; k <= 9; ++k) {
        const std::string w = std::to_string(k);
        text += ",Max Position " + w + " (um),Min Position " + w + " (um),Amplitude " + w +
                " (um),Max Force " + w + " (N) (factory),Max Force " + w + " (N) (calibrated)";
    }
    text += "\r\n";
    const char* rows[] = {"1,Warmup,1,0,900", "1,Warmup,2,1000,1900", "1,Warmup,3,2000,2900",
                          "2,Strain B,1,3000,3900", "2,Strain B,2,4000,4900"};
    const double amplitudes[] = {100, 102, 104, 200, 210};
    for (int i = 0; i < 5; ++i) {
        char well[96];
        std::snprintf(well, sizeof well, ",500.0,%.1f,%.1f,0.250,", 500.0 - amplitudes[i],
                      amplitudes[i]);
        text += std::string(rows[i]) + ",10,0.050" + well;
        for (int k = 2; k <= 9; ++k)
            text += ",,,,,";
        text += "\r\n";
    }
    return text;
}

class ReportPdfTest : public ::testing::Test {
protected:
    void SetUp() override {
        App();
        fs::create_directories(m_result / "TestLogs");
        WriteFile(m_result / "Stretch_0001.csv", "Time (mS),Set\r\n0,1\r\n");
        WriteFile(m_result / "Stretch_0001.tmt", kProtocol);
        WriteFile(m_result / "TestLogs" / "CardFile.txt", "DATA0001.DAT\n");
    }

    TempFolder m_folder{"report"};
    const fs::path m_result = m_folder.Path() / "Stretch_0001";
};

} // namespace

TEST_F(ReportPdfTest, ReportHoldsTheTestItsSetsHardwareAndPerSetFigures) {
    WriteFile(m_result / "Stretch_0001_Summary.csv", SummaryText());
    WriteFile(m_result / "TestLogs" / kResultSourceFile,
              ResultSourceText({"2026-01-02 03:04", "SIM-0001", "4050"}));
    fs::path written;
    std::string error;
    ASSERT_TRUE(WriteTestReport(m_result, {}, written, error)) << error;
    EXPECT_EQ(written, m_result / "Stretch_0001_Report.pdf");
    EXPECT_EQ(ReadFile(written).rfind("%PDF-", 0), 0u);

    const auto text = PdfText(written, m_folder.Path());
    if (!text)
        GTEST_SKIP() << "pdftotext is not installed (poppler-utils): the PDF's text is unchecked";
    for (const char* expected :
         {"Stretch_0001", "DATA0001.DAT", "Warmup", "Strain B", "MembraneStyle Hydrostatic",
          "SpringType NoSpring", "Total Time", "102.0 ± 2.0", "205.0 ± 7.1", "0.250 ± 0.000",
          "date: 2026-01-02 03:04", "serial number: SIM-0001", "Firmware version: 4050"})
        EXPECT_NE(text->find(expected), std::string::npos) << expected << " not in:\n" << *text;
}

TEST_F(ReportPdfTest, MissingSummaryIsSaidAndOutputsGoWhereTold) {
    const fs::path out = m_folder.Path() / "elsewhere.pdf";
    fs::path written;
    std::string error;
    ASSERT_TRUE(WriteTestReport(m_result, out, written, error)) << error;
    EXPECT_EQ(written, out);
    EXPECT_FALSE(WriteTestReport(m_folder.Path() / "none", {}, written, error));
    EXPECT_NE(error.find("is not a result folder"), std::string::npos) << error;
    fs::create_directories(m_folder.Path() / "empty");
    EXPECT_FALSE(WriteTestReport(m_folder.Path() / "empty", {}, written, error));
    EXPECT_NE(error.find("No converted test"), std::string::npos) << error;

    const fs::path protocolPdf = m_folder.Path() / "protocol.pdf";
    ASSERT_TRUE(WriteProtocolPdf(m_result / "Stretch_0001.tmt", protocolPdf, error)) << error;
    EXPECT_FALSE(WriteProtocolPdf(m_result / "TestLogs" / "CardFile.txt", protocolPdf, error));
    EXPECT_NE(error.find("is not a protocol file"), std::string::npos) << error;

    const auto report = PdfText(out, m_folder.Path());
    if (!report)
        GTEST_SKIP() << "pdftotext is not installed (poppler-utils): the PDF's text is unchecked";
    EXPECT_NE(report->find("No per-cycle summary could be made from Stretch_0001_Full.csv"),
              std::string::npos)
        << *report;
    const auto protocol = PdfText(protocolPdf, m_folder.Path());
    for (const char* expected : {"Stretch_0001.tmt", "Warmup", "Strain B", "00:01:40",
                                 "Used Memory (%)", "20.0", "MagnetStyle A25_10"})
        EXPECT_NE(protocol->find(expected), std::string::npos) << expected << " not in:\n"
                                                               << *protocol;
    EXPECT_EQ(protocol->find('\f'), protocol->rfind('\f')) << "more than one page";
}
