// A protocol file (or a card's TEMPLATE.INI) as the program opens it: read with its hardware
// block, shown in the set list, checked against the rules and the hardware, and written again.
#include "FuzzInput.h"

#include "hardware/HardwareDescription.h"
#include "protocol/ProtocolTable.h"
#include "protocol/SequenceDisplay.h"
#include "protocol/SequenceRules.h"
#include "protocol/SetEditRules.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const FuzzInput input(data, size);
    SetSequence sequence;
    HardwareDescription hardware;
    const ProtocolReadResult result =
        ReadProtocolText(std::string(input.Rest()), sequence, &hardware);
    ProtocolReadWarning(result);

    const bool hydrostatic = hardware.MembraneStyle == Membrane::Hydrostatic;
    for (int i = 0; i < static_cast<int>(sequence.sets.size()); ++i)
        SequenceListRow(sequence, i, hydrostatic);
    TotalSeconds(sequence);
    FirstSequenceProblem(sequence, kDefaultMaxStretchPosMm);
    SequenceRuleProblems(sequence, hardware);
    for (const SetRecord& set : sequence.sets) {
        SetRecord edited = set;
        ApplySetEdit(SetEditValuesFrom(set), edited);
    }
    DeviceTemplateText(sequence, hardware);
    return 0;
}
