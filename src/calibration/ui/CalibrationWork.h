// Device work of the calibration dialogs: run on the device worker through the dialog's
// session, with the calibration code's view of the controller, while the dialog keeps painting.
#pragma once

#include "calibration/CalibrationDevice.h"
#include "common/Progress.h"
#include "document/ControllerCalibration.h"
#include "document/DialogSession.h"

#include <QProgressBar>

#include <functional>
#include <optional>

// Nothing when the session has ended (the device worker is gone).
template <class R>
std::optional<R> RunCalibrationWork(DialogSession& session,
                                    std::function<R(ICalibrationDevice&, const ProgressFn&)> work,
                                    QProgressBar* bar = nullptr) {
    if (bar) {
        bar->setRange(0, 0);
        bar->setVisible(true);
    }
    auto result = session.RunWithProgress<std::optional<R>>(
        [work = std::move(work)](Controller& controller,
                                 const ProgressFn& progress) -> std::optional<R> {
            ControllerCalibrationDevice device(controller);
            return work(device, progress);
        },
        [bar](std::int64_t done, std::int64_t total) {
            if (bar && total > 0) {
                bar->setRange(0, static_cast<int>(total));
                bar->setValue(static_cast<int>(done));
            }
        },
        std::nullopt);
    if (bar)
        bar->setVisible(false);
    return result;
}

inline constexpr const char* kCalibrationDeviceGone =
    "Error:  The device is no longer available; nothing was done.\n";
