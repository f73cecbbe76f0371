// For the targets that read a card file: the file as the controller sends it after "0F name"
// (its reply line, then the lines up to the end byte, all from the input), and the same bytes
// as a file in a card copy folder.
#pragma once

#include "FuzzLine.h"

#include "devicelink/Controller.h"

#include <filesystem>
#include <fstream>
#include <memory>

// A controller on a scripted line that carries the input, pieces and all.
inline std::unique_ptr<Controller> ControllerSending(FuzzInput& input) {
    QuietLog();
    const std::vector<size_t> sizes = TakePieceSizes(input);
    auto channel = std::make_unique<ScriptedSerialChannel>();
    ScriptedSerialChannel& line = *channel;
    auto controller = std::make_unique<Controller>(std::move(channel));
    controller->serial.Open("fuzz", false, false, true, true, -1);
    QueueInPieces(line, input.Rest(), sizes);
    return controller;
}

// A card copy folder holding only `name` with `content`.
inline std::filesystem::path CardFolderWith(const char* name, std::string_view content) {
    const std::filesystem::path& folder = ScratchFolder();
    std::ofstream(folder / name, std::ios::binary | std::ios::trunc)
        .write(content.data(), static_cast<std::streamsize>(content.size()));
    return folder;
}
