// What the sequence view needs from its document: the committed sequence, the fitted hardware
// (with or without a controller, the limits the sets are made against), the stretch-position
// limit, and a way to start the device worker.
#pragma once

#include "hardware/HardwareDescription.h"
#include "protocol/SetRecord.h"

class IStageDocument {
public:
    virtual ~IStageDocument() = default;
    virtual SetSequence& CommittedSequence() = 0;
    // A copy: the device worker may change the description while a window holds it.
    virtual HardwareDescription Hardware() const = 0;
    virtual float MaxStretchPosMm() const = 0;
    // Starts the device worker with the document; called once, on the view's first update.
    virtual void StartWorker() = 0;
    // The user has changed the working copy of the sequence.
    virtual void MarkModified() {}
};
