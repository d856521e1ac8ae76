// The three output styles. Value printing fills in their routines; the
// shell core only chooses which table is in use.
#include "apps/knosh/knoshInternal.h"

namespace {

const KNOSHOutputTable kDefaultOutput{};
const KNOSHOutputTable kRawOutput{};
const KNOSHOutputTable kPythonOutput{};

} // namespace

const KNOSHOutputTable* knoshDefaultOutputPtr = &kDefaultOutput;
const KNOSHOutputTable* knoshRawOutputPtr = &kRawOutput;
const KNOSHOutputTable* knoshPythonOutputPtr = &kPythonOutput;
