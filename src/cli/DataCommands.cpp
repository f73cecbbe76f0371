// list, download and delete: the test data dialog's Scan for Data, Download Selected, Delete
// Selected and Delete All for scripts, on the controller's card or on a copy of it in a folder.
#include "cli/Commands.h"

#include "common/platform/Terminal.h"
#include "devicelink/DeviceSession.h"
#include "document/ControllerCard.h"
#include "document/Settings.h"
#include "recordings/TestDataAccess.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <iostream>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace {

struct DataOptions {
    std::string local;
    int hardwareVersion = HardwareDescription{}.hardwareVersion;
    std::vector<std::string> names;
    bool all = false;
    std::string to;
    bool yes = false;
};

void Say(const std::string& message) {
    std::string oneLine = message;
    while (!oneLine.empty() && oneLine.back() == '\n')
        oneLine.pop_back();
    std::replace(oneLine.begin(), oneLine.end(), '\n', ' ');
    std::cerr << "kelvastra-cli: " << oneLine << "\n";
}

void Fail(CliContext& context, const std::string& message) {
    Say(message);
    context.exitCode = 1;
}

// Where the files come from and go: the card, or a folder (with or without a controller for
// the display names and the device description).
class DataSource {
public:
    bool Open(CliContext& context, const DataOptions& options) {
        m_link = std::make_unique<DeviceSession>();
        std::string error;
        if (!m_link->Open(context.port, error)) {
            // Without a controller a card copy can still be processed, names and all.
            if (m_link->Found() || options.local.empty()) {
                if (!m_link->Found())
                    error = "no controller found (no port matches; give one with --port, or "
                            "work on a card copy with --local DIR)";
                Fail(context, error);
                return false;
            }
            m_link.reset();
        }
        if (!options.local.empty()) {
            std::error_code status;
            if (!std::filesystem::is_directory(options.local, status)) {
                Fail(context, "not a folder: " + options.local);
                return false;
            }
            m_folder = std::make_unique<FolderCard>(options.local);
        }
        if (m_link) {
            // A test still recording is no result, and its files are in use.
            switch (CheckCardAccess(m_link->GetController())) {
            case CardAccess::Ready:
                break;
            case CardAccess::TestRunning:
                Fail(context, kTestRunningText);
                return false;
            default:
                Fail(context, "the controller does not say whether a test is running");
                return false;
            }
            m_card = std::make_unique<ControllerCard>(m_link->GetController());
            m_description = m_link->GetController().hardware;
            m_capacityKb = CardCapacityKb(m_link->GetController());
        } else {
            m_description = DescriptionFromFolder(options.local, options.hardwareVersion);
        }
        return true;
    }

    // Listing, fetches and deletions.
    ITestDataCard& Files() { return m_folder ? static_cast<ITestDataCard&>(*m_folder) : *m_card; }
    // Display names: the controller's card when there is one.
    ITestDataCard& Names() { return m_card ? static_cast<ITestDataCard&>(*m_card) : *m_folder; }
    const HardwareDescription& Description() const { return m_description; }
    int CapacityKb() const { return m_capacityKb; }
    std::string Log() const { return m_link ? m_link->LogText() : std::string(); }

    bool Scan(CliContext& context, std::vector<TestDataFile>& files) {
        if (ScanTestData(Files(), Names(), files))
            return true;
        Fail(context, "the file list could not be read completely");
        return false;
    }

private:
    std::unique_ptr<DeviceSession> m_link;
    std::unique_ptr<ControllerCard> m_card;
    std::unique_ptr<FolderCard> m_folder;
    HardwareDescription m_description;
    int m_capacityKb = -1;
};

bool SameIgnoringCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) ==
                      std::toupper(static_cast<unsigned char>(y));
           });
}

// The listed rows the names ask for, in listing order; names that match no row are reported.
// A name that matches two tests selects nothing: the run is refused (empty result, exit 1) with
// the card names that tell them apart.
std::vector<int> Select(CliContext& context, const std::vector<TestDataFile>& files,
                        const DataOptions& options) {
    std::set<int> rows;
    if (options.all) {
        for (size_t i = 0; i < files.size(); ++i)
            rows.insert(static_cast<int>(i));
    }
    bool ambiguous = false;
    for (const std::string& name : options.names) {
        std::vector<int> matches;
        for (size_t i = 0; i < files.size(); ++i) {
            if (files[i].cardName == name)
                matches = {static_cast<int>(i)}; // the exact card name is that one test
        }
        for (size_t i = 0; i < files.size() && matches.empty(); ++i) {
            if (SameIgnoringCase(files[i].cardName, name))
                matches.push_back(static_cast<int>(i));
        }
        for (size_t i = 0; i < files.size() && matches.empty(); ++i) {
            if (files[i].displayName == name || TestLabel(files[i]) == name) {
                for (size_t j = i; j < files.size(); ++j) {
                    if (files[j].displayName == name || TestLabel(files[j]) == name)
                        matches.push_back(static_cast<int>(j));
                }
            }
        }
        if (matches.empty()) {
            Fail(context, "no data file " + PrintableName(name) + " on the " +
                              (options.local.empty() ? "card" : "folder " + options.local));
        } else if (matches.size() > 1) {
            std::string names;
            for (int row : matches)
                names += (names.empty() ? "" : ", ") +
                         PrintableName(files[static_cast<size_t>(row)].cardName);
            Fail(context, PrintableName(name) + " names " + std::to_string(matches.size()) +
                              " tests; give the card name of the one you mean: " + names);
            ambiguous = true;
        }
        rows.insert(matches.begin(), matches.end());
    }
    if (ambiguous)
        return {};
    return {rows.begin(), rows.end()};
}

void RunList(CliContext& context, const DataOptions& options) {
    DataSource source;
    if (!source.Open(context, options))
        return;
    std::vector<TestDataFile> files;
    source.Scan(context, files);
    for (const TestDataFile& file : files)
        std::cout << file.displayName << '\t' << SizeKbText(file.sizeBytes) << '\t'
                  << PrintableName(file.cardName) << '\n';
    std::cout << "Used Storage\t" << UsedStorageText(files, source.CapacityKb()) << '\n';
}

void RunDownload(CliContext& context, const DataOptions& options) {
    DataSource source;
    if (!source.Open(context, options))
        return;
    std::vector<TestDataFile> files;
    source.Scan(context, files);
    const std::vector<int> rows = Select(context, files, options);
    if (rows.empty())
        return;
    const std::filesystem::path folder = options.to.empty() ? Settings::DataDir() : options.to;
    std::string refusal;
    if (!PrepareDownloadFolder(folder, refusal)) {
        Fail(context, refusal);
        return;
    }
    const bool terminal = platform::IsTerminal(platform::StandardStream::Error);
    for (int row : rows) {
        const TestDataFile& file = files[static_cast<size_t>(row)];
        ProgressFn progress;
        if (terminal) {
            progress = [&file](std::int64_t done, std::int64_t total) {
                std::fprintf(stderr, "\r%s: %lld/%lld   ", PrintableName(file.cardName).c_str(),
                             static_cast<long long>(done), static_cast<long long>(total));
                return true;
            };
        }
        const DownloadResult result =
            DownloadAndConvert(source.Files(), file, folder, source.Description(), progress);
        if (terminal)
            std::fprintf(stderr, "\n");
        const std::string message = DownloadMessage(result, file);
        if (result.status != DownloadResult::Converted) {
            Fail(context, message);
            // Nothing more will come over a line that went down.
            if (result.status == DownloadResult::Disconnected)
                return;
            continue;
        }
        std::cout << result.paths.converted.string() << std::endl;
        if (!message.empty())
            Say(message);
    }
}

void RunDelete(CliContext& context, const DataOptions& options) {
    const bool interactive = platform::IsTerminal(platform::StandardStream::Input);
    if (options.all && !options.yes && !interactive) {
        std::cerr << "kelvastra-cli: delete --all needs --yes when standard input is not a "
                     "terminal\n";
        context.exitCode = 2;
        return;
    }
    DataSource source;
    if (!source.Open(context, options))
        return;
    std::vector<TestDataFile> files;
    source.Scan(context, files);
    DeletionReport report;
    if (options.all) {
        if (!options.yes) {
            std::cerr << "Delete All.  Are You sure? [y/N] " << std::flush;
            std::string answer;
            std::getline(std::cin, answer);
            if (answer != "y" && answer != "Y" && answer != "yes")
                return;
        }
        report = DeleteAllFiles(source.Files(), files);
    } else {
        report = DeleteSelectedFiles(source.Files(), files, Select(context, files, options));
    }
    for (const std::string& message : DeletionMessages(report))
        Fail(context, message);
}

void AddSourceOptions(CLI::App* command, DataOptions& options) {
    command->add_option("--local", options.local,
                        "Work on a copy of the card in this folder instead of the card");
    command
        ->add_option("--hardware-version", options.hardwareVersion,
                     "The controller's hardware version, for --local without a controller")
        ->capture_default_str();
}

void AddNameOptions(CLI::App* command, DataOptions& options) {
    command->add_option("NAME", options.names,
                        "Card file name (any case) or display name (with or without .csv); a "
                        "display name that two tests share is refused");
    command->add_flag("--all", options.all, "Every listed data file");
}

} // namespace

void AddDataCommands(CLI::App& app, CliContext& context) {
    auto options = std::make_shared<DataOptions>();

    auto* list = app.add_subcommand(
        "list", "List the test data files: display name, size in kB and card name, then the "
                "used storage");
    AddSourceOptions(list, *options);
    list->callback([&context, options] { RunList(context, *options); });

    auto* download = app.add_subcommand(
        "download", "Download and convert test data files into result folders, printing the "
                    "converted files");
    AddNameOptions(download, *options);
    AddSourceOptions(download, *options);
    download->add_option("--to", options->to,
                         "Download folder (default: the DataDir setting, else the data folder)");
    download->callback([&context, options, download] {
        if (options->names.empty() && !options->all) {
            std::cerr << "kelvastra-cli: download needs NAME... or --all\n" << download->help();
            context.exitCode = 2;
            return;
        }
        RunDownload(context, *options);
    });

    auto* remove = app.add_subcommand(
        "delete", "Delete test data files with their protocol copies and test names");
    AddNameOptions(remove, *options);
    AddSourceOptions(remove, *options);
    remove->add_flag("--yes", options->yes, "Do not ask before --all");
    remove->callback([&context, options, remove] {
        if (options->names.empty() && !options->all) {
            std::cerr << "kelvastra-cli: delete needs NAME... or --all\n" << remove->help();
            context.exitCode = 2;
            return;
        }
        RunDelete(context, *options);
    });
}
